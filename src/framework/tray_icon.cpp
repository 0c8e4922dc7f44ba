#include "framework/tray_icon.h"

#include <utility>

namespace mokta {

TrayIcon::TrayIcon(const QIcon& icon, const QString& tool_tip, ClickHandler on_click)
    : icon_(std::make_unique<QSystemTrayIcon>(icon)), on_click_(std::move(on_click)) {
  icon_->setToolTip(tool_tip);
  QObject::connect(icon_.get(), &QSystemTrayIcon::activated, icon_.get(),
                   [this](QSystemTrayIcon::ActivationReason reason) { Activated(reason); });
}

TrayIcon::~TrayIcon() = default;

bool TrayIcon::Available() {
  return QSystemTrayIcon::isSystemTrayAvailable();
}

bool TrayIcon::Show() {
  if (!Available()) return false;
  icon_->show();
  return true;
}

void TrayIcon::Hide() {
  icon_->hide();
}

bool TrayIcon::visible() const {
  return icon_->isVisible();
}

void TrayIcon::set_tool_tip(const QString& tool_tip) {
  icon_->setToolTip(tool_tip);
}

QString TrayIcon::tool_tip() const {
  return icon_->toolTip();
}

bool TrayIcon::ShowMessage(const QString& title, const QString& text) {
  if (!icon_->isVisible() || !QSystemTrayIcon::supportsMessages()) return false;
  icon_->showMessage(title, text, icon_->icon());
  return true;
}

void TrayIcon::Activated(QSystemTrayIcon::ActivationReason reason) {
  if (!on_click_) return;
  switch (reason) {
    case QSystemTrayIcon::Trigger:
      on_click_(TrayClick::kLeftButtonUp);
      break;
    case QSystemTrayIcon::Context:
      on_click_(TrayClick::kRightButtonUp);
      break;
    default:
      break;
  }
}

}  // namespace mokta
