// The macro editor as the user meets it: opened from the real page (offscreen) against the
// virtual mouse, driven through its controls inside its modal loop. Input events reach it as
// the input hook library posts them. What the mouse and "macro.data" hold is compared with
// bytes written out here by hand. Built into button_menu_test, whose main runs it.

#include "ui/macro_editor.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTableWidget>
#include <QTest>

#include "app/hook_table.h"
#include "app/message_box.h"
#include "data/button_assignment.h"
#include "data/store_files.h"
#include "framework/control_lookup.h"
#include "framework/control_text.h"
#include "page_test_support.h"
#include "qt_wait.h"

namespace mokta {
namespace {

constexpr std::uintptr_t kVkA = 0x41;

class MacroEditorTest : public test::PageTest {
 protected:
  // Opens the editor from the page and runs `script` inside its modal loop; `script` closes it.
  // Message boxes (the delete confirmation) are answered with `confirm`.
  void RunEditor(std::function<void(CMS_1_Macro&)> script, int confirm = 1) {
    bool ran = false;
    ScopedModalTestHook hook([&](QWidget& window) -> std::optional<int> {
      if (dynamic_cast<CMsgWnd*>(&window)) return confirm;
      auto* editor = dynamic_cast<CMS_1_Macro*>(&window);
      EXPECT_NE(editor, nullptr) << window.objectName().toStdString();
      if (!editor) return 0;
      QTimer::singleShot(0, editor, [&, editor] {
        ran = true;
        script(*editor);
        if (editor->isVisible()) Click(*editor, "btn_exit");
      });
      return std::nullopt;
    });
    QTest::mouseClick(Find<QAbstractButton>("ms_1_btn_macro"), Qt::LeftButton);
    EXPECT_TRUE(ran);
  }

  static void Click(CMS_1_Macro& editor, const char* name) {
    auto* button = FindOptionalControl<QAbstractButton>(&editor, QString::fromLatin1(name));
    ASSERT_NE(button, nullptr) << name;
    button->click();
  }
  static void Input(CMS_1_Macro& editor, std::uintptr_t wparam, std::intptr_t lparam) {
    editor.SendMessage(MOKTA_HOOK_EVENT_MESSAGE, wparam, lparam);
  }
};

// Recorded without delays into the macro button 4 plays: after the editor closes, the button's
// slot holds the new actions.
TEST_F(MacroEditorTest, ARecordingReachesTheButtonThatPlaysTheMacro) {
  ASSERT_NO_FATAL_FAILURE(StartWithJump());
  RunEditor([](CMS_1_Macro& editor) {
    editor.Find<QListWidget>(QStringLiteral("ms_1_macro_list"))->setCurrentRow(0);
    Click(editor, "ms_1_no_delay_btn");
    Click(editor, "ms_1_macro_clear_action_btn");
    Click(editor, "ms_1_macro_record_btn");
    Input(editor, kVkA, 0);
    Input(editor, kVkA, 0);  // a held key repeats
    Input(editor, kVkA, 1);
    Input(editor, MOKTA_HOOK_RIGHT_DOWN, 0);
    Input(editor, MOKTA_HOOK_RIGHT_UP, 0);
    EXPECT_EQ(editor.Find<QTableWidget>(QStringLiteral("ms_1_macro_action_list"))->rowCount(), 4);
    // Stopped from the keyboard: the Space press on the record button is no action.
    auto* record = editor.Find<QAbstractButton>(QStringLiteral("ms_1_macro_record_btn"));
    editor.activateWindow();
    record->setFocus();
    WAIT_UNTIL(record->hasFocus());
    Input(editor, 0x20, 0);
    Click(editor, "ms_1_macro_record_btn");
    Input(editor, kVkA, 0);  // after the end: nothing
  });
  const QByteArray store = MacroStoreBytes();
  ASSERT_EQ(store.size(), 240);
  EXPECT_EQ(store.mid(52, 4 + 16).toHex(' '),
            "04 00 00 00 04 01 01 00 04 02 01 00 f2 01 01 00 f2 02 01 00");
  WAIT_EQ(mouse_.State().settings.slot_messages.at(1),
          test::SlotMessage(1, {0x00, 0x00, 0x00, 0x00, 0x01},
                            {
                                0x01, 0x04,  // press A, 1 ms
                                0x81, 0x04,  // release A
                                0x01, 0xF2,  // right button down
                                0x81, 0xF2,  // and up
                            }));
}

// Deleting the only macro leaves none; recording then makes a new one. A taken name in other
// letters, or an empty one, is refused.
TEST_F(MacroEditorTest, NamesDeletionAndANewMacroForARecording) {
  ASSERT_NO_FATAL_FAILURE(StartWithJump());
  RunEditor([](CMS_1_Macro& editor) {
    auto* list = editor.Find<QListWidget>(QStringLiteral("ms_1_macro_list"));
    auto* name = editor.Find<QLineEdit>(QStringLiteral("ms_1_macro_name_edit"));
    // No input hook library here: the editor says that it records only in its own windows.
    auto* reason = editor.Find(QStringLiteral("label_hook_reason"));
    EXPECT_TRUE(reason->isVisibleTo(&editor));
    EXPECT_EQ(ControlTextKey(reason), "hook_missing_text");
    Click(editor, "ms_1_macro_add_btn");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(1)->text(), "Macro2");
    for (const char* refused : {"JUMP", ""}) {
      name->setText(QString::fromLatin1(refused));
      emit name->returnPressed();
      EXPECT_EQ(name->text(), "Macro2");
    }
    name->setText(QStringLiteral("Run"));
    emit name->returnPressed();
    EXPECT_EQ(list->item(1)->text(), "Run");

    list->setCurrentRow(0);
    Click(editor, "ms_1_macro_delete_btn");
    Click(editor, "ms_1_macro_delete_btn");
    EXPECT_EQ(list->count(), 0);
    EXPECT_EQ(editor.editing().current(), nullptr);
    Click(editor, "ms_1_macro_record_btn");
    Input(editor, kVkA, 0);
    Click(editor, "ms_1_macro_record_btn");
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text(), "Macro1");
    // A name typed and not yet taken when the editor closes is kept.
    editor.activateWindow();
    name->setFocus();
    WAIT_UNTIL(name->hasFocus());
    name->setText(QStringLiteral("Last"));
  });
  ASSERT_EQ(window_->core().macros().size(), 1u);
  EXPECT_EQ(window_->core().macros().front()->name(), "Last");
  EXPECT_EQ(MacroStoreBytes().mid(52, 8).toHex(' '), "01 00 00 00 04 01 01 00");
  // Button 4's macro is gone: it plays its default function again.
  WAIT_EQ(mouse_.State().settings.buttons[3], (VirtualTriple{0x0D, 0x00, 0x00}));
}

