// The key-combination dialog with the real input hook library on a private X server: keys
// injected through XTest while the key field has the focus reach the field, and the last one
// wins.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <cstdlib>

#include "app/hook_table.h"
#include "framework/language_file.h"
#include "qt_wait.h"
#include "ui/shortcut_dialog.h"

// After Qt: Xlib defines macros (Bool, Status, ...) that Qt's headers declare as names.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace mokta {
namespace {

TEST(ShortcutDialogX11, KeysPressedOnTheDesktopReachTheKeyField) {
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr) << "needs an X server with XTest (run under xvfb-run)";
  HookTable hooks(QStringLiteral(MOKTA_HOOK_LIBRARY));
  ASSERT_TRUE(hooks.loaded());
  ASSERT_TRUE(hooks.global());
  FixedUsLayout layout;
  {
    CShortcutWnd dialog(nullptr, {}, &hooks, hooks.InWindowReasonKey(), layout);
    dialog.show();
    dialog.activateWindow();
    WAIT_UNTIL(dialog.isActiveWindow());
    dialog.Find<QLineEdit>(QStringLiteral("edit_key"))->setFocus();
    ASSERT_TRUE(dialog.capturing());

    auto key = [&](KeySym keysym, bool press) {
      XTestFakeKeyEvent(display, XKeysymToKeycode(display, keysym), press, CurrentTime);
    };
    key(XK_Shift_L, true);
    key(XK_a, true);
    key(XK_a, false);
    XSync(display, 0);
    WAIT_EQ(dialog.combination().key, 0x04);
    key(XK_Shift_L, false);
    XSync(display, 0);
    WAIT_EQ(dialog.combination().key, 0xE1);
  }
  XCloseDisplay(display);
}

}  // namespace
}  // namespace mokta

int main(int argc, char** argv) {
  // The private X server is an X11 session whatever session the test was started from.
  unsetenv("WAYLAND_DISPLAY");
  unsetenv("XDG_SESSION_TYPE");
  qputenv("QT_QPA_PLATFORM", "xcb");
  qputenv("MOKTA_RES_DIR", QFile::encodeName(QStringLiteral(MOKTA_SOURCE_DIR "/res/")));
  QApplication app(argc, argv);
  auto language = std::make_shared<mokta::LanguageFile>();
  language->LoadFromResources();
  mokta::SetProgramLanguage(language);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
