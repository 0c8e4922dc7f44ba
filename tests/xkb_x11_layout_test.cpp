// The keyboard layout service against a real X server (a private Xvfb, see CMakeLists.txt):
// it follows the server's keymap and group when they change.

#include <gtest/gtest.h>
#include <xcb/xcb.h>
#define explicit explicit_  // the header names a member "explicit", a C++ keyword
#include <xcb/xkb.h>
#undef explicit

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>

#include "data/key_tables.h"
#include "platform/linux/xkb_keyboard_layout.h"
#include "qt_wait.h"

namespace mokta {
namespace {

constexpr std::uint32_t kUsageA = 0x04;
constexpr std::uint32_t kUsageQ = 0x14;
constexpr std::uint32_t kUsageY = 0x1C;

std::uint32_t Usage(std::uint32_t vk, const KeyboardLayout& layout) {
  return VirtualKeyToUsage(vk, layout).usage;
}

class XkbX11Layout : public ::testing::Test {
 protected:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "no X display";
    if (QStandardPaths::findExecutable("setxkbmap").isEmpty()) GTEST_SKIP() << "no setxkbmap";
    qunsetenv("WAYLAND_DISPLAY");
    qunsetenv("XDG_SESSION_TYPE");
    SetServerLayout("us");
  }

  static void SetServerLayout(const QString& layout) {
    QProcess setxkbmap;
    setxkbmap.start("setxkbmap", {"-layout", layout});
    ASSERT_TRUE(setxkbmap.waitForFinished(10000));
    ASSERT_EQ(setxkbmap.exitCode(), 0) << setxkbmap.readAllStandardError().toStdString();
  }

  // Locks the core keyboard's group, as a layout switch key does.
  static void LockServerGroup(std::uint8_t group) {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    ASSERT_EQ(xcb_connection_has_error(connection), 0);
    xcb_xkb_use_extension_reply_t* use =
        xcb_xkb_use_extension_reply(connection, xcb_xkb_use_extension(connection, 1, 0), nullptr);
    ASSERT_NE(use, nullptr);
    std::free(use);
    xcb_generic_error_t* error = xcb_request_check(
        connection, xcb_xkb_latch_lock_state_checked(connection, XCB_XKB_ID_USE_CORE_KBD, 0, 0, 1,
                                                     group, 0, 0, 0));
    EXPECT_EQ(error, nullptr);
    std::free(error);
    xcb_disconnect(connection);
  }
};

TEST_F(XkbX11Layout, FollowsANewKeymapAndAGroupSwitch) {
  const std::unique_ptr<XkbKeyboardLayout> layout = XkbKeyboardLayout::FollowX11();
  ASSERT_NE(layout, nullptr);
  EXPECT_EQ(Usage('A', *layout), kUsageA);

  SetServerLayout("fr");
  WAIT_EQ(Usage('A', *layout), kUsageQ);
  EXPECT_EQ(layout->KeycodeToVirtualKey(16 + 8), std::uint32_t{'A'});

  SetServerLayout("us,de");
  WAIT_EQ(Usage('A', *layout), kUsageA);
  EXPECT_EQ(Usage('Z', *layout), 0x1Du);
  LockServerGroup(1);
  WAIT_EQ(Usage('Z', *layout), kUsageY);
  EXPECT_EQ(layout->group(), 1u);
  LockServerGroup(0);
  WAIT_EQ(layout->group(), 0u);
}

TEST_F(XkbX11Layout, AWaylandSessionIsNotFollowedThroughXWayland) {
  qputenv("XDG_SESSION_TYPE", "wayland");
  EXPECT_EQ(XkbKeyboardLayout::FollowX11(), nullptr);
  qunsetenv("XDG_SESSION_TYPE");
}

}  // namespace
}  // namespace mokta

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
