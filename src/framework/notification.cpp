#include "framework/notification.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMetaObject>
#include <QPointer>
#include <QSlider>
#include <QTableWidget>
#include <QTreeWidget>

namespace mokta {
namespace {

// Marks a wired control with the pump that wired it.
constexpr char kWiredProperty[] = "_mokta_wired_by";
// A checkable button's state when it was pressed, to tell whether the click changed it.
constexpr char kCheckedAtPressProperty[] = "_mokta_checked_at_press";
// Set while a button's toggle waits to see whether a click reports it.
constexpr char kToggledProperty[] = "_mokta_toggled";
constexpr char kVirtualWindowProperty[] = "virtualwnd";

bool IsExclusive(const QAbstractButton* button) {
  return button->autoExclusive() || (button->group() != nullptr && button->group()->exclusive());
}

// The kinds of widget that raise notifications; containers and labels raise none.
bool IsControl(const QWidget* w) {
  return qobject_cast<const QAbstractButton*>(w) != nullptr ||
         qobject_cast<const QComboBox*>(w) != nullptr ||
         qobject_cast<const QSlider*>(w) != nullptr ||
         qobject_cast<const QLineEdit*>(w) != nullptr ||
         qobject_cast<const QListWidget*>(w) != nullptr ||
         qobject_cast<const QTableWidget*>(w) != nullptr ||
         qobject_cast<const QTreeWidget*>(w) != nullptr;
}

// Makes a single-selection list's current row and its selection agree again, the selection
// leading: an item selected alone becomes current, an empty selection takes the current row.
void SelectionToCurrentRow(QListWidget* list) {
  if (list == nullptr || list->signalsBlocked() ||
      list->selectionMode() != QAbstractItemView::SingleSelection) {
    return;
  }
  const QList<QListWidgetItem*> selected = list->selectedItems();
  if (selected.size() == 1) {
    const int row = list->row(selected.front());
    if (row != list->currentRow()) list->setCurrentRow(row);
  } else if (selected.isEmpty()) {
    if (QListWidgetItem* current = list->currentItem()) current->setSelected(true);
  }
}

std::uintptr_t AsWParam(int value) {
  return static_cast<std::uintptr_t>(static_cast<std::intptr_t>(value));
}

}  // namespace

NotificationPump::NotificationPump(NotifyHandler window_handler)
    : window_handler_(std::move(window_handler)) {}

void NotificationPump::WireTree(QWidget* root) {
  if (root == nullptr) return;
  WireControl(root);
  for (QWidget* child : root->findChildren<QWidget*>()) {
    const QString name = child->objectName();
    if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_"))) WireControl(child);
  }
}

void NotificationPump::WireControl(QWidget* control) {
  if (control == nullptr || !IsControl(control)) return;
  const auto me = reinterpret_cast<quintptr>(this);
  if (control->property(kWiredProperty).value<quintptr>() == me) return;
  control->setProperty(kWiredProperty, QVariant::fromValue(me));
  control->installEventFilter(this);

  if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    WireButton(button);
  } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
    connect(combo, &QComboBox::activated, this,
            [this, combo](int index) { Send(combo, notify::kItemSelect, AsWParam(index)); });
  } else if (auto* slider = qobject_cast<QSlider*>(control)) {
    connect(slider, &QSlider::valueChanged, this,
            [this, slider](int value) { Send(slider, notify::kValueChanged, AsWParam(value)); });
  } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
    connect(edit, &QLineEdit::textEdited, this, [this, edit] { Send(edit, notify::kTextChanged); });
    connect(edit, &QLineEdit::returnPressed, this, [this, edit] { Send(edit, notify::kReturn); });
  } else {
    WireItemViews(control);
  }
}

void NotificationPump::WireButton(QAbstractButton* button) {
  connect(button, &QAbstractButton::pressed, this,
          [button] { button->setProperty(kCheckedAtPressProperty, button->isChecked()); });
  connect(button, &QAbstractButton::clicked, this, [this, button] {
    button->setProperty(kToggledProperty, false);
    ButtonClicked(button);
  });
  // A click toggles a button first and reports the click right after, in the same call. A
  // toggle that no click follows came from elsewhere: an assistive tool (its "Toggle" action)
  // or code that did not set the state quietly. It notifies as a click would, once the
  // current event is done.
  connect(button, &QAbstractButton::toggled, this, [this, button](bool) {
    button->setProperty(kToggledProperty, true);
    QMetaObject::invokeMethod(
        this,
        [this, alive = QPointer<QAbstractButton>(button)] {
          if (!alive || !alive->property(kToggledProperty).toBool()) return;
          alive->setProperty(kToggledProperty, false);
          if (alive->signalsBlocked() || (IsExclusive(alive) && !alive->isChecked())) return;
          alive->setProperty(kCheckedAtPressProperty, !alive->isChecked());
          ButtonClicked(alive);
        },
        Qt::QueuedConnection);
  });
}

