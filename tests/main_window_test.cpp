// The main window against the virtual mouse, offscreen: its layouts and texts, the routing of
// its messages, the no-device flow, the DPI pop-up, and a clean shutdown. Plus the program
// itself, twice: the second start ends with 1.

#include "app/main_window.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUiLoader>

#include "app/dpi_popup.h"
#include "app/message_box.h"
#include "app/window_ids.h"
#include "data/import_export.h"
#include "device/driver_messages.h"
#include "framework/control_lookup.h"
#include "framework/control_text.h"
#include "framework/language_file.h"
#include "framework/manual_timer_clock.h"
#include "framework/modal_test_hook.h"
#include "framework/resources.h"
#include "framework/timer_clock.h"
#include "qt_wait.h"
#include "test_main_window.h"
#include "virtual_mouse.h"

namespace mokta {
namespace {

const QString kSourceDir = QStringLiteral(MOKTA_SOURCE_DIR);
const QString kVirtualFolder = QStringLiteral(MOKTA_VIRTUAL_DRIVER_DIR "/");

// Threads of this process, from the kernel's list.
int ThreadCount() {
  return static_cast<int>(
      QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

// Fails the running test on every control the code looks up and the layout lacks.
class StrictLookup {
 public:
  StrictLookup() {
    SetMissingControlHandler([](const MissingControl& miss) {
      ADD_FAILURE() << miss.owner.toStdString() << " lacks " << miss.name.toStdString();
    });
  }
  ~StrictLookup() { SetMissingControlHandler({}); }
};

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    VirtualMouse::Shared().ResetSettings();
    VirtualMouse::Shared().ResetCounters();
    VirtualMouse::Shared().Plug(VirtualLink::kCable, true);
    VirtualMouse::Shared().Plug(VirtualLink::kReceiver, false);
  }

  std::unique_ptr<CMainWnd> MakeWindow() {
    auto window =
        test::MakeTestMainWindow(test::TestCoreOptions(data_.path() + "/", kVirtualFolder));
    window->InitWindow();
    return window;
  }

  StrictLookup strict_;
  QTemporaryDir data_;
};

TEST_F(MainWindowTest, LayoutsHoldEveryControlTheCodeLooksUp) {
  auto window = MakeWindow();  // the strict lookup fails the test on any miss
  for (const QString& name : PageControlNames())
    EXPECT_NE(window->Find(name), nullptr) << name.toStdString();
  CMsgWnd box(window.get(), kWarningTitleKey, QStringLiteral("no_device_text"));
  CDPIMsg popup(DpiPopupText(1));
  EXPECT_NE(popup.FindOptional(QStringLiteral("dpi_label")), nullptr);
  popup.set_delete_on_final(false);
}

// Every key the layouts, menus and code use has an English text, so a misspelt key fails here.
TEST_F(MainWindowTest, EveryTextKeyInLayoutsMenusAndCodeIsInTheLanguageFile) {
  LanguageFile language;
  ASSERT_TRUE(language.Load(kSourceDir + "/res/lan.xml"));
  QStringList missing;
  auto check = [&](const QString& key, const QString& where) {
    if (!language.Has(key)) missing << key + " (" + where + ")";
  };
  // Code names a key as a string literal; layouts keep a text as <string>key</string> and
  // menus as text="key". The framework knows no keys of the program.
  const QRegularExpression code_key(QStringLiteral("\"([a-z0-9_]+_text)\""));
  const QRegularExpression layout_key(QStringLiteral("(?:<string>|text=\")([a-z0-9_]+_text)[<\"]"));
  QDirIterator files(kSourceDir, {"*.xml", "*.cpp", "*.h"}, QDir::Files,
                     QDirIterator::Subdirectories);
  while (files.hasNext()) {
    const QString path = files.next();
    const QString where = path.mid(kSourceDir.size() + 1);
    const bool layout = where.startsWith("res/");
    if (!layout && (!where.startsWith("src/") || where.startsWith("src/framework/"))) continue;
    if (where == "res/lan.xml") continue;
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    const QString text = QString::fromUtf8(file.readAll());
    auto matches = (layout ? layout_key : code_key).globalMatch(text);
    while (matches.hasNext()) check(matches.next().captured(1), where);
  }
  EXPECT_TRUE(missing.isEmpty()) << missing.join('\n').toStdString();
}

TEST_F(MainWindowTest, PageShowsTheCurrentProfileAtStart) {
  auto window = MakeWindow();
  auto* list = window->Find<QListWidget>(QStringLiteral("ms_1_list_profile"));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->count(), 1);  // a first start makes one default profile
  EXPECT_EQ(list->currentRow(), 0);
  EXPECT_EQ(ControlText(window->Find(QStringLiteral("ms_1_btn_key_1"))),
            LanguageText(QStringLiteral("left_click_text")));
  EXPECT_EQ(ControlText(window->Find(QStringLiteral("ms_1_label_key_debounce"))), "8 MS");
  EXPECT_EQ(ControlText(window->Find(QStringLiteral("ms_1_edit_dpi_6"))), "22000");
  EXPECT_TRUE(window->Find<QAbstractButton>(QStringLiteral("ms_1_option_dpi_step_2"))->isChecked());
}

TEST_F(MainWindowTest, LinkChangesFollowTheMouse) {
  auto window = MakeWindow();
  window->show();
  WAIT_EQ(window->link_up(), 1);  // the virtual mouse is on the cable
  VirtualMouse::Shared().Plug(VirtualLink::kCable, false);
  WAIT_EQ(window->link_up(), 0);
  // Without a tray the window stays where the user can reach it.
  EXPECT_EQ(window->isVisible(), !window->tray_in_use());
}

TEST_F(MainWindowTest, NoDeviceMessageIsShownOnceAtATime) {
  VirtualMouse::Shared().Plug(VirtualLink::kCable, false);
  auto window = MakeWindow();
  WAIT_EQ(window->link_up(), 0);
  int shown = 0;
  QStringList keys;
  ScopedModalTestHook hook([&](QWidget& modal) -> std::optional<int> {
    ++shown;
    if (QWidget* message = FindOptionalControl(&modal, QStringLiteral("warning"))) {
      keys << ControlTextKey(message);
    }
    EXPECT_TRUE(window->no_device_showing());
    // A second request while the message is open does nothing.
    window->SendMessage(MSG_TRAY_ICON, 0, static_cast<std::intptr_t>(TrayClick::kLeftButtonUp));
    window->SendMessage(MSG_ACTIVATE);
    return 1;
  });
  window->SendMessage(MSG_TRAY_ICON, 0, static_cast<std::intptr_t>(TrayClick::kLeftButtonUp));
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(keys, QStringList{"no_device_text"});
  EXPECT_FALSE(window->no_device_showing());
  window->SendMessage(MSG_ACTIVATE);
  EXPECT_EQ(shown, 2);
}

TEST_F(MainWindowTest, DpiPopupIsReusedAndClosesWhenItsTimerEnds) {
  auto clock = std::make_shared<ManualTimerClock>();
  ScopedTimerClock use_clock(clock);
  auto window = MakeWindow();
  window->SendMessage(MSG_SHOW_DPI, 0, 200);
  QPointer<CDPIMsg> first = window->dpi_popup();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->text(), "DPI :10000");
  clock->Advance(1500);
  window->SendMessage(MSG_SHOW_DPI, 0, 201);
  EXPECT_EQ(window->dpi_popup(), first.data());
  EXPECT_EQ(first->text(), "DPI :10100");
  EXPECT_TRUE(window->IsTimerActive(TIMER_DPI_POPUP));
  clock->Advance(1999);  // two seconds after the last change, not after the first
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ASSERT_TRUE(first);
  clock->Advance(1);
  WAIT_UNTIL(first.isNull());
  EXPECT_EQ(window->dpi_popup(), nullptr);
  EXPECT_FALSE(window->IsTimerActive(TIMER_DPI_POPUP));
}

