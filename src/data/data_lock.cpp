#include "data/data_lock.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <QSysInfo>

namespace mokta {
namespace {

// The name of the program running as `pid` on this host, from the kernel's process table (the
// short name, readable for every user's processes); empty when it cannot be read.
QString ProcessName(qint64 pid) {
  QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
  if (!comm.open(QIODevice::ReadOnly)) return {};
  return QString::fromLocal8Bit(comm.readLine()).trimmed();
}

LockHolder ReadHolder(const QLockFile& lock) {
  LockHolder holder;
  QString program;
  if (lock.getLockInfo(&holder.pid, &holder.host, &program)) {
    holder.program = QFileInfo(program).fileName();
  }
  if (holder.host == QSysInfo::machineHostName()) holder.host.clear();  // this host
  if (holder.host.isEmpty() && holder.pid > 0) {
    const QString running = ProcessName(holder.pid);
    if (!running.isEmpty()) holder.program = running;
  }
  holder.user = QFileInfo(lock.fileName()).owner();
  return holder;
}

QString LinkFileName(MouseLink link) {
  switch (link) {
    case MouseLink::kCable:
      return QStringLiteral("mokta-mouse-cable.lock");
    case MouseLink::kReceiver:
      return QStringLiteral("mokta-mouse-receiver.lock");
    case MouseLink::kBle:
      return QStringLiteral("mokta-mouse-ble.lock");
  }
  return QStringLiteral("mokta-mouse-link.lock");
}

// A folder of this user's own under the temporary folder: made with mode 0700 when missing,
// refused when it exists but belongs to someone else (it could then be emptied under us).
QString PrivateTempFolder() {
  const QString folder = QDir::tempPath() + QStringLiteral("/mokta-mouse-%1").arg(geteuid());
  QDir().mkdir(folder);
  const QFileInfo info(folder);
  if (!info.isDir() || info.isSymLink() || info.ownerId() != geteuid()) return {};
  QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  return folder;
}

}  // namespace

QString DescribeHolder(const LockHolder& holder) {
  QStringList details;
  if (holder.pid > 0) details << QStringLiteral("pid %1").arg(holder.pid);
  if (!holder.user.isEmpty()) details << QStringLiteral("user %1").arg(holder.user);
  if (!holder.host.isEmpty()) details << QStringLiteral("on host %1").arg(holder.host);
  QString text = holder.program.isEmpty() ? QStringLiteral("another program") : holder.program;
  if (!details.isEmpty()) text += QStringLiteral(" (%1)").arg(details.join(QStringLiteral(", ")));
  return text;
}

QString LinkName(MouseLink link) {
  switch (link) {
    case MouseLink::kCable:
      return QStringLiteral("the cable link");
    case MouseLink::kReceiver:
      return QStringLiteral("the receiver link");
    case MouseLink::kBle:
      return QStringLiteral("the Bluetooth LE link");
  }
  return QStringLiteral("a link");
}

QString DataLockPath(const QString& data_folder) {
  return data_folder + QStringLiteral("mokta-mouse.lock");
}

QString LinkLockFolder() {
  // Without XDG_RUNTIME_DIR Qt would warn on every call and make a folder of its own; ours is
  // made quietly.
  QString folder;
  if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
    folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  }
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = PrivateTempFolder();
  if (folder.isEmpty()) return {};
  return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

QString LinkLockPath(const QString& folder, MouseLink link) {
  return folder + LinkFileName(link);
}

RunLocks::RunLocks() = default;
RunLocks::~RunLocks() = default;  // each QLockFile removes its file

RunLocks::Result RunLocks::Take(const QString& path, const QString& what) {
  for (const auto& held : held_) {
    if (held->fileName() == path) return Result::kTaken;
  }
  auto lock = std::make_unique<QLockFile>(path);
  // Held for the whole run: never stale by age, only when its holder has ended.
  lock->setStaleLockTime(0);
  if (lock->tryLock(0)) {
    held_.push_back(std::move(lock));
    return Result::kTaken;
  }
  if (lock->error() == QLockFile::LockFailedError) {
    holder_ = ReadHolder(*lock);
    refusal_ = QStringLiteral("%1 is in use by %2").arg(what, DescribeHolder(holder_));
    return Result::kHeld;
  }
  const QString warning = QStringLiteral("cannot lock %1 (%2): %3")
                              .arg(what, path,
                                   lock->error() == QLockFile::PermissionError
                                       ? QStringLiteral("no permission")
                                       : QStringLiteral("the file cannot be made"));
  warnings_ << warning;
  return Result::kNoLock;
}

RunLocks::Result RunLocks::TakeForProgram(const QString& data_folder) {
  if (Take(DataLockPath(data_folder), QStringLiteral("the data folder %1").arg(data_folder)) ==
      Result::kHeld) {
    return Result::kHeld;
  }
  return TakeLinks();
}

RunLocks::Result RunLocks::TakeLinks() {
  const QString folder = LinkLockFolder();
  if (folder.isEmpty()) {
    warnings_ << QStringLiteral("cannot lock the mouse's links: no runtime folder");
    return Result::kTaken;
  }
  for (const MouseLink link : kAllLinks) {
    if (Take(LinkLockPath(folder, link), LinkName(link)) == Result::kHeld) return Result::kHeld;
  }
  return Result::kTaken;
}

}  // namespace mokta
