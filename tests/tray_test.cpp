// The main window with a real notification area: an X server (Xvfb) with a tray host (trayer),
// started around this test by tests/with_tray_host.sh.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "app/main_window.h"
#include "test_main_window.h"
#include "framework/language_file.h"
#include "virtual_mouse.h"

namespace mokta {
namespace {

TEST(Tray, WindowHidesToTheTrayAndComesBackFromIt) {
  QTRY_VERIFY_WITH_TIMEOUT(TrayIcon::Available(), 10000);
  QTemporaryDir data;
  VirtualMouse::Shared().ResetSettings();
  VirtualMouse::Shared().ResetCounters();
  VirtualMouse::Shared().Plug(VirtualLink::kCable, true);
  test::TestMainWindow window(
      test::TestCoreOptions(data.path() + "/", QStringLiteral(MOKTA_VIRTUAL_DRIVER_DIR "/")));
  window.InitWindow();
  window.show();
  ASSERT_TRUE(window.tray_in_use());
  QTRY_COMPARE(window.link_up(), 1);

  // The window's own close button hides it; the program keeps running in the tray.
  auto* exit_button = window.Find<QPushButton>(QStringLiteral("exit_btn"));
  ASSERT_NE(exit_button, nullptr);
  QTest::mouseClick(exit_button, Qt::LeftButton);
  QTRY_VERIFY(!window.isVisible());

  // A left click on the tray icon brings it back.
  window.tray()->Activated(QSystemTrayIcon::Trigger);
  QTRY_VERIFY(window.isVisible());

  // A right click opens the tray menu with its two items; a second one replaces the first.
  window.tray()->Activated(QSystemTrayIcon::Context);
  QTRY_VERIFY(window.tray_menu() != nullptr);
  QPointer<QMenu> first = window.tray_menu();
  EXPECT_EQ(first->actions().size(), 2);
  window.tray()->Activated(QSystemTrayIcon::Context);
  QTRY_VERIFY(first.isNull());
  ASSERT_NE(window.tray_menu(), nullptr);
  window.tray_menu()->close();

  // When the mouse goes, the window hides itself.
  VirtualMouse::Shared().Plug(VirtualLink::kCable, false);
  QTRY_COMPARE(window.link_up(), 0);
  QTRY_VERIFY(!window.isVisible());
  window.Exit();
}

}  // namespace
}  // namespace mokta

int main(int argc, char** argv) {
  QTemporaryDir runtime;
  qputenv("MOKTA_RES_DIR", QFile::encodeName(QStringLiteral(MOKTA_SOURCE_DIR "/res/")));
  qputenv("MOKTA_VIRTUAL_BATTERY_MS", "0");
  qputenv("MOKTA_VIRTUAL_CONTROL", QFile::encodeName(runtime.filePath("control.sock")));
  qunsetenv("MOKTA_VIRTUAL_START");
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  auto language = std::make_shared<mokta::LanguageFile>();
  language->LoadFromResources();
  mokta::SetProgramLanguage(language);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
