#pragma once

// Loading Qt Designer layouts (".ui" XML, kept under the layout names of the resource folder,
// e.g. "main.xml") at run time.

#include <QString>
#include <functional>

class QWidget;

namespace mokta {

// Makes the controls of a class Designer does not know: a layout names the class in its
// <customwidgets> section and uses it like any widget. The factory builds one with the given
// parent; the loader names it and applies the layout's properties. Register before loading;
// UI thread.
using ControlFactory = std::function<QWidget*(QWidget* parent)>;
void RegisterSkinControl(const QString& class_name, ControlFactory factory);

// Builds the layout in the file `path` as a child of `parent` and returns its root widget, or
// null (with a warning naming the file and the reason) when the file is missing or is no valid
// form. Images the layout names are taken relative to the layout's own folder. A root built as
// a window of its own (QDialog, QMainWindow) is turned into a plain child widget.
QWidget* LoadSkinFile(const QString& path, QWidget* parent);

}  // namespace mokta
