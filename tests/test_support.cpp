#include "test_support.h"

#include <QFile>
#include <stdexcept>

namespace mokta::test {

QByteArray ReadFileBytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

void WriteFileBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
    throw std::runtime_error("cannot write test file " + path.toStdString());
  }
}

void PutU16(std::vector<std::uint8_t>& out, std::size_t off, std::uint16_t v) {
  out.at(off) = static_cast<std::uint8_t>(v);
  out.at(off + 1) = static_cast<std::uint8_t>(v >> 8);
}

void PutU32(std::vector<std::uint8_t>& out, std::size_t off, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.at(off + i) = static_cast<std::uint8_t>(v >> (8 * i));
}

void PutText(std::vector<std::uint8_t>& out, std::size_t off, const QString& text) {
  for (qsizetype i = 0; i < text.size(); ++i) PutU16(out, off + 2 * i, text[i].unicode());
}

}  // namespace mokta::test
