// The locks that keep one writer per data folder and per mouse link: a second holder is
// refused and told who holds the lock, a lock left by a program that has ended is taken over,
// a lock that cannot be made does not stop the program. The program and the tool against each
// other, as real processes, are in main_window_test.

#include "data/data_lock.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QTemporaryDir>

namespace mokta {
namespace {

// Points XDG_RUNTIME_DIR, where the link locks live, at a folder of the test's own.
class RuntimeFolderScope {
 public:
  explicit RuntimeFolderScope(const QString& folder) : previous_(qgetenv("XDG_RUNTIME_DIR")) {
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder));
  }
  ~RuntimeFolderScope() {
    if (previous_.isNull()) {
      qunsetenv("XDG_RUNTIME_DIR");
    } else {
      qputenv("XDG_RUNTIME_DIR", previous_);
    }
  }

 private:
  QByteArray previous_;
};

class DataLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(data_.isValid());
    ASSERT_TRUE(runtime_.isValid());
  }
  QString DataFolder() const { return data_.path() + '/'; }

  QTemporaryDir data_;
  QTemporaryDir runtime_;
  RuntimeFolderScope runtime_scope_{runtime_.path()};
};

TEST_F(DataLockTest, SecondHolderIsRefusedAndToldWhoHoldsIt) {
  RunLocks first;
  ASSERT_EQ(first.TakeForProgram(DataFolder()), RunLocks::Result::kTaken);
  EXPECT_TRUE(QFileInfo::exists(DataLockPath(DataFolder())));
  EXPECT_TRUE(QFileInfo::exists(LinkLockPath(LinkLockFolder(), MouseLink::kBle)));

  RunLocks second;
  EXPECT_EQ(second.TakeForProgram(DataFolder()), RunLocks::Result::kHeld);
  EXPECT_EQ(second.holder().pid, QCoreApplication::applicationPid());
  EXPECT_FALSE(second.holder().program.isEmpty());
  EXPECT_EQ(second.holder().user, QFileInfo(DataLockPath(DataFolder())).owner());
  EXPECT_TRUE(second.holder().host.isEmpty());  // this host
  const QString refusal = second.refusal();
  EXPECT_TRUE(refusal.startsWith("the data folder " + DataFolder() + " is in use by "))
      << refusal.toStdString();
  EXPECT_TRUE(refusal.contains(QStringLiteral("(pid %1, user %2)")
                                   .arg(QCoreApplication::applicationPid())
                                   .arg(second.holder().user)))
      << refusal.toStdString();

  // The tool takes only the links, and is refused on the first one.
  RunLocks tool;
  EXPECT_EQ(tool.TakeLinks(), RunLocks::Result::kHeld);
  EXPECT_TRUE(tool.refusal().startsWith("the cable link is in use by ")) << tool.refusal().toStdString();
}

TEST_F(DataLockTest, ReleasedAndAbandonedLocksAreTakenAgain) {
  {
    RunLocks first;
    ASSERT_EQ(first.TakeForProgram(DataFolder()), RunLocks::Result::kTaken);
  }
  EXPECT_FALSE(QFileInfo::exists(DataLockPath(DataFolder())));

  // A program that crashed left its lock files behind, naming a process that no longer runs.
  const qint64 gone = 0x3FFFFFFF;  // above the kernel's largest process id
  for (const QString& path : {DataLockPath(DataFolder()),
                              LinkLockPath(LinkLockFolder(), MouseLink::kCable)}) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::number(gone) + "\nmokta-mouse\n" +
               QSysInfo::machineHostName().toUtf8() + "\n");
  }
  RunLocks next;
  EXPECT_EQ(next.TakeForProgram(DataFolder()), RunLocks::Result::kTaken) << next.refusal().toStdString();
  EXPECT_TRUE(next.warnings().isEmpty());
}

TEST_F(DataLockTest, LockThatCannotBeMadeIsWarnedAboutAndDoesNotStopTheProgram) {
  // A "data folder" under a plain file: no lock file can be made there (root passes every
  // permission test, so the folder is made impossible rather than read-only).
  QFile plain(data_.filePath("plain"));
  ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  plain.close();
  RunLocks locks;
  EXPECT_EQ(locks.TakeForProgram(data_.filePath("plain") + "/Data/"), RunLocks::Result::kTaken);
  ASSERT_EQ(locks.warnings().size(), 1);
  EXPECT_TRUE(locks.warnings().front().startsWith("cannot lock the data folder "))
      << locks.warnings().front().toStdString();
  // The links were still locked.
  RunLocks tool;
  EXPECT_EQ(tool.TakeLinks(), RunLocks::Result::kHeld);
}

}  // namespace
}  // namespace mokta
