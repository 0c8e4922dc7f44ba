#pragma once

// The files the command-line tool reads: the exchange files (".pro", ".macro", ".gun"), each
// one record, and the stores ("pro.data", "macro.data", "gun.data"), each a list of records.
// A file's kind is told from its name, or from its size when the name says nothing, and a file
// is read only when its size fits that kind, so every record the tool shows is a whole record
// as the program would read it.

#include <QIODevice>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

#include "data/gun_data.h"
#include "data/macro_data.h"
#include "data/profile_data.h"

namespace mokta {

enum class RecordFileKind { kProfile, kMacro, kGun, kProfileStore, kMacroStore, kGunStore };

// The kind the file name says: the suffix ".pro", ".macro" or ".gun" in any letter case, or
// the exact file name "pro.data", "macro.data" or "gun.data" (the store names the program
// writes). Nothing for any other name.
std::optional<RecordFileKind> KindFromName(const QString& path);

// The one kind a file of `size` bytes can be: exactly one record (41,636 bytes a profile, 476
// a recoil pattern, 240 a macro), else a store of at least one record (the 208,184-byte header
// and n profiles, n patterns, n macros). Nothing when no kind fits, or when more than one store
// fits: 28,560 bytes, for one, are 119 whole macros and 60 whole patterns alike.
std::optional<RecordFileKind> KindFromSize(qint64 size);

// What a reader calls the kind: "profile", "macro", "recoil pattern", "profile store", ...
QString KindName(RecordFileKind kind);
// The kind's tag in JSON output: "profile", "macro", "gun", "profile_store", ...
QString KindTag(RecordFileKind kind);

// Empty when `size` bytes fit `kind`; otherwise the problem in a few words, naming the size
// expected and the size found.
QString SizeProblem(RecordFileKind kind, qint64 size);

// The whole contents of one file. A single-record file fills one list with one record.
struct RecordFile {
  QString path;
  RecordFileKind kind = RecordFileKind::kProfile;
  qint64 size = 0;
  std::unique_ptr<ProfileStoreHeader> header;  // set for a profile store only
  ProfileList profiles;
  MacroList macros;
  GunList guns;
};

struct RecordFileResult {
  RecordFile file;  // complete when `error` is empty
  QString error;    // "<path>: <problem>" on one line; empty on success
};

// Reads the file at `path`. Its kind is the one its name says; when the name says nothing it
// is `assumed_kind` if given, else the kind its size says. Fails, reading nothing, when the
// file cannot be opened, its kind cannot be told, or its size does not fit the kind (a store
// ending in a partial record, a profile store without a profile); fails when the file cannot
// be read to its end.
RecordFileResult ReadRecordFile(const QString& path,
                                std::optional<RecordFileKind> assumed_kind = std::nullopt);
// The same over bytes at hand: `device` is open for reading, at its start (a file the caller
// opened, or the file's bytes in memory); `path` gives the kind by its name and names the file
// in the result.
RecordFileResult ReadRecordDevice(QIODevice& device, const QString& path,
                                  std::optional<RecordFileKind> assumed_kind = std::nullopt);

}  // namespace mokta
