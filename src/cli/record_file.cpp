#include "cli/record_file.h"

#include <QFile>
#include <QFileInfo>
#include <utility>

#include "data/record_io.h"

namespace mokta {

namespace {

constexpr qint64 kProfileSize = ProfileData::kSize;
constexpr qint64 kMacroSize = MacroData::kSize;
constexpr qint64 kGunSize = GunData::kSize;
constexpr qint64 kHeaderSize = ProfileStoreHeader::kSize;

// The size of one record of a store, and what one record is called.
struct StoreRecord {
  qint64 size;
  const char* name;
  const char* plural;
};

StoreRecord RecordOfStore(RecordFileKind store) {
  switch (store) {
    case RecordFileKind::kProfileStore:
      return {kProfileSize, "profile", "profiles"};
    case RecordFileKind::kMacroStore:
      return {kMacroSize, "macro", "macros"};
    default:
      return {kGunSize, "recoil pattern", "recoil patterns"};
  }
}

std::optional<qint64> SingleRecordSize(RecordFileKind kind) {
  switch (kind) {
    case RecordFileKind::kProfile:
      return kProfileSize;
    case RecordFileKind::kMacro:
      return kMacroSize;
    case RecordFileKind::kGun:
      return kGunSize;
    default:
      return std::nullopt;
  }
}

// Bytes before the first record of a file of `kind`.
qint64 HeadSize(RecordFileKind kind) {
  return kind == RecordFileKind::kProfileStore ? kHeaderSize : 0;
}

// The fewest records a store of `kind` may hold: the program sets a profile store without a
// profile aside as damaged, while an empty macro or pattern store is simply an empty list.
qint64 MinimumRecords(RecordFileKind store) {
  return store == RecordFileKind::kProfileStore ? 1 : 0;
}

bool StoreFits(RecordFileKind store, qint64 size, qint64 minimum_records) {
  const qint64 record = RecordOfStore(store).size;
  const qint64 body = size - HeadSize(store);
  return body >= minimum_records * record && body % record == 0;
}

RecordFileResult Failure(const QString& path, const QString& problem) {
  RecordFileResult result;
  result.file.path = path;
  result.error = path + QStringLiteral(": ") + problem;
  return result;
}

template <typename Record>
bool ReadRecords(QIODevice& device, qint64 count, std::vector<std::unique_ptr<Record>>& out) {
  for (qint64 i = 0; i < count; ++i) {
    auto record = std::make_unique<Record>();
    if (!ReadExact(device, MutableRecordImage(*record))) return false;
    out.push_back(std::move(record));
  }
  return true;
}

// Reads the records of a file whose size has been checked against its kind.
bool ReadContents(QIODevice& device, RecordFile& out) {
  if (out.kind == RecordFileKind::kProfileStore) {
    out.header = std::make_unique<ProfileStoreHeader>();
    if (!ReadExact(device, MutableRecordImage(*out.header))) return false;
  }
  switch (out.kind) {
    case RecordFileKind::kProfile:
      return ReadRecords(device, 1, out.profiles);
    case RecordFileKind::kMacro:
      return ReadRecords(device, 1, out.macros);
    case RecordFileKind::kGun:
      return ReadRecords(device, 1, out.guns);
    case RecordFileKind::kProfileStore:
      return ReadRecords(device, (out.size - kHeaderSize) / kProfileSize, out.profiles);
    case RecordFileKind::kMacroStore:
      return ReadRecords(device, out.size / kMacroSize, out.macros);
    case RecordFileKind::kGunStore:
      return ReadRecords(device, out.size / kGunSize, out.guns);
  }
  return false;
}

}  // namespace

std::optional<RecordFileKind> KindFromName(const QString& path) {
  const QString name = QFileInfo(path).fileName();
  if (name.endsWith(QStringLiteral(".pro"), Qt::CaseInsensitive)) return RecordFileKind::kProfile;
  if (name.endsWith(QStringLiteral(".macro"), Qt::CaseInsensitive)) return RecordFileKind::kMacro;
  if (name.endsWith(QStringLiteral(".gun"), Qt::CaseInsensitive)) return RecordFileKind::kGun;
  if (name == QStringLiteral("pro.data")) return RecordFileKind::kProfileStore;
  if (name == QStringLiteral("macro.data")) return RecordFileKind::kMacroStore;
  if (name == QStringLiteral("gun.data")) return RecordFileKind::kGunStore;
  return std::nullopt;
}

std::optional<RecordFileKind> KindFromSize(qint64 size) {
  // A single record's size is never a store: a one-macro store is shown as a macro file.
  if (size == kProfileSize) return RecordFileKind::kProfile;
  if (size == kGunSize) return RecordFileKind::kGun;
  if (size == kMacroSize) return RecordFileKind::kMacro;
  std::optional<RecordFileKind> found;
  int fitting = 0;
  for (const RecordFileKind store :
       {RecordFileKind::kProfileStore, RecordFileKind::kMacroStore, RecordFileKind::kGunStore}) {
    if (StoreFits(store, size, 1)) {
      found = store;
      ++fitting;
    }
  }
  return fitting == 1 ? found : std::nullopt;
}

QString KindName(RecordFileKind kind) {
  switch (kind) {
    case RecordFileKind::kProfile:
      return QStringLiteral("profile");
    case RecordFileKind::kMacro:
      return QStringLiteral("macro");
    case RecordFileKind::kGun:
      return QStringLiteral("recoil pattern");
    case RecordFileKind::kProfileStore:
      return QStringLiteral("profile store");
    case RecordFileKind::kMacroStore:
      return QStringLiteral("macro store");
    case RecordFileKind::kGunStore:
      return QStringLiteral("recoil pattern store");
  }
  return {};
}

QString KindTag(RecordFileKind kind) {
  switch (kind) {
    case RecordFileKind::kProfile:
      return QStringLiteral("profile");
    case RecordFileKind::kMacro:
      return QStringLiteral("macro");
    case RecordFileKind::kGun:
      return QStringLiteral("gun");
    case RecordFileKind::kProfileStore:
      return QStringLiteral("profile_store");
    case RecordFileKind::kMacroStore:
      return QStringLiteral("macro_store");
    case RecordFileKind::kGunStore:
      return QStringLiteral("gun_store");
  }
  return {};
}

QString SizeProblem(RecordFileKind kind, qint64 size) {
  if (const std::optional<qint64> expected = SingleRecordSize(kind)) {
    if (size == *expected) return {};
    return QStringLiteral("wrong size for a %1: expected %2 bytes, found %3")
        .arg(KindName(kind))
        .arg(*expected)
        .arg(size);
  }
  if (StoreFits(kind, size, MinimumRecords(kind))) return {};
  const StoreRecord record = RecordOfStore(kind);
  const qint64 head = HeadSize(kind);
  const qint64 minimum = head + MinimumRecords(kind) * record.size;
  if (size < minimum) {
    return QStringLiteral("too short for a %1: expected at least %2 bytes, found %3")
        .arg(KindName(kind))
        .arg(minimum)
        .arg(size);
  }
  const QString expected =
      head == 0 ? QStringLiteral("a multiple of %1 bytes").arg(record.size)
                : QStringLiteral("%1 + a multiple of %2 bytes").arg(head).arg(record.size);
  const QString partial = QStringLiteral("%1 ends in a partial %2")
                              .arg(KindName(kind), QString::fromLatin1(record.name));
  const qint64 whole = (size - head) / record.size;
  return QStringLiteral("%1: expected %2, found %3 (%4 whole %5 and %6 bytes more)")
      .arg(partial, expected)
      .arg(size)
      .arg(whole)
      .arg(QString::fromLatin1(whole == 1 ? record.name : record.plural))
      .arg((size - head) % record.size);
}

RecordFileResult ReadRecordFile(const QString& path, std::optional<RecordFileKind> assumed_kind) {
  if (QFileInfo(path).isDir()) return Failure(path, QStringLiteral("is a folder, not a file"));
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return Failure(path, QStringLiteral("cannot open: ") + file.errorString());
  }
  return ReadRecordDevice(file, path, assumed_kind);
}

RecordFileResult ReadRecordDevice(QIODevice& device, const QString& path,
                                  std::optional<RecordFileKind> assumed_kind) {
  const qint64 size = device.size();
  std::optional<RecordFileKind> kind = KindFromName(path);
  if (!kind) kind = assumed_kind;
  if (!kind) kind = KindFromSize(size);
  if (!kind) {
    return Failure(
        path, QStringLiteral("cannot tell the kind of file from its name or its size (%1 bytes)")
                  .arg(size));
  }
  if (const QString problem = SizeProblem(*kind, size); !problem.isEmpty()) {
    return Failure(path, problem);
  }

  RecordFileResult result;
  result.file.path = path;
  result.file.kind = *kind;
  result.file.size = size;
  if (!ReadContents(device, result.file)) {
    return Failure(path, QStringLiteral("cannot be read to its end: ") + device.errorString());
  }
  return result;
}

}  // namespace mokta