TEST_F(MainWindowTest, MenuItemsReachTheirOwners) {
  EXPECT_TRUE(MenuItemBelongsToPage("ms_1_macro"));
  EXPECT_TRUE(MenuItemBelongsToPage("ms"));           // a prefix of "ms_1" too
  EXPECT_FALSE(MenuItemBelongsToPage("MS_1_macro"));  // letter case counts here
  EXPECT_FALSE(MenuItemBelongsToPage("configuration"));

  VirtualMouse::Shared().Plug(VirtualLink::kCable, true);
  auto window = MakeWindow();
  WAIT_EQ(window->link_up(), 1);
  window->hide();
  window->RouteMenuCommand("CONFIGURATION");  // any letter case
  EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindowTest, ShutdownWithTheMouseAttachedLeavesNoThreadRunning) {
  const int before = ThreadCount();
  {
    auto window = MakeWindow();
    window->show();
    WAIT_EQ(window->link_up(), 1);
    int passes = 0;
    window->core().host()->set_pass_observer([&] { ++passes; });
    window->core().RequestApply();
    WAIT_UNTIL(passes > 0);
    EXPECT_GT(ThreadCount(), before);  // worker, driver monitors
    window->Exit();
  }
  WAIT_EQ(ThreadCount(), before);
}

// The environment of one run of the program itself: an instance name, a data folder and a
// runtime folder of the test's own (never the user's running program, build/bin/Data or the
// user's link locks), offscreen, against the virtual mouse whose control socket lies in the
// runtime folder.
QProcessEnvironment ProgramEnvironment(const QString& instance, const QString& data,
                                       const QString& runtime) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(
      "MOKTA_INSTANCE_NAME",
      QStringLiteral("mokta-test-%1-%2").arg(QCoreApplication::applicationPid()).arg(instance));
  env.insert("MOKTA_DATA_DIR", data);
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("MOKTA_DRIVER_DIR", kVirtualFolder);
  env.insert("MOKTA_VIRTUAL_CONTROL", runtime + "/control.sock");
  env.insert("XDG_RUNTIME_DIR", runtime);
  env.remove("QT_LOGGING_RULES");
  return env;
}

