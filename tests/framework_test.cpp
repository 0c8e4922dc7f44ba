// The framework adapter: layouts, language texts, notifications, window messages, timers,
// menus, the tray icon's intents and modal windows. Runs offscreen against the layouts and texts
// in tests/fixtures/framework.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "data/paths.h"
#include "framework/control_text.h"
#include "framework/language_file.h"
#include "framework/manual_timer_clock.h"
#include "framework/menu_builder.h"
#include "framework/modal_test_hook.h"
#include "framework/resources.h"
#include "framework/skin_loader.h"
#include "framework/skin_window.h"
#include "framework/timer_clock.h"
#include "framework/tray_icon.h"
#include "framework/window_timers.h"
#include "qt_wait.h"

namespace mokta {

// Readable notifications in failure messages.
void PrintTo(const Notification& n, std::ostream* os) {
  *os << (n.type + ' ' + n.sender_name).toStdString() << ' ' << n.wparam;
}

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Collects the framework's log lines for the life of a scope.
class LogCapture {
 public:
  LogCapture() {
    Current() = this;
    previous_ = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext& context, const QString& text) {
          if (QLatin1String(context.category) == QLatin1String("mokta.framework")) {
            Current()->lines.push_back(text);
          }
        });
  }
  ~LogCapture() {
    qInstallMessageHandler(previous_);
    Current() = nullptr;
  }
  bool Contains(const QString& part) const {
    for (const QString& line : lines) {
      if (line.contains(part)) return true;
    }
    return false;
  }
  std::vector<QString> lines;

 private:
  static LogCapture*& Current() {
    static LogCapture* current = nullptr;
    return current;
  }
  QtMessageHandler previous_;
};

// Replaces the test-failing missing-control handler for a scope, collecting the misses.
class MissCapture {
 public:
  MissCapture() {
    SetMissingControlHandler([this](const MissingControl& miss) { misses.push_back(miss); });
  }
  ~MissCapture();
  std::vector<MissingControl> misses;
};

void FailOnMissingControl(const MissingControl& miss) {
  ADD_FAILURE() << "missing control " << miss.name.toStdString() << " in "
                << miss.owner.toStdString();
}

MissCapture::~MissCapture() {
  SetMissingControlHandler(FailOnMissingControl);
}

constexpr std::uint32_t kUnhandledMessage = 0x0400 + 999;

// The window of the fixture layout, recording what reaches it.
class TestWindow : public SkinWindow {
 public:
  explicit TestWindow(QWidget* parent = nullptr, const QString& skin = "window.xml")
      : SkinWindow(parent) {
    clock.start();
    LoadSkin(skin);
  }
  ~TestWindow() override {
    if (destroyed != nullptr) *destroyed = true;
  }

  struct Message {
    std::uint32_t message;
    std::uintptr_t wparam;
    std::intptr_t lparam;
    bool on_ui_thread;
  };

  std::vector<Notification> notes;
  std::function<void(const Notification&)> on_notify;
  std::vector<Message> messages;
  std::vector<std::pair<int, qint64>> fired;  // timer id, now() at the expiry
  std::function<qint64()> now;  // milliseconds; default: since construction, on the real clock
  std::function<void(int id)> on_timer;
  std::atomic<int>* timer_count = nullptr;  // counts expiries, readable after destruction
  bool* destroyed = nullptr;
  bool allow_close = true;
  int shows = 0;
  QElapsedTimer clock;

 protected:
  void Notify(const Notification& n) override {
    notes.push_back(n);
    if (on_notify) on_notify(n);
  }
  std::intptr_t HandleCustomMessage(std::uint32_t message, std::uintptr_t wparam,
                                    std::intptr_t lparam, bool& handled) override {
    messages.push_back({message, wparam, lparam, QThread::currentThread() == thread()});
    handled = message != kUnhandledMessage;
    return static_cast<std::intptr_t>(wparam) + lparam;
  }
  void OnTimer(int id) override {
    fired.emplace_back(id, now ? now() : clock.elapsed());
    if (timer_count != nullptr) ++*timer_count;
    if (on_timer) on_timer(id);
  }
  bool OnCloseRequest() override { return allow_close; }
  void showEvent(QShowEvent* event) override {
    ++shows;
    SkinWindow::showEvent(event);
  }
};

bool IsFocusOrHover(const QString& type) {
  return type == notify::kSetFocus || type == notify::kKillFocus || type == notify::kMouseEnter ||
         type == notify::kMouseLeave;
}

// "type sender wparam" of each notification, focus and hover left out.
std::vector<std::string> Summary(const std::vector<Notification>& notes) {
  std::vector<std::string> out;
  for (const Notification& n : notes) {
    if (IsFocusOrHover(n.type)) continue;
    out.push_back(QStringLiteral("%1 %2 %3")
                      .arg(n.type, n.sender_name)
                      .arg(static_cast<std::intptr_t>(n.wparam))
                      .toStdString());
  }
  return out;
}

QString FixturePath(const QString& name) {
  return ResourcePath(name);
}

// ---- Language file

TEST(LanguageFile, LoadsTextsAndShowsAMissingKeyAsItself) {
  LanguageFile texts;
  ASSERT_TRUE(texts.Load(FixturePath("lan.xml")));
  EXPECT_EQ(texts.Text("ok_text"), "OK");
  EXPECT_EQ(texts.Text("two_lines_text"), "Line one\n  line two & more");
  EXPECT_TRUE(texts.Has("exit_text"));
  EXPECT_FALSE(texts.Has("no_such_text"));
  EXPECT_EQ(texts.Text("no_such_text"), "no_such_text");
  EXPECT_EQ(texts.Keys().size(), 9);
}

