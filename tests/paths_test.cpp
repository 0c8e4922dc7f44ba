// The program folder, the data folder beside it or in the user's data location, and the
// containment test that keeps libraries out of the data folders.

#include "data/paths.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <set>

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

// Tests run as root, for whom every folder is writable: the choice is checked through an
// injected answer for each folder.
TEST(Paths, ReadOnlyProgramFolderKeepsTheDataInTheUserDataLocation) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString exe = dir.path() + "/opt/mokta/";
  const QString user = dir.path() + "/home/.local/share/mokta-mouse/";
  ASSERT_TRUE(QDir().mkpath(exe));
  std::set<QString> writable;
  const auto test = [&](const QString& folder) { return writable.count(folder) > 0; };

  // No "Data" yet: the program's folder decides.
  EXPECT_EQ(ChooseDataFolder(exe, user, test), user + "Data/");
  writable = {exe};
  EXPECT_EQ(ChooseDataFolder(exe, user, test), exe + "Data/");

  // A "Data" folder that exists decides for itself: read-only (a shipped or mounted copy) sends
  // the data to the user even where the program's folder is writable, and a writable one is
  // kept even where the program's folder is not.
  ASSERT_TRUE(QDir().mkdir(exe + "Data"));
  writable = {exe};
  EXPECT_EQ(ChooseDataFolder(exe, user, test), user + "Data/");
  writable = {exe + "Data/"};
  EXPECT_EQ(ChooseDataFolder(exe, user, test), exe + "Data/");

  // An installed program keeps the data in the user's location, even run by root.
  QFile marker(exe + kInstalledMarker);
  ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
  marker.close();
  writable = {exe, exe + "Data/"};
  EXPECT_EQ(ChooseDataFolder(exe, user, test), user + "Data/");
}

TEST(Paths, UserDataLocationFollowsXdgDataHomeWhenItIsAbsolute) {
  EXPECT_EQ(UserDataLocationFor("/x/data", "/home/a"), "/x/data/mokta-mouse/");
  EXPECT_EQ(UserDataLocationFor("/x/data/", "/home/a"), "/x/data/mokta-mouse/");
  EXPECT_EQ(UserDataLocationFor("", "/home/a"), "/home/a/.local/share/mokta-mouse/");
  EXPECT_EQ(UserDataLocationFor("relative/data", "/home/a/"), "/home/a/.local/share/mokta-mouse/");
}

TEST(Paths, InsideComparesWholeNamesAfterResolvingLinks) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString data = dir.path() + "/share/mokta-mouse";
  ASSERT_TRUE(QDir().mkpath(data + "/Data"));
  EXPECT_TRUE(PathIsInside(data + "/Data/libHook.so", data));
  EXPECT_TRUE(PathIsInside(data + "/", data + "/"));
  EXPECT_TRUE(PathIsInside(data + "/not/made/yet/lib.so", data));
  EXPECT_TRUE(PathIsInside(data + "/Data/../Data/x.so", data + "/Data/"));
  EXPECT_FALSE(PathIsInside(dir.path() + "/share/mokta-mouse-other/lib.so", data));
  EXPECT_FALSE(PathIsInside(data + "/../lib.so", data));
  EXPECT_FALSE(PathIsInside(data + "/lib.so", ""));
  // A folder elsewhere that leads into the data location is inside it.
  ASSERT_TRUE(QFile::link(data + "/Data", dir.path() + "/drivers"));
  EXPECT_TRUE(PathIsInside(dir.path() + "/drivers/libhiddriver_2.so", data));
}

}  // namespace
}  // namespace mokta
