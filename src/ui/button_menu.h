#pragma once

// The button assignment menu ("MS/MS_1/ms_1_menu.xml"): opened beside the page's button that
// is being assigned, its top level with the button's top, and moved up so that its bottom lines
// up with the button's bottom when it would otherwise run off the bottom of the screen. A click
// on an item reports the item's name (menu_builder.h); arrows, Enter and Escape work as in any
// menu. Enter on a focused assignment button clicks it, as Space does.
//
// UI thread.

#include <QMenu>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>

#include "framework/menu_builder.h"

class QAbstractButton;

namespace mokta {

inline constexpr char kButtonMenuFile[] = "MS/MS_1/ms_1_menu.xml";

// Where the menu of size `menu` opens for a button at `button` (global coordinates) on a
// screen whose usable area is `screen`: to the right of the button, its top with the button's
// top; when its bottom would leave the screen, its bottom with the button's bottom (never above
// the screen's top); to the left of the button when it would leave the screen to the right.
QPoint ButtonMenuPosition(const QRect& button, const QSize& menu, const QRect& screen);

class ButtonMenu : public QObject {
 public:
  ButtonMenu() = default;
  // Closes a menu that is still open.
  ~ButtonMenu() override;

  // Closes and deletes a menu still open, then builds the menu with `parent` as its parent and
  // opens it beside `button`, with the keyboard focus. `on_command` gets the chosen item's name.
  void Open(QWidget* button, QWidget* parent, MenuCommandHandler on_command);
  // The menu last opened while it exists (closed menus live until the next Open).
  QMenu* menu() const { return menu_.data(); }

  // Enter and Return on `button` while it has the focus click it.
  void ClickOnEnter(QAbstractButton* button);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPointer<QMenu> menu_;
};

}  // namespace mokta