TEST(LanguageFile, ARepeatedKeyKeepsItsLastTextAndIsLogged) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QFile file(dir.filePath("lan.xml"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(
      "<Language><Text key=\"a_text\">first</Text><Note/><Text>no key</Text>"
      "<Text key=\"a_text\">second</Text></Language>");
  file.close();
  LogCapture log;
  LanguageFile texts;
  ASSERT_TRUE(texts.Load(file.fileName()));
  EXPECT_EQ(texts.Text("a_text"), "second");
  EXPECT_EQ(texts.size(), 1);
  EXPECT_TRUE(log.Contains("a_text"));
}

TEST(LanguageFile, DamagedOrMissingFileWarnsAndLeavesEveryTextAsItsKey) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString damaged = dir.filePath("lan.xml");
  QFile file(damaged);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  // A good first entry, then the file breaks off: nothing of it may be used.
  file.write("<Language>\n<Text key=\"ok_text\">OK</Text>\n<Text key=\"exit_text\">Ex");
  file.close();
  const QString wrong_root = dir.filePath("other.xml");
  QFile other(wrong_root);
  ASSERT_TRUE(other.open(QIODevice::WriteOnly));
  other.write("<Texts><Text key=\"ok_text\">OK</Text></Texts>");
  other.close();

  for (const QString& path : {damaged, wrong_root, dir.filePath("missing.xml")}) {
    SCOPED_TRACE(path.toStdString());
    LogCapture log;
    LanguageFile texts;
    EXPECT_FALSE(texts.Load(path));
    EXPECT_EQ(texts.size(), 0);
    EXPECT_EQ(texts.Text("ok_text"), "ok_text");
    EXPECT_TRUE(log.Contains(path));
  }
}

// ---- Layouts, control texts and look-ups

TEST(SkinWindow, LayoutFillsTheWindowWithItsSizeAndTranslatedKeyTexts) {
  TestWindow window;
  EXPECT_EQ(window.size(), QSize(320, 240));
  EXPECT_EQ(window.windowTitle(), "Test Window");
  auto* ok = window.Find<QPushButton>("btn_ok");
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->text(), "OK");
  EXPECT_EQ(ControlTextKey(ok), "ok_text");
  EXPECT_EQ(ok->toolTip(), "A helpful tip");
  EXPECT_EQ(window.Find<QPushButton>("btn_plain")->text(), "Plain text");
  EXPECT_EQ(ControlTextKey(window.Find("btn_plain")), "");
  EXPECT_EQ(window.Find<QCheckBox>("check_a")->text(), "Remember");
  EXPECT_EQ(window.Find<QComboBox>("combo")->itemText(0), "First item");
  EXPECT_EQ(window.Find<QComboBox>("combo")->itemText(1), "Second item");
  // A key the language file lacks shows as the key, so it is seen and fixed.
  EXPECT_EQ(window.Find<QLabel>("label_missing_key")->text(), "missing_key_text");
}

TEST(SkinWindow, CodeSetsTextAsKeyOrAsPlainTextWithoutNotifying) {
  TestWindow window;
  auto* label = window.Find<QLabel>("label_missing_key");
  SetControlTextKey(label, "ok_text");
  EXPECT_EQ(label->text(), "OK");
  SetControlText(label, "ok_text");  // plain text is never looked up
  EXPECT_EQ(label->text(), "ok_text");
  EXPECT_EQ(ControlTextKey(label), "");

  auto* edit = window.Find<QLineEdit>("edit");
  SetControlTextKey(edit, "exit_text");
  EXPECT_EQ(ControlText(edit), "Exit");
  SetControlText(window.Find("btn_plain"), "Changed");
  EXPECT_EQ(ControlText(window.Find("btn_plain")), "Changed");
  EXPECT_THAT(window.notes, IsEmpty());
}

TEST(SkinWindow, KeyTextsAreTheOnesEndingInTextWithoutSpaces) {
  EXPECT_TRUE(IsTextKey("warning_title_text"));
  EXPECT_FALSE(IsTextKey("Warning"));
  EXPECT_FALSE(IsTextKey("the plain_text"));
  EXPECT_FALSE(IsTextKey("text"));
  EXPECT_FALSE(IsTextKey("ok_text_2"));
}

TEST(SkinWindow, MissingOrMistypedControlIsLoggedAndReported) {
  TestWindow window;
  MissCapture misses;
  LogCapture log;
  EXPECT_EQ(window.Find<QPushButton>("btn_okk"), nullptr);
  EXPECT_EQ(window.Find<QSlider>("btn_ok"), nullptr);            // there, but not a slider
  EXPECT_EQ(window.FindOptional<QLabel>("dpi_label"), nullptr);  // may be absent: no report
  ASSERT_EQ(misses.misses.size(), 2u);
  EXPECT_EQ(misses.misses[0].owner, "window.xml");
  EXPECT_EQ(misses.misses[0].name, "btn_okk");
  EXPECT_EQ(misses.misses[0].found_class, "");
  EXPECT_EQ(misses.misses[1].expected, "QSlider");
  EXPECT_EQ(misses.misses[1].found_class, "QPushButton");
  EXPECT_TRUE(log.Contains("btn_okk"));
  EXPECT_TRUE(log.Contains("QSlider"));
}

