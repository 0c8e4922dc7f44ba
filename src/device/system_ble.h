#pragma once

// The system's Bluetooth LE presence test and device monitor, as the device host uses them
// when the driver libraries offer no Bluetooth LE link of their own.

#include <functional>
#include <utility>

#include "device/ble_presence.h"
#include "device/device_host.h"

namespace mokta {

class SystemBlePresence : public BlePresenceSource {
 public:
  bool PresentNow() override { return BleMousePresent(); }
  void Start(std::function<void(bool)> changed) override { monitor_.Start(std::move(changed)); }
  void Stop() override { monitor_.Stop(); }

 private:
  BleDeviceMonitor monitor_;
};

}  // namespace mokta
