#pragma once

// Notifications: what a window hears from the controls of its layout. The pump turns the Qt
// signals and events of the controls into notification records with a type name, the sender
// and two values, and hands them to the window, or to the handler of the virtual window that
// contains the sender.
//
// Types, and what raises them (only a user's action, unless the last column says otherwise):
//
//   type            control                           raised by                      wparam
//   click           any QAbstractButton               clicked (mouse, keyboard)      0
//   selectchanged   checkable button (QCheckBox,      a click that changed its       new state
//                   QRadioButton, checkable button)   checked state, after "click";  (1/0)
//                                                     of exclusive options only the
//                                                     one that became checked (**)
//   checkclick      QCheckBox                         the same click, after          new state
//                                                     "selectchanged"
//   itemselect      QComboBox                         activated: the user picked an  new index
//                                                     item (also the current one)
//   itemselect      QListWidget, QTableWidget,        the current row changed        new row,
//                   QTreeWidget (top-level rows)      (*); a single-selection         -1 for none
//                                                     QListWidget's current row also
//                                                     follows a selection made without
//                                                     it (an assistive tool), once
//                                                     control is back in the event loop
//   valuechanged    QSlider                           valueChanged (*)               new value
//   textchanged     QLineEdit                         textEdited (typing, pasting)   0
//   return          QLineEdit                         returnPressed                  0
//   setfocus        any control above                 focus in (*)                   0
//   killfocus       any control above                 focus out, for any reason (*)  0
//   mouseenter      any control above                 the pointer entered            0
//   mouseleave      any control above                 the pointer left               0
//   colorchanged,   colour controls                   the control calls SendNotify   colour
//   colorchangedbuttonup                                                            (0xAARRGGBB)
//
// lparam is 0 for all of them.
//
// (*) Qt raises these also for changes made in code. Code that sets such a value must wrap the
// change in Quietly() unless it wants the notification (the "with notification" case, e.g.
// selecting a list row so that its handler runs). Quietly() silences every type above for the
// control, focus and hover included, so a value set through it never notifies (a control that
// loses the focus to it still reports "killfocus": that is its own change). Without it,
// Qt's setters raise only the types marked (*): a slider's setValue gives "valuechanged", a
// list's setCurrentRow "itemselect", setFocus "setfocus"; a combo box's setCurrentIndex and
// setText (or SetControlText) give nothing.
//
// (**) A checked state changed without a click (an assistive tool's "Toggle" action, or
// setChecked and toggle in code without Quietly) raises what a click raises ("click",
// "selectchanged", "checkclick"), once control is back in the event loop; of exclusive options
// only the one that became checked notifies.
//
// Virtual windows: a container with the dynamic property "virtualwnd" (a name, set in the
// layout) marks everything inside it as belonging to that virtual window. Their notifications
// carry the name of the nearest such container (the sender's own property counts) and go to
// the handler registered under that name (exact, case-sensitive match); with no handler
// registered under it they go to the window like any other.

#include <QLatin1String>
#include <QObject>
#include <QPointer>
#include <QSignalBlocker>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <map>
#include <utility>

class QAbstractButton;

namespace mokta {

namespace notify {
inline constexpr QLatin1String kClick("click");
inline constexpr QLatin1String kSelectChanged("selectchanged");
inline constexpr QLatin1String kCheckClick("checkclick");
inline constexpr QLatin1String kItemSelect("itemselect");
inline constexpr QLatin1String kValueChanged("valuechanged");
inline constexpr QLatin1String kTextChanged("textchanged");
inline constexpr QLatin1String kReturn("return");
inline constexpr QLatin1String kSetFocus("setfocus");
inline constexpr QLatin1String kKillFocus("killfocus");
inline constexpr QLatin1String kMouseEnter("mouseenter");
inline constexpr QLatin1String kMouseLeave("mouseleave");
inline constexpr QLatin1String kColorChanged("colorchanged");
inline constexpr QLatin1String kColorChangedButtonUp("colorchangedbuttonup");
}  // namespace notify

struct Notification {
  QString type;
  QPointer<QWidget> sender;  // null once the sender is gone (a handler may delete it)
  QString sender_name;       // the sender's objectName at the time of the notification
  std::uintptr_t wparam = 0;
  std::intptr_t lparam = 0;
  QString virtual_window;  // the enclosing virtual window's name, or empty
};

using NotifyHandler = std::function<void(const Notification&)>;

// Runs `change` with the signals of `control` blocked, so that nothing it does to the control
// notifies. Returns what `change` returns.
template <typename Change>
decltype(auto) Quietly(QObject* control, Change&& change) {
  const QSignalBlocker quiet(control);
  return std::forward<Change>(change)();
}

// Wires controls to notifications. Owned by the window whose layout it serves; UI thread only.
class NotificationPump final : public QObject {
 public:
  // `window_handler` receives every notification no virtual window takes.
  explicit NotificationPump(NotifyHandler window_handler);

  // Wires `root` and every widget below it that has a name, leaving out Qt's inner widgets
  // (names starting with "qt_"). Controls added to a layout later are wired with WireControl.
  void WireTree(QWidget* root);
  // Wires one control of a kind in the table above; other widgets (containers, labels) raise
  // nothing and are left alone. Wiring a control again does nothing.
  void WireControl(QWidget* control);

  void AddVirtualWindow(const QString& name, NotifyHandler handler);
  void RemoveVirtualWindow(const QString& name);

  // Sends a notification from `sender` as if the control had raised it: the way code asks for
  // a notification ("select with notification") and the way custom controls raise theirs.
  void Send(QWidget* sender, QLatin1String type, std::uintptr_t wparam = 0,
            std::intptr_t lparam = 0);
  // Routes a finished record to its virtual window's handler or to the window.
  void Dispatch(const Notification& notification);

  // The name of the virtual window `control` belongs to, or empty.
  static QString VirtualWindowOf(const QWidget* control);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void WireButton(QAbstractButton* button);
  void WireItemViews(QWidget* control);
  void ButtonClicked(QAbstractButton* button);

  NotifyHandler window_handler_;
  std::map<QString, NotifyHandler> virtual_windows_;
};

}  // namespace mokta