TEST(SkinWindow, BrokenLayoutLeavesAnEmptyWindowAndEveryLookUpReported) {
  LogCapture log;
  MissCapture misses;
  TestWindow window(nullptr, "broken.xml");
  EXPECT_EQ(window.skin_root(), nullptr);
  EXPECT_TRUE(log.Contains("broken.xml"));
  EXPECT_EQ(window.Find<QPushButton>("btn_ok"), nullptr);
  EXPECT_EQ(misses.misses.size(), 1u);
}

class ColorSwatch : public QWidget {
 public:
  using QWidget::QWidget;
};

TEST(SkinWindow, RegisteredControlClassesAreBuiltFromLayoutsInSubFolders) {
  RegisterSkinControl("ColorSwatch", [](QWidget* parent) { return new ColorSwatch(parent); });
  SkinWindow window;
  ASSERT_TRUE(window.LoadSkin("MS/custom.xml"));
  auto* swatch = window.Find<ColorSwatch>("swatch");
  ASSERT_NE(swatch, nullptr);
  EXPECT_EQ(swatch->geometry(), QRect(10, 10, 60, 60));
  // The layout's root was a dialog; inside the window it is a plain child, not a window.
  EXPECT_FALSE(window.skin_root()->isWindow());
}

TEST(Resources, RelativeStyleSheetUrlsPointIntoTheResourceFolder) {
  const QString sheet =
      "a { image: url(icons/a.png); } b { image: url(\"b.png\"); } "
      "c { image: url(/abs/c.png); } d { image: url(:/qrc/d.png); } e { image: url(data:x); }";
  EXPECT_EQ(
      ResolveStyleSheetUrls(sheet, "/res/"),
      "a { image: url(/res/icons/a.png); } b { image: url(\"/res/b.png\"); } "
      "c { image: url(/abs/c.png); } d { image: url(:/qrc/d.png); } e { image: url(data:x); }");
}

TEST(Resources, FolderComesFromTheEnvironmentElseBesideTheProgram) {
  const QByteArray saved = qgetenv("MOKTA_RES_DIR");
  qputenv("MOKTA_RES_DIR", "/some/where");
  EXPECT_EQ(ResourceFolder(), "/some/where/");
  qunsetenv("MOKTA_RES_DIR");
  EXPECT_EQ(ResourceFolder(), ExeFolder() + "res/");
  qputenv("MOKTA_RES_DIR", saved);
}

// ---- Notifications

TEST(Notifications, UserClicksNotifyWithTypeSenderAndState) {
  TestWindow window;
  window.show();
  QTest::mouseClick(window.Find<QPushButton>("btn_ok"), Qt::LeftButton);
  auto* check = window.Find<QCheckBox>("check_a");
  QTest::mouseClick(check, Qt::LeftButton);
  QTest::mouseClick(check, Qt::LeftButton);
  EXPECT_THAT(Summary(window.notes),
              ElementsAre("click btn_ok 0",  //
                          "click check_a 0", "selectchanged check_a 1", "checkclick check_a 1",
                          "click check_a 0", "selectchanged check_a 0", "checkclick check_a 0"));
  EXPECT_EQ(window.notes.front().sender, window.Find("btn_ok"));
}

TEST(Notifications, OptionReportsASelectionOnlyWhenItBecomesSelected) {
  TestWindow window;
  window.show();
  auto* second = window.Find<QRadioButton>("radio_2");
  QTest::mouseClick(second, Qt::LeftButton);
  QTest::mouseClick(second, Qt::LeftButton);  // already selected: a click, no change
  EXPECT_TRUE(second->isChecked());
  EXPECT_FALSE(window.Find<QRadioButton>("radio_1")->isChecked());
  EXPECT_THAT(Summary(window.notes),
              ElementsAre("click radio_2 0", "selectchanged radio_2 1", "click radio_2 0"));
}

TEST(Notifications, UserEditsOfValuesNotify) {
  TestWindow window;
  window.show();
  window.Find<QSlider>("slider")->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  QTest::keyClick(window.Find<QComboBox>("combo"), Qt::Key_Down);
  auto* edit = window.Find<QLineEdit>("edit");
  QTest::keyClicks(edit, "12");
  QTest::keyClick(edit, Qt::Key_Return);
  QTest::keyClick(window.Find<QListWidget>("list"), Qt::Key_Down);
  EXPECT_THAT(Summary(window.notes),
              ElementsAre("valuechanged slider 51", "itemselect combo 1", "textchanged edit 0",
                          "textchanged edit 0", "return edit 0", "itemselect list 0"));
}

TEST(Notifications, ValuesSetQuietlyNeverNotify) {
  TestWindow window;
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));  // so that focus changes at once
  window.Find("edit")->setFocus();
  window.notes.clear();
  auto* check = window.Find<QCheckBox>("check_a");
  auto* slider = window.Find<QSlider>("slider");
  auto* combo = window.Find<QComboBox>("combo");
  auto* edit = window.Find<QLineEdit>("edit");
  auto* list = window.Find<QListWidget>("list");
  auto* radio = window.Find<QRadioButton>("radio_2");
  auto* button = window.Find<QPushButton>("btn_ok");
  Quietly(check, [&] { check->setChecked(true); });
  Quietly(slider, [&] { slider->setValue(7); });
  Quietly(combo, [&] { combo->setCurrentIndex(2); });
  Quietly(edit, [&] { edit->setText("abc"); });
  Quietly(list, [&] { list->setCurrentRow(2); });
  Quietly(radio, [&] { radio->setChecked(true); });
  Quietly(button, [&] { button->click(); });
  Quietly(edit, [&] { edit->clearFocus(); });
  Quietly(edit, [&] { edit->setFocus(); });
  const int row = Quietly(list, [&] { return list->currentRow(); });
  EXPECT_EQ(row, 2);
  EXPECT_EQ(slider->value(), 7);
  EXPECT_TRUE(radio->isChecked());
  EXPECT_THAT(window.notes, IsEmpty());
  QCoreApplication::processEvents();  // a quiet toggle has nothing pending either
  EXPECT_THAT(window.notes, IsEmpty());
  // The setters of combo boxes and edits do not notify even without Quietly.
  combo->setCurrentIndex(0);
  edit->setText("x");
  QCoreApplication::processEvents();
  EXPECT_THAT(window.notes, IsEmpty());
}

