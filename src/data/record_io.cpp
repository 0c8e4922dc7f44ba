#include "data/record_io.h"

#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace mokta {

OpenStatus OpenRegularFileForReading(QFile& file) {
#ifdef Q_OS_UNIX
  // O_NONBLOCK: opening a FIFO without a writer returns at once instead of waiting; fstat then
  // tells what was opened, so nothing can be swapped in between a check and the open.
  const int fd = ::open(QFile::encodeName(file.fileName()).constData(),
                        O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    // ENOTDIR: a file stands where a folder of the path should be, so nothing is at the path.
    return errno == ENOENT || errno == ENOTDIR ? OpenStatus::kMissing : OpenStatus::kCannotOpen;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return OpenStatus::kNotRegular;
  }
  if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    ::close(fd);
    return OpenStatus::kCannotOpen;
  }
  return OpenStatus::kOpened;
#else
  const QFileInfo info(file.fileName());
  if (!info.exists()) return OpenStatus::kMissing;
  if (!info.isFile()) return OpenStatus::kNotRegular;
  return file.open(QIODevice::ReadOnly) ? OpenStatus::kOpened : OpenStatus::kCannotOpen;
#endif
}

bool IsNonRegularFile(const QString& path) {
  const QFileInfo info(path);
  return info.exists() && !info.isFile();
}

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
  if (IsNonRegularFile(path)) return false;
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  // Returning without commit() removes the temporary file and leaves the old one untouched.
  if (!write_body(file)) return false;
  return file.commit();
}

}  // namespace mokta
