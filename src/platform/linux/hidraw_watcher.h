#pragma once

// Follows the hidraw nodes of one device through a libudev monitor: the device counts as
// present while at least one hidraw node whose parent "hid" device carries the wanted HID_ID
// exists. A device may expose several hidraw interfaces; the watcher counts them, so it
// announces the device once when the first node appears and once when the last one goes.
//
// Removal events are matched by the node's syspath, remembered at arrival: by the time a
// removal is read the parent "hid" device is usually gone from sysfs.

#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "platform/linux/hid_id.h"

struct udev;
struct udev_device;
struct udev_monitor;

namespace mokta::hidraw {

class HidrawWatcher {
 public:
  // Called on the watcher's thread: true when the device has arrived, false when it has
  // gone. It must return soon and must not call Stop.
  using Callback = std::function<void(bool arrived)>;

  HidrawWatcher() = default;
  HidrawWatcher(const HidrawWatcher&) = delete;
  HidrawWatcher& operator=(const HidrawWatcher&) = delete;
  ~HidrawWatcher();

  // Starts following `wanted`. Nodes present now are counted but not announced. Returns
  // false when libudev or the thread could not be set up, or when already started.
  bool Start(HidId wanted, Callback callback);

  // Stops the thread; once it returns the callback is not called again. Harmless when not
  // started. Must not be called from the callback.
  void Stop();

  // True while at least one matching node is known. Any thread.
  bool Present() const;
  // True from a successful Start until Stop: while the thread runs. The thread of Start and
  // Stop.
  bool Running() const { return thread_.joinable(); }

 private:
  void Run();
  void HandleDevice(udev_device* device);
  void ReleaseUdev();

  HidId wanted_;
  Callback callback_;
  udev* udev_ = nullptr;
  udev_monitor* monitor_ = nullptr;
  int wake_fd_ = -1;  // eventfd that ends the thread's poll
  std::thread thread_;
  mutable std::mutex mutex_;
  std::set<std::string> nodes_;  // syspaths of the matching hidraw nodes
};

// True when `device`'s parent "hid" device has the HID_ID `wanted`.
bool HidrawNodeMatches(udev_device* device, HidId wanted);

}  // namespace mokta::hidraw
