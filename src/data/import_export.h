#pragma once

// Single records exchanged with the user as files: a profile as ".pro" (41,636 bytes), a
// recoil pattern as ".gun" (476 bytes), a macro as ".macro" (240 bytes). Each file is the raw
// image of one record, with no header; a file of any other size is refused.
//
// These operate on the lists; choosing the file (the dialogs) is the caller's part. All are
// called on the UI thread.

#include <QString>

#include "data/gun_data.h"
#include "data/macro_data.h"
#include "data/profile_data.h"
#include "data/store_files.h"

namespace mokta {

enum class FileStatus {
  kOk,
  kCannotOpen,      // the file could not be opened (missing, no permission)
  kNotRegularFile,  // a folder, FIFO, device, ... is at the path: never read or replaced
  kWrongSize,       // the file is not exactly one record long; nothing was added
  kReadFailed,      // the file could not be read to its end
  kWriteFailed,     // the file could not be written; an existing file stays as it was
};

struct ImportResult {
  FileStatus status = FileStatus::kOk;
  qint64 file_size = -1;      // the size found, for a message about a wrong-size file
  int index = -1;             // position of the new record in its list
  int macros_added = 0;       // profile import: macros rebuilt from the profile's buttons
  bool store_written = true;  // false when the store write that follows the import failed
};

// Write one record to `path`, replacing the file atomically; never replaces something that is
// not a regular file.
FileStatus ExportProfile(const ProfileData& profile, const QString& path);
FileStatus ExportGun(const GunData& gun, const QString& path);
FileStatus ExportMacro(const MacroData& macro, const QString& path);

// Reads a ".gun" / ".macro" file, makes its name unique within the list (name, name_1,
// name_2, ...), appends it and writes the list's store. Every other byte is kept as read.
ImportResult ImportGun(const QString& path, GunList& guns, const StoreFiles& stores);
ImportResult ImportMacro(const QString& path, MacroList& macros, const StoreFiles& stores);

// The two halves of a profile import, for a caller that must not hold a lock while it reads
// the file: ReadProfileFile reads the file into `profile` (and never blocks on a FIFO);
// AddImportedProfile then only changes the lists (no file work). See ImportProfile.
ImportResult ReadProfileFile(const QString& path, ProfileData& profile);
ImportResult AddImportedProfile(std::unique_ptr<ProfileData> profile, ProfileList& profiles,
                                MacroList& macros);

// Reads a ".pro" file, makes its name unique within the profile list and appends it. Each
// macro held by buttons 0..17 becomes a new macro of the macro list (its name made unique and
// written back into the button, the button's `macro_index` pointing at it), and "macro.data"
// is written when at least one was made. Buttons with recoil patterns are kept as read.
// Selecting the new profile and sending it to the mouse are the caller's part; "pro.data" is
// written by the apply that follows.
ImportResult ImportProfile(const QString& path, ProfileList& profiles, MacroList& macros,
                           const StoreFiles& stores);

}  // namespace mokta
