// The settings page end to end: the real main window, offscreen, against the virtual mouse.
// What the user does on the page is checked in what the mouse holds and in the commands it
// took (its write log).

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/main_window.h"
#include "app/window_ids.h"
#include "test_main_window.h"
#include "ui/page_bindings.h"
#include "data/store_files.h"
#include "device/driver_messages.h"
#include "framework/control_lookup.h"
#include "framework/control_text.h"
#include "framework/language_file.h"
#include "framework/modal_test_hook.h"
#include "framework/notification.h"
#include "profile_match.h"
#include "virtual_mouse.h"

namespace mokta {
namespace {

QString g_log_path;

// Lines of the mouse's write log from `from` on that start with `prefix` ("cable 05 ").
int LogLines(const QString& prefix, qint64 from = 0) {
  QFile file(g_log_path);
  if (!file.open(QIODevice::ReadOnly)) return 0;
  file.seek(from);
  int n = 0;
  while (!file.atEnd()) n += QString::fromLatin1(file.readLine()).startsWith(prefix) ? 1 : 0;
  return n;
}
qint64 LogSize() {
  return QFileInfo(g_log_path).size();
}

class SettingsPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mouse_.Plug(VirtualLink::kCable, true);
    mouse_.Plug(VirtualLink::kReceiver, false);
    mouse_.SetBleConnected(false);
  }

  // A store with `count` profiles named P1.., then the window, with the first send-all done.
  void Start(int count = 1) {
    StoreFiles stores(data_.path() + "/");
    ProfileList profiles;
    for (int i = 1; i <= count; ++i) {
      profiles.push_back(NewProfile(QStringLiteral("P%1").arg(i)));
      profiles.back()->set_brightness(i);  // tell them apart
      profiles.back()->set_dpi_x(0, 10 * i);
    }
    ASSERT_TRUE(stores.WriteProfileStore(profiles, ProfileStoreHeader()));
    window_ = test::MakeTestMainWindow(
        test::TestCoreOptions(data_.path() + "/", QStringLiteral(MOKTA_VIRTUAL_DRIVER_DIR "/")));
    window_->InitWindow();
    window_->show();
    QTRY_COMPARE(window_->link_up(), 1);
    const qint64 from = LogSize();
    window_->PostMessage(MSG_APPLY_REQUEST);
    QTRY_COMPARE(LogLines("cable 08 ", from), 1);  // the last command of the first pass
    QTRY_VERIFY(MatchesProfile(mouse_.State().settings, Current()));
    QTest::qWait(100);  // the pass records what it sent
  }

  const ProfileData& Current() { return window_->core().session().current(); }
  template <typename T = QWidget>
  T* Find(const char* name) {
    return window_->Find<T>(QString::fromLatin1(name));
  }

  VirtualMouse& mouse_ = VirtualMouse::Shared();
  QTemporaryDir data_;
  std::unique_ptr<CMainWnd> window_;
};

TEST_F(SettingsPageTest, SliderMovesReachTheMouseOnceAfterTheLastMove) {
  Start();
  Find<QComboBox>("ms_1_combo_light")->activated(1);  // a steady light carries its brightness
  QTRY_COMPARE(int{mouse_.State().settings.light_effect}, 1);
  EXPECT_TRUE(Find("ms_1_hor_brightness")->isVisibleTo(window_.get()));
  EXPECT_FALSE(Find("ms_1_hor_breathspeed")->isVisibleTo(window_.get()));

  const qint64 from = LogSize();
  auto* slider = Find<QSlider>("ms_1_slider_brightness");
  for (int v : {3, 5, 7, 9}) {
    slider->setValue(v);
    QTest::qWait(100);
  }
  EXPECT_EQ(LogLines("cable 05 ", from), 0);  // still collecting moves
  QTRY_COMPARE_WITH_TIMEOUT(int{mouse_.State().settings.brightness}, 9, 3000);
  QTest::qWait(700);
  EXPECT_EQ(LogLines("cable 05 ", from), 1);
  EXPECT_EQ(Current().brightness(), 9);
}

