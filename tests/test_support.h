#pragma once

// Small helpers shared by the file tests.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <span>
#include <vector>

namespace mokta::test {

QByteArray ReadFileBytes(const QString& path);
void WriteFileBytes(const QString& path, const QByteArray& bytes);

template <typename Span>
QByteArray ToByteArray(Span span) {
  return QByteArray(reinterpret_cast<const char*>(span.data()),
                    static_cast<qsizetype>(span.size()));
}

// Little-endian writes into an expected-bytes buffer.
void PutU16(std::vector<std::uint8_t>& out, std::size_t off, std::uint16_t v);
void PutU32(std::vector<std::uint8_t>& out, std::size_t off, std::uint32_t v);
void PutText(std::vector<std::uint8_t>& out, std::size_t off, const QString& text);

}  // namespace mokta::test
