#include "ui/button_menu.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QMenu>
#include <QScreen>
#include <algorithm>

namespace mokta {

QPoint ButtonMenuPosition(const QRect& button, const QSize& menu, const QRect& screen) {
  int x = button.right() + 1;
  if (x + menu.width() > screen.right() + 1) x = std::max(screen.left(), button.left() - menu.width());
  int y = button.top();
  if (y + menu.height() > screen.bottom() + 1) {
    y = std::max(screen.top(), button.bottom() + 1 - menu.height());
  }
  return {x, y};
}

ButtonMenu::~ButtonMenu() {
  delete menu_.data();
}

void ButtonMenu::Open(QWidget* button, QWidget* parent, MenuCommandHandler on_command) {
  delete menu_.data();
  menu_ = BuildMenu(QString::fromLatin1(kButtonMenuFile), parent, std::move(on_command));
  const QRect at(button->mapToGlobal(QPoint(0, 0)), button->size());
  QScreen* screen = button->screen();
  const QRect area = screen ? screen->availableGeometry() : QRect(at.topLeft(), QSize(1 << 16, 1 << 16));
  menu_->popup(ButtonMenuPosition(at, menu_->sizeHint(), area));
}

void ButtonMenu::ClickOnEnter(QAbstractButton* button) {
  if (button) button->installEventFilter(this);
}

bool ButtonMenu::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    auto* button = qobject_cast<QAbstractButton*>(watched);
    if (button && button->isEnabled() && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
      button->click();
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace mokta