TEST(Notifications, ToggleWithoutAClickNotifiesLikeAClickOnce) {
  // What an assistive tool's "Toggle" action does: toggle() and no click.
  TestWindow window;
  auto* check = window.Find<QCheckBox>("check_a");
  check->toggle();
  EXPECT_THAT(window.notes, IsEmpty());  // not before the current event is done
  QCoreApplication::processEvents();
  EXPECT_THAT(Summary(window.notes),
              ElementsAre("click check_a 0", "selectchanged check_a 1", "checkclick check_a 1"));
  // Of exclusive options only the one that became checked notifies, and a real click is
  // reported once.
  window.notes.clear();
  window.Find<QRadioButton>("radio_2")->toggle();
  QCoreApplication::processEvents();
  EXPECT_THAT(Summary(window.notes), ElementsAre("click radio_2 0", "selectchanged radio_2 1"));
  window.notes.clear();
  window.Find<QRadioButton>("radio_1")->click();
  QCoreApplication::processEvents();
  EXPECT_THAT(Summary(window.notes), ElementsAre("click radio_1 0", "selectchanged radio_1 1"));
}

TEST(Notifications, ListRowSetInCodeNotifiesUnlessQuiet) {
  // The way code selects "with notification": the handler runs as for a user's choice.
  TestWindow window;
  window.Find<QListWidget>("list")->setCurrentRow(1);
  EXPECT_THAT(Summary(window.notes), ElementsAre("itemselect list 1"));
}

TEST(Notifications, FocusAndHoverOfControls) {
  TestWindow window;
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  window.notes.clear();  // activation focused the first control, "btn_ok"
  auto* edit = window.Find<QLineEdit>("edit");
  edit->setFocus();
  window.Find<QPushButton>("btn_plain")->setFocus();
  QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
  QCoreApplication::sendEvent(window.Find("slider"), &enter);
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(window.Find("slider"), &leave);
  std::vector<std::string> seen;
  for (const Notification& n : window.notes) {
    seen.push_back((n.type + ' ' + n.sender_name).toStdString());
  }
  EXPECT_THAT(seen, ElementsAre("killfocus btn_ok", "setfocus edit", "killfocus edit",
                                "setfocus btn_plain", "mouseenter slider", "mouseleave slider"));
}

TEST(Notifications, VirtualWindowTakesEverythingInsideItsContainer) {
  TestWindow window;
  window.show();
  std::vector<Notification> page_notes;
  window.AddVirtualWindow("TestPage", [&](const Notification& n) { page_notes.push_back(n); });
  QTest::mouseClick(window.Find<QPushButton>("page_btn"), Qt::LeftButton);
  window.Find<QSlider>("page_slider")->triggerAction(QAbstractSlider::SliderPageStepAdd);
  QTest::mouseClick(window.Find<QPushButton>("btn_ok"), Qt::LeftButton);
  EXPECT_THAT(Summary(page_notes), ElementsAre("click page_btn 0", "valuechanged page_slider 10"));
  EXPECT_EQ(page_notes.front().virtual_window, "TestPage");
  EXPECT_THAT(Summary(window.notes), ElementsAre("click btn_ok 0"));

  // Unregistered, the page's controls reach the window, still naming their virtual window.
  window.RemoveVirtualWindow("TestPage");
  QTest::mouseClick(window.Find<QPushButton>("page_btn"), Qt::LeftButton);
  ASSERT_EQ(Summary(window.notes).size(), 2u);
  EXPECT_EQ(window.notes.back().virtual_window, "TestPage");
}

TEST(Notifications, CodeAndCustomControlsRaiseNotificationsThroughTheSameRoute) {
  TestWindow window;
  std::vector<Notification> page_notes;
  window.AddVirtualWindow("TestPage", [&](const Notification& n) { page_notes.push_back(n); });
  auto* swatch = new QWidget(window.Find("page_row"));
  swatch->setObjectName("swatch");
  EXPECT_TRUE(SendNotify(swatch, notify::kColorChanged, 0xFF112233u));
  EXPECT_THAT(Summary(page_notes), ElementsAre("colorchanged swatch 4279312947"));
  QWidget stray;
  EXPECT_FALSE(SendNotify(&stray, notify::kClick));

  // A control created in code notifies once it is wired.
  auto* added = new QPushButton("Added", window.skin_root());
  added->setObjectName("added_btn");
  window.WireControl(added);
  window.WireControl(added);  // twice is once
  added->click();
  EXPECT_THAT(Summary(window.notes), ElementsAre("click added_btn 0"));
}

