#pragma once

// The three store files under "<data folder>/ms_1/": "pro.data" (a header and the profiles),
// "macro.data" (the macros) and "gun.data" (the recoil patterns). Each is an image of its list,
// records back to back exactly as laid out, and each write replaces the whole file.

#include <QIODevice>
#include <QLoggingCategory>
#include <QString>
#include <array>
#include <atomic>
#include <functional>
#include <memory>

#include "data/gun_data.h"
#include "data/language.h"
#include "data/macro_data.h"
#include "data/profile_data.h"

Q_DECLARE_LOGGING_CATEGORY(lcStore)

namespace mokta {

// A store holds at most this many records; a longer file is taken as damaged rather than read
// into memory (10,000 profiles are 416 MB).
inline constexpr qint64 kMaxStoreRecords = 10000;

enum class StoreKind { kProfiles, kMacros, kGuns };

enum class StoreState {
  kLoaded,           // the file was read. When it ended in a partial record, that was left out
                     // and the file was first copied to `set_aside_path`.
  kMissing,          // "macro.data", "gun.data": there was no file; an empty list, nothing written
  kCreated,          // "pro.data": there was no file; one default profile was made and written
  kReplacedDamaged,  // the file held no whole record or was too large to be real: it was moved
                     // aside to `set_aside_path`; the defaults are used ("pro.data" gets one
                     // default profile, written at once; the other stores an empty list)
  kUnreadable,       // the file exists but cannot be opened, is not a regular file, or is
                     // damaged and could not be set aside: it is left as it is and every write
                     // of this store is refused for the life of this StoreFiles; the defaults,
                     // or the whole records that could be read, are used in memory
};
using ProfileStoreState = StoreState;

// What reading a store found, beside the records.
struct StoreReadOutcome {
  StoreState state = StoreState::kLoaded;
  QString set_aside_path;         // where a damaged store was moved or copied; empty when none
  qint64 dropped_bytes = 0;       // length of a partial last record that was left out
  bool not_regular_file = false;  // kUnreadable: a folder, FIFO, device, ... is at the path
};

struct ProfileStoreContents : StoreReadOutcome {
  ProfileList profiles;                        // never empty
  std::unique_ptr<ProfileStoreHeader> header;  // `selected` always names a profile of the list
  bool written = false;                        // a new store was written at once (and succeeded)
};

template <typename List>
struct RecordStoreContents : StoreReadOutcome {
  List records;  // in file order
};
using MacroStoreContents = RecordStoreContents<MacroList>;
using GunStoreContents = RecordStoreContents<GunList>;

// What the image of a store holds, read from `device` (open for reading, at its start): the
// store's file, or the file's bytes in memory. The readers of StoreFiles read their files with
// these and decide from what they find what is done on disk. `damaged`: the image is too large
// to be real, or holds no whole record (for "pro.data": no header and profile) while it is not
// empty; nothing else is then set. Otherwise the whole records are in the list and
// `dropped_bytes` is the length of a partial last record that was left out (or of what could
// not be read from the device).
struct ProfileStoreImage {
  ProfileList profiles;                        // not empty unless `damaged`
  std::unique_ptr<ProfileStoreHeader> header;  // set unless `damaged`; `selected` names a profile
  qint64 dropped_bytes = 0;
  bool damaged = false;
};
template <typename List>
struct RecordStoreImage {
  List records;
  qint64 dropped_bytes = 0;
  bool damaged = false;
};
// An empty "pro.data" is damaged; an empty "macro.data" or "gun.data" holds an empty list.
ProfileStoreImage ReadProfileStoreImage(QIODevice& device);
RecordStoreImage<MacroList> ReadMacroStoreImage(QIODevice& device);
RecordStoreImage<GunList> ReadGunStoreImage(QIODevice& device);

// Reads and writes the stores of one data folder.
//
// Writes are atomic: the new image goes to a temporary file in the same folder, is flushed to
// disk and then renamed over the old file, so a crash or a full disk leaves either the old file
// or the new one whole. Writes of all three stores are serialised across threads; the caller
// keeps the list it passes unchanged for the length of the call. Reads are done once at start,
// before any write, while the data folder's lock is held: each read first removes the temporary
// file a write killed before its rename may have left beside its store.
//
// A store that exists but could not be read safely is never written over: its reader marks it
// refused, and every later write of it returns false without touching the file.
class StoreFiles {
 public:
  // `data_folder` is the "Data" folder with its trailing "/"; the program passes DataFolder().
  explicit StoreFiles(QString data_folder);

  QString StoreFolder() const;  // "<data folder>/ms_1", without a trailing "/"
  QString ProfileStorePath() const;
  QString MacroStorePath() const;
  QString GunStorePath() const;
  QString StorePath(StoreKind kind) const;

  // Reads "pro.data". A missing store, or one without a whole profile or too large to be real,
  // gives one default profile named from "add_profile_text" and 1, which is written at once; a
  // damaged file is first moved aside, never overwritten. A partial last record is left out
  // (the file copied aside first); a `selected` outside the list becomes 0. A file that cannot
  // be opened gives the default profile in memory only (StoreState::kUnreadable). Nothing is
  // opened that is not a regular file, so the read never blocks on a FIFO.
  ProfileStoreContents ReadProfileStore(const LanguageTexts& language) const;
  // Read "macro.data" and "gun.data" by the same rules. A missing file, or one without a whole
  // record, gives an empty list and creates nothing.
  MacroStoreContents ReadMacroStore() const;
  GunStoreContents ReadGunStore() const;

  // Whether writes of `kind` are refused (its reader found a file it could not read safely).
  bool WritesRefused(StoreKind kind) const;

  // Each returns false when the file could not be written, or the write was refused; the old
  // file then stays whole.
  bool WriteProfileStore(const ProfileList& profiles, const ProfileStoreHeader& header) const;
  bool WriteMacroStore(const MacroList& macros) const;
  bool WriteGunStore(const GunList& guns) const;

 private:
  void Refuse(StoreKind kind) const;
  bool WriteStore(StoreKind kind, const std::function<bool(QIODevice&)>& write_body) const;

  QString data_folder_;
  mutable std::array<std::atomic<bool>, 3> refused_{};
};

}  // namespace mokta
