#pragma once

// The input hooks of a desktop where the input hook library cannot see other programs' input
// (a Wayland session, no X display, no input hook library): the key and mouse-button events
// of the program's own windows, posted to the installing window exactly as the library posts
// them (MOKTA_HOOK_EVENT_MESSAGE, Windows virtual-key codes, the button messages). Recording and
// key capture then work while a window of the program has the focus.
//
// Nothing it sees is logged or kept: each event is posted and forgotten. UI thread only.

#include <QObject>
#include <cstdint>
#include <optional>

#include "app/hook_table.h"
#include "data/keyboard_layout.h"

class QKeyEvent;

namespace mokta {

// The virtual-key code a key event stands for: the layout's code for the window system's key
// code (the event's native scan code) when it has one, else the modifier key at that key code,
// else the code of the Qt key; 0 when none names a key of the program's key table.
std::uint32_t KeyEventToVirtualKey(const QKeyEvent& event, const KeyboardLayout& layout);
// The virtual-key code of a Qt key as a US keyboard produces it (shifted symbols by their
// key, keypad keys by `keypad`, modifiers as the left-hand keys); 0 for keys without one.
std::uint32_t QtKeyToVirtualKey(int key, bool keypad);

// The message and lParam the input hook library posts for a mouse button going down or up;
// nothing for buttons it does not report.
struct HookButtonEvent {
  std::uint32_t message;
  std::intptr_t lparam;
};
std::optional<HookButtonEvent> ButtonToHookEvent(Qt::MouseButton button, bool press);

class WindowInputCapture : public QObject, public InputHooks {
 public:
  // `layout` is the keyboard layout in use; it outlives the capture.
  explicit WindowInputCapture(const KeyboardLayout& layout);
  ~WindowInputCapture() override;

  // While installed, watches the events of every window of the program (an application event
  // filter) and lets each one through unchanged.
  void InstallHook(const MoktaWindow* window) override;
  void RemoveHook() override;
  void EnableHook(bool enable) override { keys_enabled_ = enable; }
  void EnableMouseHook(bool enable) override { buttons_enabled_ = enable; }
  void RemoveMouseHook() override { buttons_enabled_ = false; }
  // Wheel movements are never reported, whatever the flag says: the callers always turn them
  // off.
  void MouseWheelEnable(bool /*enable*/) override {}

  bool installed() const { return window_ != nullptr; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Post(std::uintptr_t wparam, std::intptr_t lparam) const;

  const KeyboardLayout& layout_;
  const MoktaWindow* window_ = nullptr;  // null: not installed
  bool keys_enabled_ = false;
  bool buttons_enabled_ = false;
};

}  // namespace mokta