TEST_F(SettingsPageTest, OptionsAndTheDpiEditReachTheMouse) {
  Start();
  QTest::mouseClick(Find<QAbstractButton>("ms_1_btn_prate_1"), Qt::LeftButton);
  QTRY_COMPARE(int{mouse_.State().settings.polling_rate}, 0);
  EXPECT_EQ(Current().prate(), 0);

  // Typing into a DPI edit keeps digits only; leaving it rounds to a stage, sends nothing yet.
  auto* edit = Find<QLineEdit>("ms_1_edit_dpi_2");
  edit->setFocus();
  edit->selectAll();
  QTest::keyClicks(edit, "12a345");
  EXPECT_EQ(edit->text(), "12345");
  Find<QLineEdit>("ms_1_edit_dpi_3")->setFocus();  // killfocus
  EXPECT_EQ(edit->text(), "12300");
  EXPECT_EQ(Find<QSlider>("ms_1_slider_dpi_2")->value(), 223);
  EXPECT_EQ(Current().dpi_x(1), 223);
  QTest::qWait(300);
  EXPECT_NE(mouse_.State().settings.dpi[1], 12300);
  QTest::mouseClick(Find<QAbstractButton>("ms_1_btn_apply_dpi"), Qt::LeftButton);
  QTRY_COMPARE(int{mouse_.State().settings.dpi[1]}, 12300);
}

TEST_F(SettingsPageTest, ProfileSwitchSendsEverythingAndDeletingTheLastSelectsTheNewLast) {
  Start(3);
  const qint64 from = LogSize();
  auto* list = Find<QListWidget>("ms_1_list_profile");
  ASSERT_EQ(list->count(), 3);
  list->setCurrentRow(2);  // as the user does
  QTRY_VERIFY(MatchesProfile(mouse_.State().settings, Current()));
  EXPECT_EQ(Current().name(), "P3");
  QTRY_COMPARE(LogLines("cable 08 ", from), 1);
  EXPECT_EQ(LogLines("cable 0C ", from), 2);
  EXPECT_EQ(LogLines("cable 04 ", from), 1);
  EXPECT_EQ(LogLines("cable 06 ", from), 1);

  ScopedModalTestHook yes([](QWidget&) { return 1; });
  QTest::mouseClick(Find<QAbstractButton>("ms_1_profile_delete_btn"), Qt::LeftButton);
  EXPECT_EQ(list->count(), 2);
  EXPECT_EQ(list->currentRow(), 1);
  EXPECT_EQ(Current().name(), "P2");
  QTRY_VERIFY(MatchesProfile(mouse_.State().settings, Current()));
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
  Start(1);
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
  QTRY_VERIFY(MatchesProfile(mouse_.State().settings, Current()));

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
  EXPECT_EQ(answers.messages, QStringList{"import_wrong_size_text"});
  EXPECT_EQ(list->count(), 3);
}

// Answers the colour dialog by clicking `preset` and then `finish` inside its modal loop.
ScopedModalTestHook PickPreset(int preset, const char* finish) {
  return ScopedModalTestHook([preset, finish](QWidget& dialog) -> std::optional<int> {
    EXPECT_EQ(dialog.objectName(), "DpiColorWnd");
    QTimer::singleShot(0, &dialog, [&dialog, preset, finish] {
      FindOptionalControl<QAbstractButton>(&dialog, QStringLiteral("mouse_dpi_color_%1").arg(preset))
          ->click();
      FindOptionalControl<QAbstractButton>(&dialog, QString::fromLatin1(finish))->click();
    });
    return std::nullopt;
  });
}