// Closing the window during a recording or a key capture releases the hooks; what was recorded
// is kept.
TEST_F(MacroEditorTest, ClosingReleasesTheHooks) {
  QTemporaryDir logs;
  const QString log = logs.filePath("hook.log");
  qputenv("FAKE_HOOK_LOG", QFile::encodeName(log));
  hook_library_ = QStringLiteral(MOKTA_FAKE_HOOK_COMPLETE_DIR "/") + kHookLibraryFile;
  ASSERT_NO_FATAL_FAILURE(StartWithJump());
  const auto calls = [&log] {
    QFile file(log);
    if (!file.open(QIODevice::ReadOnly)) return QStringList();
    QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    file.remove();
    return lines;
  };
  calls();
  RunEditor([](CMS_1_Macro& editor) {
    editor.Find<QListWidget>(QStringLiteral("ms_1_macro_list"))->setCurrentRow(0);
    Click(editor, "ms_1_macro_clear_action_btn");
    Click(editor, "ms_1_macro_record_btn");  // the fake library posts a press of A at once
    QCoreApplication::sendPostedEvents();
    // Mouse buttons are not taken while the pointer is on the record button.
    auto* record = editor.Find<QAbstractButton>(QStringLiteral("ms_1_macro_record_btn"));
    editor.SendNotify(record, notify::kMouseEnter);
    editor.SendNotify(record, notify::kMouseLeave);
    editor.close();
  });
  EXPECT_EQ(calls(), (QStringList{"installhook", "enablehook(1)", "mousewheelenable(0)",
                                  "enablemousehook(1)", "enablemousehook(0)", "enablemousehook(1)",
                                  "removehook", "removemousehook", "enablemousehook(0)",
                                  "enablehook(0)", "mousewheelenable(0)"}));
  EXPECT_EQ(MacroStoreBytes().mid(52, 8).toHex(' '), "01 00 00 00 04 01 01 00");

  RunEditor([](CMS_1_Macro& editor) {
    editor.Find<QListWidget>(QStringLiteral("ms_1_macro_list"))->setCurrentRow(0);
    Click(editor, "ms_1_macro_action_edit_check");
    auto* key = editor.Find<QLineEdit>(QStringLiteral("ms_1_macro_action_edit"));
    editor.activateWindow();
    key->setFocus();
    WAIT_UNTIL(editor.holds_hooks());
    editor.close();
  });
  EXPECT_EQ(calls(), (QStringList{"installhook", "enablehook(1)", "removehook", "enablehook(0)"}));
  qunsetenv("FAKE_HOOK_LOG");
}

}  // namespace
}  // namespace mokta
