// The files the program and the tool read: the three stores through the program's own reader,
// and the stores and the ".pro", ".macro" and ".gun" files (or a file of any name, told by its
// size) through the tool's reader, with every field of every record they hold (the JSON and
// text dumps read each one). Input: byte 0 chooses the kind of file (its low 3 bits) and
// whether it is read from disk (0xF8 and above), the rest is its content.
//
// Most inputs are read from memory, through the same readers the files go through: writing
// each input to a file, and the store reader's moving aside of damaged stores and writing of a
// new "pro.data", made the harness some fifty times slower. One input in 32 still takes the
// whole way through a file on disk.

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

#include "cli/record_dump.h"
#include "cli/record_file.h"
#include "data/store_files.h"

namespace {

using namespace mokta;

class NoLanguage : public LanguageTexts {
 public:
  QString Text(const QString& key) const override { return key; }
};

const char* const kNames[] = {"ms_1/pro.data", "ms_1/macro.data", "ms_1/gun.data", "file.pro",
                              "file.macro",    "file.gun",        "file",          "ms_1/file"};

// Each record's dump reads every field of it, and costs about a millisecond under the
// sanitizers; a store of a thousand macros would take a second, reading the same fields again.
// The first records of each list show every field as well.
template <typename List>
void KeepFirst(List& list) {
  constexpr std::size_t kDumped = 2;
  if (list.size() > kDumped) list.resize(kDumped);
}

void ReadWithTool(RecordFileResult read) {
  if (!read.error.isEmpty()) return;
  KeepFirst(read.file.profiles);
  KeepFirst(read.file.macros);
  KeepFirst(read.file.guns);
  (void)QJsonDocument(RecordFileToJson(read.file)).toJson();
  (void)RecordFileToText(read.file);
}

void ReadFromMemory(int kind, const QByteArray& bytes) {
  const QString name = QString::fromLatin1(kNames[kind]);
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  ReadWithTool(ReadRecordDevice(buffer, name));
  if (kind >= 3) return;
  buffer.seek(0);
  if (kind == 0) {
    const ProfileStoreImage image = ReadProfileStoreImage(buffer);
    if (!image.damaged) (void)image.profiles.at(image.header->selected());
  }
  if (kind == 1) (void)ReadMacroStoreImage(buffer);
  if (kind == 2) (void)ReadGunStoreImage(buffer);
}

void ReadFromDisk(int kind, const QByteArray& bytes) {
  static QTemporaryDir folder;
  if (!folder.isValid()) return;
  QDir(folder.path()).mkpath(QStringLiteral("ms_1"));
  const QString path = folder.filePath(QString::fromLatin1(kNames[kind]));
  {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
    file.write(bytes);
  }
  ReadWithTool(ReadRecordFile(path));
  if (kind < 3) {
    StoreFiles stores(folder.path() + "/");
    NoLanguage language;
    if (kind == 0) (void)stores.ReadProfileStore(language);
    if (kind == 1) (void)stores.ReadMacroStore();
    if (kind == 2) (void)stores.ReadGunStore();
  }
  // What the reader set aside or wrote goes, so that every input meets the same folder.
  QDir(folder.filePath(QStringLiteral("ms_1"))).removeRecursively();
  QFile::remove(path);
}

}  // namespace

// AddressSanitizer holds back 256 MB of freed memory by default; with the store images (a
// profile store is 250 KB, and its dumps allocate much) that took the harness past 1 GB, where
// libFuzzer starts returning the allocator's memory to the system every second, which then
// cost a third of the time. A quarter of it still keeps the memory of the last hundred inputs
// or so from being reused. ASAN_OPTIONS overrides it.
extern "C" const char* __asan_default_options() {
  return "quarantine_size_mb=64";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // What the readers log about damaged input is expected here, a million times over.
  static const bool quiet = [] {
    QLoggingCategory::setFilterRules(QStringLiteral("mokta.*=false"));
    return true;
  }();
  (void)quiet;
  if (size == 0) return 0;
  const int kind = data[0] & 7;
  const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data + 1),
                                                   static_cast<qsizetype>(size - 1));
  if (data[0] >= 0xF8) {
    ReadFromDisk(kind, bytes);
  } else {
    ReadFromMemory(kind, bytes);
  }
  return 0;
}
