// The macro and recoil pattern pick dialogs, offscreen: what they show for the values they are
// given, the loop-count field's filter and range, the repeat modes, and what a run returns
// for OK, Cancel, Escape and Enter, entries that may not be assigned included.

#include "ui/select_list_dialog.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTimer>
#include <functional>

#include "framework/language_file.h"
#include "framework/modal_test_hook.h"
#include "ui/modal_assignment_dialogs.h"

namespace mokta {
namespace {

QList<PickListItem> ThreeMacros() {
  return {{"Reload", {}}, {"Jump", {}}, {"Spray", {}}};
}

class SelectListDialogTest : public ::testing::Test {
 protected:
  void Open(RepeatChoice initial, QList<PickListItem> items = ThreeMacros()) {
    dialog_ = std::make_unique<CMS_1_SelectMacro>(nullptr, std::move(items), initial,
                                                  [this](QWidget*, const QString& key) {
                                                    messages_.append(key);
                                                    return 1;
                                                  });
  }
  QLineEdit* LoopEdit() { return dialog_->Find<QLineEdit>(QStringLiteral("edit_loop_time")); }
  QListWidget* List() { return dialog_->Find<QListWidget>(QStringLiteral("list_macro")); }
  QAbstractButton* Button(const char* name) {
    return dialog_->Find<QAbstractButton>(QString::fromLatin1(name));
  }
  bool LoopShown() { return !dialog_->Find(QStringLiteral("hor_loop_time"))->isHidden(); }
  // Types `text` into the emptied loop-count field and leaves it.
  void EnterLoopCount(const char* text) {
    LoopEdit()->clear();
    QTest::keyClicks(LoopEdit(), QString::fromLatin1(text));
    dialog_->SendNotify(LoopEdit(), notify::kKillFocus);
  }
  // Runs the dialog for real; `actions` run inside its modal loop. A dialog that the actions
  // leave open ends with -1 after a while instead of blocking the test.
  int RunWith(std::function<void()> actions) {
    ScopedModalTestHook hook([&](QWidget&) -> std::optional<int> {
      QTimer::singleShot(0, dialog_.get(), actions);
      QTimer::singleShot(5000, dialog_.get(), [this] { dialog_->Close(-1); });
      return std::nullopt;
    });
    return dialog_->Run();
  }

