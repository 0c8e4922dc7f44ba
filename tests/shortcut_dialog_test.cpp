// The key-combination dialog, offscreen: the modifier boxes, the key capture through the
// input hooks (held only while the key field has the focus, released when it loses it and
// when the dialog goes), the last key event winning, the capture inside the program's own
// window, and what a run returns for OK, Escape and Enter.

#include "ui/shortcut_dialog.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app/window_input_capture.h"
#include "framework/language_file.h"
#include "framework/modal_test_hook.h"
#include "qt_wait.h"

namespace mokta {
namespace {

// Records the calls and lets the test post key events to the installed window.
class FakeHooks final : public InputHooks {
 public:
  void InstallHook(const MoktaWindow* window) override {
    calls.append("installhook");
    window_ = window;
  }
  void RemoveHook() override {
    calls.append("removehook");
    window_ = nullptr;
  }
  void EnableHook(bool enable) override {
    calls.append(QStringLiteral("enablehook(%1)").arg(enable));
  }
  void EnableMouseHook(bool enable) override {
    calls.append(QStringLiteral("enablemousehook(%1)").arg(enable));
  }
  void RemoveMouseHook() override { calls.append("removemousehook"); }
  void MouseWheelEnable(bool enable) override {
    calls.append(QStringLiteral("mousewheelenable(%1)").arg(enable));
  }

  // Posts a key event as the library does; false when no window is installed.
  bool Key(std::uintptr_t vk, bool press) {
    if (window_ == nullptr) return false;
    window_->post(window_->context, MOKTA_HOOK_EVENT_MESSAGE, vk, press ? 0 : 1);
    return true;
  }

  QStringList calls;

 private:
  const MoktaWindow* window_ = nullptr;
};

class ShortcutDialogTest : public ::testing::Test {
 protected:
  void Open(KeyCombination initial, const QString& reason_key = {}) {
    dialog_ = std::make_unique<CShortcutWnd>(nullptr, initial, &hooks_, reason_key, layout_);
  }
  // Shows the dialog and gives it the focus, as a modal run does.
  void ShowActive() {
    dialog_->show();
    dialog_->activateWindow();
    WAIT_UNTIL(dialog_->isActiveWindow());
  }
  QLineEdit* KeyEdit() { return dialog_->Find<QLineEdit>(QStringLiteral("edit_key")); }
  QAbstractButton* Button(const char* name) {
    return dialog_->Find<QAbstractButton>(QString::fromLatin1(name));
  }
  int RunWith(std::function<void()> actions) {
    ScopedModalTestHook hook([&](QWidget&) -> std::optional<int> {
      QTimer::singleShot(0, dialog_.get(), actions);
      QTimer::singleShot(5000, dialog_.get(), [this] { dialog_->Close(-1); });
      return std::nullopt;
    });
    return dialog_->Run();
  }
  QString Text(const char* key) { return ProgramLanguage().Text(QString::fromLatin1(key)); }

