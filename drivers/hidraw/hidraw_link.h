#pragma once

// Everything one driver library does for its device, behind the library's C exports: the
// vendor/product pair, the monitor that follows arrival and removal, the feature-report side
// and the input reader, and where events go.
//
// The input reader runs exactly while the device is open and there is a window to post to
// (from OpenMonitor until CloseMonitor), whether or not the monitor could start: without it,
// no battery report or acknowledgement would arrive where netlink is unavailable.
//
// Threads: OpenMonitor, OpenDevice, CloseDevice, CloseMonitor and LastOpenError come from the
// UI thread and SetFeature from the worker thread. `control_` serialises the first group and
// the reader's start and stop; SetFeature takes it only for those short steps, never across
// the feature-report ioctl, so the UI thread never waits for a write.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "feature_device.h"
#include "input_reader.h"
#include "platform/linux/hid_id.h"

namespace mokta::hidraw {

class HidrawLink {
 public:
  // Follows the device's arrival (true) and removal (false) on a thread of its own; the udev
  // monitor unless a test puts another in its place.
  class Monitor {
   public:
    using Callback = std::function<void(bool arrived)>;
    virtual ~Monitor() = default;
    // False when it cannot follow the device (no netlink, no thread).
    virtual bool Start(HidId id, Callback callback) = 0;
    // Once it returns the callback is not called again; harmless when not started.
    virtual void Stop() = 0;
  };

  // Delivers one window message to the program; any thread, returns at once.
  using Post =
      std::function<void(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam)>;

  explicit HidrawLink(std::unique_ptr<Monitor> monitor = {},
                      HidrawFeatureDevice::Sender sender = {});
  HidrawLink(const HidrawLink&) = delete;
  HidrawLink& operator=(const HidrawLink&) = delete;
  ~HidrawLink();

  // False when an id is out of range; such a pair matches no device.
  bool SetIds(std::int32_t vendor, std::int32_t product);
  // Starts posting: status messages from the monitor, data messages from the reader. True
  // when the monitor runs; the reader runs in either case while the device is open.
  bool OpenMonitor(Post post, std::uint32_t data_message, std::uint32_t status_message);
  bool OpenDevice();
  void CloseDevice();
  bool SetFeature(std::span<const std::uint8_t> message);
  // Nothing is posted and no thread of the link runs after it returns.
  void CloseMonitor();
  std::string LastOpenError() const;

 private:
  void StartReaderIfReady();  // holds control_
  void DropNodeIfHungUp();    // holds control_

  mutable std::mutex control_;
  HidId id_{kBusUsb, 0, 0};
  std::unique_ptr<Monitor> monitor_;
  bool monitoring_ = false;
  Post post_;  // set while posting is wanted
  std::uint32_t data_message_ = 0;
  HidrawFeatureDevice device_;
  InputReader reader_;
};

}  // namespace mokta::hidraw
