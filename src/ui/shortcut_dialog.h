#pragma once

// CShortcutWnd, the key-combination dialog of the button assignment: four modifier check
// boxes (Ctrl, Shift, Alt, Super: bits 0..3) and the field "edit_key", which captures keys
// through the input hooks while it has the focus. Every key event reported there, press or
// release, replaces the key, so the key is the one of the last event: holding Shift, typing A
// and letting Shift go leaves Left Shift.
//
// Keys in the field: every key is captured, Enter and Escape included (a button may send
// them), so there they neither accept nor cancel; Tab and Shift+Tab are not captured but move
// the focus on, which keeps the dialog usable from the keyboard (OK and Cancel are a Tab away).
// The Shift press of a Shift+Tab is taken back: the key stays the one chosen before it.
//
// The hooks are held only while the field has the focus: installed when it gains it, removed
// when it loses it and, at the latest, when the dialog is destroyed. Where the hooks capture
// only inside the program's windows, the dialog says so under the field.

#include <QString>
#include <cstdint>
#include <memory>

#include "app/hook_table.h"
#include "data/keyboard_layout.h"
#include "framework/skin_window.h"

class QKeyEvent;
class QLineEdit;

namespace mokta {

// A key combination as a button stores it: modifier bits 0..3 (Ctrl, Shift, Alt, Super) and
// a key usage id (0: none).
struct KeyCombination {
  std::uint8_t modifiers = 0;
  std::uint8_t key = 0;

  bool operator==(const KeyCombination&) const = default;
};

class CShortcutWnd : public SkinWindow {
 public:
  static constexpr int kModifierCount = 4;

  // `hooks` delivers the key events (null: no capture; the field then only shows the key);
  // `in_window_reason_key` is the language key of why keys are captured only inside the
  // program's windows, empty when the hooks see the whole desktop. `hooks` and `layout`
  // outlive the dialog.
  CShortcutWnd(QWidget* parent, KeyCombination initial, InputHooks* hooks,
               const QString& in_window_reason_key, const KeyboardLayout& layout);
  // Releases the hooks when the field still holds them.
  ~CShortcutWnd() override;

  // Runs the dialog modally; 1 when the user accepted, 0 otherwise. Whether an empty
  // combination counts as a choice is the caller's decision.
  int Run();

  // The combination shown; after a run with result 1 it is what the user accepted.
  const KeyCombination& combination() const { return combination_; }
  // Whether the field holds the hooks now.
  bool capturing() const { return capturing_; }

 protected:
  void Notify(const Notification& notification) override;
  std::intptr_t HandleCustomMessage(std::uint32_t message, std::uintptr_t wparam,
                                    std::intptr_t lparam, bool& handled) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void StartCapture();
  void StopCapture();
  void OnHookEvent(std::uintptr_t wparam, std::intptr_t lparam);
  void ForgetShiftOfBacktab();
  void ShowKey();
  // The hooks' post callback: may run on any thread.
  static void PostHookEvent(void* context, std::uint32_t message, std::uintptr_t wparam,
                            std::intptr_t lparam);

  KeyCombination combination_;
  InputHooks* hooks_;
  const KeyboardLayout& layout_;
  QLineEdit* key_edit_ = nullptr;
  std::shared_ptr<MessageTarget> target_;  // kept for the hooks' posts
  MoktaWindow hook_window_{};
  bool capturing_ = false;
  std::uint8_t key_before_last_event_ = 0;  // the key before the last captured event
};

}  // namespace mokta
