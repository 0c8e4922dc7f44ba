// The files the program and the tool read: the three stores through the program's own reader
// (which sets damaged files aside), and the stores and the ".pro", ".macro" and ".gun" files
// through the tool's reader, with every field of every record they hold (the JSON and text
// dumps read each one). Input: byte 0 chooses the kind of file, the rest is its content.

#include <QCoreApplication>
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

class NoLanguage : public mokta::LanguageTexts {
 public:
  QString Text(const QString& key) const override { return key; }
};

const char* const kNames[] = {"ms_1/pro.data", "ms_1/macro.data", "ms_1/gun.data",
                              "file.pro",      "file.macro",      "file.gun"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // What the readers log about damaged input is expected here, a million times over.
  static const bool quiet = [] {
    QLoggingCategory::setFilterRules(QStringLiteral("mokta.*=false"));
    return true;
  }();
  (void)quiet;
  using namespace mokta;
  static QTemporaryDir folder;
  if (size == 0 || !folder.isValid()) return 0;
  const int kind = data[0] % 6;
  QDir(folder.path()).mkpath(QStringLiteral("ms_1"));
  const QString path = folder.filePath(QString::fromLatin1(kNames[kind]));
  {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
    file.write(reinterpret_cast<const char*>(data + 1), static_cast<qint64>(size - 1));
  }
  const RecordFileResult read = ReadRecordFile(path);
  if (read.error.isEmpty()) {
    (void)QJsonDocument(RecordFileToJson(read.file)).toJson();
    (void)RecordFileToText(read.file);
  }
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
  return 0;
}
