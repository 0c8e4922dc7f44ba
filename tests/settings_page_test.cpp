// The settings page end to end: the real main window, offscreen, against the virtual mouse.
// What the user does on the page is checked in what the mouse holds and in the commands it
// took (its write log).

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleInterface>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include "app/main_window.h"
#include "app/window_ids.h"
#include "data/store_files.h"
#include "device/driver_messages.h"
#include "framework/control_lookup.h"
#include "framework/control_text.h"
#include "framework/language_file.h"
#include "framework/modal_test_hook.h"
#include "framework/notification.h"
#include "page_test_support.h"
#include "profile_match.h"
#include "qt_wait.h"
#include "test_main_window.h"
#include "ui/page_bindings.h"
#include "virtual_mouse.h"

namespace mokta {
namespace {

using test::LogLines;
using test::LogSize;

class SettingsPageTest : public test::PageTest {};

TEST_F(SettingsPageTest, SliderMovesReachTheMouseOnceAfterTheLastMove) {
  ASSERT_NO_FATAL_FAILURE(Start());
  Find<QComboBox>("ms_1_combo_light")->activated(1);  // a steady light carries its brightness
  clock_->Advance(200);
  WAIT_EQ(int{mouse_.State().settings.light_effect}, 1);
  EXPECT_TRUE(Find("ms_1_hor_brightness")->isVisibleTo(window_.get()));
  EXPECT_FALSE(Find("ms_1_hor_breathspeed")->isVisibleTo(window_.get()));
  ASSERT_NO_FATAL_FAILURE(Barrier());

  const qint64 from = LogSize();
  const std::uint64_t requests = ApplyRequests();
  auto* slider = Find<QSlider>("ms_1_slider_brightness");
  for (int v : {3, 5, 7, 9}) {
    slider->setValue(v);
    clock_->Advance(100);
  }
  EXPECT_EQ(ApplyRequests(), requests);  // still collecting moves
  clock_->Advance(399);
  EXPECT_EQ(ApplyRequests(), requests);
  clock_->Advance(1);  // 500 ms after the last move
  EXPECT_EQ(ApplyRequests(), requests + 1);
  WAIT_EQ(int{mouse_.State().settings.brightness}, 9);
  ASSERT_NO_FATAL_FAILURE(Barrier());
  EXPECT_EQ(test::LoggedCommands(from), (QStringList{"0C", "05", "0C"}));  // once, then nothing
  EXPECT_EQ(Current().brightness(), 9);
}

// A change the mouse did not take is told on the page until an apply gets it there.
TEST_F(SettingsPageTest, SettingsThatDidNotReachTheMouseAreToldUntilApplied) {
  ASSERT_NO_FATAL_FAILURE(Start());
  auto* note = Find("ms_1_send_note");
  EXPECT_FALSE(note->isVisibleTo(window_.get()));
  mouse_.FailNextWrites(1000);
  Find<QComboBox>("ms_1_combo_light")->activated(1);
  clock_->Advance(200);
  WAIT_UNTIL(note->isVisibleTo(window_.get()));
  EXPECT_EQ(ControlTextKey(note), "send_failed_text");

  mouse_.FailNextWrites(0);
  QTest::mouseClick(Find<QAbstractButton>("ms_1_apply_btn"), Qt::LeftButton);
  WAIT_EQ(int{mouse_.State().settings.light_effect}, 1);
  WAIT_UNTIL(!note->isVisibleTo(window_.get()));
}

TEST_F(SettingsPageTest, OptionsAndTheDpiEditReachTheMouse) {
  ASSERT_NO_FATAL_FAILURE(Start());
  QTest::mouseClick(Find<QAbstractButton>("ms_1_btn_prate_1"), Qt::LeftButton);
  WAIT_EQ(int{mouse_.State().settings.polling_rate}, 0);
  EXPECT_EQ(Current().prate(), 0);

  // Typing into a DPI edit keeps digits only; leaving it rounds to a stage, sends nothing yet.
  const std::uint64_t requests = ApplyRequests();
  auto* edit = Find<QLineEdit>("ms_1_edit_dpi_2");
  edit->setFocus();
  edit->selectAll();
  QTest::keyClicks(edit, "12a345");
  EXPECT_EQ(edit->text(), "12345");
  Find<QLineEdit>("ms_1_edit_dpi_3")->setFocus();  // killfocus
  EXPECT_EQ(edit->text(), "12300");
  EXPECT_EQ(Find<QSlider>("ms_1_slider_dpi_2")->value(), 223);
  EXPECT_EQ(Current().dpi_x(1), 223);
  EXPECT_EQ(ApplyRequests(), requests);  // not sent yet
  EXPECT_FALSE(window_->IsTimerActive(TIMER_APPLY_DELAY));
  QTest::mouseClick(Find<QAbstractButton>("ms_1_btn_apply_dpi"), Qt::LeftButton);
  WAIT_EQ(int{mouse_.State().settings.dpi[1]}, 12300);
}

// The footer's apply button does not take the focus, so the edit never hears "killfocus".
TEST_F(SettingsPageTest, TypedDpiGoesWithEveryApplyRequest) {
  ASSERT_NO_FATAL_FAILURE(Start());
  auto* edit = Find<QLineEdit>("ms_1_edit_dpi_1");
  edit->setFocus();
  edit->selectAll();
  QTest::keyClicks(edit, "5000");
  Find<QAbstractButton>("ms_1_apply_btn")->click();
  WAIT_EQ(int{mouse_.State().settings.dpi[0]}, 5000);
  EXPECT_EQ(Current().dpi_x(0), 100);
  EXPECT_EQ(Find<QSlider>("ms_1_slider_dpi_1")->value(), 100);

  // A pass that TIMER_APPLY_DELAY asks for takes it too, rounded as leaving the edit would.
  edit->selectAll();
  QTest::keyClicks(edit, "12345");
  Find<QSlider>("ms_1_slider_brightness")->setValue(4);
  clock_->Advance(500);
  WAIT_EQ(int{mouse_.State().settings.dpi[0]}, 12300);
  EXPECT_EQ(edit->text(), "12300");
}

TEST_F(SettingsPageTest, ProfileSwitchSendsEverythingAndDeletingTheLastSelectsTheNewLast) {
  ASSERT_NO_FATAL_FAILURE(Start(3));
  const qint64 from = LogSize();
  auto* list = Find<QListWidget>("ms_1_list_profile");
  ASSERT_EQ(list->count(), 3);
  list->setCurrentRow(2);  // as the user does
  WAIT_UNTIL(MatchesProfile(mouse_.State().settings, Current()));
  EXPECT_EQ(Current().name(), "P3");
  WAIT_EQ(LogLines("cable 08 ", from), 1);
  EXPECT_EQ(LogLines("cable 0C ", from), 2);
  EXPECT_EQ(LogLines("cable 04 ", from), 1);
  EXPECT_EQ(LogLines("cable 06 ", from), 1);

  ScopedModalTestHook yes([](QWidget&) { return 1; });
  QTest::mouseClick(Find<QAbstractButton>("ms_1_profile_delete_btn"), Qt::LeftButton);
  EXPECT_EQ(list->count(), 2);
  EXPECT_EQ(list->currentRow(), 1);
  EXPECT_EQ(Current().name(), "P2");
  WAIT_UNTIL(MatchesProfile(mouse_.State().settings, Current()));
}

// A screen reader selects a profile through the list item's accessible "Toggle" action, which
// moves the list's selection but not its current row.
TEST_F(SettingsPageTest, ProfileSelectedThroughAccessibilityBecomesCurrent) {
  ASSERT_NO_FATAL_FAILURE(Start(3));
  auto* list = Find<QListWidget>("ms_1_list_profile");
  QAccessibleInterface* table = QAccessible::queryAccessibleInterface(list);
  ASSERT_TRUE(table && table->tableInterface());
  QAccessibleInterface* item = table->tableInterface()->cellAt(2, 0);
  ASSERT_TRUE(item && item->actionInterface());
  item->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
  ASSERT_TRUE(list->item(2)->isSelected());
  WAIT_EQ(Current().name(), "P3");
  EXPECT_EQ(list->currentRow(), 2);
  WAIT_UNTIL(MatchesProfile(mouse_.State().settings, Current()));

  // A selection cleared the same way goes back to the current profile.
  list->selectionModel()->clearSelection();
  WAIT_UNTIL(list->item(2)->isSelected());
  EXPECT_EQ(Current().name(), "P3");
}

// Answers the modal windows of a test: the name dialog gets `name` typed and OK pressed (and
// Cancel after a refusal); message boxes are answered with 1 and their keys kept; file dialogs
// get `file`.
class ModalAnswers {
 public:
  QString name;
  QString file;
  QStringList messages;

