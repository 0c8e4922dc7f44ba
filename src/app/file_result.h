#pragma once

// What came of one write of a store file or of an exported file. Every such write of the
// program is reported through the owner of the mouse's data (MouseCore), which logs it and
// hands it to the window that tells the user.

#include <QLoggingCategory>
#include <QString>
#include <functional>

Q_DECLARE_LOGGING_CATEGORY(lcStoreResults)

namespace mokta {

enum class FileOperation {
  kWriteProfileStore,  // "pro.data"
  kWriteMacroStore,    // "macro.data"
  kWriteGunStore,      // "gun.data"
  kExportProfile,      // a ".pro" file
  kExportMacro,        // a ".macro" file
  kExportGun,          // a ".gun" file
};

struct FileResult {
  FileOperation operation = FileOperation::kWriteProfileStore;
  QString path;     // the file written (or meant to be)
  bool ok = false;  // false: the file could not be written; an old file stays whole
};

// Called on the UI thread for each result.
using FileResultObserver = std::function<void(const FileResult& result)>;

// A short name of the operation, for the log: "profile store", "profile export", ...
const char* FileOperationName(FileOperation operation);

}  // namespace mokta