TEST_F(SettingsPageTest, ColoursPickedInTheDialogReachTheMouse) {
  Start();
  auto* stage_button = Find<QAbstractButton>("ms_1_btn_dpi_color_3");
  {
    auto cancel = PickPreset(11, "cancel_btn");
    const qint64 from = LogSize();
    QTest::mouseClick(stage_button, Qt::LeftButton);
    QTest::qWait(300);
    EXPECT_EQ(LogLines("cable 04 ", from), 0);
    EXPECT_EQ(Current().dpi_color(2), 0x00FF0000);  // the default blue, kept
  }
  auto ok = PickPreset(11, "confirm_btn");  // red
  QTest::mouseClick(stage_button, Qt::LeftButton);
  EXPECT_EQ(Current().dpi_color(2), 0x000000FF);
  EXPECT_TRUE(stage_button->styleSheet().contains(QLatin1String("#ff0000")));
  QTRY_COMPARE(mouse_.State().settings.stage_colors[2], (VirtualTriple{255, 0, 0}));

  auto light = PickPreset(14, "confirm_btn");  // 0xFF48B1FF
  Find<QComboBox>("ms_1_combo_light")->activated(1);  // shows the colour row
  QTest::mouseClick(Find<QAbstractButton>("ms_1_btn_light_color"), Qt::LeftButton);
  EXPECT_EQ(Current().light_color(), 0x00FFB148u);
  QTRY_COMPARE(mouse_.State().settings.light_color, (VirtualTriple{0x48, 0xB1, 0xFF}));
}

TEST_F(SettingsPageTest, ProfileAddedWhileTheMouseSleepsIsKept) {
  mouse_.Plug(VirtualLink::kReceiver, true);  // so the window stays up
  Start();
  mouse_.Plug(VirtualLink::kCable, false);
  mouse_.SetAsleep(true);
  QTRY_VERIFY(Find("ms_1_sleep_label")->isVisibleTo(window_.get()));
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
  Start();
  QTest::mouseClick(Find<QAbstractButton>("ms_1_check_movemode"), Qt::LeftButton);
  EXPECT_EQ(Current().movemode(), 1);
  ScopedModalTestHook yes([](QWidget&) { return 1; });
  QTest::mouseClick(Find<QAbstractButton>("ms_1_btn_reset"), Qt::LeftButton);
  EXPECT_EQ(Current().name(), "P1");
  EXPECT_EQ(Current().movemode(), 1);
  EXPECT_EQ(Current().brightness(), 8);
  QTRY_VERIFY(MatchesProfile(mouse_.State().settings, *NewProfile(u"x")));
}

TEST_F(SettingsPageTest, MouseDpiButtonIsShownSavedAndNotSentBack) {
  Start();
  ASSERT_TRUE(mouse_.PressDpiButton());  // stage 2 to stage 3
  QTRY_COMPARE(Current().dpi_step(), 2);
  EXPECT_TRUE(Find<QAbstractButton>("ms_1_option_dpi_step_3")->isChecked());
  QTRY_VERIFY(window_->dpi_popup() != nullptr);
  window_->core().session().FlushStore();
  {
    StoreFiles stores(data_.path() + "/");
    MapLanguageTexts language;
    EXPECT_EQ(stores.ReadProfileStore(language).profiles.at(0)->dpi_step(), 2);
  }
  const qint64 from = LogSize();
  window_->PostMessage(MSG_APPLY_REQUEST);
  QTRY_COMPARE(LogLines("cable 0C ", from), 1);
  QTest::qWait(200);
  EXPECT_EQ(LogLines("cable 04 ", from), 0);
}

TEST_F(SettingsPageTest, BluetoothLightingEventSelectsTheEffect) {
  mouse_.SetBleConnected(true);
  Start();
  ASSERT_TRUE(mouse_.ChangeLighting(2));  // reported on the cable, which does not move the combo
  QTRY_COMPARE(Current().light_effect(), 2);
  EXPECT_EQ(Find<QComboBox>("ms_1_combo_light")->currentIndex(), 0);
  mouse_.Plug(VirtualLink::kCable, false);
  ASSERT_TRUE(mouse_.ChangeLighting(1));  // now over Bluetooth LE
  QTRY_COMPARE(Current().light_effect(), 1);
  EXPECT_EQ(Find<QComboBox>("ms_1_combo_light")->currentIndex(), 1);
  EXPECT_TRUE(Find("ms_1_hor_brightness")->isVisibleTo(window_.get()));
}

