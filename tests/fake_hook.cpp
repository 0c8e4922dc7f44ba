// A stand-in input hook library for the hook table's tests. Each call is reported to a
// recorder that the test sets through fake_hook_set_recorder, and appended as a line to the
// file named by FAKE_HOOK_LOG when that is set (for a program under test, with "unloaded" as
// the last line once the library leaves the process); installhook also posts one key press
// ('A') to the window it is given. Built four times: complete, without installmousehook
// (FAKE_HOOK_WITHOUT_INSTALLMOUSEHOOK), and with hookglobalcapture answering
// FAKE_HOOK_GLOBAL_CAPTURE (1, or 0 as on a Wayland desktop).

#include <cstdio>
#include <cstdlib>

#include "mokta_hook.h"

namespace {

using Recorder = void (*)(const char* call);
Recorder g_recorder = nullptr;

void Record(const char* call) {
  if (g_recorder) g_recorder(call);
  if (const char* log = std::getenv("FAKE_HOOK_LOG")) {
    if (std::FILE* file = std::fopen(log, "a")) {
      std::fprintf(file, "%s\n", call);
      std::fclose(file);
    }
  }
}

// Runs when the library is unloaded, or when the process ends with it still loaded.
__attribute__((destructor)) void RecordUnload() {
  g_recorder = nullptr;
  Record("unloaded");
}

void Record(const char* name, int32_t value) {
  char call[48];
  std::snprintf(call, sizeof(call), "%s(%d)", name, static_cast<int>(value));
  Record(call);
}

}  // namespace

extern "C" {

void fake_hook_set_recorder(Recorder recorder) {
  g_recorder = recorder;
}

#ifndef FAKE_HOOK_WITHOUT_INSTALLMOUSEHOOK
void installmousehook(void) {
  Record("installmousehook");
}
#endif

void removemousehook(void) {
  Record("removemousehook");
}

void enablemousehook(int32_t enable) {
  Record("enablemousehook", enable);
}

void installhook(const MoktaWindow* window) {
  Record("installhook");
  window->post(window->context, MOKTA_HOOK_EVENT_MESSAGE, 0x41, 0);
}

void removehook(void) {
  Record("removehook");
}

void enablehook(int32_t enable) {
  Record("enablehook", enable);
}

void mousewheelenable(int32_t enable) {
  Record("mousewheelenable", enable);
}

#ifdef FAKE_HOOK_GLOBAL_CAPTURE
int32_t hookglobalcapture(void) {
  Record("hookglobalcapture");
  return FAKE_HOOK_GLOBAL_CAPTURE;
}
#endif

}  // extern "C"
