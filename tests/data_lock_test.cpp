// The locks that keep one writer per data folder and per mouse link: a second holder is
// refused and told who holds the lock, a lock left by a program that has ended is taken over,
// a lock that cannot be made does not stop the program. The program and the tool against each
// other, as real processes, are in main_window_test.

#include "data/data_lock.h"

#include <gtest/gtest.h>
#include <unistd.h>

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
  EXPECT_TRUE(tool.refusal().startsWith("the cable link is in use by "))
      << tool.refusal().toStdString();
}

TEST_F(DataLockTest, ReleasedAndAbandonedLocksAreTakenAgain) {
  {
    RunLocks first;
    ASSERT_EQ(first.TakeForProgram(DataFolder()), RunLocks::Result::kTaken);
  }
  EXPECT_FALSE(QFileInfo::exists(DataLockPath(DataFolder())));

  // A program that crashed left its lock files behind, naming a process that no longer runs.
  const qint64 gone = 0x3FFFFFFF;  // above the kernel's largest process id
  for (const QString& path :
       {DataLockPath(DataFolder()), LinkLockPath(LinkLockFolder(), MouseLink::kCable)}) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::number(gone) + "\nmokta-mouse\n" + QSysInfo::machineHostName().toUtf8() +
               "\n");
  }
  RunLocks next;
  EXPECT_EQ(next.TakeForProgram(DataFolder()), RunLocks::Result::kTaken)
      << next.refusal().toStdString();
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

// Without a runtime folder the link locks go to a folder of the user's own under the
// temporary folder, never into one someone else made there.
TEST(LinkLockFolder, WithoutARuntimeFolderUsesAPrivateTemporaryFolder) {
  QTemporaryDir temp;
  ASSERT_TRUE(temp.isValid());
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  const QByteArray tmpdir = qgetenv("TMPDIR");
  qunsetenv("XDG_RUNTIME_DIR");
  qputenv("TMPDIR", QFile::encodeName(temp.path()));
  const QString own = temp.path() + QStringLiteral("/mokta-mouse-%1/").arg(geteuid());
  EXPECT_EQ(LinkLockFolder(), own);
  EXPECT_EQ(QFileInfo(own).permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);
  // Another user's folder of that name is not used.
  ASSERT_EQ(chown(QFile::encodeName(own).constData(), geteuid() + 1, getegid()), 0);
  EXPECT_EQ(LinkLockFolder(), QString());
  RunLocks locks;
  EXPECT_EQ(locks.TakeLinks(), RunLocks::Result::kTaken);
  EXPECT_EQ(locks.warnings(), QStringList{"cannot lock the mouse's links: no runtime folder"});
  qputenv("XDG_RUNTIME_DIR", runtime);
  qputenv("TMPDIR", tmpdir);
  if (runtime.isNull()) qunsetenv("XDG_RUNTIME_DIR");
  if (tmpdir.isNull()) qunsetenv("TMPDIR");
}

}  // namespace
}  // namespace mokta
