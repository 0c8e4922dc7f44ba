#include "data/store_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <mutex>

#include "data/names.h"
#include "data/record_io.h"

Q_LOGGING_CATEGORY(lcStore, "mokta.store")

namespace mokta {

namespace {

// One lock for every store write of the process: the worker thread and the UI thread both
// write "pro.data", and two writers must never interleave.
std::mutex& StoreWriteMutex() {
  static std::mutex mutex;
  return mutex;
}

bool EnsureFolder(const QString& folder) {
  const QFileInfo info(folder);
  if (info.isDir()) return true;
  return QDir().mkpath(folder);
}

// Reads whole records from `device` until fewer than a record's bytes remain; returns the
// number of bytes of a partial last record that were left out.
template <typename Record>
qint64 ReadRecords(QIODevice& device, std::vector<std::unique_ptr<Record>>& out) {
  const qint64 total = device.size() - device.pos();
  const qint64 whole = total / static_cast<qint64>(Record::kSize);
  for (qint64 i = 0; i < whole; ++i) {
    auto record = std::make_unique<Record>();
    if (!ReadExact(device, MutableRecordImage(*record))) {
      return total - i * static_cast<qint64>(Record::kSize);
    }
    out.push_back(std::move(record));
  }
  return total % static_cast<qint64>(Record::kSize);
}

template <typename Record>
bool WriteRecords(QIODevice& device, const std::vector<std::unique_ptr<Record>>& list) {
  for (const auto& record : list) {
    if (!record || !WriteAll(device, RecordImage(*record))) return false;
  }
  return true;
}

// Keeps a damaged store out of harm's way under the first free name of "<name>.damaged",
// "<name>.damaged-2", ...: moved when nothing of it is used any more, copied when its whole
// records are (the file itself is then replaced by the next write). Returns the new path, or an
// empty text when that failed.
QString SetAside(const QString& path, bool copy) {
  for (int n = 1; n < 1000; ++n) {
    const QString target =
        path + QStringLiteral(".damaged") + (n == 1 ? QString() : QStringLiteral("-%1").arg(n));
    if (QFileInfo(target).exists() || QFileInfo(target).isSymLink()) continue;
    const bool done = copy ? QFile::copy(path, target) : QFile::rename(path, target);
    return done ? target : QString();
  }
  return {};
}

// A write killed after its temporary file got a name and before the rename leaves that file
// behind: "<store>." and six letters or digits (QSaveFile's name), as large as the store, and
// every such crash would add one. Reads run at start, before this process writes anything, and
// the data folder's lock keeps every other writer out, so whatever matches is a leftover.
void RemoveInterruptedWrites(const QString& path) {
  const QFileInfo store(path);
  const QString prefix = store.fileName() + QLatin1Char('.');
  const QFileInfoList entries = store.dir().entryInfoList(
      {prefix + QStringLiteral("??????")}, QDir::Files | QDir::Hidden | QDir::System);
  for (const QFileInfo& entry : entries) {
    const QString suffix = entry.fileName().sliced(prefix.size());
    const bool temporary = std::all_of(suffix.begin(), suffix.end(), [](QChar c) {
      return c.unicode() < 0x80 && c.isLetterOrNumber();
    });
    if (!temporary || entry.isSymLink()) continue;
    if (QFile::remove(entry.filePath())) {
      qCWarning(lcStore) << "removed" << entry.filePath() << ", left by an interrupted write";
    } else {
      qCWarning(lcStore) << "cannot remove" << entry.filePath() << ", left by an interrupted write";
    }
  }
}

// The first step of every read: opens the store, or says why not. Returns false when the
// reading ends here (`outcome` then says how).
bool OpenStore(QFile& file, const QString& path, StoreReadOutcome& outcome) {
  RemoveInterruptedWrites(path);
  switch (OpenRegularFileForReading(file)) {
    case OpenStatus::kOpened:
      return true;
    case OpenStatus::kMissing:
      outcome.state = StoreState::kMissing;
      return false;
    case OpenStatus::kNotRegular:
      outcome.not_regular_file = true;
      qCWarning(lcStore) << path << "is not a regular file; it is left as it is";
      break;
    case OpenStatus::kCannotOpen:
      qCWarning(lcStore) << "cannot open" << path << "; it is left as it is";
      break;
  }
  outcome.state = StoreState::kUnreadable;
  return false;
}

// A store found damaged as a whole: moved aside. False when it could not be moved.
bool MoveDamagedAside(QFile& file, const QString& path, StoreReadOutcome& outcome) {
  file.close();
  outcome.set_aside_path = SetAside(path, false);
  if (outcome.set_aside_path.isEmpty()) {
    qCWarning(lcStore) << "cannot move the damaged store" << path << "aside; it is left as it is";
    outcome.state = StoreState::kUnreadable;
    return false;
  }
  qCWarning(lcStore) << "moved the damaged store" << path << "to" << outcome.set_aside_path;
  outcome.state = StoreState::kReplacedDamaged;
  return true;
}

// A store whose whole records were read but that ended in a partial one: copied aside before
// anything replaces it.
void CopyPartialStoreAside(QFile& file, const QString& path, StoreReadOutcome& outcome) {
  file.close();
  qCWarning(lcStore) << "left out a partial last record of" << outcome.dropped_bytes << "bytes in"
                     << path;
  outcome.set_aside_path = SetAside(path, true);
  if (outcome.set_aside_path.isEmpty()) {
    qCWarning(lcStore) << "cannot copy the damaged store" << path << "aside; it is left as it is";
    outcome.state = StoreState::kUnreadable;
    return;
  }
  qCWarning(lcStore) << "copied the damaged store" << path << "to" << outcome.set_aside_path;
}

template <typename Record>
RecordStoreImage<std::vector<std::unique_ptr<Record>>> ReadRecordImage(QIODevice& device) {
  RecordStoreImage<std::vector<std::unique_ptr<Record>>> image;
  if (device.size() > kMaxStoreRecords * static_cast<qint64>(Record::kSize)) {
    image.damaged = true;
    return image;
  }
  image.dropped_bytes = ReadRecords(device, image.records);
  if (image.dropped_bytes != 0 && image.records.empty()) {
    image.dropped_bytes = 0;
    image.damaged = true;
  }
  return image;
}

template <typename Record>
RecordStoreContents<std::vector<std::unique_ptr<Record>>> ReadRecordStore(const QString& path) {
  RecordStoreContents<std::vector<std::unique_ptr<Record>>> contents;
  QFile file(path);
  if (!OpenStore(file, path, contents)) return contents;
  auto image = ReadRecordImage<Record>(file);
  if (image.damaged) {
    MoveDamagedAside(file, path, contents);
    return contents;
  }
  contents.records = std::move(image.records);
  contents.dropped_bytes = image.dropped_bytes;
  if (contents.dropped_bytes != 0) CopyPartialStoreAside(file, path, contents);
  return contents;
}

}  // namespace

ProfileStoreImage ReadProfileStoreImage(QIODevice& device) {
  ProfileStoreImage image;
  const qint64 size = device.size();
  constexpr auto kHeader = static_cast<qint64>(ProfileStoreHeader::kSize);
  constexpr auto kProfile = static_cast<qint64>(ProfileData::kSize);
  image.damaged = true;
  if (size < kHeader + kProfile || size > kHeader + kMaxStoreRecords * kProfile) return image;
  auto header = std::make_unique<ProfileStoreHeader>();
  if (!ReadExact(device, std::as_writable_bytes(header->bytes()))) return image;
  image.dropped_bytes = ReadRecords(device, image.profiles);
  if (image.profiles.empty()) {
    image.dropped_bytes = 0;
    return image;
  }
  image.damaged = false;
  const std::int32_t selected = header->selected();
  if (selected < 0 || static_cast<std::size_t>(selected) >= image.profiles.size()) {
    header->set_selected(0);
  }
  image.header = std::move(header);
  return image;
}

RecordStoreImage<MacroList> ReadMacroStoreImage(QIODevice& device) {
  return ReadRecordImage<MacroData>(device);
}

RecordStoreImage<GunList> ReadGunStoreImage(QIODevice& device) {
  return ReadRecordImage<GunData>(device);
}

StoreFiles::StoreFiles(QString data_folder) : data_folder_(std::move(data_folder)) {
  if (!data_folder_.endsWith(QLatin1Char('/'))) data_folder_ += QLatin1Char('/');
}

QString StoreFiles::StoreFolder() const {
  return data_folder_ + QStringLiteral("ms_1");
}
QString StoreFiles::ProfileStorePath() const {
  return StoreFolder() + QStringLiteral("/pro.data");
}
QString StoreFiles::MacroStorePath() const {
  return StoreFolder() + QStringLiteral("/macro.data");
}
QString StoreFiles::GunStorePath() const {
  return StoreFolder() + QStringLiteral("/gun.data");
}

QString StoreFiles::StorePath(StoreKind kind) const {
  switch (kind) {
    case StoreKind::kProfiles:
      return ProfileStorePath();
    case StoreKind::kMacros:
      return MacroStorePath();
    case StoreKind::kGuns:
      return GunStorePath();
  }
  return {};
}

bool StoreFiles::WritesRefused(StoreKind kind) const {
  return refused_[static_cast<std::size_t>(kind)].load();
}

void StoreFiles::Refuse(StoreKind kind) const {
  refused_[static_cast<std::size_t>(kind)].store(true);
}

ProfileStoreContents StoreFiles::ReadProfileStore(const LanguageTexts& language) const {
  ProfileStoreContents contents;
  const QString path = ProfileStorePath();
  QFile file(path);
  if (OpenStore(file, path, contents)) {
    ProfileStoreImage image = ReadProfileStoreImage(file);
    if (!image.damaged) {
      contents.profiles = std::move(image.profiles);
      contents.header = std::move(image.header);
      contents.dropped_bytes = image.dropped_bytes;
      if (contents.dropped_bytes != 0) CopyPartialStoreAside(file, path, contents);
      if (contents.state == StoreState::kUnreadable) Refuse(StoreKind::kProfiles);
      return contents;
    }
    MoveDamagedAside(file, path, contents);
  }

  // No usable store: start over with one default profile.
  contents.profiles.clear();
  contents.header = std::make_unique<ProfileStoreHeader>();
  contents.profiles.push_back(
      NewProfile(DefaultRecordName(contents.profiles, language, kAddProfileTextKey)));
  if (contents.state == StoreState::kUnreadable) {
    Refuse(StoreKind::kProfiles);
    return contents;
  }
  if (contents.state == StoreState::kMissing) contents.state = StoreState::kCreated;
  contents.written = WriteProfileStore(contents.profiles, *contents.header);
  return contents;
}

MacroStoreContents StoreFiles::ReadMacroStore() const {
  MacroStoreContents contents = ReadRecordStore<MacroData>(MacroStorePath());
  if (contents.state == StoreState::kUnreadable) Refuse(StoreKind::kMacros);
  return contents;
}

GunStoreContents StoreFiles::ReadGunStore() const {
  GunStoreContents contents = ReadRecordStore<GunData>(GunStorePath());
  if (contents.state == StoreState::kUnreadable) Refuse(StoreKind::kGuns);
  return contents;
}

bool StoreFiles::WriteStore(StoreKind kind,
                            const std::function<bool(QIODevice&)>& write_body) const {
  if (WritesRefused(kind)) {
    qCDebug(lcStore) << "not writing" << StorePath(kind)
                     << ": it could not be read safely at start and is left as it is";
    return false;
  }
  std::lock_guard lock(StoreWriteMutex());
  if (!EnsureFolder(StoreFolder())) return false;
  return WriteFileAtomically(StorePath(kind), write_body);
}

bool StoreFiles::WriteProfileStore(const ProfileList& profiles,
                                   const ProfileStoreHeader& header) const {
  return WriteStore(StoreKind::kProfiles, [&](QIODevice& device) {
    return WriteAll(device, std::as_bytes(header.bytes())) && WriteRecords(device, profiles);
  });
}

bool StoreFiles::WriteMacroStore(const MacroList& macros) const {
  return WriteStore(StoreKind::kMacros,
                    [&](QIODevice& device) { return WriteRecords(device, macros); });
}

bool StoreFiles::WriteGunStore(const GunList& guns) const {
  return WriteStore(StoreKind::kGuns,
                    [&](QIODevice& device) { return WriteRecords(device, guns); });
}

}  // namespace mokta
