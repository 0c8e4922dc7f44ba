// Starting with the session: the autostart entry's place, its text (a valid desktop entry that
// starts the program in the tray, whatever its path holds), writing and removing it.

#include "app/autostart.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace mokta {
namespace {

TEST(AutostartTest, TheEntryLivesInTheUsersAutostartFolder) {
  EXPECT_EQ(AutostartEntryPathFor("/x/config", "/home/a"),
            "/x/config/autostart/org.mokta.MoktaMouse.desktop");
  EXPECT_EQ(AutostartEntryPathFor("", "/home/a"),
            "/home/a/.config/autostart/org.mokta.MoktaMouse.desktop");
  EXPECT_EQ(AutostartEntryPathFor("relative", "/home/a"),
            "/home/a/.config/autostart/org.mokta.MoktaMouse.desktop");
}

TEST(AutostartTest, WrittenAndRemovedWithAValidEntry) {
  QTemporaryDir dir;
  const QString entry = dir.filePath("config/autostart/org.mokta.MoktaMouse.desktop");
  const QString program = "/opt/My \"Mouse\" $tools/100%/mokta-mouse";
  EXPECT_FALSE(AutostartEnabled(entry));
  ASSERT_TRUE(SetAutostart(true, entry, program));
  EXPECT_TRUE(AutostartEnabled(entry));
  QFile file(entry);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(file.readAll());
  EXPECT_TRUE(text.contains(
      "\nExec=env MOKTA_START_HIDDEN=1 \"/opt/My \\\"Mouse\\\" \\$tools/100%%/mokta-mouse\"\n"))
      << text.toStdString();
  const QString validate = QStandardPaths::findExecutable("desktop-file-validate");
  if (!validate.isEmpty()) {
    QProcess check;
    check.start(validate, {entry});
    ASSERT_TRUE(check.waitForFinished());
    EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardOutput().toStdString();
  }
  ASSERT_TRUE(SetAutostart(false, entry, program));
  EXPECT_FALSE(AutostartEnabled(entry));
  EXPECT_TRUE(SetAutostart(false, entry, program));  // nothing to remove is no failure
  // A folder that cannot be made: told as a failure.
  QFile blocker(dir.filePath("file"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  EXPECT_FALSE(SetAutostart(true, dir.filePath("file/autostart/x.desktop"), program));
}

}  // namespace
}  // namespace mokta
