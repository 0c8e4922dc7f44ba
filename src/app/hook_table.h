#pragma once

// The input hooks the macro recorder and the key capture fields call: the seven operations of
// the input hook library "libHook.so", loaded at run time, and a stand-in for desktops where
// that library cannot see other programs' input (a Wayland session): a capture of the
// program's own windows that posts the same events. The callers call one HookTable and never
// test first: with neither in place every operation is a no-op and they simply receive no
// events. UI thread only.

#include <QString>
#include <memory>

#include "mokta_hook.h"

namespace mokta {

inline constexpr char kHookLibraryFile[] = "libHook.so";

// Language keys of the texts that tell the user why keys are recorded only while a window of
// the program has the focus: the desktop lets no program see another's input, or the input
// hook library is missing or unusable.
inline constexpr char kHookInWindowTextKey[] = "hook_in_window_text";
inline constexpr char kHookMissingTextKey[] = "hook_missing_text";

// The path of the input hook library: in `driver_folder` (MOKTA_DRIVER_DIR, which points the
// program at the virtual mouse's libraries) when that folder is given and holds the library,
// else in `program_folder`. Both folders end with "/"; `driver_folder` may be empty.
QString HookLibraryPathIn(const QString& driver_folder, const QString& program_folder);
// The same for this run: MOKTA_DRIVER_DIR and the program's own folder.
QString HookLibraryPath();

// The operations as the callers see them; posted events arrive as MOKTA_HOOK_EVENT_MESSAGE at
// the window given to InstallHook.
class InputHooks {
 public:
  virtual ~InputHooks() = default;

  // From now on the input events are posted to `window`, which must stay alive until
  // RemoveHook.
  virtual void InstallHook(const MoktaWindow* window) = 0;
  virtual void RemoveHook() = 0;
  // Key events on or off.
  virtual void EnableHook(bool enable) = 0;
  // Mouse-button events on or off (in addition to key events).
  virtual void EnableMouseHook(bool enable) = 0;
  virtual void RemoveMouseHook() = 0;
  // Wheel movements on or off; the callers always pass false.
  virtual void MouseWheelEnable(bool enable) = 0;
};

class HookTable : public InputHooks {
 public:
  // Loads HookLibraryPath().
  HookTable();
  // Loads the library at `path`.
  explicit HookTable(const QString& path);
  // Removes the mouse part and the hook (RemoveMouseHook, then RemoveHook) from the window
  // capture and from the library, then unloads the library, so that no hook outlives the code
  // it runs.
  ~HookTable() override;

  HookTable(const HookTable&) = delete;
  HookTable& operator=(const HookTable&) = delete;

  // Whether the library is loaded with all seven exports.
  bool loaded() const { return handle_ != nullptr; }
  // Whether the loaded library sees the events of the whole desktop (its optional
  // hookglobalcapture export says 1, or it has none). When it does not, the operations go to
  // the window capture, if one was given.
  bool global() const { return handle_ != nullptr && library_global_; }
  // Gives the table the capture of the program's own windows, used whenever global() is
  // false. Call before the first operation; a second call replaces the first capture.
  void SetWindowCapture(std::unique_ptr<InputHooks> capture);
  bool has_window_capture() const { return window_capture_ != nullptr; }
  // The language key of the text telling the user why keys are recorded only inside the
  // program's windows; empty when global().
  QString InWindowReasonKey() const;
  // Logs which capture serves the recorder (the library, the program's windows, or none);
  // called once at start.
  void LogCapture() const;

  void InstallHook(const MoktaWindow* window) override;
  void RemoveHook() override;
  void EnableHook(bool enable) override;
  void EnableMouseHook(bool enable) override;
  void RemoveMouseHook() override;
  void MouseWheelEnable(bool enable) override;

 private:
  void Load(const QString& path);
  // Where the operations go: the library when it is global, else the window capture (null
  // when there is none).
  InputHooks* target();

  class Library;  // the loaded library's exports as one of the targets

  QString path_;
  void* handle_ = nullptr;  // null: no library
  std::unique_ptr<Library> library_;
  bool library_global_ = false;
  std::unique_ptr<InputHooks> window_capture_;
};

}  // namespace mokta
