#pragma once

// The input hook library's seven operations, loaded at run time from "libHook.so" in the
// driver folder (the program's folder, or MOKTA_DRIVER_DIR). The table is empty when the
// library does not load or lacks one of the exports; every operation is then a no-op, so the
// callers (macro recorder, key capture) call them without testing first and simply receive
// no events. UI thread only.

#include <QString>

#include "mokta_hook.h"

namespace mokta {

inline constexpr char kHookLibraryFile[] = "libHook.so";

class HookTable {
 public:
  // Loads DriverFolder() + kHookLibraryFile.
  HookTable();
  // Loads the library at `path`.
  explicit HookTable(const QString& path);
  // Removes the mouse part and the hook (RemoveMouseHook, then RemoveHook), then unloads the
  // library, so that no hook outlives the code it runs.
  ~HookTable();

  HookTable(const HookTable&) = delete;
  HookTable& operator=(const HookTable&) = delete;

  bool loaded() const { return handle_ != nullptr; }

  // From now on the input events (MOKTA_HOOK_EVENT_MESSAGE) are posted to `window`, which
  // must stay alive until RemoveHook.
  void InstallHook(const MoktaWindow* window);
  void RemoveHook();
  // Key events on or off.
  void EnableHook(bool enable);
  // Mouse-button events on or off (in addition to key events).
  void EnableMouseHook(bool enable);
  void RemoveMouseHook();
  // Wheel movements on or off; the callers always pass false.
  void MouseWheelEnable(bool enable);

 private:
  void Load(const QString& path);

  // In the order they are looked up.
  struct Exports {
    MoktaInstallMouseHookFn install_mouse_hook = nullptr;  // looked up, never called
    MoktaRemoveMouseHookFn remove_mouse_hook = nullptr;
    MoktaEnableMouseHookFn enable_mouse_hook = nullptr;
    MoktaInstallHookFn install_hook = nullptr;
    MoktaRemoveHookFn remove_hook = nullptr;
    MoktaEnableHookFn enable_hook = nullptr;
    MoktaMouseWheelEnableFn mouse_wheel_enable = nullptr;
  };

  void* handle_ = nullptr;  // null: the table is empty
  Exports exports_;
};

}  // namespace mokta
