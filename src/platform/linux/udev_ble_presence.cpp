#include "platform/linux/udev_ble_presence.h"

#include <hidapi.h>

#include <utility>

#include "platform/linux/hidraw_watcher.h"

namespace mokta {

bool BleMousePresent() {
  if (hid_init() != 0) return false;
  hid_device_info* list = hid_enumerate(kBleVendorId, kBleProductId);
  const bool present = list != nullptr;
  hid_free_enumeration(list);
  return present;
}

BleDeviceMonitor::BleDeviceMonitor() : watcher_(std::make_unique<hidraw::HidrawWatcher>()) {}

BleDeviceMonitor::~BleDeviceMonitor() = default;

bool BleDeviceMonitor::Start(Callback callback) {
  return watcher_->Start(hidraw::HidId{hidraw::kBusBluetooth, kBleVendorId, kBleProductId},
                         std::move(callback));
}

void BleDeviceMonitor::Stop() {
  watcher_->Stop();
}

bool BleDeviceMonitor::Running() const {
  return watcher_->Running();
}

}  // namespace mokta
