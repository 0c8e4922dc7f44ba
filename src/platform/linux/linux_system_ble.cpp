#include "platform/linux/linux_system_ble.h"

#include <utility>

#include "platform/system_services.h"

namespace mokta {

bool LinuxSystemBle::PresentNow() {
  const bool hidraw = udev_.PresentNow();
  const bool bluez = bluez_.PresentNow();
  std::lock_guard lock(mutex_);
  hidraw_present_ = hidraw;
  bluez_present_ = bluez;
  return hidraw || bluez;
}

void LinuxSystemBle::Start(std::function<void(bool arrived)> changed) {
  changed_ = std::move(changed);
  udev_.Start([this](bool present) { Update(hidraw_present_, present); });
  bluez_.Start([this](bool present) { Update(bluez_present_, present); });
}

void LinuxSystemBle::Stop() {
  udev_.Stop();
  bluez_.Stop();
}

void LinuxSystemBle::Update(bool& source, bool present) {
  bool before = false;
  bool after = false;
  {
    std::lock_guard lock(mutex_);
    before = hidraw_present_ || bluez_present_;
    source = present;
    after = hidraw_present_ || bluez_present_;
  }
  if (before != after && changed_) changed_(after);
}

std::unique_ptr<SystemBle> MakeSystemBle() {
  return std::make_unique<LinuxSystemBle>();
}

}  // namespace mokta
