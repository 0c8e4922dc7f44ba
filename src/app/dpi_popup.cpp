#include "app/dpi_popup.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <utility>

#include "data/profile_data.h"
#include "framework/control_text.h"

namespace mokta {

CDPIMsg::CDPIMsg(QString text, QWidget* parent)
    : SkinWindow(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                             Qt::WindowDoesNotAcceptFocus),
      text_(std::move(text)) {
  setObjectName(QStringLiteral("DPIWnd"));
  setAttribute(Qt::WA_ShowWithoutActivating);
  set_delete_on_final(true);
  LoadSkin(QStringLiteral("DPImsg.xml"));
  SetText(text_);
}

void CDPIMsg::SetText(const QString& text) {
  text_ = text;
  if (QWidget* label = FindOptional(QStringLiteral("dpi_label"))) SetControlText(label, text_);
}

void CDPIMsg::Popup() {
  // 200 x 50, 10 pixels in from the right and bottom edges of the work area. Without a label
  // the pop-up keeps the place and size it was created with.
  if (FindOptional(QStringLiteral("dpi_label")) != nullptr) {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
    setFixedSize(200, 50);
    move(area.right() + 1 - 210, area.bottom() + 1 - 60);
  }
  show();
}

QString DpiPopupText(std::int32_t code) {
  return QStringLiteral("DPI :") + QString::number(DpiCodeToValue(code));
}

}  // namespace mokta
