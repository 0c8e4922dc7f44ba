#pragma once

// File input and output of whole records, shared by the stores and the exchange files.

#include <QFile>
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

enum class OpenStatus {
  kOpened,
  kMissing,     // nothing at the path (a dangling link counts as nothing)
  kNotRegular,  // a folder, a FIFO, a socket, a device: never read from
  kCannotOpen,  // a file that cannot be opened (no permission, ...)
};

// Opens `file` (its name set) for reading when it names a regular file, following links. The
// open never blocks, whatever is at the path: a FIFO or a device is refused without waiting for
// a writer. An opened `file` no longer reports its name (fileName() is empty); keep the path.
OpenStatus OpenRegularFileForReading(QFile& file);

// Whether something other than a regular file (or a link to one) is at `path`; such a thing is
// never replaced by a write.
bool IsNonRegularFile(const QString& path);

// Reads exactly `out.size()` bytes; false when fewer arrive.
bool ReadExact(QIODevice& device, std::span<std::byte> out);

// Writes all of `data`; false on any failure.
bool WriteAll(QIODevice& device, std::span<const std::byte> data);

// Replaces the file at `path` atomically with what `write_body` writes: a temporary file in
// the same folder, flushed to disk, then renamed over the old file. When `write_body` returns
// false or any step fails, the old file stays as it was and the result is false. Something
// other than a regular file at `path` is never replaced: the result is then false.
bool WriteFileAtomically(const QString& path, const std::function<bool(QIODevice&)>& write_body);

}  // namespace mokta
