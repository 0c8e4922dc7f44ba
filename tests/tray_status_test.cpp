// What the notification area tells of the mouse: the tray icon's tool tip in the real main
// window against the virtual mouse, the battery notices with their texts and spacing, and the
// tray menu's "Start with the session".
// Built into settings_page_test, whose main runs it.

#include "app/tray_status.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QStringList>
#include <QTemporaryDir>

#include "page_test_support.h"
#include "qt_wait.h"

namespace mokta {
namespace {

class TrayStatusTest : public test::PageTest {};

TEST_F(TrayStatusTest, TheToolTipFollowsTheLinksAndTheBattery) {
  ASSERT_NO_FATAL_FAILURE(Start(1));
  TrayIcon* tray = window_->tray();
  ASSERT_NE(tray, nullptr);
  // The cable charges the mouse.
  mouse_.ReportBattery();
  WAIT_EQ(tray->tool_tip(), "Mokta Gaming Mouse\nCable · Charging");
  mouse_.Plug(VirtualLink::kReceiver, true);
  mouse_.Plug(VirtualLink::kCable, false);
  mouse_.SetBattery(57);
  WAIT_EQ(tray->tool_tip(), "Mokta Gaming Mouse\nReceiver · Battery 57%");
  mouse_.Plug(VirtualLink::kReceiver, false);
  WAIT_EQ(tray->tool_tip(), "Mokta Gaming Mouse\nNo mouse connected");
}

// "Start with the session" from the tray menu (or the window's menu): the autostart entry is
// written, ticked in the menu, and removed again.
TEST_F(TrayStatusTest, StartWithTheSessionWritesAndRemovesTheAutostartEntry) {
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
  ASSERT_NO_FATAL_FAILURE(Start(1));
  const QString entry = config.filePath("autostart/org.mokta.MoktaMouse.desktop");
  window_->RouteMenuCommand("autostart");
  EXPECT_TRUE(QFileInfo::exists(entry));
  window_->tray()->Activated(QSystemTrayIcon::Context);  // a right click opens the menu
  QCoreApplication::sendPostedEvents();
  ASSERT_NE(window_->tray_menu(), nullptr);
  auto* item = window_->tray_menu()->findChild<QAction*>("autostart");
  ASSERT_NE(item, nullptr);
  EXPECT_TRUE(item->isCheckable() && item->isChecked());
  window_->tray_menu()->close();
  window_->RouteMenuCommand("autostart");
  EXPECT_FALSE(QFileInfo::exists(entry));
  qunsetenv("XDG_CONFIG_HOME");
}

TEST(TrayStatusNotices, TextsAndSpacing) {
  QStringList notices;
  QString tip;
  std::int64_t now = 0;
  TrayStatus status([&](const QString& t) { tip = t; },
                    [&](const QString& title, const QString& text) {
                      notices << title + ": " + text;
                      return true;
                    });
  status.set_clock([&] { return now; });
  status.ShowConnected(true);
  status.ShowLinkUp(LinkKind::kBle, true);
  status.ShowBatteryReport({BatteryReport::State::kOnBattery, 15});
  EXPECT_EQ(tip, "Mokta Gaming Mouse\nBluetooth · Battery 15%");
  status.ShowBatteryReport({BatteryReport::State::kOnBattery, 5});  // a minute later: held
  EXPECT_EQ(notices, QStringList{"Mokta Gaming Mouse: The mouse's battery is down to 15%. "
                                 "Connect the cable to charge it."});
  now = 5 * 60 * 1000;
  status.GiveDueNotice();
  ASSERT_EQ(notices.size(), 2);
  EXPECT_EQ(notices[1],
            "Mokta Gaming Mouse: The mouse's battery is almost empty (5%). Connect the cable now.");
}

}  // namespace
}  // namespace mokta
