#pragma once

// Texts of controls: plain text, or a language key looked up in the program's language table.
//
// In a layout, a text is a key when it ends in "_text" and holds no white space (the program's
// keys all have that form, e.g. "warning_title_text"); any other text is shown as written.
// TranslateKeyTexts, which SkinWindow runs on every layout it loads, replaces each key by its
// language text and remembers the key on the widget in the dynamic property "textKey". These
// texts are translated: QLabel, QAbstractButton, QGroupBox title, QLineEdit text and
// placeholder, QComboBox items, QListWidget items, QTabWidget tab titles, tool tips and the
// window title of the layout's root.
//
// In code, SetControlText shows plain text and SetControlTextKey looks a key up; both work on
// the same control kinds (for a QComboBox they set its current text, for any other widget the
// window title). Setting text in code never sends a notification (no textchanged: only typing
// does).

#include <QString>

class QWidget;

namespace mokta {

// Whether a layout text is a language key.
bool IsTextKey(const QString& text);

void SetControlText(QWidget* control, const QString& plain);
void SetControlTextKey(QWidget* control, const QString& key);
// The text a control shows, for the same kinds.
QString ControlText(const QWidget* control);
// The key a control's text came from, or empty when it shows plain text.
QString ControlTextKey(const QWidget* control);

// Translates the key texts of `root` and everything below it (see above).
void TranslateKeyTexts(QWidget* root);

}  // namespace mokta
