// A feature-report driver library whose device the test controls: whether it opens, what the
// library says about a failed open, and when the device arrives. For the program's handling of
// a driver's explanations after start-up.

#include <algorithm>
#include <cstring>
#include <string>

#include "mokta_driver.h"

namespace {

MoktaWindow g_window{};
std::uint32_t g_status_message = 0;
bool g_opens = false;
std::string g_open_error;
std::string g_last_error;  // of the last Open_FeatureDevice

}  // namespace

extern "C" {

// The test's controls. The next opens succeed when `opens`, otherwise fail with `error` as the
// library's explanation ("" for none).
void FakeDriver_SetOpen(int32_t opens, const char* error) {
  g_opens = opens != 0;
  g_open_error = error ? error : "";
}

// Announces the device's arrival, as the monitor would.
void FakeDriver_Arrive(void) {
  if (g_window.post) g_window.post(g_window.context, g_status_message, MOKTA_DEVICE_ARRIVED, 0);
}

int32_t Set_VIDPID(int32_t, int32_t) {
  return 1;
}

int32_t Open_DevMonitor(const MoktaWindow* window, uint32_t, uint32_t status_message) {
  if (!window) return 0;
  g_window = *window;
  g_status_message = status_message;
  return 1;
}

int32_t Open_FeatureDevice(void) {
  g_last_error = g_opens ? "" : g_open_error;
  return g_opens ? 1 : 0;
}

int32_t Close_FeatureDevice(void) {
  return 1;
}

int32_t SetFeature(const uint8_t*, int32_t) {
  return g_opens ? 1 : 0;
}

int32_t Close_DevMonitor(void) {
  g_window = MoktaWindow{};
  return 1;
}

int32_t GetFeature(uint8_t*, int32_t) {
  return 0;
}

int32_t Mokta_LastOpenError(char* text, int32_t size) {
  if (text && size > 0) {
    const std::size_t n = std::min(g_last_error.size(), static_cast<std::size_t>(size) - 1);
    std::memcpy(text, g_last_error.data(), n);
    text[n] = '\0';
  }
  return g_last_error.empty() ? 0 : 1;
}

}  // extern "C"
