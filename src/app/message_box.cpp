#include "app/message_box.h"

#include <QLabel>
#include <QPushButton>
#include <utility>

#include "framework/control_text.h"
#include "framework/language_file.h"

namespace mokta {

CMsgWnd::CMsgWnd(QWidget* parent, QString title_key, QString message_key)
    : SkinWindow(parent, Qt::Dialog),
      title_key_(std::move(title_key)),
      message_key_(std::move(message_key)) {
  setObjectName(QStringLiteral("MsgWnd"));
  LoadSkin(QStringLiteral("msg.xml"));
  if (QWidget* title = Find(QStringLiteral("warning_title"))) {
    SetControlTextKey(title, title_key_);
  }
  if (QWidget* message = Find(QStringLiteral("warning"))) {
    SetControlTextKey(message, message_key_);
  }
  setWindowTitle(LanguageText(title_key_));
  if (auto* ok = Find<QPushButton>(QStringLiteral("btn_ok"))) ok->setDefault(true);
}

int CMsgWnd::Run() {
  return ShowModal();
}

void CMsgWnd::OnClick(const Notification& notification) {
  if (notification.sender_name == QLatin1String("btn_ok")) {
    Close(1);
  } else if (notification.sender_name == QLatin1String("btn_cancel")) {
    Close(0);
  }
}

int ShowMessageBox(QWidget* parent, const QString& message_key, const QString& title_key) {
  CMsgWnd box(parent, title_key, message_key);
  return box.Run();
}

}  // namespace mokta
