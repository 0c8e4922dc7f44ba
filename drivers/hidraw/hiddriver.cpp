// The exports of a hidraw driver library. Each library (cable or receiver) is one build of
// this file with its own HidrawLink, which drives the one device named by Set_VIDPID; the
// link's header tells which thread may call what.

#include <algorithm>
#include <cstring>
#include <span>
#include <string>

#include "hidraw_link.h"

#pragma GCC visibility push(default)
#include "mokta_driver.h"
#pragma GCC visibility pop

namespace {

mokta::hidraw::HidrawLink g_link;

}  // namespace

extern "C" {

int32_t Set_VIDPID(int32_t vendor_id, int32_t product_id) {
  return g_link.SetIds(vendor_id, product_id) ? 1 : 0;
}

int32_t Open_DevMonitor(const MoktaWindow* window, uint32_t data_message, uint32_t status_message) {
  if (!window || !window->post) return 0;
  const MoktaWindow target = *window;
  const auto post = [target](std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
    target.post(target.context, message, wparam, lparam);
  };
  return g_link.OpenMonitor(post, data_message, status_message) ? 1 : 0;
}

int32_t Open_FeatureDevice(void) {
  return g_link.OpenDevice() ? 1 : 0;
}

int32_t Close_FeatureDevice(void) {
  g_link.CloseDevice();
  return 1;
}

int32_t SetFeature(const uint8_t* report, int32_t length) {
  if (!report || length <= 0) return 0;
  return g_link.SetFeature(std::span(report, static_cast<std::size_t>(length))) ? 1 : 0;
}

int32_t Close_DevMonitor(void) {
  g_link.CloseMonitor();
  return 1;
}

int32_t GetFeature(uint8_t*, int32_t) {
  return 0;
}

int32_t Mokta_LastOpenError(char* text, int32_t size) {
  const std::string message = g_link.LastOpenError();
  if (text && size > 0) {
    const std::size_t n = std::min(message.size(), static_cast<std::size_t>(size) - 1);
    std::memcpy(text, message.data(), n);
    text[n] = '\0';
  }
  return message.empty() ? 0 : 1;
}

}  // extern "C"
