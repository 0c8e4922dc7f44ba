#pragma once

// The device side of the running program in one object: the driver libraries, the link state,
// the device events, the command sender and the apply worker, wired together on the thread
// that owns the host (the UI thread). It stands where the main window stands for the device
// side: it receives the drivers' messages (posted from their threads), folds them into codes,
// runs the link timers, and forwards what must be seen to a display.
//
// The window (or the command-line tool) owns one host for the program's lifetime.

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>

#include "device/apply_pass.h"
#include "device/apply_worker.h"
#include "device/command_sender.h"
#include "device/device_events.h"
#include "device/device_ids.h"
#include "device/device_view.h"
#include "device/driver_library.h"
#include "device/link_state.h"
#include "device/profile_session.h"

class QTimer;

namespace mokta {

// The system's way of telling whether the Bluetooth LE mouse is there, used when the driver
// libraries offer no Bluetooth LE link of their own.
class BlePresenceSource {
 public:
  virtual ~BlePresenceSource() = default;
  virtual bool PresentNow() = 0;
  // `changed(arrived)` may be called from any thread until `Stop` returns.
  virtual void Start(std::function<void(bool arrived)> changed) = 0;
  virtual void Stop() = 0;
};

struct DeviceHostOptions {
  QString driver_folder;                    // with a trailing "/"; empty: DriverFolder()
  int pacing_divisor = 1;                   // tests shorten the waits between writes by this factor
  BlePresenceSource* system_ble = nullptr;  // may be null: no Bluetooth LE without a library
};

// Called on the worker thread after each command with what the sender made of it.
using CommandObserver = std::function<void(const CommandMessage& message, bool delivered)>;
// Called on the owning thread for each message of a driver or of the Bluetooth LE link, before
// it is handled: the message number and its two values as posted.
using DriverMessageObserver =
    std::function<void(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam)>;
// Called on the owning thread when an apply pass has ended (whether or not it sent anything).
using PassObserver = std::function<void()>;

class DeviceHost : public QObject, private DeviceView, private ApplyPassEffects {
 public:
  // `display` receives the visible effects (indicators, battery, stage, pop-up, link changes)
  // and may be null. Both outlive the host.
  DeviceHost(ProfileSession& session, DeviceView* display, DeviceHostOptions options = {});
  ~DeviceHost() override;

  // Loads the drivers, starts the worker and the monitors, opens the devices and decides the
  // links. Call once, on the owning thread, with an event loop to follow.
  void Start();
  // Brings the Bluetooth LE link up when a mouse was present at start-up (after the profiles
  // are loaded).
  void BringUpBle();
  // Asks the worker for one apply pass. Any thread.
  void RequestApply();
  // Stops the worker (cutting a running pass short: no driver call after this begins), closes
  // the devices and monitors and unloads the libraries. Runs once; the destructor calls it.
  void Shutdown();

  // Sees every command the worker sends. Set before `Start`.
  void set_command_observer(CommandObserver observer) { observer_ = std::move(observer); }
  void set_message_observer(DriverMessageObserver observer) {
    message_observer_ = std::move(observer);
  }
  void set_pass_observer(PassObserver observer) { pass_observer_ = std::move(observer); }

  LinkState& link_state() { return *link_state_; }
  LinkFields& fields() { return fields_; }
  DeviceEvents& events() { return *events_; }
  // Why a link could not be used: missing libraries, devices present but not accessible.
  QStringList problems() const { return problems_; }

  // A message from a driver's monitor, on the owning thread.
  void HandleDriverMessage(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam);

 private:
  class PacedSleeper;
  class ObservedSender;

  // DeviceView: visible effects go to the display, timers are run here.
  void SetControlVisible(std::string_view control, bool visible) override;
  void SetPowerLabelText(const QString& text) override;
  void SetPowerLabelKey(const char* key) override;
  void SetPowerBar(int percent) override;
  void ShowPollingRateSection() override;
  void WithdrawPollingRateSection() override;
  void SelectDpiStage(int stage) override;
  void SelectLightEffect(int index) override;
  void ShowDpiPopup(std::int32_t dpi_code) override;
  void PostLinkChanged() override;
  void StartTimer(int id, int ms) override;
  void StopTimer(int id) override;
  void RunLater(int ms, std::function<void()> step) override;
  // ApplyPassEffects: called on the worker thread, carried over to the owning thread.
  void ShowApplyRing(bool visible) override;
  void StopReceiverIdleTimer() override;
  void StartReceiverIdleTimer() override;

  void LoadDrivers(const QString& folder);
  void OnTimer(int id);
  void PostToHost(std::function<void()> work);

  ProfileSession& session_;
  DeviceView* display_;
  DeviceHostOptions options_;
  CommandObserver observer_;
  DriverMessageObserver message_observer_;
  PassObserver pass_observer_;
  QStringList problems_;

  LinkFields fields_;
  std::unique_ptr<DriverLibrary> cable_library_;
  std::unique_ptr<DriverLibrary> receiver_library_;
  std::unique_ptr<DriverDevice> cable_;
  std::unique_ptr<DriverDevice> receiver_;
  std::unique_ptr<DriverBleWriter> ble_writer_;
  MoktaWindow window_{};
  bool library_ble_ = false;

  std::unique_ptr<PacedSleeper> sleeper_;
  std::unique_ptr<LinkCommandSender> link_sender_;
  std::unique_ptr<ObservedSender> sender_;
  std::unique_ptr<ApplyPass> pass_;
  std::unique_ptr<ApplyWorker> worker_;
  std::unique_ptr<LinkState> link_state_;
  std::unique_ptr<DeviceEvents> events_;
  std::map<int, QTimer*> timers_;
  bool started_ = false;
  bool shut_down_ = false;
};

// Messages the host gives the Bluetooth LE link of a driver library.
inline constexpr std::uint32_t MSG_BLE_PRESENCE = WM_USER_BASE + 600;
inline constexpr std::uint32_t MSG_BLE_EVENT = WM_USER_BASE + 601;

}  // namespace mokta