TEST_F(SettingsPageTest, UnpluggingTheCableShowsTheSleepLabel) {
  mouse_.Plug(VirtualLink::kReceiver, true);  // so the window stays up
  Start();
  EXPECT_TRUE(Find("ms_1_wired")->isVisibleTo(window_.get()));
  mouse_.Plug(VirtualLink::kCable, false);
  QTRY_VERIFY(!Find("ms_1_wired")->isVisibleTo(window_.get()));
  EXPECT_TRUE(Find("ms_1_sleep_label")->isVisibleTo(window_.get()));
}

TEST_F(SettingsPageTest, TabReachesEveryControlInReadingOrder) {
  Start();
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
  for (const QString& name : visited) {
    if (name.startsWith(QLatin1String("ms_1_check_"))) sections << name;
  }
  EXPECT_EQ(sections.mid(sections.indexOf("ms_1_check_button"), 4),
            (QStringList{"ms_1_check_button", "ms_1_check_dpi", "ms_1_check_light", "ms_1_check_prate"}));
  EXPECT_EQ(visited.indexOf("ms_1_combo_light"), visited.indexOf("ms_1_check_light") + 1);
  EXPECT_LT(visited.indexOf("ms_1_btn_key_9"), visited.indexOf("ms_1_btn_key_10"));
  EXPECT_LT(visited.indexOf("ms_1_btn_key_18"), visited.indexOf("ms_1_check_dpi"));
}

TEST_F(SettingsPageTest, KeysOperateTheControls) {
  Start();
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
  QTRY_COMPARE(int{mouse_.State().settings.brightness}, 2);

  auto* option = Find<QAbstractButton>("ms_1_btn_prate_4");
  option->setFocus();
  QTest::keyClick(option, Qt::Key_Left);  // arrows move through the options and pick
  EXPECT_TRUE(Find<QAbstractButton>("ms_1_btn_prate_3")->isChecked());
  EXPECT_EQ(Current().prate(), 2);
  QTRY_COMPARE(int{mouse_.State().settings.polling_rate}, 2);

  auto* section = Find<QAbstractButton>("ms_1_check_motion_sync");
  section->setFocus();
  QTest::keyClick(section, Qt::Key_Space);
  EXPECT_FALSE(Find("ms_1_hor_motion_sync")->isVisibleTo(window_.get()));
}

TEST_F(SettingsPageTest, SectionsOpenAndCloseAndTheLastOnesScrollIntoView) {
  Start();
  auto* check = Find<QAbstractButton>("ms_1_check_motion_sync");
  QWidget* body = Find("ms_1_hor_motion_sync");
  check->click();  // as Space on the focused check box does
  EXPECT_FALSE(body->isVisibleTo(window_.get()));
  check->click();
  EXPECT_TRUE(body->isVisibleTo(window_.get()));
  EXPECT_TRUE(window_->IsTimerActive(TIMER_SETTINGS_FOLLOWUP));
  QTRY_VERIFY(!window_->IsTimerActive(TIMER_SETTINGS_FOLLOWUP));

  Find<QAbstractButton>("ms_1_check_dpi")->click();
  Find<QAbstractButton>("ms_1_check_dpi")->click();
  EXPECT_FALSE(window_->IsTimerActive(TIMER_SETTINGS_FOLLOWUP));
}

}  // namespace
}  // namespace mokta

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir runtime;
  mokta::g_log_path = runtime.filePath("writes.log");
  qputenv("MOKTA_RES_DIR", QFile::encodeName(QStringLiteral(MOKTA_SOURCE_DIR "/res/")));
  qputenv("MOKTA_VIRTUAL_BATTERY_MS", "0");
  qputenv("MOKTA_VIRTUAL_LOG", QFile::encodeName(mokta::g_log_path));
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
