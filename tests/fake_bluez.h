#pragma once

// A stand-in for BlueZ with the Bluetooth LE mouse, for the tests of the GATT transport.
//
// It runs python-dbusmock with the template tests/fake_bluez_mouse.py as a child process that
// owns "org.bluez" on the bus named by DBUS_SYSTEM_BUS_ADDRESS. That must be a private bus:
// run the test under tests/with_system_bus.sh; Start() refuses to run when the variable is
// unset, so a test never puts a fake BlueZ on the machine's real system bus.
//
// The fake serves what the transport reads of BlueZ (ObjectManager, Device1, GattService1,
// GattCharacteristic1 and their signals); the methods here steer it. Every method blocks until
// the fake has answered (at most a few seconds), returns false, an empty value or
// std::nullopt when the fake is not running or refused, and then leaves the reason in
// LastError() and in the log. Use one FakeBluez from one thread.
//
// Needs the compile definition MOKTA_FAKE_BLUEZ_TEMPLATE, the absolute path of the template;
// MOKTA_FAKE_BLUEZ_PYTHON may name the interpreter that has python3-dbusmock (default
// /usr/bin/python3). When the environment variable MOKTA_FAKE_BLUEZ_LOG names a file, the fake
// logs every call it receives there.

#include <QByteArray>
#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QVariant>
#include <optional>
#include <utility>
#include <vector>

class QDBusMessage;

namespace mokta::test {

class FakeBluez {
 public:
  // The mouse's Modalias as BlueZ shows it for a device that reports its ids over the Device
  // Information service.
  static constexpr const char* kMouseModalias = "usb:v045Ep00CCd0001";
  static constexpr const char* kMouseAddress = "AA:BB:CC:DD:EE:FF";

  // How WriteValue on the write characteristic answers.
  enum class WriteMode {
    kAccept,  // at once, successfully
    kReject,  // at once, with org.bluez.Error.Failed
    kSilent,  // successfully, but only after SetSilentSeconds (default 3 s); a disconnect
              // meanwhile fails it with "Not connected"
  };

  struct NotifyCalls {
    int start = 0;
    int stop = 0;
    bool operator==(const NotifyCalls&) const = default;
  };

  // One WriteValue the fake received: the value bytes and the "type" option ("" when absent).
  using Write = std::pair<QByteArray, QString>;

  FakeBluez() = default;
  ~FakeBluez();  // Stop()
  FakeBluez(const FakeBluez&) = delete;
  FakeBluez& operator=(const FakeBluez&) = delete;

  // Starts the fake, empty (no adapter, no device), and waits at most `timeout_ms` until
  // "org.bluez" is on the bus. True when it is; a fake already running is left as it is.
  bool Start(int timeout_ms = 15000);
  // Kills the fake, as when bluetoothd dies, and waits at most `timeout_ms` until "org.bluez"
  // has left the bus. True when it has (or the fake was not running).
  bool Stop(int timeout_ms = 5000);
  bool IsRunning() const { return process_.state() != QProcess::NotRunning; }

  // Adds a device below the adapter hci0 (created, powered, when missing) with the given
  // properties, announced in one InterfacesAdded (an empty `modalias` leaves the property out);
  // when `connected`, it then connects: Connected turns true, the GATT objects are added one
  // InterfacesAdded each, ServicesResolved turns true. Asking for a connected device while the
  // adapter is off fails and adds nothing. Every device gets the mouse's GATT service, so one
  // with another `modalias` is a decoy. Returns the device's object path, empty on failure.
  QString AddMouse(const QString& address = kMouseAddress, bool paired = true,
                   bool connected = true, const QString& modalias = kMouseModalias);
  // Connecting adds the GATT objects (also those RemoveCharacteristics took from a connected
  // device) and fails while the adapter is off. Disconnecting fails the writes in flight,
  // turns ServicesResolved false, removes the GATT objects one InterfacesRemoved each, then
  // turns Connected false.
  bool SetConnected(const QString& device_path, bool connected);
  // Off disconnects every device first; devices do not come back by themselves when on again.
  bool SetPowered(bool powered);
  // The mouse notifies `value`: the notify characteristic's Value is set and announced with
  // PropertiesChanged. Fails, sending nothing, unless a client has called StartNotify on it.
  bool Notify(const QString& device_path, const QByteArray& value);
  bool SetWriteMode(WriteMode mode);
  bool SetSilentSeconds(double seconds);
  // Every WriteValue that reached a writable characteristic, in order, whatever the write mode
  // answered. Empty on failure (LastError() tells).
  std::vector<Write> GetWrites();
  bool ClearWrites();
  // Removes the device's GATT objects while it stays connected (as after a service change).
  bool RemoveCharacteristics(const QString& device_path);
  // How many StartNotify and StopNotify calls the fake received, failed ones included.
  std::optional<NotifyCalls> GetNotifyCalls();

  // The object paths below a device, as the fake lays them out.
  static QString ServicePath(const QString& device_path);
  static QString WriteCharacteristicPath(const QString& device_path);   // fee3, "write"
  static QString NotifyCharacteristicPath(const QString& device_path);  // fee4, "notify"
  static QString DecoyCharacteristicPath(const QString& device_path);   // 2a19, "read"

  // The bus the fake is on (the system bus of this process).
  static QDBusConnection Bus() { return QDBusConnection::systemBus(); }
  QString LastError() const { return last_error_; }

 private:
  // Calls a control method; true when it answered without error. `reply` receives the answer.
  bool Call(const QString& method, const QVariantList& args, QDBusMessage* reply = nullptr);
  bool WaitForService(bool present, int timeout_ms);
  void Fail(const QString& text);

  QProcess process_;
  QString last_error_;
};

}  // namespace mokta::test
