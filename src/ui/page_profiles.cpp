// The settings page's profile operations: choose, add, rename, delete, reset, import and
// export.

#include <QListWidget>

#include "app/mouse_core.h"
#include "app/window_ids.h"
#include "framework/skin_window.h"
#include "ui/profile_name_dialog.h"
#include "ui/record_file_dialog.h"
#include "ui/settings_page.h"

namespace mokta {

void CMS_1_Page::SelectProfile(int index) {
  ProfileSession& session = core_.session();
  if (index < 0 || index >= static_cast<int>(session.profiles().size())) return;
  session.EditList([&](ProfileList&, ProfileStoreHeader& header, int& current) {
    current = index;
    header.set_selected(index);
  });
  Refresh();
  session.RequestSendAll();
  Apply(ApplyTiming::kNow);
  // The pass writes the store too, but only when it reaches the mouse: a profile added,
  // imported or deleted while the mouse sleeps must not wait for that.
  core_.SaveProfileStoreLater();
}

void CMS_1_Page::DeleteProfile() {
  ProfileSession& session = core_.session();
  if (session.profiles().size() < 2) {
    ShowMessage(QStringLiteral("one_profile_text"));
    return;
  }
  if (ShowMessage(QStringLiteral("delete_profile_text")) != 1) return;
  const int removed = session.current_index();
  int next = removed;
  session.EditList([&](ProfileList& profiles, ProfileStoreHeader& header, int& current) {
    profiles.erase(profiles.begin() + removed);
    next = std::min(removed, static_cast<int>(profiles.size()) - 1);
    current = next;
    header.set_selected(next);
  });
  if (auto* list = controls_.Get<QListWidget>(QStringLiteral("ms_1_list_profile"))) {
    Quietly(list, [&] {
      delete list->takeItem(removed);
      list->setCurrentRow(next);
    });
  }
  SelectProfile(next);
}

void CMS_1_Page::ResetProfile() {
  if (ShowMessage(QStringLiteral("restore_text")) != 1) return;
  ProfileSession& session = core_.session();
  session.EditCurrent([](ProfileData& p) { ResetProfileDefaults(p); });
  Refresh();
  session.RequestSendAll();
  Apply(ApplyTiming::kNow);
  core_.SaveProfileStoreLater();
}

void CMS_1_Page::AddProfile() {
  ProfileSession& session = core_.session();
  CMS_1_ProfileName dialog(
      window_, QStringLiteral("profile_name_1_text"), session.profiles(),
      [this](QWidget* over, const QString& key) { return ShowMessageOver(over, key); });
  if (dialog.Run() != 1) return;
  int index = 0;
  session.EditList([&](ProfileList& profiles, ProfileStoreHeader&, int&) {
    profiles.push_back(NewProfile(dialog.name()));
    index = static_cast<int>(profiles.size()) - 1;
  });
  SelectProfile(index);
  FillProfileList();
}

void CMS_1_Page::RenameProfile() {
  ProfileSession& session = core_.session();
  CMS_1_ProfileName dialog(
      window_, QStringLiteral("profile_name_2_text"), session.profiles(),
      [this](QWidget* over, const QString& key) { return ShowMessageOver(over, key); });
  if (dialog.Run() != 1) return;
  session.EditCurrent([&](ProfileData& p) { p.set_name(dialog.name()); });
  if (auto* list = controls_.Get<QListWidget>(QStringLiteral("ms_1_list_profile"))) {
    if (QListWidgetItem* item = list->item(session.current_index())) {
      item->setText(session.current().name());
    }
  }
  core_.SaveProfileStoreLater();
}

QString CMS_1_Page::ChooseProfileFile(bool save) {
  return ChooseRecordFile(window_, RecordFileKind::kProfile, save);
}

void CMS_1_Page::ImportProfileFile() {
  const QString path = ChooseProfileFile(false);
  if (path.isEmpty()) return;
  const ImportResult result = core_.ImportProfileFile(path);
  if (result.status != FileStatus::kOk) return;  // the core told the user why
  SelectProfile(result.index);
  FillProfileList();
}

void CMS_1_Page::ExportProfileFile() {
  const QString path = ChooseProfileFile(true);
  if (path.isEmpty()) return;
  core_.ExportProfile(core_.session().current(), path);  // a failure is told by the core
}

}  // namespace mokta
