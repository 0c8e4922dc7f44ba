#include "platform/linux/hidraw_watcher.h"

#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <system_error>
#include <utility>

namespace mokta::hidraw {

bool HidrawNodeMatches(udev_device* device, HidId wanted) {
  udev_device* hid = udev_device_get_parent_with_subsystem_devtype(device, "hid", nullptr);
  if (!hid) return false;
  const char* text = udev_device_get_property_value(hid, "HID_ID");
  if (!text) return false;
  const auto id = ParseHidId(text);
  return id && *id == wanted;
}

HidrawWatcher::~HidrawWatcher() {
  Stop();
}

bool HidrawWatcher::Start(HidId wanted, Callback callback) {
  if (thread_.joinable()) return false;
  wanted_ = wanted;
  callback_ = std::move(callback);

  udev_ = udev_new();
  if (!udev_) return false;
  // Listen before looking at what is there, so that a node arriving in between is not lost;
  // a node seen twice is counted once.
  monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
  if (!monitor_ ||
      udev_monitor_filter_add_match_subsystem_devtype(monitor_, "hidraw", nullptr) < 0 ||
      udev_monitor_enable_receiving(monitor_) < 0) {
    ReleaseUdev();
    return false;
  }
  wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_fd_ < 0) {
    ReleaseUdev();
    return false;
  }

  if (udev_enumerate* list = udev_enumerate_new(udev_)) {
    udev_enumerate_add_match_subsystem(list, "hidraw");
    udev_enumerate_scan_devices(list);
    for (udev_list_entry* entry = udev_enumerate_get_list_entry(list); entry;
         entry = udev_list_entry_get_next(entry)) {
      const char* syspath = udev_list_entry_get_name(entry);
      udev_device* device = syspath ? udev_device_new_from_syspath(udev_, syspath) : nullptr;
      if (!device) continue;
      if (HidrawNodeMatches(device, wanted_)) {
        std::lock_guard lock(mutex_);
        nodes_.insert(syspath);
      }
      udev_device_unref(device);
    }
    udev_enumerate_unref(list);
  }

  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    ReleaseUdev();
    return false;
  }
  return true;
}

void HidrawWatcher::Stop() {
  if (thread_.joinable()) {
    const std::uint64_t one = 1;
    // The eventfd counter cannot overflow from one write; a failed write leaves the thread
    // running, which join would then wait for forever, so it is checked.
    if (write(wake_fd_, &one, sizeof one) != sizeof one) std::terminate();
    thread_.join();
  }
  ReleaseUdev();
  std::lock_guard lock(mutex_);
  nodes_.clear();
}

bool HidrawWatcher::Present() const {
  std::lock_guard lock(mutex_);
  return !nodes_.empty();
}

void HidrawWatcher::ReleaseUdev() {
  if (wake_fd_ >= 0) close(wake_fd_);
  wake_fd_ = -1;
  if (monitor_) udev_monitor_unref(monitor_);
  monitor_ = nullptr;
  if (udev_) udev_unref(udev_);
  udev_ = nullptr;
}

void HidrawWatcher::Run() {
  pollfd fds[2] = {{udev_monitor_get_fd(monitor_), POLLIN, 0}, {wake_fd_, POLLIN, 0}};
  for (;;) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return;
    if (fds[0].revents & POLLIN) {
      if (udev_device* device = udev_monitor_receive_device(monitor_)) {
        HandleDevice(device);
        udev_device_unref(device);
      }
    }
  }
}

void HidrawWatcher::HandleDevice(udev_device* device) {
  const char* action = udev_device_get_action(device);
  const char* syspath = udev_device_get_syspath(device);
  if (!action || !syspath) return;

  bool announce = false;
  bool arrived = false;
  if (std::strcmp(action, "add") == 0) {
    if (!HidrawNodeMatches(device, wanted_)) return;
    std::lock_guard lock(mutex_);
    announce = nodes_.empty();
    arrived = nodes_.insert(syspath).second;
    announce = announce && arrived;
  } else if (std::strcmp(action, "remove") == 0) {
    std::lock_guard lock(mutex_);
    announce = nodes_.erase(syspath) == 1 && nodes_.empty();
    arrived = false;
  }
  if (announce && callback_) callback_(arrived);
}

}  // namespace mokta::hidraw