TEST(Notifications, HandlerMayDeleteTheSenderMidway) {
  TestWindow window;
  window.show();
  QPointer<QCheckBox> check = window.Find<QCheckBox>("check_a");
  window.on_notify = [&](const Notification& n) {
    if (n.type == notify::kClick) delete n.sender;
  };
  check->click();
  EXPECT_TRUE(check.isNull());
  EXPECT_THAT(Summary(window.notes), ElementsAre("click check_a 0"));
  EXPECT_EQ(window.notes.front().sender, nullptr);
}

// ---- Window messages

TEST(WindowMessages, PostsFromAnotherThreadArriveOnTheUiThreadInOrder) {
  TestWindow window;
  constexpr int kCount = 500;
  std::shared_ptr<MessageTarget> target = window.message_target();
  std::thread poster([target] {
    for (int i = 0; i < kCount; ++i) target->Post(0x0400 + 515, i, -i);
  });
  poster.join();
  EXPECT_THAT(window.messages, IsEmpty());  // nothing runs before the event loop does
  WAIT_EQ(static_cast<int>(window.messages.size()), kCount);
  for (int i = 0; i < kCount; ++i) {
    EXPECT_EQ(window.messages[i].wparam, static_cast<std::uintptr_t>(i));
    EXPECT_EQ(window.messages[i].lparam, -i);
    EXPECT_TRUE(window.messages[i].on_ui_thread);
  }
}

TEST(WindowMessages, SendReturnsTheHandlersResultFromAnyThread) {
  TestWindow window;
  window.PostMessage(0x0401, 1, 1);
  // On the UI thread a sent message is handled at once, ahead of the posted one.
  EXPECT_EQ(window.SendMessage(0x0402, 20, 22), 42);
  EXPECT_EQ(window.SendMessage(kUnhandledMessage, 20, 22), 0);
  ASSERT_EQ(window.messages.size(), 2u);

  std::atomic<std::intptr_t> answer{-1};
  std::shared_ptr<MessageTarget> target = window.message_target();
  std::thread sender([&] { answer = target->Send(0x040D, 40, 2); });
  WAIT_EQ(answer.load(), std::intptr_t{42});
  sender.join();
  ASSERT_EQ(window.messages.size(), 4u);  // the posted one, then the sent one
  EXPECT_EQ(window.messages[2].message, 0x0401u);
  EXPECT_EQ(window.messages[3].message, 0x040Du);
  EXPECT_TRUE(window.messages[3].on_ui_thread);
}

TEST(WindowMessages, AGoneWindowTakesNoMessagesAndReleasesWaitingSenders) {
  bool destroyed = false;
  auto window = std::make_unique<TestWindow>();
  window->destroyed = &destroyed;
  std::shared_ptr<MessageTarget> target = window->message_target();
  EXPECT_TRUE(target->Post(0x0401, 0, 0));  // queued, then the window goes
  std::atomic<std::intptr_t> answer{-1};
  std::atomic<bool> queued{false};
  std::thread sender([&] {
    queued = true;
    answer = target->Send(0x0402, 1, 1);
  });
  WAIT_UNTIL(queued.load());
  window.reset();
  EXPECT_TRUE(destroyed);
  sender.join();  // must not hang: whether it was handled or dropped, it returns
  EXPECT_TRUE(answer == 0 || answer == 2);
  EXPECT_FALSE(target->Post(0x0401, 0, 0));
  EXPECT_EQ(target->Send(0x0401, 0, 0), 0);
  QCoreApplication::processEvents();  // the queued post finds no window and is dropped
}

// ---- Timers

// Windows made in these tests run their timers on a manual clock; `fired` notes its time.
class WindowTimerTest : public ::testing::Test {
 protected:
  std::unique_ptr<TestWindow> MakeWindow() {
    auto window = std::make_unique<TestWindow>();
    window->now = [clock = clock_.get()] { return clock->now(); };
    return window;
  }

  std::shared_ptr<ManualTimerClock> clock_ = std::make_shared<ManualTimerClock>();
  ScopedTimerClock use_clock_{clock_};
};

using Fired = std::vector<std::pair<int, qint64>>;

TEST_F(WindowTimerTest, SettingAnIdAgainRestartsIt) {
  auto window = MakeWindow();
  window->SetTimer(52, 300);
  clock_->Advance(150);  // half the period passes, then the timer is set again
  window->SetTimer(52, 300);
  clock_->Advance(299);
  EXPECT_THAT(window->fired, IsEmpty());
  clock_->Advance(1);
  EXPECT_EQ(window->fired, (Fired{{52, 450}}));  // a full period after the restart
  window->SetTimer(52, 100);                     // a new period counts from now
  clock_->Advance(250);
  EXPECT_EQ(window->fired, (Fired{{52, 450}, {52, 550}, {52, 650}}));
}

TEST_F(WindowTimerTest, ATimerRepeatsUntilKilledFromItsHandler) {
  auto window = MakeWindow();
  window->on_timer = [&](int id) {
    if (id == 515 && window->fired.size() == 3) {
      EXPECT_TRUE(window->KillTimer(515));
      window->SetTimer(1, 60);  // set from inside a handler
    }
  };
  window->SetTimer(515, 5);
  EXPECT_TRUE(window->IsTimerActive(515));
  clock_->Advance(200);
  EXPECT_EQ(window->fired, (Fired{{515, 5}, {515, 10}, {515, 15}, {1, 75}, {1, 135}, {1, 195}}));
  EXPECT_FALSE(window->IsTimerActive(515));
  EXPECT_FALSE(window->KillTimer(515));
  EXPECT_FALSE(window->KillTimer(9999));
  EXPECT_TRUE(window->KillTimer(1));
  EXPECT_EQ(clock_->running_timers(), 0);
}