void NotificationPump::ButtonClicked(QAbstractButton* button) {
  const bool was_checked = button->property(kCheckedAtPressProperty).toBool();
  const bool checked = button->isChecked();
  QPointer<QAbstractButton> alive(button);
  Send(button, notify::kClick);
  if (!alive || !button->isCheckable() || checked == was_checked) return;
  if (IsExclusive(button) && !checked) return;
  Send(button, notify::kSelectChanged, checked ? 1 : 0);
  if (alive && qobject_cast<QCheckBox*>(button) != nullptr) {
    Send(button, notify::kCheckClick, checked ? 1 : 0);
  }
}

void NotificationPump::WireItemViews(QWidget* control) {
  if (auto* list = qobject_cast<QListWidget*>(control)) {
    connect(list, &QListWidget::currentRowChanged, this,
            [this, list](int row) { Send(list, notify::kItemSelect, AsWParam(row)); });
    // The selection can move without the current row (an assistive tool selects an item
    // through its accessible interface). Once the change is done, a single-selection list's
    // current row follows it, which raises "itemselect"; a selection cleared that way goes
    // back to the current row.
    connect(list, &QListWidget::itemSelectionChanged, this, [list] {
      QMetaObject::invokeMethod(
          list, [alive = QPointer<QListWidget>(list)] { SelectionToCurrentRow(alive); },
          Qt::QueuedConnection);
    });
  } else if (auto* table = qobject_cast<QTableWidget*>(control)) {
    connect(table, &QTableWidget::currentCellChanged, this,
            [this, table](int row, int, int previous_row, int) {
              if (row != previous_row) Send(table, notify::kItemSelect, AsWParam(row));
            });
  } else if (auto* tree = qobject_cast<QTreeWidget*>(control)) {
    connect(tree, &QTreeWidget::currentItemChanged, this,
            [this, tree](QTreeWidgetItem* item, QTreeWidgetItem*) {
              const int row = item != nullptr ? tree->indexOfTopLevelItem(item) : -1;
              Send(tree, notify::kItemSelect, AsWParam(row));
            });
  }
}

bool NotificationPump::eventFilter(QObject* watched, QEvent* event) {
  auto* control = qobject_cast<QWidget*>(watched);
  if (control == nullptr || control->signalsBlocked()) return false;
  switch (event->type()) {
    case QEvent::Enter:
      Send(control, notify::kMouseEnter);
      break;
    case QEvent::Leave:
      Send(control, notify::kMouseLeave);
      break;
    case QEvent::FocusIn:
      Send(control, notify::kSetFocus);
      break;
    case QEvent::FocusOut:
      Send(control, notify::kKillFocus);
      break;
    default:
      break;
  }
  return false;
}

void NotificationPump::AddVirtualWindow(const QString& name, NotifyHandler handler) {
  virtual_windows_[name] = std::move(handler);
}

void NotificationPump::RemoveVirtualWindow(const QString& name) {
  virtual_windows_.erase(name);
}

void NotificationPump::Send(QWidget* sender, QLatin1String type, std::uintptr_t wparam,
                            std::intptr_t lparam) {
  if (sender == nullptr) return;
  Dispatch(Notification{QString(type), sender, sender->objectName(), wparam, lparam,
                        VirtualWindowOf(sender)});
}

void NotificationPump::Dispatch(const Notification& notification) {
  if (!notification.virtual_window.isEmpty()) {
    const auto it = virtual_windows_.find(notification.virtual_window);
    if (it != virtual_windows_.end()) {
      const NotifyHandler handler = it->second;  // the handler may unregister itself
      handler(notification);
      return;
    }
  }
  if (window_handler_) window_handler_(notification);
}

QString NotificationPump::VirtualWindowOf(const QWidget* control) {
  for (const QWidget* w = control; w != nullptr; w = w->parentWidget()) {
    const QString name = w->property(kVirtualWindowProperty).toString();
    if (!name.isEmpty()) return name;
    if (w->isWindow()) break;
  }
  return {};
}

}  // namespace mokta
