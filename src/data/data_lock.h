#pragma once

// One writer per data folder and per mouse link. The program holds, for its whole run, an
// advisory lock in its data folder (no second program interleaves whole-store writes there)
// and one lock per link to the mouse (cable, receiver, Bluetooth LE) in the user's runtime
// folder; `mokta-mousectl apply` takes the link locks before it sends anything, so its
// messages never interleave with the program's (a slot message is three reports in a row).
//
// The locks are lock files (QLockFile): the file records the holder's process id, program and
// host, its owner is the holder's user, and a file left behind by a process that has ended is
// recognised as stale and taken over. They are advisory: only the program and the tool honour
// them. Nothing here logs or prints: the caller tells the user (refusal(), warnings()). QtCore
// only; used on one thread.

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class QLockFile;

namespace mokta {

// Who holds a lock, as far as it can be found.
struct LockHolder {
  qint64 pid = 0;
  QString program;  // the holder's program file name; empty when unknown
  QString host;     // the host it runs on; empty when unknown
  QString user;     // the owner of the lock file; empty when unknown
};

// "mokta-mouse (pid 1234, user alice)", with "on host h" when the host is another one.
QString DescribeHolder(const LockHolder& holder);

// The mouse's links, each with a lock of its own.
enum class MouseLink { kCable, kReceiver, kBle };
inline constexpr MouseLink kAllLinks[] = {MouseLink::kCable, MouseLink::kReceiver, MouseLink::kBle};
// "the cable link", "the receiver link", "the Bluetooth LE link".
QString LinkName(MouseLink link);

// The lock file of a data folder (with its trailing "/").
QString DataLockPath(const QString& data_folder);
// The folder of the link locks, with a trailing "/": the user's runtime folder
// (XDG_RUNTIME_DIR), or, where there is none, "mokta-mouse-<uid>" under the temporary folder,
// made with mode 0700 and refused when another user owns it. Empty when no usable folder
// exists.
QString LinkLockFolder();
// The lock file of `link` in `folder` (with its trailing "/").
QString LinkLockPath(const QString& folder, MouseLink link);

// The locks one program holds; all are released when it is destroyed.
class RunLocks {
 public:
  enum class Result {
    kTaken,   // this program holds the lock now
    kHeld,    // another live program holds it: see refusal() and holder()
    kNoLock,  // the lock file cannot be made here (read-only or missing folder): see warnings()
  };

  RunLocks();
  ~RunLocks();
  RunLocks(const RunLocks&) = delete;
  RunLocks& operator=(const RunLocks&) = delete;

  // Takes the lock file at `path` without waiting. `what` names the guarded thing in messages
  // ("the data folder /x/Data/", "the cable link"). Taking a lock this object already holds
  // returns kTaken.
  Result Take(const QString& path, const QString& what);

  // Takes the data folder's lock, then every link lock: stops at the first one held by another
  // program and returns kHeld. A lock that cannot be made is left out (kNoLock is remembered in
  // warnings()); the result is then still kTaken.
  Result TakeForProgram(const QString& data_folder);
  // Takes every link lock (the tool, before it sends); same rules.
  Result TakeLinks();

  // After kHeld: one sentence naming what is held and by whom, e.g. "the data folder /x/Data/
  // is in use by mokta-mouse (pid 1234, user alice)".
  const QString& refusal() const { return refusal_; }
  const LockHolder& holder() const { return holder_; }
  // One text per lock that could not be made, e.g. "cannot lock the cable link: ...".
  const QStringList& warnings() const { return warnings_; }

 private:
  std::vector<std::unique_ptr<QLockFile>> held_;
  QString refusal_;
  LockHolder holder_;
  QStringList warnings_;
};

}  // namespace mokta
