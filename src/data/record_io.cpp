#include "data/record_io.h"

#include <QSaveFile>

namespace mokta {

bool ReadExact(QIODevice& device, std::span<std::byte> out) {
  qint64 done = 0;
  const auto total = static_cast<qint64>(out.size());
  while (done < total) {
    const qint64 n = device.read(reinterpret_cast<char*>(out.data()) + done, total - done);
    if (n <= 0) return false;
    done += n;
  }
  return true;
}

bool WriteAll(QIODevice& device, std::span<const std::byte> data) {
  const auto total = static_cast<qint64>(data.size());
  return device.write(reinterpret_cast<const char*>(data.data()), total) == total;
}

bool WriteFileAtomically(const QString& path, const std::function<bool(QIODevice&)>& write_body) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  // Returning without commit() removes the temporary file and leaves the old one untouched.
  if (!write_body(file)) return false;
  return file.commit();
}

}  // namespace mokta