// Starts the program and waits until its window has loaded the drivers (the virtual mouse's
// control socket exists).
void StartProgram(QProcess& program, const QProcessEnvironment& env, const QStringList& args = {}) {
  program.setProcessEnvironment(env);
  program.start(QStringLiteral(MOKTA_PROGRAM), args);
  ASSERT_TRUE(program.waitForStarted());
  WAIT_UNTIL_FOR(QFile::exists(env.value("MOKTA_VIRTUAL_CONTROL")), 10000);
}

// Ends the program with SIGTERM, as the tray's "exit" would; its exit code.
int TerminateProgram(QProcess& program) {
  program.terminate();
  if (!program.waitForFinished(10000)) return -1;
  return program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
}

// The program itself: a second start activates the first and ends with 1; SIGTERM ends the
// first like the tray's "exit".
TEST(Program, SecondStartEndsWithOneAndTermEndsTheFirst) {
  QTemporaryDir runtime;
  QTemporaryDir data;
  const QProcessEnvironment env = ProgramEnvironment("a", data.path(), runtime.path());
  QProcess first;
  StartProgram(first, env);

  QProcess second;
  second.setProcessEnvironment(env);
  second.start(QStringLiteral(MOKTA_PROGRAM), {"--anything"});
  ASSERT_TRUE(second.waitForFinished(10000));
  EXPECT_EQ(second.exitCode(), 1);
  EXPECT_EQ(first.state(), QProcess::Running);

  EXPECT_EQ(TerminateProgram(first), 0);
}

