#pragma once

// The Bluetooth LE transport over BlueZ's D-Bus API (system bus): it follows BlueZ's object
// tree (ObjectManager signals, property changes, the service coming and going) to know whether
// the mouse is connected and where its two characteristics are; subscribes to the notifying
// one when the link state asks (StartNotify, then the "Value" property changes); and writes
// whole commands to the other one, each as a write with response ("type" = "request").
//
// Threads: the object lives on the UI thread, where D-Bus signals and the link state's calls
// arrive. WriteGatt runs on the worker: it reads the write target under a lock and makes one
// blocking call with a time limit, one write at a time. Nothing here blocks the UI thread
// except the start-up presence test, which has a short time limit of its own.

#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <mutex>

#include "device/system_ble.h"
#include "platform/linux/bluez_objects.h"

class QDBusServiceWatcher;

namespace mokta {

class BluezGatt : public QObject, public SystemBle {
  Q_OBJECT

 public:
  struct Options {
    int call_timeout_ms = 1000;   // start-up presence test, StartNotify, StopNotify
    int write_timeout_ms = 2000;  // one WriteValue
  };

  explicit BluezGatt(Options options);
  BluezGatt() : BluezGatt(Options{}) {}
  ~BluezGatt() override;

  // BlePresenceSource. Presence: a connected Device1 naming the mouse.
  bool PresentNow() override;
  void Start(std::function<void(bool arrived)> changed) override;
  void Stop() override;
  // BleLinkControl.
  void SetLinkUp(bool up) override;
  void OpenGattLink() override;
  // BleWriter. Worker thread.
  bool WriteGatt(std::span<const std::uint8_t> message) override;
  // SystemBle.
  void SetObservers(Observers observers) override;
  BleDiagnosis Diagnosis() const override { return diagnosis_; }

 private slots:
  void OnInterfacesAdded(const QDBusMessage& message);
  void OnInterfacesRemoved(const QDBusMessage& message);
  void OnPropertiesChanged(const QDBusMessage& message);

 private:
  void ConnectSignals();
  void DisconnectSignals();
  void RefreshAsync();
  void OnServiceGone();
  // A tree signal: applied, kept while a refresh is under way, and evaluated.
  void OnTreeSignal(const QDBusMessage& message);
  // Applies one InterfacesAdded, InterfacesRemoved or PropertiesChanged to the tree; true when
  // it may change presence.
  bool ApplySignal(const QDBusMessage& message);
  // Works out the mouse, the diagnosis and the write target from the tree, tells what
  // changed, and subscribes again when the notifying characteristic came back.
  void Evaluate();
  void Subscribe();
  void Unsubscribe();
  void OnNotification(const QByteArray& value);
  void SetWriteTarget(const QString& path);

  Options options_;
  BluezObjects objects_;
  BluezMouse mouse_;
  BleDiagnosis diagnosis_ = BleDiagnosis::kServiceNotRunning;
  bool service_up_ = false;
  bool started_ = false;
  bool present_ = false;
  bool link_up_ = false;
  bool open_requested_ = false;  // the link state asked for the subscription
  QString subscribed_;           // the characteristic StartNotify was sent to
  std::function<void(bool)> changed_;
  Observers observers_;
  QDBusServiceWatcher* service_watcher_ = nullptr;
  int refreshes_pending_ = 0;                  // GetManagedObjects calls not answered yet
  QList<QDBusMessage> signals_since_refresh_;  // tree signals since the oldest of them

  std::mutex target_mutex_;  // guards write_target_ between the UI thread and the worker
  QString write_target_;     // empty while the link is down or the characteristic is unknown
  std::mutex write_mutex_;   // one write at a time
};

}  // namespace mokta
