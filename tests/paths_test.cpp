// The program folder and the data folder beside it.

#include "data/paths.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace mokta {
namespace {

TEST(Paths, ExeFolderIsTheFolderOfThisProgram) {
  const QString folder = ExeFolder();
  EXPECT_TRUE(folder.endsWith('/'));
  EXPECT_TRUE(QFileInfo::exists(folder + "paths_test"));
}

TEST(Paths, DataFolderIsCreatedOnceAndReturnedAlike) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString exe = dir.path() + '/';
  const QString first = DataFolderIn(exe);
  EXPECT_EQ(first, exe + "Data/");
  EXPECT_TRUE(QFileInfo(first).isDir());
  QFile marker(first + "marker");
  ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
  marker.close();
  EXPECT_EQ(DataFolderIn(exe), first);
  EXPECT_TRUE(QFileInfo::exists(first + "marker"));  // not made anew
}

TEST(Paths, PlainFileInTheWayFailsSilentlyAndStillGivesThePath) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString exe = dir.path() + '/';
  QFile file(exe + "Data");
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("x");
  file.close();
  EXPECT_EQ(DataFolderIn(exe), exe + "Data/");
  EXPECT_TRUE(QFileInfo(exe + "Data").isFile());
}

TEST(Paths, DataFolderFollowsMoktaDataDir) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString wanted = dir.path() + "/nested/data";
  qputenv("MOKTA_DATA_DIR", QFile::encodeName(wanted));
  const QString folder = DataFolder();
  qunsetenv("MOKTA_DATA_DIR");
  EXPECT_EQ(folder, wanted + '/');
  EXPECT_TRUE(QFileInfo(wanted).isDir());
}

}  // namespace
}  // namespace mokta
