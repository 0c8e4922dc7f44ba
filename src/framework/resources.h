#pragma once

// Where the skins, layouts, menus, texts and the stylesheet come from.

#include <QString>

namespace mokta {

// The resource folder, with a trailing "/": the environment variable MOKTA_RES_DIR when it is
// set and not empty (tests and development runs point it at a source tree), otherwise
// ExeFolder() + "res/". Read anew on every call.
QString ResourceFolder();

// `relative` (e.g. "MS/MS_1/ms_1_menu.xml") inside the resource folder. An absolute path is
// returned unchanged.
QString ResourcePath(const QString& relative);

// Gives the application the shared stylesheet "skin.qss" of the resource folder, once per
// application object; later calls do nothing. Relative url(...) references in the sheet are
// taken relative to the resource folder (Qt itself would take them relative to the working
// directory). A missing sheet is logged once and leaves Qt's own look. UI thread, after the
// QApplication exists.
void ApplySkinStyleSheet();

// The same rewriting of relative url(...) references, for tests and for sheets set on one
// widget. `folder` ends with "/".
QString ResolveStyleSheetUrls(const QString& sheet, const QString& folder);

}  // namespace mokta
