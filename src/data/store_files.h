#pragma once

// The three store files under "<data folder>/ms_1/": "pro.data" (a header and the profiles),
// "macro.data" (the macros) and "gun.data" (the recoil patterns). Each is an image of its list,
// records back to back exactly as laid out, and each write replaces the whole file.

#include <QLoggingCategory>
#include <QString>
#include <memory>

#include "data/gun_data.h"
#include "data/language.h"
#include "data/macro_data.h"
#include "data/profile_data.h"

Q_DECLARE_LOGGING_CATEGORY(lcStore)

namespace mokta {

enum class ProfileStoreState {
  kLoaded,           // the file held at least one whole profile
  kCreated,          // there was no file: one default profile was made and written
  kReplacedDamaged,  // the file held no whole profile: it was moved aside to
                     // `set_aside_path` and one default profile was made and written
  kUnreadable,       // the file could neither be read nor moved aside: one default profile is
                     // used in memory and nothing was written, so the file stays as it was
};

struct ProfileStoreContents {
  ProfileList profiles;                        // never empty
  std::unique_ptr<ProfileStoreHeader> header;  // `selected` always names a profile of the list
  ProfileStoreState state = ProfileStoreState::kLoaded;
  QString set_aside_path;    // where a damaged store was moved; empty when none was
  qint64 dropped_bytes = 0;  // length of a partial last record that was left out
  bool written = false;      // a new store was written at once (and succeeded)
};

template <typename List>
struct RecordStoreContents {
  List records;              // in file order
  qint64 dropped_bytes = 0;  // length of a partial last record that was left out
};
using MacroStoreContents = RecordStoreContents<MacroList>;
using GunStoreContents = RecordStoreContents<GunList>;

// Reads and writes the stores of one data folder.
//
// Writes are atomic: the new image goes to a temporary file in the same folder, is flushed to
// disk and then renamed over the old file, so a crash or a full disk leaves either the old file
// or the new one whole. Writes of all three stores are serialised across threads; the caller
// keeps the list it passes unchanged for the length of the call. Reads are done once at start.
class StoreFiles {
 public:
  // `data_folder` is the "Data" folder with its trailing "/"; the program passes DataFolder().
  explicit StoreFiles(QString data_folder);

  QString StoreFolder() const;  // "<data folder>/ms_1", without a trailing "/"
  QString ProfileStorePath() const;
  QString MacroStorePath() const;
  QString GunStorePath() const;

  // Reads "pro.data". A missing store, or one without a whole profile, gives one default
  // profile named from "add_profile_text" and 1, which is written at once; a damaged file is
  // first moved aside, never overwritten. A partial last record is dropped; a `selected`
  // outside the list becomes 0.
  ProfileStoreContents ReadProfileStore(const LanguageTexts& language) const;
  // Read "macro.data" and "gun.data". A missing file gives an empty list and creates nothing;
  // a partial last record is dropped.
  MacroStoreContents ReadMacroStore() const;
  GunStoreContents ReadGunStore() const;

  // Each returns false when the file could not be written; the old file then stays whole.
  bool WriteProfileStore(const ProfileList& profiles, const ProfileStoreHeader& header) const;
  bool WriteMacroStore(const MacroList& macros) const;
  bool WriteGunStore(const GunList& guns) const;

 private:
  QString data_folder_;
};

}  // namespace mokta