TEST_F(WindowTimerTest, NoTimerFiresAfterTheWindowIsGone) {
  std::atomic<int> count{0};
  auto window = MakeWindow();
  window->timer_count = &count;
  window->SetTimer(1, 0);  // already due
  window->SetTimer(2, 10);
  window.reset();
  clock_->Advance(100);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(clock_->running_timers(), 0);

  // A window deleted by its own handler, with a second timer due at the same moment.
  window = MakeWindow();
  window->timer_count = &count;
  window->on_timer = [&](int) { window.reset(); };
  window->SetTimer(1, 10);
  window->SetTimer(2, 10);
  clock_->Advance(100);
  EXPECT_EQ(count, 1);
}

TEST_F(WindowTimerTest, AWindowKeepsTheClockThatWasInForceWhenItWasMade) {
  auto manual = MakeWindow();
  {
    ScopedTimerClock real(QtTimerClock());
    TestWindow window;
    window.SetTimer(1, 20);
    EXPECT_TRUE(window.IsTimerActive(1));
    clock_->Advance(1000);
    EXPECT_THAT(window.fired, IsEmpty());  // runs on Qt's timers, not on the manual clock
  }
  manual->SetTimer(7, 20);  // made before the inner scope, set after it
  clock_->Advance(20);
  EXPECT_EQ(manual->fired, (Fired{{7, 1020}}));
}

// The program's clock: Qt's timers, which never fire early and repeat until killed.
TEST(WindowTimers, TheProgramsClockFiresOnTimeRepeatsAndStops) {
  TestWindow window;
  window.on_timer = [&](int id) {
    if (id == 515 && window.fired.size() == 3) {
      EXPECT_TRUE(window.KillTimer(515));
    }
  };
  window.SetTimer(515, 5);
  EXPECT_TRUE(window.IsTimerActive(515));
  WAIT_EQ(window.fired.size(), 3u);
  EXPECT_FALSE(window.IsTimerActive(515));
  EXPECT_GE(window.fired[2].second, 15);

  const qint64 set_at = window.clock.elapsed();
  window.SetTimer(1, 60);
  WAIT_EQ(window.fired.size(), 4u);
  EXPECT_EQ(window.fired.back().first, 1);
  EXPECT_GE(window.fired.back().second - set_at, 60);
  EXPECT_TRUE(window.KillTimer(1));
}

TEST(WindowTimers, TheProgramsClockCallsNoHandlerOnceTheTimersAreGone) {
  QObject owner;  // outlives the timers, as a window's members may
  int count = 0;
  WindowTimers due(&owner, [&](int id) {
    ++count;
    due.KillTimer(id);
  });
  due.SetTimer(1, 0);
  QCoreApplication::processEvents();  // a zero timer fires in the next pass of the event loop
  ASSERT_EQ(count, 1);

  auto timers = std::make_unique<WindowTimers>(&owner, [&](int) { ++count; });
  timers->SetTimer(1, 0);
  timers->SetTimer(2, 0);
  timers.reset();
  // Had a zero timer survived, it would fire in this pass of the event loop.
  QCoreApplication::processEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QCoreApplication::processEvents();
  EXPECT_EQ(count, 1);
}

// The manual clock on its own: the rules tests rely on when they move it.
struct Expiry {
  char timer;
  qint64 at;
  friend bool operator==(const Expiry&, const Expiry&) = default;
};
void PrintTo(const Expiry& e, std::ostream* os) {
  *os << e.timer << '@' << e.at;
}
using Expiries = std::vector<Expiry>;

class Timers {
 public:
  explicit Timers(ManualTimerClock& clock) : clock_(clock) {}
  std::unique_ptr<TimerClock::Timer>& Make(char name, std::function<void()> also = {}) {
    auto& timer = timers_[name];
    timer = clock_.MakeTimer(nullptr, [this, name, also] {
      log.push_back({name, clock_.now()});
      if (also) also();
    });
    return timer;
  }
  std::unique_ptr<TimerClock::Timer>& operator[](char name) { return timers_[name]; }
  Expiries log;

 private:
  ManualTimerClock& clock_;
  std::map<char, std::unique_ptr<TimerClock::Timer>> timers_;
};

TEST(ManualTimerClock, ExpiriesFireInTimeOrderThenInStartOrderAndKeepTheirPeriod) {
  ManualTimerClock clock;
  Timers t(clock);
  t.Make('a')->Start(30);
  t.Make('b')->Start(20);
  t.Make('c')->Start(30);
  EXPECT_EQ(clock.TimeToNextExpiry(), 20);
  clock.Advance(59);
  EXPECT_EQ(t.log, (Expiries{{'b', 20}, {'a', 30}, {'c', 30}, {'b', 40}}));
  EXPECT_EQ(clock.now(), 59);
  EXPECT_EQ(clock.TimeToNextExpiry(), 1);
  clock.Advance(1);
  EXPECT_EQ(t.log.size(), 7u);
  EXPECT_EQ(Expiries(t.log.begin() + 4, t.log.end()), (Expiries{{'a', 60}, {'b', 60}, {'c', 60}}));
  clock.Advance(0);  // nothing is due at 60 any more
  EXPECT_EQ(t.log.size(), 7u);
  EXPECT_EQ(clock.running_timers(), 3);
}

