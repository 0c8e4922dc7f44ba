// The settings page's two editors: the macro editor and the recoil pattern editor. Both work
// directly on the core's lists and write their stores themselves; the page's part is opening
// them and, once closed, bringing the buttons' assignments in step with the lists.

#include "framework/skin_window.h"
#include "ui/gun_editor.h"
#include "ui/macro_editor.h"
#include "ui/settings_page.h"

namespace mokta {

void CMS_1_Page::OpenMacroEditor() {
  {
    CMS_1_Macro editor(window_, core_, [this](QWidget* over, const QString& key) {
      return ShowMessageOver(over, key);
    });
    editor.Run();
  }
  ResyncAssignments();
}

void CMS_1_Page::OpenGunEditor() {
  {
    CMS_1_Gun editor(window_, core_, [this](QWidget* over, const QString& key) {
      return ShowMessageOver(over, key);
    });
    editor.Run();
  }
  ResyncAssignments();
}

}  // namespace mokta
