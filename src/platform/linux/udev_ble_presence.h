#pragma once

// Bluetooth LE presence on Linux. The system's HID over GATT driver gives a connected mouse a
// hidraw node whose parent "hid" device has the HID_ID bus 0005 (Bluetooth), vendor 045E,
// product 00CC: its presence is the test, through hidapi at start-up and a libudev monitor
// afterwards.

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "device/ble_presence.h"

namespace mokta::hidraw {
class HidrawWatcher;
}

namespace mokta {

inline constexpr std::uint16_t kBleVendorId = 0x045E;
inline constexpr std::uint16_t kBleProductId = 0x00CC;

// The start-up test: true when hidapi lists a device with the mouse's Bluetooth LE vendor and
// product; false when hidapi cannot start. UI thread (hidapi's enumeration is not
// thread-safe, and the driver libraries enumerate on the UI thread too).
bool BleMousePresent();

// Follows the mouse's Bluetooth LE hidraw node through libudev.
class BleDeviceMonitor {
 public:
  // Called on the monitor's own thread with true when the mouse arrives and false when it
  // goes; the program posts it on to its UI thread. It must return soon and must not call
  // Stop. A mouse present when the monitor starts is not announced.
  using Callback = std::function<void(bool arrived)>;

  BleDeviceMonitor();
  BleDeviceMonitor(const BleDeviceMonitor&) = delete;
  BleDeviceMonitor& operator=(const BleDeviceMonitor&) = delete;
  ~BleDeviceMonitor();

  // False when libudev could not be set up or the monitor already runs.
  bool Start(Callback callback);
  // Once it returns the callback is not called again; harmless when not started.
  void Stop();
  // True from a successful Start until Stop: while the monitor's thread runs.
  bool Running() const;

 private:
  std::unique_ptr<hidraw::HidrawWatcher> watcher_;
};

// The hidraw half of the mouse's Bluetooth LE presence (see linux_system_ble.h).
class UdevBlePresence : public BlePresenceSource {
 public:
  bool PresentNow() override { return BleMousePresent(); }
  void Start(std::function<void(bool)> changed) override { monitor_.Start(std::move(changed)); }
  void Stop() override { monitor_.Stop(); }

 private:
  BleDeviceMonitor monitor_;
};

}  // namespace mokta