// One writer per data folder and per link: a program under another instance name on the same
// data folder, and the tool's apply over the same links, are refused and told who holds them.
TEST(Program, SecondWriterIsRefusedAndToldWhoHoldsTheData) {
  QTemporaryDir runtime;
  QTemporaryDir other_runtime;
  QTemporaryDir data;
  QProcessEnvironment env = ProgramEnvironment("a", data.path(), runtime.path());
  // A rule for every category leaves the program's own debug traces off.
  env.insert("QT_LOGGING_RULES", "*.debug=true");
  QProcess first;
  StartProgram(first, env);
  const QString holder = QStringLiteral("mokta-mouse (pid %1").arg(first.processId());

  // The refused start shows who holds the data and waits for its message to be closed; it
  // logs the same sentence, and SIGTERM closes the message.
  QProcess second;
  second.setProcessEnvironment(ProgramEnvironment("b", data.path(), other_runtime.path()));
  second.start(QStringLiteral(MOKTA_PROGRAM), {});
  QString second_log;
  WAIT_UNTIL_FOR((second_log += QString::fromLocal8Bit(second.readAllStandardError()))
                     .contains("the data folder " + data.path() + "/ is in use by " + holder),
                 10000);
  EXPECT_EQ(TerminateProgram(second), 2);
  EXPECT_FALSE(QFile::exists(other_runtime.filePath("control.sock")));  // drivers never loaded

  QTemporaryDir files;
  const QString profile = files.filePath("game.pro");
  ASSERT_EQ(ExportProfile(*NewProfile(u"Game"), profile), FileStatus::kOk);
  QProcess tool;
  tool.setProcessEnvironment(env);
  tool.start(QStringLiteral(MOKTA_MOUSECTL), {"apply", profile, "--driver-dir", kVirtualFolder});
  ASSERT_TRUE(tool.waitForFinished(10000));
  EXPECT_EQ(tool.exitCode(), 1);
  const QString tool_log = QString::fromLocal8Bit(tool.readAllStandardError());
  EXPECT_TRUE(tool_log.startsWith("mokta-mousectl: the cable link is in use by " + holder))
      << tool_log.toStdString();
  EXPECT_EQ(tool_log.count('\n'), 1) << tool_log.toStdString();
  EXPECT_TRUE(tool.readAllStandardOutput().isEmpty());

  EXPECT_EQ(TerminateProgram(first), 0);
  const QString first_log = QString::fromLocal8Bit(first.readAllStandardError());
  EXPECT_FALSE(first_log.contains("mokta.entry: ilen")) << "debug traces were on";
}

// Qt's own options on the command line ("-platform", "-style", "-reverse") change nothing;
// the program's traces, asked for by name, show the layout it runs with.
TEST(Program, QtOptionsOnTheCommandLineChangeNothing) {
  QTemporaryDir runtime;
  QTemporaryDir data;
  QProcessEnvironment env = ProgramEnvironment("a", data.path(), runtime.path());
  env.insert("QT_LOGGING_RULES", "mokta.entry.debug=true");
  QProcess program;
  StartProgram(program, env, {"-platform", "none", "-reverse", "-style", "none"});
  EXPECT_EQ(TerminateProgram(program), 0);
  const QString log = QString::fromLocal8Bit(program.readAllStandardError());
  EXPECT_TRUE(log.contains("mokta.entry: layout left-to-right")) << log.toStdString();
  EXPECT_TRUE(log.contains("mokta.entry: ilen = 35")) << log.toStdString();
}

}  // namespace
}  // namespace mokta

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir runtime;
  qputenv("MOKTA_RES_DIR", QFile::encodeName(QStringLiteral(MOKTA_SOURCE_DIR "/res/")));
  qputenv("MOKTA_VIRTUAL_BATTERY_MS", "0");
  qputenv("MOKTA_VIRTUAL_CONTROL", QFile::encodeName(runtime.filePath("control.sock")));
  qunsetenv("MOKTA_VIRTUAL_START");
  QApplication app(argc, argv);
  auto language = std::make_shared<mokta::LanguageFile>();
  language->LoadFromResources();
  mokta::SetProgramLanguage(language);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
