#include "ui/profile_name_dialog.h"

#include <QLineEdit>
#include <QPushButton>
#include <utility>

#include "data/names.h"
#include "framework/control_text.h"

namespace mokta {

CMS_1_ProfileName::CMS_1_ProfileName(QWidget* parent, const QString& title_key,
                                     const ProfileList& profiles, MessageBox message_box)
    : SkinWindow(parent, Qt::Dialog), profiles_(profiles), message_box_(std::move(message_box)) {
  setObjectName(QStringLiteral("MS_1_ProfileName"));
  LoadSkin(QStringLiteral("MS/MS_1/ms_1_profile_name.xml"));
  if (QWidget* title = Find(QStringLiteral("title_string"))) SetControlTextKey(title, title_key);
  Find<QLineEdit>(QStringLiteral("edit_name"));
  if (auto* ok = Find<QPushButton>(QStringLiteral("btn_ok"))) ok->setDefault(true);
  Find(QStringLiteral("btn_cancel"));
  Find(QStringLiteral("btn_exit"));
}

int CMS_1_ProfileName::Run() {
  // Enter in the edit reaches the window, which clicks the default button, OK.
  if (auto* edit = FindOptional<QLineEdit>(QStringLiteral("edit_name"))) edit->setFocus();
  return ShowModal();
}

void CMS_1_ProfileName::OnClick(const Notification& notification) {
  if (notification.sender_name == QLatin1String("btn_ok")) {
    TryAccept();
  } else if (notification.sender_name == QLatin1String("btn_cancel") ||
             notification.sender_name == QLatin1String("btn_exit")) {
    Close(0);
  }
}

void CMS_1_ProfileName::TryAccept() {
  auto* edit = FindOptional<QLineEdit>(QStringLiteral("edit_name"));
  const QString text = edit ? edit->text() : QString();
  if (text.isEmpty()) {
    if (message_box_) message_box_(this, QStringLiteral("warn_name_1_text"));
    return;
  }
  if (NameExists(profiles_, text)) {
    if (message_box_) message_box_(this, QStringLiteral("warn_name_2_text"));
    return;
  }
  name_ = text;
  Close(1);
}

}  // namespace mokta
