#pragma once

// File input and output of whole records, shared by the stores and the exchange files.

#include <QIODevice>
#include <QString>
#include <cstddef>
#include <functional>
#include <span>
#include <type_traits>

namespace mokta {

// The file image of a record, whatever way the record holds its bytes.
template <typename Record>
std::span<const std::byte, Record::kSize> RecordImage(const Record& record) {
  if constexpr (std::is_same_v<decltype(record.bytes()),
                               std::span<const std::byte, Record::kSize>>) {
    return record.bytes();
  } else {
    return std::as_bytes(record.bytes());
  }
}
template <typename Record>
std::span<std::byte, Record::kSize> MutableRecordImage(Record& record) {
  if constexpr (std::is_same_v<decltype(record.bytes()), std::span<std::byte, Record::kSize>>) {
    return record.bytes();
  } else {
    return std::as_writable_bytes(record.bytes());
  }
}

// Reads exactly `out.size()` bytes; false when fewer arrive.
bool ReadExact(QIODevice& device, std::span<std::byte> out);

// Writes all of `data`; false on any failure.
bool WriteAll(QIODevice& device, std::span<const std::byte> data);

// Replaces the file at `path` atomically with what `write_body` writes: a temporary file in
// the same folder, flushed to disk, then renamed over the old file. When `write_body` returns
// false or any step fails, the old file stays as it was and the result is false.
bool WriteFileAtomically(const QString& path, const std::function<bool(QIODevice&)>& write_body);

}  // namespace mokta
