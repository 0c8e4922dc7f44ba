// The exports of a hidraw driver library. Each library (cable or receiver) is one build of
// this file with its own copy of the state below, and drives the one device named by
// Set_VIDPID.
//
// Threads: the exports other than SetFeature come from the program's UI thread and are
// serialised by `control`; SetFeature comes from the worker thread and is serialised with
// open and close inside HidrawFeatureDevice. The monitor and the input reader each run one
// thread; both are joined before Close_DevMonitor returns.

#include <algorithm>
#include <cstring>
#include <mutex>
#include <span>
#include <string>

#include "feature_device.h"
#include "input_reader.h"
#include "platform/linux/hidraw_watcher.h"

#pragma GCC visibility push(default)
#include "mokta_driver.h"
#pragma GCC visibility pop

namespace {

using mokta::hidraw::HidId;
using mokta::hidraw::HidrawFeatureDevice;
using mokta::hidraw::HidrawWatcher;
using mokta::hidraw::InputEvent;
using mokta::hidraw::InputReader;

struct Target {
  MoktaWindow window{};
  std::uint32_t data_message = 0;
  std::uint32_t status_message = 0;
};

struct Driver {
  std::mutex control;
  HidId id{mokta::hidraw::kBusUsb, 0, 0};
  bool monitoring = false;
  Target target;  // where to post; valid while `monitoring`
  HidrawFeatureDevice device;
  InputReader reader;
  HidrawWatcher watcher;
};

Driver g_driver;

// Starts reading input reports when the device is open and there is a window to post them
// to. Holds `control`.
void StartReaderIfReady(Driver& d) {
  if (!d.monitoring || !d.device.IsOpen() || d.reader.Running()) return;
  const Target target = d.target;
  d.reader.Start(d.device.DevNode(), d.device.Numbered(), [target](InputEvent event) {
    target.window.post(target.window.context, target.data_message, event.word, event.value);
  });
}

}  // namespace

extern "C" {

int32_t Set_VIDPID(int32_t vendor_id, int32_t product_id) {
  std::lock_guard lock(g_driver.control);
  const bool valid =
      vendor_id >= 0 && vendor_id <= 0xFFFF && product_id >= 0 && product_id <= 0xFFFF;
  // An id out of range matches no device.
  g_driver.id.vendor = valid ? static_cast<std::uint16_t>(vendor_id) : 0;
  g_driver.id.product = valid ? static_cast<std::uint16_t>(product_id) : 0;
  g_driver.device.SetIds(g_driver.id.vendor, g_driver.id.product);
  return valid ? 1 : 0;
}

int32_t Open_DevMonitor(const MoktaWindow* window, uint32_t data_message, uint32_t status_message) {
  std::lock_guard lock(g_driver.control);
  if (g_driver.monitoring) return 1;
  if (!window || !window->post) return 0;
  g_driver.target = Target{*window, data_message, status_message};
  const Target target = g_driver.target;
  if (!g_driver.watcher.Start(g_driver.id, [target](bool arrived) {
        target.window.post(target.window.context, target.status_message,
                           arrived ? MOKTA_DEVICE_ARRIVED : MOKTA_DEVICE_REMOVED, 0);
      })) {
    return 0;
  }
  g_driver.monitoring = true;
  StartReaderIfReady(g_driver);
  return 1;
}

int32_t Open_FeatureDevice(void) {
  std::lock_guard lock(g_driver.control);
  // A handle whose node hung up belongs to a device that has gone; open the one now there.
  if (g_driver.reader.HungUp()) {
    g_driver.reader.Stop();
    g_driver.device.Close();
  }
  if (!g_driver.device.Open()) return 0;
  StartReaderIfReady(g_driver);
  return 1;
}

int32_t Close_FeatureDevice(void) {
  std::lock_guard lock(g_driver.control);
  g_driver.reader.Stop();
  g_driver.device.Close();
  return 1;
}

int32_t SetFeature(const uint8_t* report, int32_t length) {
  if (!report || length <= 0) return 0;
  return g_driver.device.SetFeature(std::span(report, static_cast<std::size_t>(length))) ? 1 : 0;
}

int32_t Close_DevMonitor(void) {
  std::lock_guard lock(g_driver.control);
  g_driver.watcher.Stop();
  g_driver.reader.Stop();
  g_driver.monitoring = false;
  g_driver.target = Target{};
  return 1;
}

int32_t GetFeature(uint8_t*, int32_t) {
  return 0;
}

int32_t Mokta_LastOpenError(char* text, int32_t size) {
  std::lock_guard lock(g_driver.control);
  const std::string message = g_driver.device.LastOpenError();
  if (text && size > 0) {
    const std::size_t n = std::min(message.size(), static_cast<std::size_t>(size) - 1);
    std::memcpy(text, message.data(), n);
    text[n] = '\0';
  }
  return message.empty() ? 0 : 1;
}

}  // extern "C"