TEST(ManualTimerClock, WhatACallbackDoesTakesEffectWithinTheSameAdvance) {
  ManualTimerClock clock;
  Timers t(clock);
  t.Make('a', [&] {
     if (t.log.size() > 1) return;
     t['c']->Stop();    // due at this same moment, after `a`
     t['b']->Start(5);  // restarted: due 5 ms from now instead of at 100
     t['d']->Start(0);  // due now: fires in this Advance
     EXPECT_TRUE(t['d']->IsActive());
   })->Start(10);
  t.Make('c')->Start(10);
  t.Make('b')->Start(100);
  t.Make('d', [&] { t['d']->Stop(); });
  clock.Advance(15);
  EXPECT_EQ(t.log, (Expiries{{'a', 10}, {'d', 10}, {'b', 15}}));
  EXPECT_FALSE(t['c']->IsActive());
  EXPECT_FALSE(t['d']->IsActive());
  EXPECT_EQ(clock.TimeToNextExpiry(), 5);  // a and b, both at 20
}

TEST(ManualTimerClock, ADestroyedTimerNeverFiresAlsoWhenDestroyedByACallback) {
  ManualTimerClock clock;
  Timers t(clock);
  t.Make('x', [&] {
     t['y'].reset();  // due at this same moment
     t['x'].reset();  // itself, while its own callback runs
   })->Start(10);
  t.Make('y')->Start(10);
  t.Make('z')->Start(5);
  t['z'].reset();
  clock.Advance(100);
  EXPECT_EQ(t.log, (Expiries{{'x', 10}}));
  EXPECT_EQ(clock.running_timers(), 0);
  EXPECT_EQ(clock.TimeToNextExpiry(), std::nullopt);
}

TEST(ManualTimerClock, AZeroPeriodFiresAtOnceThenOncePerMillisecond) {
  ManualTimerClock clock;
  Timers t(clock);
  t.Make('z', [&] { t['z']->Start(0); })->Start(0);  // restarts itself every time
  clock.Advance(0);
  EXPECT_EQ(t.log, (Expiries{{'z', 0}}));
  clock.Advance(3);  // ends, although the timer is always due again
  EXPECT_EQ(t.log, (Expiries{{'z', 0}, {'z', 1}, {'z', 2}, {'z', 3}}));
}

TEST(ManualTimerClock, TimersOfAGoneOwnerStayQuietAndTimersMayOutliveTheClock) {
  std::unique_ptr<TimerClock::Timer> outliving;
  int calls = 0;
  {
    ManualTimerClock clock;
    auto owner = std::make_unique<QObject>();
    auto owned = clock.MakeTimer(owner.get(), [&] { ++calls; });
    owned->Start(10);
    owner.reset();
    EXPECT_FALSE(owned->IsActive());
    clock.Advance(50);
    EXPECT_EQ(calls, 0);
    outliving = clock.MakeTimer(nullptr, [&] { ++calls; });
    outliving->Start(10);
  }
  EXPECT_TRUE(outliving->IsActive());  // harmless: no clock moves it any more
  outliving.reset();
  EXPECT_EQ(calls, 0);
}

// ---- Modal windows

TEST(ModalWindows, CloseEndsTheLoopWithItsResult) {
  TestWindow window;
  window.on_notify = [&](const Notification& n) {
    if (n.type == notify::kClick && n.sender_name == "btn_ok") window.Close(1);
  };
  ScopedModalTestHook drive([&](QWidget&) -> std::optional<int> {
    QTimer::singleShot(0, &window, [&] {
      EXPECT_TRUE(window.is_modal_running());
      EXPECT_TRUE(window.isVisible());
      QTest::mouseClick(window.Find<QPushButton>("btn_ok"), Qt::LeftButton);
    });
    return std::nullopt;
  });
  EXPECT_EQ(window.ShowModal(), 1);
  EXPECT_FALSE(window.isVisible());
  EXPECT_FALSE(window.is_modal_running());
}

TEST(ModalWindows, ClosingByTheWindowManagerGivesZeroUnlessRefused) {
  TestWindow window;
  ScopedModalTestHook drive([&](QWidget&) -> std::optional<int> {
    QTimer::singleShot(0, &window, [&] { window.close(); });
    return std::nullopt;
  });
  EXPECT_EQ(window.ShowModal(), 0);

  TestWindow stubborn;
  stubborn.allow_close = false;
  ScopedModalTestHook refuse([&](QWidget&) -> std::optional<int> {
    QTimer::singleShot(0, &stubborn, [&] {
      stubborn.close();
      EXPECT_TRUE(stubborn.is_modal_running());
      stubborn.Close(7);
    });
    return std::nullopt;
  });
  EXPECT_EQ(stubborn.ShowModal(), 7);
}

TEST(ModalWindows, TheTestHookAnswersWithoutShowingTheWindow) {
  TestWindow window;
  QWidget* seen = nullptr;
  ScopedModalTestHook answer([&](QWidget& w) -> std::optional<int> {
    seen = &w;
    return 1;
  });
  EXPECT_EQ(window.ShowModal(), 1);
  EXPECT_EQ(seen, &window);
  EXPECT_EQ(window.shows, 0);
}

TEST(ModalWindows, AModalChildIsCentredOnItsParent) {
  TestWindow parent;
  parent.setGeometry(100, 100, 600, 400);
  parent.show();
  TestWindow child(&parent);
  QPoint centre;
  ScopedModalTestHook drive([&](QWidget&) -> std::optional<int> {
    QTimer::singleShot(0, &child, [&] {
      EXPECT_EQ(child.windowModality(), Qt::WindowModal);
      centre = child.frameGeometry().center();
      child.Close(0);
    });
    return std::nullopt;
  });
  child.ShowModal();
  EXPECT_LE((centre - parent.frameGeometry().center()).manhattanLength(), 2);
}

