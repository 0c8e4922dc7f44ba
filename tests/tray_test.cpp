// The main window with a real notification area: an X server (Xvfb) with a tray host (trayer),
// started around this test by tests/with_tray_host.sh.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include "app/main_window.h"
#include "framework/language_file.h"
#include "qt_wait.h"
#include "test_main_window.h"
#include "virtual_mouse.h"

namespace mokta {
namespace {

TEST(Tray, WindowHidesToTheTrayAndComesBackFromIt) {
  WAIT_UNTIL_FOR(TrayIcon::Available(), 10000);
  QTemporaryDir data;
  VirtualMouse::Shared().ResetSettings();
  VirtualMouse::Shared().ResetCounters();
  VirtualMouse::Shared().Plug(VirtualLink::kCable, true);
  VirtualMouse::Shared().Plug(VirtualLink::kReceiver, false);  // the cable is the only link
  VirtualMouse::Shared().SetBleConnected(false);
  test::TestMainWindow window(
      test::TestCoreOptions(data.path() + "/", QStringLiteral(MOKTA_VIRTUAL_DRIVER_DIR "/")));
  window.InitWindow();
  window.show();
  ASSERT_TRUE(window.tray_in_use());
  WAIT_EQ(window.link_up(), 1);

  // The window's own close button hides it; the program keeps running in the tray.
  auto* exit_button = window.Find<QPushButton>(QStringLiteral("exit_btn"));
  ASSERT_NE(exit_button, nullptr);
  QTest::mouseClick(exit_button, Qt::LeftButton);
  WAIT_UNTIL(!window.isVisible());

  // A left click on the tray icon brings it back.
  window.tray()->Activated(QSystemTrayIcon::Trigger);
  WAIT_UNTIL(window.isVisible());

  // A right click opens the tray menu with its three items; a second one replaces the first.
  window.tray()->Activated(QSystemTrayIcon::Context);
  WAIT_UNTIL(window.tray_menu() != nullptr);
  QPointer<QMenu> first = window.tray_menu();
  QStringList items;
  for (QAction* action : first->actions()) {
    if (!action->isSeparator()) items << action->objectName();
  }
  EXPECT_EQ(items, (QStringList{"configuration", "autostart", "exit"}));
  window.tray()->Activated(QSystemTrayIcon::Context);
  WAIT_UNTIL(first.isNull());
  ASSERT_NE(window.tray_menu(), nullptr);
  window.tray_menu()->close();

  // When the mouse goes, the window hides itself.
  VirtualMouse::Shared().Plug(VirtualLink::kCable, false);
  WAIT_EQ(window.link_up(), 0);
  WAIT_UNTIL(!window.isVisible());
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