  ModalAnswers()
      : hook_([this](QWidget& w) -> std::optional<int> {
          if (w.objectName() == "MS_1_ProfileName") return Name(w);
          if (auto* dialog = qobject_cast<QFileDialog*>(&w)) {
            dialog->selectFile(file);
            return file.isEmpty() ? 0 : 1;
          }
          if (QWidget* message = FindOptionalControl(&w, QStringLiteral("warning"))) {
            messages << ControlTextKey(message);
            refused_ = true;
          }
          return 1;
        }) {}

 private:
  std::optional<int> Name(QWidget& dialog) {
    refused_ = false;
    QTimer::singleShot(0, &dialog, [this, &dialog] {
      FindOptionalControl<QLineEdit>(&dialog, QStringLiteral("edit_name"))->setText(name);
      FindOptionalControl<QAbstractButton>(&dialog, QStringLiteral("btn_ok"))->click();
      if (refused_)
        FindOptionalControl<QAbstractButton>(&dialog, QStringLiteral("btn_cancel"))->click();
    });
    return std::nullopt;  // the real dialog runs the actions above
  }

  bool refused_ = false;
  ScopedModalTestHook hook_;
};

TEST_F(SettingsPageTest, ProfilesAreAddedRenamedExportedAndImported) {
  ASSERT_NO_FATAL_FAILURE(Start(1));
  ModalAnswers answers;
  auto* list = Find<QListWidget>("ms_1_list_profile");

  answers.name = "p1";  // the own name in other letter case is taken
  QTest::mouseClick(Find<QAbstractButton>("ms_1_profile_rename_btn"), Qt::LeftButton);
  EXPECT_EQ(answers.messages, QStringList{"warn_name_2_text"});
  EXPECT_EQ(Current().name(), "P1");

  answers.name = "Second";
  QTest::mouseClick(Find<QAbstractButton>("ms_1_profile_add_btn"), Qt::LeftButton);
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->currentRow(), 1);
  EXPECT_EQ(Current().name(), "Second");
  WAIT_UNTIL(MatchesProfile(mouse_.State().settings, Current()));

