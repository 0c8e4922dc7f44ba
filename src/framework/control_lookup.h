#pragma once

// Looking up the controls of a loaded layout by name (the widget's objectName).
//
// Layouts load at run time, so a misspelt name cannot fail the build. FindControl therefore
// reports every miss: a warning in the log ("mokta.framework") always, and a call of the
// missing-control handler, which tests set to fail the test. A typo thus fails a test rather
// than leaving a user with a dead control. Use FindOptionalControl for a control a layout may
// leave out on purpose.

#include <QString>
#include <QWidget>
#include <functional>

namespace mokta {

// What a miss reports. `owner` names the layout searched (its skin file, or the root's
// objectName), `name` the control, `expected` the class asked for; `found_class` is empty
// when no control has the name, else the class of the control that has it.
struct MissingControl {
  QString owner;
  QString name;
  QString expected;
  QString found_class;
};
using MissingControlHandler = std::function<void(const MissingControl& miss)>;

// Sets the handler called on each miss, after the log line; an empty function (the default)
// only logs. Tests install one that fails the running test. UI thread.
void SetMissingControlHandler(MissingControlHandler handler);

// The widget named `name`: `root` itself or any widget below it; null when there is none.
QWidget* FindNamedWidget(const QWidget* root, const QString& name);
// Logs the miss and calls the missing-control handler.
void ReportMissingControl(const QWidget* root, const QString& name, const char* expected,
                          const QWidget* found);

// The control named `name` below `root` (or `root` itself) when it is a T; otherwise null,
// reported as a miss (also when a control of that name exists but is no T).
template <typename T = QWidget>
T* FindControl(const QWidget* root, const QString& name) {
  QWidget* found = root != nullptr ? FindNamedWidget(root, name) : nullptr;
  T* control = dynamic_cast<T*>(found);
  if (control == nullptr) ReportMissingControl(root, name, T::staticMetaObject.className(), found);
  return control;
}

// As FindControl, but a missing control is no fault: null without a report. A control of the
// name that is not a T is still reported (that is a layout fault, not an omission).
template <typename T = QWidget>
T* FindOptionalControl(const QWidget* root, const QString& name) {
  QWidget* found = root != nullptr ? FindNamedWidget(root, name) : nullptr;
  if (found == nullptr) return nullptr;
  T* control = dynamic_cast<T*>(found);
  if (control == nullptr) ReportMissingControl(root, name, T::staticMetaObject.className(), found);
  return control;
}

}  // namespace mokta
