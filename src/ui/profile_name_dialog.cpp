#include "ui/profile_name_dialog.h"

#include <QLineEdit>
#include <QPushButton>
#include <utility>

#include "data/names.h"
#include "framework/control_text.h"

namespace mokta {

NameDialog::NameDialog(QWidget* parent, const QString& window_class, const QString& title_key,
                       NameTaken taken, int max_length, const QString& edit_name,
                       MessageBox message_box)
    : SkinWindow(parent, Qt::Dialog),
      taken_(std::move(taken)),
      message_box_(std::move(message_box)) {
  setObjectName(window_class);
  LoadSkin(QStringLiteral("MS/MS_1/ms_1_profile_name.xml"));
  if (QWidget* title = Find(QStringLiteral("title_string"))) SetControlTextKey(title, title_key);
  if (auto* edit = Find<QLineEdit>(QStringLiteral("edit_name"))) {
    edit->setMaxLength(max_length);
    edit->setAccessibleName(edit_name);
  }
  if (auto* ok = Find<QPushButton>(QStringLiteral("btn_ok"))) ok->setDefault(true);
  Find(QStringLiteral("btn_cancel"));
  Find(QStringLiteral("btn_exit"));
}

int NameDialog::Run() {
  // Enter in the edit reaches the window, which clicks the default button, OK.
  if (auto* edit = FindOptional<QLineEdit>(QStringLiteral("edit_name"))) edit->setFocus();
  return ShowModal();
}

void NameDialog::OnClick(const Notification& notification) {
  if (notification.sender_name == QLatin1String("btn_ok")) {
    TryAccept();
  } else if (notification.sender_name == QLatin1String("btn_cancel") ||
             notification.sender_name == QLatin1String("btn_exit")) {
    Close(0);
  }
}

void NameDialog::TryAccept() {
  auto* edit = FindOptional<QLineEdit>(QStringLiteral("edit_name"));
  const QString text = edit ? edit->text() : QString();
  if (text.isEmpty()) {
    if (message_box_) message_box_(this, QStringLiteral("warn_name_1_text"));
    return;
  }
  if (taken_ && taken_(text)) {
    if (message_box_) message_box_(this, QStringLiteral("warn_name_2_text"));
    return;
  }
  name_ = text;
  Close(1);
}

CMS_1_ProfileName::CMS_1_ProfileName(QWidget* parent, const QString& title_key,
                                     const ProfileList& profiles, MessageBox message_box)
    : NameDialog(
          parent, QStringLiteral("MS_1_ProfileName"), title_key,
          [&profiles](QStringView name) { return NameExists(profiles, name); },
          static_cast<int>(ProfileData::kNameUnits) - 1, QStringLiteral("Profile name"),
          std::move(message_box)) {}

CMS_1_GunName::CMS_1_GunName(QWidget* parent, const QString& title_key, const GunList& guns,
                             MessageBox message_box)
    : NameDialog(
          parent, QStringLiteral("MS_1_GunName"), title_key,
          [&guns](QStringView name) { return NameExists(guns, name); },
          static_cast<int>(GunData::kNameUnits) - 1, QStringLiteral("Pattern name"),
          std::move(message_box)) {}

}  // namespace mokta
