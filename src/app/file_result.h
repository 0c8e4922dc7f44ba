#pragma once

// What came of one piece of file work the user must know about: a write of a store file, the
// reading of a store at start, an imported or exported file. Every such result of the program
// is reported through the owner of the mouse's data (MouseCore), which logs it and hands it to
// the window that tells the user.

#include <QString>
#include <functional>

namespace mokta {

enum class FileOperation {
  kWriteProfileStore,  // "pro.data"
  kWriteMacroStore,    // "macro.data"
  kWriteGunStore,      // "gun.data"
  kReadProfileStore,   // "pro.data" at start
  kReadMacroStore,     // "macro.data" at start
  kReadGunStore,       // "gun.data" at start
  kExportProfile,      // a ".pro" file
  kExportMacro,        // a ".macro" file
  kExportGun,          // a ".gun" file
  kImportProfile,      // a ".pro" file
  kImportMacro,        // a ".macro" file
  kImportGun,          // a ".gun" file
};

// What went wrong; kNone when nothing did.
enum class FileProblem {
  kNone,
  kWriteFailed,     // the file could not be written (full disk, folder not writable); an old
                    // file stays whole
  kNotSaved,        // a store write was refused: the store could not be read safely at start
                    // and is left as it is for this run
  kSetAside,        // a damaged store was kept as `other_path`; what could be read is used
  kCannotOpen,      // a store exists but cannot be opened: left as it is, changes not saved to
                    // it this run; an import: the file could not be opened
  kNotRegularFile,  // a folder, FIFO, device, ... is at the path: never read or replaced
  kWrongSize,       // an import: the file is not one record long
  kReadFailed,      // an import: the file could not be read to its end
};

struct FileResult {
  FileOperation operation = FileOperation::kWriteProfileStore;
  QString path;     // the file read or written (or meant to be)
  bool ok = false;  // true: nothing to tell
  FileProblem problem = FileProblem::kNone;
  QString other_path;  // kSetAside: where the damaged store is kept
  // Set by the reporter: the same store failed before and no write of it has succeeded since,
  // so the user was told already.
  bool repeated = false;
};

// Called on the UI thread for each result.
using FileResultObserver = std::function<void(const FileResult& result)>;

// A short name of the operation, for the log: "profile store", "profile export", ...
const char* FileOperationName(FileOperation operation);

}  // namespace mokta
