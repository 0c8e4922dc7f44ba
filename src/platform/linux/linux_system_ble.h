#pragma once

// The system's Bluetooth LE road on Linux. The mouse counts as present while either the
// system's HID over GATT driver has given it a hidraw node (libudev) or BlueZ reports it
// connected; the GATT link, its writes and notifications, and the diagnosis come from BlueZ.

#include <functional>
#include <mutex>

#include "device/system_ble.h"
#include "platform/linux/bluez_gatt.h"
#include "platform/linux/udev_ble_presence.h"

namespace mokta {

class LinuxSystemBle final : public SystemBle {
 public:
  explicit LinuxSystemBle(BluezGatt::Options options = {}) : bluez_(options) {}
  ~LinuxSystemBle() override { Stop(); }

  bool PresentNow() override;
  void Start(std::function<void(bool arrived)> changed) override;
  void Stop() override;
  void SetLinkUp(bool up) override { bluez_.SetLinkUp(up); }
  void OpenGattLink() override { bluez_.OpenGattLink(); }
  bool WriteGatt(std::span<const std::uint8_t> message) override {
    return bluez_.WriteGatt(message);
  }
  void SetObservers(Observers observers) override { bluez_.SetObservers(std::move(observers)); }
  BleDiagnosis Diagnosis() const override { return bluez_.Diagnosis(); }

 private:
  // One source changed; tells the change of the two together. Any thread.
  void Update(bool& source, bool present);

  UdevBlePresence udev_;
  BluezGatt bluez_;
  std::function<void(bool)> changed_;
  std::mutex mutex_;  // the two sources report from different threads
  bool hidraw_present_ = false;
  bool bluez_present_ = false;
};

}  // namespace mokta
