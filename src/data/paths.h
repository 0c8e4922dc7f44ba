#pragma once

// The program's own folder and the data folder. The data folder is portable: the stores live
// in "Data/" beside the program while that folder can be written to. An installed program
// (under /usr or /opt) cannot write there, and keeps its data in the user's data location
// instead, with the same layout below it ("Data/ms_1/pro.data", ...).

#include <QString>
#include <functional>

namespace mokta {

// The folder of the running executable, with a trailing "/".
QString ExeFolder();

// Whether the program may create and replace files in an existing folder (path with or without
// a trailing "/"). The real test asks the system (access with W_OK and X_OK), which also
// answers "no" on a read-only mount; tests inject their own, since root passes every
// permission check.
using FolderWritableTest = std::function<bool(const QString& folder)>;
bool FolderIsWritable(const QString& folder);

// The user's own data location for the program, with a trailing "/": `xdg_data_home` +
// "/mokta-mouse/" when it is an absolute path, else `home` + "/.local/share/mokta-mouse/".
QString UserDataLocationFor(const QString& xdg_data_home, const QString& home);
// The same from the environment (XDG_DATA_HOME, HOME).
QString UserDataLocation();

// The file an installation puts beside the program (cmake --install, the Debian package): an
// installed program keeps its data in the user's data location, whoever runs it.
inline constexpr char kInstalledMarker[] = "mokta-mouse.installed";

// Chooses the data folder, with a trailing "/"; creates nothing. `user_location` + "Data/" for
// an installed program (kInstalledMarker beside it); else `exe_folder` + "Data/" when that
// folder exists and is writable, or when it does not exist (or is not a folder) and
// `exe_folder` is writable; otherwise `user_location` + "Data/". Both folders end with "/".
QString ChooseDataFolder(const QString& exe_folder, const QString& user_location,
                         const FolderWritableTest& writable);

// The data folder: the folder named by the environment variable MOKTA_DATA_DIR when it is set
// and not empty (tests and demos keep their stores apart that way), else ChooseDataFolder for
// the program's folder and the user's data location; always with a trailing "/". The folder is
// created (with its parents) when it is missing; a failed creation is not reported here (the
// store writes report it), and the path is returned either way.
QString DataFolder();

// DataFolder() for a given program folder (with its trailing "/"), ignoring MOKTA_DATA_DIR.
QString DataFolderIn(const QString& exe_folder);

// True when `path` is `folder` or lies below it, after resolving symbolic links of whatever
// part exists. An empty `folder` contains nothing.
bool PathIsInside(const QString& path, const QString& folder);

}  // namespace mokta
