// A stand-in input hook library for the hook table's tests. Each call is reported to a
// recorder that the test sets through fake_hook_set_recorder; installhook also posts one key
// press ('A') to the window it is given. Built twice: complete, and without installmousehook
// (FAKE_HOOK_WITHOUT_INSTALLMOUSEHOOK).

#include <cstdio>

#include "mokta_hook.h"

namespace {

using Recorder = void (*)(const char* call);
Recorder g_recorder = nullptr;

void Record(const char* call) {
  if (g_recorder) g_recorder(call);
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

}  // extern "C"
