// The exports of libHook.so. They are called on the program's UI thread; the capture thread
// reads only the gates, so the exports need no lock between them and the thread.

#include <memory>

#include "input_capture.h"
#include "mokta_hook.h"

namespace {

mokta::hook::Gates g_gates;
// The running capture, from installhook to removehook; null in a Wayland session or when the
// capture could not start, and then nothing is posted.
std::unique_ptr<mokta::hook::InputCapture> g_capture;

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void installmousehook(void) {}

__attribute__((visibility("default"))) void removemousehook(void) {
  g_gates.buttons.store(false);
}

__attribute__((visibility("default"))) void enablemousehook(int32_t enable) {
  g_gates.buttons.store(enable != 0);
}

__attribute__((visibility("default"))) void installhook(const MoktaWindow* window) {
  g_capture.reset();  // a second installhook moves the events to the new window
  if (window == nullptr || mokta::hook::InWaylandSession()) return;
  g_capture = mokta::hook::InputCapture::Start(*window, g_gates);
}

__attribute__((visibility("default"))) void removehook(void) {
  g_capture.reset();
}

__attribute__((visibility("default"))) void enablehook(int32_t enable) {
  g_gates.keys.store(enable != 0);
}

// The wheel is never reported: the hook message has no form for a wheel step, and the program
// always passes 0. Accepted for the interface's sake.
__attribute__((visibility("default"))) void mousewheelenable(int32_t) {}

__attribute__((visibility("default"))) int32_t hookglobalcapture(void) {
  return mokta::hook::DesktopCaptureAvailable() ? 1 : 0;
}

}  // extern "C"
