#pragma once

// The program's pick dialogs behind the page's AssignmentDialogs interface: each call builds
// the dialog over `parent`, runs it modally and returns what the user confirmed. The dialogs
// hold nothing between calls; the lists are read during the call only.

#include <QPointer>
#include <QString>
#include <QWidget>

#include "app/hook_table.h"
#include "data/keyboard_layout.h"
#include "ui/assignment_dialogs.h"

namespace mokta {

// Where the key-combination dialog takes its key events from: the input hooks (null: no
// capture) and the language key of why they see only the program's own windows (empty when
// they see the whole desktop).
struct KeyCaptureSource {
  InputHooks* hooks = nullptr;
  QString in_window_reason_key;
};

// The source the hook table gives: itself, with its reason text key. Null gives no capture.
KeyCaptureSource KeyCaptureSourceOf(HookTable* hooks);

class ModalAssignmentDialogs final : public AssignmentDialogs {
 public:
  // `capture.hooks` and `layout` outlive this object; `parent` may go first (the dialogs then
  // open without a parent).
  ModalAssignmentDialogs(QWidget* parent, KeyCaptureSource capture, const KeyboardLayout& layout);

  std::optional<KeyCombinationPick> PickKeyCombination(const KeyCombinationPick& current) override;
  std::optional<ListPick> PickMacro(const MacroList& macros, const ListPick& current) override;
  std::optional<ListPick> PickGun(const GunList& guns, const ListPick& current) override;

 private:
  QPointer<QWidget> parent_;
  KeyCaptureSource capture_;
  const KeyboardLayout& layout_;
};

}  // namespace mokta
