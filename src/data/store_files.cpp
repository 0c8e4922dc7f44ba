#include "data/store_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

// Reads whole records from `file` until fewer than a record's bytes remain; returns the
// number of bytes of a partial last record that were left out.
template <typename Record>
qint64 ReadRecords(QFile& file, std::vector<std::unique_ptr<Record>>& out) {
  const qint64 total = file.size() - file.pos();
  const qint64 whole = total / static_cast<qint64>(Record::kSize);
  for (qint64 i = 0; i < whole; ++i) {
    auto record = std::make_unique<Record>();
    if (!ReadExact(file, MutableRecordImage(*record))) {
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

template <typename Record>
RecordStoreContents<std::vector<std::unique_ptr<Record>>> ReadRecordStore(const QString& path) {
  RecordStoreContents<std::vector<std::unique_ptr<Record>>> contents;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return contents;
  contents.dropped_bytes = ReadRecords(file, contents.records);
  if (contents.dropped_bytes != 0) {
    qCWarning(lcStore) << "left out a partial last record of" << contents.dropped_bytes
                       << "bytes in" << path;
  }
  return contents;
}

// Moves a damaged store to the first free name of "<name>.damaged", "<name>.damaged-2", ...
// Returns the new path, or an empty text when the file could not be moved.
QString SetAside(const QString& path) {
  for (int n = 1; n < 1000; ++n) {
    const QString target =
        path + QStringLiteral(".damaged") + (n == 1 ? QString() : QStringLiteral("-%1").arg(n));
    if (QFileInfo::exists(target)) continue;
    return QFile::rename(path, target) ? target : QString();
  }
  return {};
}

enum class ProfileRead { kMissing, kDamaged, kUnreadable, kLoaded };

ProfileRead ReadProfiles(const QString& path, ProfileStoreContents& contents) {
  QFile file(path);
  if (!file.exists()) return ProfileRead::kMissing;
  if (!file.open(QIODevice::ReadOnly)) return ProfileRead::kUnreadable;
  if (file.size() < static_cast<qint64>(ProfileStoreHeader::kSize + ProfileData::kSize)) {
    return ProfileRead::kDamaged;
  }
  auto header = std::make_unique<ProfileStoreHeader>();
  if (!ReadExact(file, std::as_writable_bytes(header->bytes()))) return ProfileRead::kDamaged;
  contents.dropped_bytes = ReadRecords(file, contents.profiles);
  if (contents.profiles.empty()) return ProfileRead::kDamaged;
  contents.header = std::move(header);
  return ProfileRead::kLoaded;
}

}  // namespace

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

ProfileStoreContents StoreFiles::ReadProfileStore(const LanguageTexts& language) const {
  ProfileStoreContents contents;
  const QString path = ProfileStorePath();
  const ProfileRead read = ReadProfiles(path, contents);
  if (read == ProfileRead::kLoaded) {
    contents.state = ProfileStoreState::kLoaded;
    if (contents.dropped_bytes != 0) {
      qCWarning(lcStore) << "left out a partial last profile of" << contents.dropped_bytes
                         << "bytes in" << path;
    }
    const std::int32_t selected = contents.header->selected();
    if (selected < 0 || static_cast<std::size_t>(selected) >= contents.profiles.size()) {
      contents.header->set_selected(0);
    }
    return contents;
  }

  // No usable store: start over with one default profile.
  contents.profiles.clear();
  contents.dropped_bytes = 0;
  contents.header = std::make_unique<ProfileStoreHeader>();
  contents.profiles.push_back(
      NewProfile(DefaultRecordName(contents.profiles, language, kAddProfileTextKey)));

  contents.state = ProfileStoreState::kCreated;
  if (read != ProfileRead::kMissing) {
    contents.set_aside_path = SetAside(path);
    if (contents.set_aside_path.isEmpty()) {
      qCWarning(lcStore) << "cannot read or move aside" << path << "; it is left as it is";
      contents.state = ProfileStoreState::kUnreadable;
      return contents;
    }
    qCWarning(lcStore) << "moved the damaged profile store to" << contents.set_aside_path;
    contents.state = ProfileStoreState::kReplacedDamaged;
  }
  contents.written = WriteProfileStore(contents.profiles, *contents.header);
  return contents;
}

MacroStoreContents StoreFiles::ReadMacroStore() const {
  return ReadRecordStore<MacroData>(MacroStorePath());
}

GunStoreContents StoreFiles::ReadGunStore() const {
  return ReadRecordStore<GunData>(GunStorePath());
}

bool StoreFiles::WriteProfileStore(const ProfileList& profiles,
                                   const ProfileStoreHeader& header) const {
  std::lock_guard lock(StoreWriteMutex());
  if (!EnsureFolder(StoreFolder())) return false;
  return WriteFileAtomically(ProfileStorePath(), [&](QIODevice& device) {
    return WriteAll(device, std::as_bytes(header.bytes())) && WriteRecords(device, profiles);
  });
}

bool StoreFiles::WriteMacroStore(const MacroList& macros) const {
  std::lock_guard lock(StoreWriteMutex());
  if (!EnsureFolder(StoreFolder())) return false;
  return WriteFileAtomically(MacroStorePath(),
                             [&](QIODevice& device) { return WriteRecords(device, macros); });
}

bool StoreFiles::WriteGunStore(const GunList& guns) const {
  std::lock_guard lock(StoreWriteMutex());
  if (!EnsureFolder(StoreFolder())) return false;
  return WriteFileAtomically(GunStorePath(),
                             [&](QIODevice& device) { return WriteRecords(device, guns); });
}

}  // namespace mokta
