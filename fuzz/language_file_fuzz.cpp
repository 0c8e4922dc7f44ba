// The language file reader ("lan.xml"): any bytes as the file's content. A file it refuses
// leaves the table empty; a file it takes gives each of its keys a text.

#include <QBuffer>
#include <QByteArray>
#include <QLoggingCategory>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "framework/language_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // What the reader logs about damaged files is expected here, a million times over.
  static const bool quiet = [] {
    QLoggingCategory::setFilterRules(QStringLiteral("mokta.*=false"));
    return true;
  }();
  (void)quiet;
  QByteArray bytes =
      QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  mokta::LanguageFile texts;
  const bool read = texts.Load(buffer, QStringLiteral("lan.xml"));
  if (!read && texts.size() != 0) std::abort();
  for (const QString& key : texts.Keys()) {
    if (key.isEmpty() || !texts.Has(key)) std::abort();
    (void)texts.Text(key);
  }
  // A key holds no white space in practice, but nothing forbids it: only check the fallback.
  const QString absent = QStringLiteral("no such key in any file \x01");
  if (!texts.Has(absent) && texts.Text(absent) != absent) std::abort();
  return 0;
}
