// The settings page's button assignment: the button menu, the assignment of a menu item's
// function to the button it was opened for, the texts of the buttons, and the resync after
// the macro and recoil pattern editors.

#include <QLoggingCategory>

#include "app/mouse_core.h"
#include "app/window_ids.h"
#include "data/button_assignment.h"
#include "framework/skin_window.h"
#include "ui/assignment_text.h"
#include "ui/settings_page.h"

namespace mokta {
namespace {
Q_LOGGING_CATEGORY(lcAssign, "mokta.page.assign")

// A list position the dialog may show as chosen: inside the list, else none.
int ListPosition(int index, std::size_t size) {
  return index >= 0 && static_cast<std::size_t>(index) < size ? index : -1;
}
}  // namespace

void CMS_1_Page::OpenButtonMenu(int n) {
  QWidget* button = controls_.Get(NumberedName(kButtonKey, n));
  if (!button || !window_) return;
  assigning_ = n - 1;
  button_menu_.Open(button, window_, [this](const QString& item) {
    if (post_menu_command_) {
      post_menu_command_(item);
    } else {
      qCWarning(lcAssign) << "no one takes the button menu's item" << item;
    }
  });
}

void CMS_1_Page::OnMenuCommand(const QString& item_name) {
  AssignFromMenu(item_name);
}

template <typename Edit>
void CMS_1_Page::EditAssigned(Edit&& edit) {
  const auto k = static_cast<std::size_t>(assigning_);
  core_.session().EditCurrent([&](ProfileData& p) { edit(p.button(k)); });
}

void CMS_1_Page::AssignFromMenu(const QString& item_name) {
  const std::uint8_t code = FunctionForMenuItem(item_name);
  const auto k = static_cast<std::size_t>(assigning_);
  if (!KeepsLeftClick(core_.session().current(), k, code)) {
    qCInfo(lcAssign) << "refused" << item_name << "for button" << k + 1
                     << ": no button would stay on left click";
    ShowMessage(QStringLiteral("one_click_text"));
    return;
  }
  bool assigned = true;
  if (code == kFunctionKeyCombo) {
    assigned = AssignKeyCombinationFromDialog();
  } else if (code == kFunctionMacro) {
    assigned = AssignMacroFromDialog();
  } else if (code == kFunctionGun) {
    assigned = AssignGunFromDialog();
  } else {
    EditAssigned([code](ButtonData& b) { b.set_function(code); });
  }
  if (!assigned) return;
  Apply(ApplyTiming::kNow);
  ShowAssignment(assigning_);
}

bool CMS_1_Page::AssignKeyCombinationFromDialog() {
  if (!dialogs_) {
    qCWarning(lcAssign) << "no key-combination dialog: nothing assigned";
    return false;
  }
  const ButtonData& b = core_.session().current().button(static_cast<std::size_t>(assigning_));
  KeyCombinationPick current;
  if (b.function() == kFunctionKeyCombo) current = {b.modifiers(), b.key()};
  const std::optional<KeyCombinationPick> pick = dialogs_->PickKeyCombination(current);
  // Confirmed without a key and without a modifier: the button keeps what it had.
  if (!pick || (pick->modifiers == 0 && pick->key == 0)) return false;
  EditAssigned(
      [&](ButtonData& button) { AssignKeyCombination(button, pick->modifiers & 0x0F, pick->key); });
  return true;
}

bool CMS_1_Page::AssignMacroFromDialog() {
  if (!dialogs_) {
    qCWarning(lcAssign) << "no macro dialog: nothing assigned";
    return false;
  }
  const MacroList& macros = core_.macros();
  const ButtonData& b = core_.session().current().button(static_cast<std::size_t>(assigning_));
  ListPick current;
  if (b.function() == kFunctionMacro) {
    current = {ListPosition(b.macro_index(), macros.size()), b.repeat_mode(), b.repeat_count()};
  }
  const std::optional<ListPick> pick = dialogs_->PickMacro(macros, current);
  if (!pick || ListPosition(pick->index, macros.size()) < 0 ||
      !macros[static_cast<std::size_t>(pick->index)]) {
    return false;
  }
  const MacroData& macro = *macros[static_cast<std::size_t>(pick->index)];
  EditAssigned([&](ButtonData& button) {
    AssignMacro(button, macro, pick->index, std::clamp(pick->repeat_mode, 0, 2),
                std::clamp(pick->loop_count, 1, 255));
  });
  return true;
}

bool CMS_1_Page::AssignGunFromDialog() {
  if (!dialogs_) {
    qCWarning(lcAssign) << "no recoil pattern dialog: nothing assigned";
    return false;
  }
  const GunList& guns = core_.guns();
  const ButtonData& b = core_.session().current().button(static_cast<std::size_t>(assigning_));
  ListPick current;
  if (b.function() == kFunctionGun) {
    current = {ListPosition(b.gun_index(), guns.size()), b.repeat_mode(), b.repeat_count()};
  }
  const std::optional<ListPick> pick = dialogs_->PickGun(guns, current);
  if (!pick || ListPosition(pick->index, guns.size()) < 0 ||
      !guns[static_cast<std::size_t>(pick->index)]) {
    return false;
  }
  const GunData& gun = *guns[static_cast<std::size_t>(pick->index)];
  EditAssigned([&](ButtonData& button) {
    AssignGun(button, gun, pick->index, std::clamp(pick->loop_count, 1, 255));
  });
  return true;
}

void CMS_1_Page::ShowAssignment(int index) {
  if (index < 0 || index >= static_cast<int>(kMouseButtons)) return;
  const QString name = NumberedName(kButtonKey, index + 1);
  const ButtonData& b = core_.session().current().button(static_cast<std::size_t>(index));
  const std::uint8_t code = b.function();
  if (code == kFunctionKeyCombo || code == kFunctionMacro || code == kFunctionGun) {
    controls_.SetText(name, AssignmentText(b, core_.keyboard_layout()));
  } else if (const char* key = FunctionTextKey(code)) {
    controls_.SetTextKey(name, QString::fromLatin1(key));
  } else {
    controls_.SetText(name, QString());
  }
}

bool CMS_1_Page::ResyncAssignments() {
  bool current_holds = false;
  const MacroList& macros = core_.macros();
  const GunList& guns = core_.guns();
  core_.session().EditList([&](ProfileList& profiles, ProfileStoreHeader&, int& current) {
    current_holds = mokta::ResyncAssignments(profiles, macros, guns, current);
  });
  if (!current_holds) {
    // Other profiles may have changed (a deleted macro resets their buttons): they are written
    // now rather than with some later apply.
    core_.SaveProfileStoreLater();
    return false;
  }
  for (int k = 0; k < static_cast<int>(kMouseButtons); ++k) ShowAssignment(k);
  Apply(ApplyTiming::kNow);
  return true;
}

}  // namespace mokta