  FixedUsLayout layout_;
  FakeHooks hooks_;
  std::unique_ptr<CShortcutWnd> dialog_;
};

TEST_F(ShortcutDialogTest, OpensWithTheButtonsCombination) {
  Open({0b0101, 0x04});
  EXPECT_TRUE(Button("check_flag_1")->isChecked());
  EXPECT_FALSE(Button("check_flag_2")->isChecked());
  EXPECT_TRUE(Button("check_flag_3")->isChecked());
  EXPECT_FALSE(Button("check_flag_4")->isChecked());
  EXPECT_EQ(KeyEdit()->text(), "A");
  EXPECT_TRUE(hooks_.calls.isEmpty());
}

TEST_F(ShortcutDialogTest, TheHookIsHeldOnlyWhileTheKeyFieldHasTheFocus) {
  Open({});
  ShowActive();
  Button("check_flag_1")->setFocus();
  EXPECT_TRUE(hooks_.calls.isEmpty());
  KeyEdit()->setFocus();
  EXPECT_EQ(hooks_.calls, (QStringList{"installhook", "enablehook(1)"}));
  Button("check_flag_2")->setFocus();
  EXPECT_EQ(hooks_.calls.mid(2), (QStringList{"removehook", "enablehook(0)"}));
  EXPECT_FALSE(dialog_->capturing());

  KeyEdit()->setFocus();
  hooks_.calls.clear();
  dialog_.reset();  // destroyed with the field focused
  ASSERT_FALSE(hooks_.calls.isEmpty());
  EXPECT_EQ(hooks_.calls.first(), "removehook");
  EXPECT_EQ(hooks_.calls.count("installhook"), 0);
}

// Holding Left Shift, typing A and letting Shift go leaves Left Shift.
TEST_F(ShortcutDialogTest, TheLastKeyEventWins) {
  Open({});
  ShowActive();
  KeyEdit()->setFocus();
  ASSERT_TRUE(hooks_.Key(0xA0, true));
  ASSERT_TRUE(hooks_.Key(0x41, true));
  WAIT_EQ(dialog_->combination().key, 0x04);
  EXPECT_EQ(KeyEdit()->text(), "A");
  ASSERT_TRUE(hooks_.Key(0x41, false));
  ASSERT_TRUE(hooks_.Key(0xA0, false));
  WAIT_EQ(dialog_->combination().key, 0xE1);
  EXPECT_EQ(KeyEdit()->text(), Text("key_LShift"));
}

TEST_F(ShortcutDialogTest, KeysOutsideTheFieldAndTabChangeNothing) {
  Open({0, 0x05});
  ShowActive();
  KeyEdit()->setFocus();
  ASSERT_TRUE(hooks_.Key(0x09, true));  // Tab moves on instead
  ASSERT_TRUE(hooks_.Key(0x43, true));  // queued, then the field loses the focus
  Button("btn_ok")->setFocus();
  QTest::qWait(0);
  QCoreApplication::processEvents();
  EXPECT_EQ(dialog_->combination().key, 0x05);
  EXPECT_EQ(KeyEdit()->text(), "B");
}

// Leaving the field with Shift+Tab keeps the key typed before; a Shift chosen on purpose stays.
TEST_F(ShortcutDialogTest, ShiftTabLeavesTheKeyChosenBeforeIt) {
  Open({});
  ShowActive();
  KeyEdit()->setFocus();
  ASSERT_TRUE(hooks_.Key(0x41, true));
  ASSERT_TRUE(hooks_.Key(0x41, false));
  ASSERT_TRUE(hooks_.Key(0xA0, true));  // the Shift of Shift+Tab
  WAIT_EQ(dialog_->combination().key, 0xE1);
  QTest::keyClick(KeyEdit(), Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(dialog_->combination().key, 0x04);
  EXPECT_EQ(KeyEdit()->text(), "A");

  KeyEdit()->setFocus();
  for (bool press : {true, false, true}) ASSERT_TRUE(hooks_.Key(0xA0, press));
  WAIT_EQ(dialog_->combination().key, 0xE1);
  QCoreApplication::processEvents();
  QTest::keyClick(KeyEdit(), Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(dialog_->combination().key, 0xE1);
}

TEST_F(ShortcutDialogTest, OkReturnsTheBoxesAndTheKeyEscapeCancels) {
  Open({0, 0x04});
  EXPECT_EQ(RunWith([&] {
              Button("check_flag_1")->click();
              Button("check_flag_3")->click();
              Button("btn_ok")->click();
            }),
            1);
  EXPECT_EQ(dialog_->combination(), (KeyCombination{0b0101, 0x04}));

  Open({0b0001, 0x04});
  EXPECT_EQ(RunWith([&] {
              Button("check_flag_1")->click();
              QTest::keyClick(Button("check_flag_2"), Qt::Key_Escape);
            }),
            0);
}

// Enter on a check box accepts; inside the key field Enter and Escape are keys like any other.
TEST_F(ShortcutDialogTest, EnterAcceptsExceptInTheKeyField) {
  Open({});
  bool open_after_enter_in_field = false;
  EXPECT_EQ(RunWith([&] {
              dialog_->activateWindow();
              KeyEdit()->setFocus();
              QTest::keyClick(dialog_->windowHandle(), Qt::Key_Return);
              QTest::keyClick(dialog_->windowHandle(), Qt::Key_Escape);
              open_after_enter_in_field = dialog_->isVisible();
              Button("check_flag_2")->setFocus();
              QTest::keyClick(Button("check_flag_2"), Qt::Key_Return);
            }),
            1);
  EXPECT_TRUE(open_after_enter_in_field);
  EXPECT_EQ(dialog_->combination().modifiers, 0);  // Enter did not tick the box
}

// Where the hooks capture only inside the program's windows, a key typed into the field
// reaches it through the window capture, and the dialog says why.
TEST_F(ShortcutDialogTest, CapturesInsideItsOwnWindowAndSaysWhy) {
  WindowInputCapture capture(layout_);
  dialog_ = std::make_unique<CShortcutWnd>(nullptr, KeyCombination{}, &capture,
                                           QStringLiteral("hook_in_window_text"), layout_);
  auto* reason = dialog_->Find(QStringLiteral("label_hook_reason"));
  EXPECT_FALSE(reason->isHidden());
  ShowActive();
  KeyEdit()->setFocus();
  ASSERT_TRUE(capture.installed());
  QTest::keyClick(dialog_->windowHandle(), Qt::Key_B);
  WAIT_EQ(dialog_->combination().key, 0x05);
  EXPECT_EQ(KeyEdit()->text(), "B");
  dialog_.reset();
  EXPECT_FALSE(capture.installed());

  Open({});
  EXPECT_TRUE(dialog_->Find(QStringLiteral("label_hook_reason"))->isHidden());
}

}  // namespace
}  // namespace mokta

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("MOKTA_RES_DIR", QFile::encodeName(QStringLiteral(MOKTA_SOURCE_DIR "/res/")));
  QApplication app(argc, argv);
  auto language = std::make_shared<mokta::LanguageFile>();
  language->LoadFromResources();
  mokta::SetProgramLanguage(language);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
