// The macro editor recording the desktop, on a private X server: the real main window with the
// real input hook library, keys and mouse buttons injected through XTest into another program's
// window (a plain window of this process that the editor does not own), one recording in each
// delay mode, each stopped by a click on the record button (which must not be recorded).
// "macro.data" must then hold the bytes written out here by hand, and after the
// editor closes the button that plays the macro must hold the new slot message. Built into
// button_menu_x11_test, whose main runs it.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <optional>

#include "data/button_assignment.h"
#include "data/store_files.h"
#include "framework/control_lookup.h"
#include "page_test_support.h"
#include "qt_wait.h"
#include "ui/macro_editor.h"

// After Qt: Xlib defines macros (Bool, Status, ...) that Qt's headers declare as names.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace mokta {
namespace {

class MacroEditorX11Test : public test::PageTest {
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

  void Key(KeySym keysym, bool down) {
    XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, keysym), down ? True : False,
                      CurrentTime);
    XSync(display_, False);
  }
  void RightButton(bool down) {
    XTestFakeButtonEvent(display_, 3, down ? True : False, CurrentTime);
    XSync(display_, False);
  }
  // The pointer to `at` in `widget` (its centre by default).
  void PointerTo(QWidget& widget, std::optional<QPoint> at = std::nullopt) {
    const QPoint point = widget.mapToGlobal(at.value_or(widget.rect().center()));
    XTestFakeMotionEvent(display_, -1, point.x(), point.y(), CurrentTime);
    XSync(display_, False);
  }

  // One recording of A typed and a right click into the other window, the editor's clock at
  // `clock_at` for each event (the measured waits).
  void Record(CMS_1_Macro& editor, const char* mode) {
    auto* actions = editor.Find<QTableWidget>(QStringLiteral("ms_1_macro_action_list"));
    FindControl<QAbstractButton>(&editor, QString::fromLatin1(mode))->click();
    FindControl<QAbstractButton>(&editor, QStringLiteral("ms_1_macro_clear_action_btn"))->click();
    now_ = 1000;
    FindControl<QAbstractButton>(&editor, QStringLiteral("ms_1_macro_record_btn"))->click();
    ASSERT_TRUE(editor.editing().recording());
    other_.activateWindow();
    WAIT_UNTIL(other_.isActiveWindow());
    typed_->clear();
    typed_->setFocus();
    const std::function<void()> events[] = {[&] { Key(XK_a, true); }, [&] { Key(XK_a, false); },
                                            [&] { RightButton(true); },
                                            [&] { RightButton(false); }};
    const std::int64_t at[] = {1100, 1150, 1450, 1470};
    for (int i = 0; i < 4; ++i) {
      now_ = at[i];
      events[i]();
      WAIT_EQ(actions->rowCount(), i + 1);
    }
    EXPECT_EQ(typed_->text(), "a");  // the keys went to the other window
    // Stopped by a click on the record button: the click is no action.
    auto* record = FindControl<QAbstractButton>(&editor, QStringLiteral("ms_1_macro_record_btn"));
    PointerTo(*record, QPoint(8, record->height() / 2));  // on its box, which takes clicks
    WAIT_UNTIL(record->underMouse());
    XTestFakeButtonEvent(display_, 1, True, CurrentTime);
    XTestFakeButtonEvent(display_, 1, False, CurrentTime);
    XSync(display_, False);
    WAIT_UNTIL(!editor.editing().recording());
    EXPECT_EQ(actions->rowCount(), 4);
    PointerTo(*blank_);
  }

  QByteArray StoredActions() const { return MacroStoreBytes().mid(52, 20); }

  Display* display_ = nullptr;
  std::int64_t now_ = 0;
  QWidget other_;
  QLineEdit* typed_ = new QLineEdit(&other_);
  QLabel* blank_ = new QLabel(&other_);
};

TEST_F(MacroEditorX11Test, RecordingsInEachDelayModeReachTheFileAndTheMouse) {
  ASSERT_NO_FATAL_FAILURE(StartWithJump());
  ASSERT_TRUE(window_->core().hooks()->global());

  auto* layout = new QHBoxLayout(&other_);
  layout->addWidget(typed_);
  layout->addWidget(blank_);
  blank_->setMinimumSize(120, 80);
  other_.setWindowTitle(QStringLiteral("Another program"));
  other_.move(700, 600);
  other_.show();
  WAIT_UNTIL(other_.isVisible());

  bool ran = false;
  ScopedModalTestHook drive([&](QWidget& window) -> std::optional<int> {
    auto* editor = dynamic_cast<CMS_1_Macro*>(&window);
    EXPECT_NE(editor, nullptr) << window.objectName().toStdString();
    if (editor == nullptr) return 0;
    editor->set_clock([this] { return now_; });
    QTimer::singleShot(0, editor, [&, editor] {
      ran = true;
      WAIT_UNTIL(editor->isActiveWindow());
      editor->Find<QListWidget>(QStringLiteral("ms_1_macro_list"))->setCurrentRow(0);
      editor->Find<QLineEdit>(QStringLiteral("ms_1_default_delay_edit"))->setText("40");
      PointerTo(*blank_);

      Record(*editor, "ms_1_no_delay_btn");
      EXPECT_EQ(StoredActions().toHex(' '),
                "04 00 00 00 04 01 01 00 04 02 01 00 f2 01 01 00 f2 02 01 00");
      Record(*editor, "ms_1_default_delay_btn");
      EXPECT_EQ(StoredActions().toHex(' '),
                "04 00 00 00 04 01 28 00 04 02 28 00 f2 01 28 00 f2 02 01 00");
      Record(*editor, "ms_1_record_delay_btn");
      EXPECT_EQ(StoredActions().toHex(' '),
                "04 00 00 00 04 01 32 00 04 02 2c 01 f2 01 14 00 f2 02 01 00");
      if (editor->isVisible()) editor->close();
    });
    return std::nullopt;
  });
  QTest::mouseClick(Find<QAbstractButton>("ms_1_btn_macro"), Qt::LeftButton);
  ASSERT_TRUE(ran);

  WAIT_EQ(mouse_.State().settings.slot_messages.at(1),
          test::SlotMessage(1, {0x00, 0x00, 0x00, 0x00, 0x01},
                            {
                                0x32, 0x04,  // press A, 50 ms
                                0x85, 0x04,  // release A, 300 ms: 5 (at least) ...
                                0x03, 0x03,  // ... and 3 x 100 ms
                                0x14, 0xF2,  // right button down, 20 ms
                                0x81, 0xF2,  // and up
                            }));
}

}  // namespace
}  // namespace mokta