  std::unique_ptr<SelectListDialog> dialog_;
  QStringList messages_;
};

TEST(LoopCountFromText, KeepsOneTo255AndCorrectsTheRest) {
  EXPECT_EQ(LoopCountFromText(""), 1);
  EXPECT_EQ(LoopCountFromText("0"), 1);
  EXPECT_EQ(LoopCountFromText("000"), 1);
  EXPECT_EQ(LoopCountFromText("1"), 1);
  EXPECT_EQ(LoopCountFromText("007"), 7);
  EXPECT_EQ(LoopCountFromText("255"), 255);
  EXPECT_EQ(LoopCountFromText("256"), 255);
  EXPECT_EQ(LoopCountFromText("99999999999999999999"), 255);
}

TEST_F(SelectListDialogTest, WithoutAnAssignmentNothingIsSelectedAndTheCountIsOne) {
  Open({-1, 0, 1});
  EXPECT_EQ(List()->count(), 3);
  EXPECT_EQ(List()->item(2)->text(), "Spray");
  EXPECT_TRUE(List()->selectedItems().isEmpty());
  EXPECT_TRUE(Button("repeat_1")->isChecked());
  EXPECT_TRUE(LoopShown());
  EXPECT_EQ(LoopEdit()->text(), "1");
}

TEST_F(SelectListDialogTest, ShowsTheButtonsAssignmentAndBringsBadValuesIntoRange) {
  Open({1, 2, 40});
  EXPECT_EQ(List()->currentRow(), 1);
  EXPECT_TRUE(Button("repeat_3")->isChecked());
  EXPECT_FALSE(LoopShown());
  EXPECT_EQ(LoopEdit()->text(), "40");

  Open({7, 5, 900});  // an index past the list, an unknown mode, a count too large
  EXPECT_EQ(dialog_->choice().index, -1);
  EXPECT_EQ(dialog_->repeat_mode(), 0);
  EXPECT_TRUE(Button("repeat_1")->isChecked());
  EXPECT_EQ(dialog_->loop_count(), 255);
}

TEST_F(SelectListDialogTest, TheLoopCountKeepsDigitsOnlyAndIsCorrectedWhenLeft) {
  Open({-1, 0, 1});
  LoopEdit()->clear();
  QTest::keyClicks(LoopEdit(), "1x2");
  EXPECT_EQ(LoopEdit()->text(), "12");
  dialog_->SendNotify(LoopEdit(), notify::kKillFocus);
  EXPECT_EQ(dialog_->loop_count(), 12);

  EnterLoopCount("300");
  EXPECT_EQ(LoopEdit()->text(), "255");
  EXPECT_EQ(dialog_->loop_count(), 255);
  EnterLoopCount("0");
  EXPECT_EQ(LoopEdit()->text(), "1");
  EXPECT_EQ(dialog_->loop_count(), 1);
  EnterLoopCount("");
  EXPECT_EQ(LoopEdit()->text(), "1");
  EXPECT_EQ(dialog_->loop_count(), 1);
}

TEST_F(SelectListDialogTest, TheCountIsShownForTheFirstRepeatModeOnly) {
  Open({-1, 0, 1});
  Button("repeat_3")->click();
  EXPECT_EQ(dialog_->repeat_mode(), 2);
  EXPECT_FALSE(LoopShown());
  Button("repeat_2")->click();
  EXPECT_EQ(dialog_->repeat_mode(), 1);
  EXPECT_FALSE(LoopShown());
  Button("repeat_1")->click();
  EXPECT_EQ(dialog_->repeat_mode(), 0);
  EXPECT_TRUE(LoopShown());
}

TEST_F(SelectListDialogTest, OkReturnsTheChoiceAndCancelOrEscapeReturnZero) {
  Open({-1, 0, 1});
  EXPECT_EQ(RunWith([&] { Button("btn_ok")->click(); }), 1);
  EXPECT_EQ(dialog_->selected_index(), -1);

  Open({-1, 0, 1});
  EXPECT_EQ(RunWith([&] {
              List()->setCurrentRow(2);
              Button("repeat_2")->click();
              Button("btn_ok")->click();
            }),
            1);
  EXPECT_EQ(dialog_->selected_index(), 2);
  EXPECT_EQ(dialog_->repeat_mode(), 1);

  Open({-1, 0, 1});
  EXPECT_EQ(RunWith([&] { Button("btn_cancel")->click(); }), 0);
  Open({-1, 0, 1});
  EXPECT_EQ(RunWith([&] { QTest::keyClick(List(), Qt::Key_Escape); }), 0);
}

// Enter in the count field accepts with the count corrected, although the field never lost
// the focus; Enter on an option accepts instead of choosing it.
TEST_F(SelectListDialogTest, EnterAcceptsWithTheTypedCountCorrected) {
  Open({0, 0, 1});
  EXPECT_EQ(RunWith([&] {
              LoopEdit()->clear();
              QTest::keyClicks(LoopEdit(), "300");
              QTest::keyClick(LoopEdit(), Qt::Key_Return);
            }),
            1);
  EXPECT_EQ(dialog_->loop_count(), 255);
  EXPECT_EQ(dialog_->selected_index(), 0);

  Open({0, 0, 1});
  EXPECT_EQ(RunWith([&] {
              Button("repeat_2")->setFocus();
              QTest::keyClick(Button("repeat_2"), Qt::Key_Return);
            }),
            1);
  EXPECT_EQ(dialog_->repeat_mode(), 0);
}

TEST_F(SelectListDialogTest, AnEntryThatMayNotBeAssignedIsShownWithItsReasonAndRefused) {
  Open({-1, 0, 1}, {{"Short", {}}, {"A name far longer than a button holds", "too_long_text"}});
  auto* reason = dialog_->Find(QStringLiteral("label_refusal"));
  EXPECT_TRUE(reason->isHidden());
  EXPECT_FALSE(List()->item(1)->toolTip().isEmpty());

  bool stayed_open = false;
  EXPECT_EQ(RunWith([&] {
              List()->setCurrentRow(1);
              EXPECT_FALSE(reason->isHidden());
              Button("btn_ok")->click();
              stayed_open = dialog_->isVisible();
              List()->setCurrentRow(0);
              EXPECT_TRUE(reason->isHidden());
              Button("btn_ok")->click();
            }),
            1);
  EXPECT_TRUE(stayed_open);
  EXPECT_EQ(messages_, QStringList{"too_long_text"});
  EXPECT_EQ(dialog_->selected_index(), 0);
}

TEST_F(SelectListDialogTest, TheGunDialogIsItsOwnWindowWithTheSameControls) {
  GunList guns;
  guns.push_back(NewGun(u"AK"));
  guns.push_back(NewGun(u"M4"));
  const auto items = GunPickItems(guns, [](const GunData& gun) {
    return gun.name() == QLatin1String("M4") ? QStringLiteral("why_text") : QString();
  });
  CMS_1_SelectGun gun_dialog(nullptr, items, {1, 2, 3}, {});
  EXPECT_EQ(gun_dialog.objectName(), "MS_1_SelectGun");
  EXPECT_EQ(gun_dialog.skin_file(), "MS/MS_1/selectgun.xml");
  EXPECT_EQ(gun_dialog.Find<QListWidget>(QStringLiteral("list_macro"))->count(), 2);
  EXPECT_EQ(items[1].refusal_key, "why_text");
  EXPECT_TRUE(items[0].refusal_key.isEmpty());
}

// The page's interface runs the dialogs over the lists it is given and returns the choice
// only when the user confirmed it.
TEST(ModalAssignmentDialogs, ReturnTheConfirmedChoiceOnly) {
  FixedUsLayout layout;
  ModalAssignmentDialogs dialogs(nullptr, {}, layout);
  MacroList macros;
  macros.push_back(NewMacro(u"Reload"));
  macros.push_back(NewMacro(u"Jump"));
  GunList guns;
  guns.push_back(NewGun(u"AK"));

  QString window;
  ScopedModalTestHook pick_second_row([&](QWidget& shown) -> std::optional<int> {
    window = shown.objectName();
    if (auto* list = shown.findChild<QListWidget*>(QStringLiteral("list_macro"))) {
      list->setCurrentRow(list->count() - 1);
    }
    return 1;
  });
  const auto macro = dialogs.PickMacro(macros, {-1, 1, 9});
  ASSERT_TRUE(macro.has_value());
  EXPECT_EQ(window, "MS_1_SelectMacro");
  EXPECT_EQ(macro->index, 1);
  EXPECT_EQ(macro->repeat_mode, 1);
  EXPECT_EQ(macro->loop_count, 9);
  const auto gun = dialogs.PickGun(guns, {});
  ASSERT_TRUE(gun.has_value());
  EXPECT_EQ(window, "MS_1_SelectGun");
  EXPECT_EQ(gun->index, 0);
  const auto keys = dialogs.PickKeyCombination({0b0011, 0x04});
  ASSERT_TRUE(keys.has_value());
  EXPECT_EQ(window, "ShortcutWnd");
  EXPECT_EQ(keys->modifiers, 0b0011);
  EXPECT_EQ(keys->key, 0x04);

  ScopedModalTestHook cancel([](QWidget&) -> std::optional<int> { return 0; });
  EXPECT_FALSE(dialogs.PickMacro(macros, {0, 0, 1}).has_value());
  EXPECT_FALSE(dialogs.PickGun(guns, {0, 0, 1}).has_value());
  EXPECT_FALSE(dialogs.PickKeyCombination({}).has_value());
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