  answers.file = data_.filePath("out.pro");
  QTest::mouseClick(Find<QAbstractButton>("ms_1_profile_export_btn"), Qt::LeftButton);
  EXPECT_EQ(QFileInfo(answers.file).size(), ProfileData::kSize);
  QTest::mouseClick(Find<QAbstractButton>("ms_1_profile_import_btn"), Qt::LeftButton);
  ASSERT_EQ(list->count(), 3);
  EXPECT_EQ(Current().name(), "Second_1");

  QFile broken(data_.filePath("broken.pro"));
  ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
  broken.write(QByteArray(1000, '\0'));
  broken.close();
  answers.file = broken.fileName();
  answers.messages.clear();
  QTest::mouseClick(Find<QAbstractButton>("ms_1_profile_import_btn"), Qt::LeftButton);
  EXPECT_EQ(answers.messages, QStringList{"file_import_failed_text"});
  EXPECT_EQ(list->count(), 3);
}

// An edit made within the apply delay, the window then closed through "Quit": the pass never
// ran, yet the edit is in "pro.data".
TEST_F(SettingsPageTest, AnEditMadeJustBeforeQuitIsOnDisk) {
  ASSERT_NO_FATAL_FAILURE(Start());
  Find<QComboBox>("ms_1_combo_light")->activated(1);
  Find<QSlider>("ms_1_slider_brightness")->setValue(9);
  ASSERT_TRUE(window_->IsTimerActive(TIMER_APPLY_DELAY));  // the pass is still to come
  window_->Exit();
  StoreFiles stores(data_.path() + "/");
  MapLanguageTexts language;
  const ProfileStoreContents stored = stores.ReadProfileStore(language);
  EXPECT_EQ(stored.profiles.at(0)->light_effect(), 1);
  EXPECT_EQ(stored.profiles.at(0)->brightness(), 9);
}

// With no desktop mouse settings program on the PATH the button says so.
TEST_F(SettingsPageTest, MouseSettingsButtonSaysSoWhenNoSettingsProgramIsFound) {
  ASSERT_NO_FATAL_FAILURE(Start());
  QTemporaryDir empty;
  const QByteArray path = qgetenv("PATH");
  qputenv("PATH", QFile::encodeName(empty.path()));
  ModalAnswers answers;
  QTest::mouseClick(Find<QAbstractButton>("ms_1_btn_mouse_attribute"), Qt::LeftButton);
  qputenv("PATH", path);
  EXPECT_EQ(answers.messages, QStringList{"no_mouse_settings_text"});
}

TEST_F(SettingsPageTest, ColoursPickedInTheDialogReachTheMouse) {
  ASSERT_NO_FATAL_FAILURE(Start());
  auto* stage_button = Find<QAbstractButton>("ms_1_btn_dpi_color_3");
  {
    auto cancel = test::PickPreset(11, "cancel_btn");
    const std::uint64_t requests = ApplyRequests();
    QTest::mouseClick(stage_button, Qt::LeftButton);
    EXPECT_EQ(ApplyRequests(), requests);           // nothing to send
    EXPECT_EQ(Current().dpi_color(2), 0x00FF0000);  // the default blue, kept
  }
  auto ok = test::PickPreset(11, "confirm_btn");  // red
  QTest::mouseClick(stage_button, Qt::LeftButton);
  EXPECT_EQ(Current().dpi_color(2), 0x000000FF);
  EXPECT_TRUE(stage_button->styleSheet().contains(QLatin1String("#ff0000")));
  WAIT_EQ(mouse_.State().settings.stage_colors[2], (VirtualTriple{255, 0, 0}));

  auto light = test::PickPreset(14, "confirm_btn");   // 0xFF48B1FF
  Find<QComboBox>("ms_1_combo_light")->activated(1);  // shows the colour row
  QTest::mouseClick(Find<QAbstractButton>("ms_1_btn_light_color"), Qt::LeftButton);
  EXPECT_EQ(Current().light_color(), 0x00FFB148u);
  WAIT_EQ(mouse_.State().settings.light_color, (VirtualTriple{0x48, 0xB1, 0xFF}));
}

TEST_F(SettingsPageTest, ProfileAddedWhileTheMouseSleepsIsKept) {
  mouse_.Plug(VirtualLink::kReceiver, true);  // so the window stays up
  ASSERT_NO_FATAL_FAILURE(Start());
  mouse_.Plug(VirtualLink::kCable, false);
  mouse_.SetAsleep(true);
  WAIT_UNTIL(Find("ms_1_sleep_label")->isVisibleTo(window_.get()));
  ModalAnswers answers;
  answers.name = "While asleep";
  QTest::mouseClick(Find<QAbstractButton>("ms_1_profile_add_btn"), Qt::LeftButton);
  ASSERT_EQ(Current().name(), "While asleep");
  window_->core().session().FlushStore();  // no pass reaches the mouse; the store is written
  StoreFiles stores(data_.path() + "/");
  MapLanguageTexts language;
  const ProfileStoreContents stored = stores.ReadProfileStore(language);
  ASSERT_EQ(stored.profiles.size(), 2u);
  EXPECT_EQ(stored.profiles[1]->name(), "While asleep");
  EXPECT_EQ(stored.header->selected(), 1);
}

TEST_F(SettingsPageTest, ResetKeepsNameAndMoveModeAndSendsTheDefaults) {
  ASSERT_NO_FATAL_FAILURE(Start());
  QTest::mouseClick(Find<QAbstractButton>("ms_1_check_movemode"), Qt::LeftButton);
  EXPECT_EQ(Current().movemode(), 1);
  ScopedModalTestHook yes([](QWidget&) { return 1; });
  QTest::mouseClick(Find<QAbstractButton>("ms_1_btn_reset"), Qt::LeftButton);
  EXPECT_EQ(Current().name(), "P1");
  EXPECT_EQ(Current().movemode(), 1);
  EXPECT_EQ(Current().brightness(), 8);
  WAIT_UNTIL(MatchesProfile(mouse_.State().settings, *NewProfile(u"x")));
}

TEST_F(SettingsPageTest, LightingRowsAndMoveModeFollowTheCurrentProfile) {
  ASSERT_NO_FATAL_FAILURE(Start(2, [](ProfileData& p) {
    const bool first = p.name() == u"P1";
    p.set_light_effect(first ? 1 : 2);  // brightness and colour; breathing speed and colour
    p.set_movemode(first ? 1 : 0);
  }));
  auto shown = [this](const char* name) { return Find(name)->isVisibleTo(window_.get()); };
  auto* movemode = Find<QAbstractButton>("ms_1_check_movemode");
  EXPECT_TRUE(movemode->isChecked());
  EXPECT_TRUE(shown("ms_1_hor_brightness"));

  Find<QListWidget>("ms_1_list_profile")->setCurrentRow(1);
  EXPECT_EQ(Current().name(), "P2");
  EXPECT_FALSE(movemode->isChecked());
  EXPECT_FALSE(shown("ms_1_hor_brightness"));
  EXPECT_TRUE(shown("ms_1_hor_breathspeed"));
  EXPECT_TRUE(shown("ms_1_hor_light_color"));

  ModalAnswers answers;  // a new profile: lighting off, move mode off
  answers.name = "New";
  Find<QListWidget>("ms_1_list_profile")->setCurrentRow(0);
  QTest::mouseClick(Find<QAbstractButton>("ms_1_profile_add_btn"), Qt::LeftButton);
  ASSERT_EQ(Current().name(), "New");
  EXPECT_FALSE(movemode->isChecked());
  EXPECT_FALSE(shown("ms_1_hor_brightness"));
  EXPECT_FALSE(shown("ms_1_hor_breathspeed"));
  EXPECT_FALSE(shown("ms_1_hor_light_color"));
}

TEST_F(SettingsPageTest, MouseDpiButtonIsShownSavedAndNotSentBack) {
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_TRUE(mouse_.PressDpiButton());  // stage 2 to stage 3
  WAIT_EQ(Current().dpi_step(), 2);
  EXPECT_TRUE(Find<QAbstractButton>("ms_1_option_dpi_step_3")->isChecked());
  WAIT_UNTIL(window_->dpi_popup() != nullptr);
  window_->core().session().FlushStore();
  {
    StoreFiles stores(data_.path() + "/");
    MapLanguageTexts language;
    EXPECT_EQ(stores.ReadProfileStore(language).profiles.at(0)->dpi_step(), 2);
  }
  const qint64 from = LogSize();
  ASSERT_NO_FATAL_FAILURE(Barrier());
  EXPECT_EQ(test::LoggedCommands(from), QStringList{"0C"});  // the stage is not sent back
}

TEST_F(SettingsPageTest, SettingsChangedOnTheMouseAreShownOnEveryLink) {
  mouse_.SetBleConnected(true);
  ASSERT_NO_FATAL_FAILURE(Start());
  ASSERT_TRUE(mouse_.ChangeLighting(2));  // reported over the cable
  WAIT_EQ(Current().light_effect(), 2);
  EXPECT_EQ(Find<QComboBox>("ms_1_combo_light")->currentIndex(), 2);
  EXPECT_TRUE(Find("ms_1_hor_breathspeed")->isVisibleTo(window_.get()));

  ASSERT_TRUE(mouse_.ChangePollingRate(1));  // 250 Hz
  WAIT_EQ(Current().prate(), 1);
  EXPECT_TRUE(Find<QAbstractButton>("ms_1_btn_prate_2")->isChecked());
  EXPECT_EQ(ControlTextKey(Find("ms_1_label_prate")), "prate_2_text");
  // The rate the page showed before is now a change, and goes to the mouse.
  QTest::mouseClick(Find<QAbstractButton>("ms_1_btn_prate_4"), Qt::LeftButton);
  WAIT_EQ(int{mouse_.State().settings.polling_rate}, 3);

  mouse_.Plug(VirtualLink::kCable, false);
  ASSERT_TRUE(mouse_.ChangeLighting(1));  // now over Bluetooth LE
  WAIT_EQ(Current().light_effect(), 1);
  EXPECT_EQ(Find<QComboBox>("ms_1_combo_light")->currentIndex(), 1);
  EXPECT_TRUE(Find("ms_1_hor_brightness")->isVisibleTo(window_.get()));
}

TEST_F(SettingsPageTest, PollingRateCardIsHiddenWhileOnlyBluetoothIsUp) {
  mouse_.SetBleConnected(true);
  ASSERT_NO_FATAL_FAILURE(Start());
  QWidget* card = Find("ms_1_card_prate");
  EXPECT_TRUE(card->isVisibleTo(window_.get()));
  mouse_.Plug(VirtualLink::kCable, false);
  WAIT_UNTIL(!Find("ms_1_wired")->isVisibleTo(window_.get()));
  EXPECT_FALSE(card->isVisibleTo(window_.get()));
  mouse_.Plug(VirtualLink::kCable, true);
  WAIT_UNTIL(card->isVisibleTo(window_.get()));
  EXPECT_TRUE(Find("ms_1_check_prate")->isVisibleTo(window_.get()));
  EXPECT_FALSE(Find<QAbstractButton>("ms_1_check_prate")->isChecked());  // back closed
  EXPECT_FALSE(Find("ms_1_ver_prate")->isVisibleTo(window_.get()));
}

TEST_F(SettingsPageTest, UnpluggingTheCableShowsTheSleepLabel) {
  mouse_.Plug(VirtualLink::kReceiver, true);  // so the window stays up
  ASSERT_NO_FATAL_FAILURE(Start());
  EXPECT_TRUE(Find("ms_1_wired")->isVisibleTo(window_.get()));
  mouse_.Plug(VirtualLink::kCable, false);
  WAIT_UNTIL(!Find("ms_1_wired")->isVisibleTo(window_.get()));
  EXPECT_TRUE(Find("ms_1_sleep_label")->isVisibleTo(window_.get()));
}

TEST_F(SettingsPageTest, TabReachesEveryControlInReadingOrder) {
  ASSERT_NO_FATAL_FAILURE(Start());
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  QWidget* first = Find("ms_1_list_profile");
  first->setFocus();
  QStringList visited;
  for (int i = 0; i < 400 && (visited.isEmpty() || QApplication::focusWidget() != first); ++i) {
    visited << QApplication::focusWidget()->objectName();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  for (const QString& name : PageControlNames()) {
    QWidget* w = window_->FindOptional(name);
    if (!w || !w->isVisibleTo(window_.get()) || !w->isEnabled() ||
        !(w->focusPolicy() & Qt::TabFocus) || qobject_cast<QLabel*>(w)) {
      continue;
    }
    EXPECT_TRUE(visited.contains(name)) << qPrintable(name) << " is never reached by Tab";
  }
  // Down the settings column, section by section, each section's controls after its header.
  QStringList sections;
  QStringList section_checks;
  for (const SectionBinding& section : SectionBindings()) section_checks << section.check;
  for (const QString& name : visited) {
    if (section_checks.contains(name)) sections << name;
  }
  EXPECT_EQ(
      sections.mid(sections.indexOf("ms_1_check_button"), 4),
      (QStringList{"ms_1_check_button", "ms_1_check_dpi", "ms_1_check_light", "ms_1_check_prate"}));
  EXPECT_EQ(visited.indexOf("ms_1_combo_light"), visited.indexOf("ms_1_check_light") + 1);
  EXPECT_LT(visited.indexOf("ms_1_btn_key_9"), visited.indexOf("ms_1_btn_key_10"));
  EXPECT_LT(visited.indexOf("ms_1_btn_key_18"), visited.indexOf("ms_1_check_dpi"));
}

TEST_F(SettingsPageTest, KeysOperateTheControls) {
  ASSERT_NO_FATAL_FAILURE(Start());
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  auto* combo = Find<QComboBox>("ms_1_combo_light");
  combo->setFocus();
  QTest::keyClick(combo, Qt::Key_Down);  // Off to Steady, which has a brightness
  EXPECT_EQ(Current().light_effect(), 1);
  auto* brightness = Find<QSlider>("ms_1_slider_brightness");
  brightness->setFocus();
  QTest::keyClick(brightness, Qt::Key_Right);  // from the profile's 1
  EXPECT_EQ(Current().brightness(), 2);
  clock_->Advance(500);
  WAIT_EQ(int{mouse_.State().settings.brightness}, 2);

  auto* option = Find<QAbstractButton>("ms_1_btn_prate_4");
  option->setFocus();
  QTest::keyClick(option, Qt::Key_Left);  // arrows move through the options and pick
  EXPECT_TRUE(Find<QAbstractButton>("ms_1_btn_prate_3")->isChecked());
  EXPECT_EQ(Current().prate(), 2);
  WAIT_EQ(int{mouse_.State().settings.polling_rate}, 2);

  auto* section = Find<QAbstractButton>("ms_1_check_motion_sync");
  section->setFocus();
  QTest::keyClick(section, Qt::Key_Space);
  EXPECT_FALSE(Find("ms_1_hor_motion_sync")->isVisibleTo(window_.get()));
}

TEST_F(SettingsPageTest, WheelScrollsThePageUnlessTheControlHasTheFocus) {
  ASSERT_NO_FATAL_FAILURE(Start());
  QScrollBar* bar = Find<QScrollArea>("ms_1_scroll_setting")->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 0);
  auto turn = [](QWidget* control) {
    const QPointF at(control->width() / 2.0, control->height() / 2.0);
    QWheelEvent down(at, control->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(control, &down);
  };
  auto* slider = Find<QSlider>("ms_1_slider_dpi_3");
  auto* combo = Find<QComboBox>("ms_1_combo_light");
  EXPECT_NE(combo->focusPolicy(), Qt::WheelFocus);  // the wheel does not hand it the focus
  const int code = slider->value();
  turn(slider);
  EXPECT_EQ(slider->value(), code);
  EXPECT_GT(bar->value(), 0);
  const int scrolled = bar->value();
  turn(combo);
  EXPECT_EQ(combo->currentIndex(), 0);
  EXPECT_GT(bar->value(), scrolled);
  EXPECT_EQ(Current().light_effect(), 0);
  EXPECT_EQ(Current().dpi_x(2), code);
  EXPECT_FALSE(window_->IsTimerActive(TIMER_APPLY_DELAY));

  slider->setFocus();  // by Tab or a click: now the wheel is the slider's
  ASSERT_TRUE(slider->hasFocus());
  turn(slider);
  EXPECT_NE(slider->value(), code);
}

TEST_F(SettingsPageTest, SectionsOpenAndCloseAndTheLastOnesScrollIntoView) {
  ASSERT_NO_FATAL_FAILURE(Start());
  auto* check = Find<QAbstractButton>("ms_1_check_motion_sync");
  QWidget* body = Find("ms_1_hor_motion_sync");
  check->click();  // as Space on the focused check box does
  EXPECT_FALSE(body->isVisibleTo(window_.get()));
  check->click();
  EXPECT_TRUE(body->isVisibleTo(window_.get()));
  EXPECT_TRUE(window_->IsTimerActive(TIMER_SETTINGS_FOLLOWUP));
  clock_->Advance(10);
  EXPECT_FALSE(window_->IsTimerActive(TIMER_SETTINGS_FOLLOWUP));

  Find<QAbstractButton>("ms_1_check_dpi")->click();
  Find<QAbstractButton>("ms_1_check_dpi")->click();
  EXPECT_FALSE(window_->IsTimerActive(TIMER_SETTINGS_FOLLOWUP));
}

}  // namespace
}  // namespace mokta

int main(int argc, char** argv) {
  return mokta::test::RunPageTests(argc, argv);
}
