// A key combination given to a button the way a person does it, on a private X server: the
// real main window with the real input hook library, the function menu's "Key combination",
// then the dialog driven only by keys injected through XTest (Space ticks Ctrl and Alt, Tab
// moves on, A is captured by the hook in the key field, Enter accepts). The virtual mouse must
// then hold the triple written out here by hand.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <cstdlib>

#include "framework/control_lookup.h"
#include "framework/control_text.h"
#include "page_test_support.h"
#include "qt_wait.h"
#include "ui/button_menu.h"
#include "ui/shortcut_dialog.h"

// After Qt: Xlib defines macros (Bool, Status, ...) that Qt's headers declare as names.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace mokta {
namespace {

class ButtonMenuX11Test : public test::PageTest {
 protected:
  void SetUp() override {
    PageTest::SetUp();
    display_ = XOpenDisplay(nullptr);
    ASSERT_NE(display_, nullptr) << "needs an X server with XTest (run under xvfb-run)";
    hook_library_ = QStringLiteral(MOKTA_HOOK_LIBRARY);
  }
  void TearDown() override {
    if (display_ != nullptr) XCloseDisplay(display_);
  }

  // A key pressed and let go on the desktop, as a keyboard would.
  void Type(KeySym keysym) {
    const KeyCode code = XKeysymToKeycode(display_, keysym);
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    XSync(display_, False);
  }

  // Presses Tab until the control named `name` has the focus (at most once round the dialog).
  void TabTo(QWidget& dialog, const char* name) {
    for (int i = 0; i < 12; ++i) {
      QWidget* focus = dialog.focusWidget();
      if (focus != nullptr && focus->objectName() == QLatin1String(name)) return;
      Type(XK_Tab);
      WAIT_UNTIL(dialog.focusWidget() != focus);
    }
    FAIL() << "Tab never reached " << name;
  }

  // What a person does in the key-combination dialog to pick Ctrl + Alt + A, from the keyboard.
  void PickCtrlAltA(CShortcutWnd& dialog) {
    dialog.activateWindow();
    WAIT_UNTIL(dialog.isActiveWindow());
    ASSERT_NO_FATAL_FAILURE(TabTo(dialog, "check_flag_1"));
    Type(XK_space);
    WAIT_UNTIL(FindControl<QAbstractButton>(&dialog, QStringLiteral("check_flag_1"))->isChecked());
    ASSERT_NO_FATAL_FAILURE(TabTo(dialog, "check_flag_3"));
    Type(XK_space);
    WAIT_UNTIL(FindControl<QAbstractButton>(&dialog, QStringLiteral("check_flag_3"))->isChecked());
    ASSERT_NO_FATAL_FAILURE(TabTo(dialog, "edit_key"));
    WAIT_UNTIL(dialog.capturing());
    Type(XK_a);
    WAIT_EQ(dialog.combination().key, 0x04);
    Type(XK_Tab);  // leaves the field without being taken as the key
    WAIT_UNTIL(!dialog.capturing());
    Type(XK_Return);
    WAIT_UNTIL(!dialog.isVisible());
  }

  Display* display_ = nullptr;
};

TEST_F(ButtonMenuX11Test, KeyCombinationTypedInTheDialogReachesTheMouse) {
  ASSERT_NO_FATAL_FAILURE(Start(1));
  ASSERT_NE(window_->core().hooks(), nullptr);
  ASSERT_TRUE(window_->core().hooks()->global());

  bool opened = false;
  ScopedModalTestHook drive([&](QWidget& window) -> std::optional<int> {
    auto* dialog = dynamic_cast<CShortcutWnd*>(&window);
    EXPECT_NE(dialog, nullptr) << window.objectName().toStdString();
    if (dialog == nullptr) return 0;
    opened = true;
    QTimer::singleShot(0, dialog, [this, dialog] {
      PickCtrlAltA(*dialog);
      if (dialog->isVisible()) dialog->close();  // a failed step must not leave the loop running
    });
    return std::nullopt;  // the real modal loop runs
  });

  auto* button = Find<QAbstractButton>("ms_1_btn_key_4");
  QTest::mouseClick(button, Qt::LeftButton);
  QMenu* menu = window_->page().button_menu().menu();
  ASSERT_TRUE(menu != nullptr && menu->isVisible());
  auto* item = menu->findChild<QAction*>(QStringLiteral("ms_1_shortcut"));
  ASSERT_NE(item, nullptr);
  item->trigger();
  menu->close();
  QCoreApplication::sendPostedEvents();  // the menu's command runs the dialog

  ASSERT_TRUE(opened);
  // With no window manager on the server, the program hands the keyboard back itself.
  WAIT_UNTIL(window_->isActiveWindow());
  EXPECT_EQ(ControlText(button), "Ctrl+Alt+A");
  WAIT_EQ(mouse_.State().settings.buttons[3], (VirtualTriple{0x11, 0x05, 0x04}));
}

}  // namespace
}  // namespace mokta

int main(int argc, char** argv) {
  // The private X server is an X11 session whatever session the test was started from.
  unsetenv("WAYLAND_DISPLAY");
  unsetenv("XDG_SESSION_TYPE");
  return mokta::test::RunPageTests(argc, argv, "xcb");
}