TEST(ModalWindows, AWindowMarkedSoDeletesItselfWhenItEnds) {
  QPointer<TestWindow> popup = new TestWindow;
  popup->set_delete_on_final(true);
  popup->show();
  QPointer<TestWindow> closed_by_user = new TestWindow;
  closed_by_user->set_delete_on_final(true);
  closed_by_user->show();
  QPointer<TestWindow> kept = new TestWindow;  // not marked: ends but lives on
  kept->show();

  popup->Close(0);
  closed_by_user->close();
  kept->Close(0);
  EXPECT_FALSE(popup.isNull());  // not at once: once control is back in the event loop
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(popup.isNull());
  EXPECT_TRUE(closed_by_user.isNull());
  ASSERT_FALSE(kept.isNull());
  EXPECT_FALSE(kept->isVisible());
  delete kept;
}

// ---- Menus

std::vector<std::string> ActionTexts(const QMenu* menu) {
  std::vector<std::string> out;
  for (const QAction* action : menu->actions()) {
    out.push_back(action->isSeparator() ? "--" : action->text().toStdString());
  }
  return out;
}

TEST(Menus, MenuFileBuildsItemsWhoseClickReportsTheirName) {
  QWidget owner;
  std::vector<QString> chosen;
  QMenu* menu = BuildMenu("menus/test_menu.xml", &owner,
                          [&](const QString& name) { chosen.push_back(name); });
  EXPECT_THAT(ActionTexts(menu), ElementsAre("Configuration", "Plain words", "--", "More",
                                             "nameless_text_item", "Exit"));
  EXPECT_FALSE(menu->actions().back()->isEnabled());
  QMenu* sub = menu->actions()[3]->menu();
  ASSERT_NE(sub, nullptr);
  EXPECT_THAT(ActionTexts(sub), ElementsAre("Sub item"));

  menu->actions()[0]->trigger();
  sub->actions()[0]->trigger();
  EXPECT_THAT(chosen, ElementsAre("configuration", "ms_1_sub_item"));
}

TEST(Menus, MissingOrDamagedMenuFileGivesAnEmptyMenuAndAWarning) {
  QWidget owner;
  for (const QString file : {"menus/broken_menu.xml", "menus/none.xml"}) {
    LogCapture log;
    QMenu* menu = BuildMenu(file, &owner, nullptr);
    ASSERT_NE(menu, nullptr);
    EXPECT_THAT(menu->actions(), IsEmpty()) << file.toStdString();
    EXPECT_TRUE(log.Contains(file)) << file.toStdString();
  }
}

TEST(Menus, MenusNestedTooDeepAreADamagedFileNotAStackOverflow) {
  QTemporaryDir dir;
  const QString file = dir.filePath("deep_menu.xml");
  // A top menu and `levels` sub-menus, one in the other.
  auto write_nested = [&file](int levels) {
    const QByteArray xml = "<Menu>" + QByteArray("<Menu text=\"sub\">").repeated(levels) +
                           "<Item name=\"deepest\"/>" + QByteArray("</Menu>").repeated(levels + 1);
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
    out.write(xml);
  };
  QWidget owner;
  write_nested(16);
  QMenu* menu = BuildMenu(file, &owner, nullptr);
  for (int level = 0; level < 16; ++level) {
    ASSERT_EQ(menu->actions().size(), 1) << level;
    menu = menu->actions()[0]->menu();
    ASSERT_NE(menu, nullptr) << level;
  }
  EXPECT_EQ(menu->actions()[0]->objectName(), "deepest");

  for (const int levels : {17, 200000}) {
    LogCapture log;
    write_nested(levels);
    menu = BuildMenu(file, &owner, nullptr);
    EXPECT_THAT(menu->actions(), IsEmpty()) << levels;
    EXPECT_TRUE(log.Contains("nest deeper")) << levels;
  }
}

// ---- Tray icon

TEST(TrayIcon, ClicksBecomeIntentsCarryingTheButtonUpMessages) {
  std::vector<TrayClick> clicks;
  TrayIcon tray(QIcon(), "Mouse", [&](TrayClick click) { clicks.push_back(click); });
  tray.Activated(QSystemTrayIcon::Trigger);
  tray.Activated(QSystemTrayIcon::Context);
  tray.Activated(QSystemTrayIcon::DoubleClick);
  tray.Activated(QSystemTrayIcon::MiddleClick);
  EXPECT_THAT(clicks, ElementsAre(TrayClick::kLeftButtonUp, TrayClick::kRightButtonUp));
  EXPECT_EQ(static_cast<std::intptr_t>(TrayClick::kLeftButtonUp), 0x0202);
  EXPECT_EQ(static_cast<std::intptr_t>(TrayClick::kRightButtonUp), 0x0205);
  // Without a notification area (as offscreen) the icon refuses to show.
  EXPECT_EQ(tray.Show(), TrayIcon::Available());
}

}  // namespace
}  // namespace mokta

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("MOKTA_RES_DIR", MOKTA_FRAMEWORK_FIXTURES);
  QLocale::setDefault(QLocale::c());
  QApplication app(argc, argv);
  ::testing::InitGoogleMock(&argc, argv);
  auto texts = std::make_shared<mokta::LanguageFile>();
  texts->LoadFromResources();
  mokta::SetProgramLanguage(texts);
  mokta::SetMissingControlHandler(mokta::FailOnMissingControl);
  return RUN_ALL_TESTS();
}
