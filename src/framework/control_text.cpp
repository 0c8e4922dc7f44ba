#include "framework/control_text.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>
#include <QTabWidget>

#include "framework/language_file.h"

namespace mokta {
namespace {

constexpr char kTextKeyProperty[] = "textKey";

// The language text of `text` when it is a key, else `text` itself.
QString Translated(const QString& text) {
  return IsTextKey(text) ? LanguageText(text) : text;
}

void TranslateItems(QWidget* widget) {
  if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    const QSignalBlocker quiet(combo);
    for (int i = 0; i < combo->count(); ++i) combo->setItemText(i, Translated(combo->itemText(i)));
  } else if (auto* list = qobject_cast<QListWidget*>(widget)) {
    const QSignalBlocker quiet(list);
    for (int i = 0; i < list->count(); ++i) {
      list->item(i)->setText(Translated(list->item(i)->text()));
    }
  } else if (auto* tabs = qobject_cast<QTabWidget*>(widget)) {
    for (int i = 0; i < tabs->count(); ++i) tabs->setTabText(i, Translated(tabs->tabText(i)));
  }
}

void TranslateOne(QWidget* widget) {
  // A combo box's own text is its current item's, translated with the items.
  if (qobject_cast<QComboBox*>(widget) == nullptr) {
    const QString own = ControlText(widget);
    if (IsTextKey(own)) SetControlTextKey(widget, own);
  }
  if (IsTextKey(widget->toolTip())) widget->setToolTip(LanguageText(widget->toolTip()));
  if (auto* edit = qobject_cast<QLineEdit*>(widget); edit && IsTextKey(edit->placeholderText())) {
    edit->setPlaceholderText(LanguageText(edit->placeholderText()));
  }
  TranslateItems(widget);
}

}  // namespace

bool IsTextKey(const QString& text) {
  if (!text.endsWith(QLatin1String("_text"))) return false;
  for (const QChar c : text) {
    if (c.isSpace()) return false;
  }
  return true;
}

void SetControlText(QWidget* control, const QString& plain) {
  if (control == nullptr) return;
  control->setProperty(kTextKeyProperty, QVariant());
  if (auto* label = qobject_cast<QLabel*>(control)) {
    label->setText(plain);
  } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    button->setText(plain);
  } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
    const QSignalBlocker quiet(edit);
    edit->setText(plain);
  } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
    group->setTitle(plain);
  } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
    const QSignalBlocker quiet(combo);
    combo->setCurrentText(plain);
  } else {
    control->setWindowTitle(plain);
  }
}

void SetControlTextKey(QWidget* control, const QString& key) {
  if (control == nullptr) return;
  SetControlText(control, LanguageText(key));
  control->setProperty(kTextKeyProperty, key);
}

QString ControlText(const QWidget* control) {
  if (control == nullptr) return {};
  if (auto* label = qobject_cast<const QLabel*>(control)) return label->text();
  if (auto* button = qobject_cast<const QAbstractButton*>(control)) return button->text();
  if (auto* edit = qobject_cast<const QLineEdit*>(control)) return edit->text();
  if (auto* group = qobject_cast<const QGroupBox*>(control)) return group->title();
  if (auto* combo = qobject_cast<const QComboBox*>(control)) return combo->currentText();
  return control->windowTitle();
}

QString ControlTextKey(const QWidget* control) {
  return control != nullptr ? control->property(kTextKeyProperty).toString() : QString();
}

void TranslateKeyTexts(QWidget* root) {
  if (root == nullptr) return;
  TranslateOne(root);
  for (QWidget* child : root->findChildren<QWidget*>()) TranslateOne(child);
}

}  // namespace mokta
