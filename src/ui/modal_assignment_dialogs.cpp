#include "ui/modal_assignment_dialogs.h"

#include <utility>

#include "ui/select_list_dialog.h"
#include "ui/shortcut_dialog.h"

namespace mokta {
namespace {

RepeatChoice ToChoice(const ListPick& pick) {
  return {pick.index, pick.repeat_mode, pick.loop_count};
}

std::optional<ListPick> RunListDialog(SelectListDialog& dialog) {
  if (dialog.Run() != 1) return std::nullopt;
  return ListPick{dialog.selected_index(), dialog.repeat_mode(), dialog.loop_count()};
}

}  // namespace

KeyCaptureSource KeyCaptureSourceOf(HookTable* hooks) {
  if (hooks == nullptr) return {};
  return {hooks, hooks->InWindowReasonKey()};
}

ModalAssignmentDialogs::ModalAssignmentDialogs(QWidget* parent, KeyCaptureSource capture,
                                               const KeyboardLayout& layout)
    : parent_(parent), capture_(std::move(capture)), layout_(layout) {}

std::optional<KeyCombinationPick> ModalAssignmentDialogs::PickKeyCombination(
    const KeyCombinationPick& current) {
  CShortcutWnd dialog(parent_, {current.modifiers, current.key}, capture_.hooks,
                      capture_.in_window_reason_key, layout_);
  if (dialog.Run() != 1) return std::nullopt;
  return KeyCombinationPick{dialog.combination().modifiers, dialog.combination().key};
}

std::optional<ListPick> ModalAssignmentDialogs::PickMacro(const MacroList& macros,
                                                          const ListPick& current) {
  CMS_1_SelectMacro dialog(parent_, MacroPickItems(macros), ToChoice(current), {});
  return RunListDialog(dialog);
}

// Every pattern may be assigned: a button keeps a long name cut to what it holds and the
// resync finds the pattern again by that cut.
std::optional<ListPick> ModalAssignmentDialogs::PickGun(const GunList& guns,
                                                        const ListPick& current) {
  CMS_1_SelectGun dialog(parent_, GunPickItems(guns), ToChoice(current), {});
  return RunListDialog(dialog);
}

}  // namespace mokta
