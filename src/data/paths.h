#pragma once

// The program's own folder and the data folder beside it. The data folder is portable: the
// stores live next to the program, not in the user's home.

#include <QString>

namespace mokta {

// The folder of the running executable, with a trailing "/".
QString ExeFolder();

// The data folder: ExeFolder() + "Data/", or the folder named by the environment variable
// MOKTA_DATA_DIR when it is set and not empty (tests and demos keep their stores apart that
// way), always with a trailing "/". The folder is created when it is missing; a failed
// creation is not reported, and the path is returned either way.
QString DataFolder();

// DataFolder() for a given program folder (with its trailing "/").
QString DataFolderIn(const QString& exe_folder);

}  // namespace mokta
