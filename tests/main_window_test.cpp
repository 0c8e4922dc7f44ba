// The main window against the virtual mouse, offscreen: its layouts and texts, the routing of
// its messages, the no-device flow, the DPI pop-up, a clean shutdown, and the input hooks
// (the capture of the program's own windows, and the library released on every way out).
// Plus the program itself, twice: the second start ends with 1.

#include "app/main_window.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUiLoader>
#include <csignal>
#include <utility>
#include <vector>

#include "app/dpi_popup.h"
#include "app/hook_table.h"
#include "app/message_box.h"
#include "app/window_ids.h"
#include "app/window_input_capture.h"
#include "data/import_export.h"
#include "data/keyboard_layout.h"
#include "device/driver_messages.h"
#include "framework/control_lookup.h"
#include "framework/control_text.h"
#include "framework/language_file.h"
#include "framework/manual_timer_clock.h"
#include "framework/modal_test_hook.h"
#include "framework/resources.h"
#include "framework/timer_clock.h"
#include "framework/window_placement.h"
#include "qt_wait.h"
#include "test_main_window.h"
#include "virtual_mouse.h"

namespace mokta {
namespace {

const QString kSourceDir = QStringLiteral(MOKTA_SOURCE_DIR);
const QString kVirtualFolder = QStringLiteral(MOKTA_VIRTUAL_DRIVER_DIR "/");
// A fake input hook library that appends each call to the file named by FAKE_HOOK_LOG, and
// "unloaded" when it leaves the process.
const QString kFakeHookFolder = QStringLiteral(MOKTA_FAKE_HOOK_COMPLETE_DIR "/");

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

// Every layout: a button that shows only a glyph or a colour has a tool tip in words and a
// name for screen readers; every look a control asks for is in the skin; the name dialog's
// edit has a visible label and its close button looks like the main window's.
TEST_F(MainWindowTest, GlyphButtonsHaveToolTipsEveryLookIsSkinnedAndTheNameDialogIsLabelled) {
  QFile qss(kSourceDir + "/res/skin.qss");
  ASSERT_TRUE(qss.open(QIODevice::ReadOnly));
  const QString skin = QString::fromUtf8(qss.readAll());
  for (const char* file :
       {"main.xml", "msg.xml", "DPImsg.xml", "DpiColorDialog.xml", "MS/MS_1/ms_1_profile_name.xml",
        "MS/MS_1/selectmacro.xml", "MS/MS_1/selectgun.xml", "shortcut.xml"}) {
    SCOPED_TRACE(file);
    SkinWindow window;
    ASSERT_TRUE(window.LoadSkin(QString::fromLatin1(file)));
    for (auto* button : window.findChildren<QAbstractButton*>()) {
      // The buttons of the mouse's buttons show their function, filled in by the page.
      if (!button->text().isEmpty() || button->property("skin") == "key") continue;
      const QString tip = button->toolTip();
      EXPECT_FALSE(tip.isEmpty() || IsTextKey(tip)) << button->objectName().toStdString();
      EXPECT_FALSE(button->accessibleName().isEmpty()) << button->objectName().toStdString();
    }
    for (auto* widget : window.findChildren<QWidget*>()) {
      const QString look = widget->property("skin").toString();
      if (look.isEmpty()) continue;
      EXPECT_TRUE(skin.contains(QStringLiteral("[skin=\"%1\"]").arg(look)))
          << widget->objectName().toStdString() << " asks for the look " << look.toStdString();
    }
  }
  SkinWindow main_window;
  ASSERT_TRUE(main_window.LoadSkin(QStringLiteral("main.xml")));
  SkinWindow dialog;
  ASSERT_TRUE(dialog.LoadSkin(QStringLiteral("MS/MS_1/ms_1_profile_name.xml")));
  QWidget* close = dialog.Find(QStringLiteral("btn_exit"));
  QWidget* exit = main_window.Find(QStringLiteral("exit_btn"));
  ASSERT_TRUE(close && exit);
  EXPECT_EQ(close->property("skin"), exit->property("skin"));
  EXPECT_EQ(close->property("glyph"), exit->property("glyph"));
  EXPECT_EQ(close->size(), exit->size());
  auto* edit = dialog.Find<QLineEdit>(QStringLiteral("edit_name"));
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(edit->accessibleName(), "Profile name");
  const QLabel* name_label = nullptr;
  for (auto* label : dialog.findChildren<QLabel*>()) {
    if (label->buddy() == edit) name_label = label;
  }
  ASSERT_NE(name_label, nullptr) << "the name edit has no label";
  EXPECT_TRUE(name_label->isVisibleTo(&dialog));
  EXPECT_EQ(name_label->text(), LanguageText(QStringLiteral("name_label_text")));
}

TEST(WindowPlacement, SavedPlaceIsKeptInsideItsScreenOrCentredOnThePrimary) {
  const QList<ScreenArea> screens = {{"A", QRect(0, 0, 1920, 1040)},
                                     {"B", QRect(1920, 0, 1280, 984)}};
  const QSize minimum(800, 572);
  const QSize fallback(800, 572);
  // Kept as saved.
  EXPECT_EQ(PlaceWindow(QRect(2000, 50, 900, 700), "B", screens, minimum, fallback),
            QRect(2000, 50, 900, 700));
  // Partly off its screen (the screen to its right is gone): moved back inside.
  EXPECT_EQ(PlaceWindow(QRect(2900, 500, 900, 700), "B", screens, minimum, fallback),
            QRect(2300, 284, 900, 700));
  // Larger than its screen: as large as the screen; smaller than the minimum: the minimum.
  EXPECT_EQ(PlaceWindow(QRect(1900, -20, 3000, 2000), "B", screens, minimum, fallback),
            QRect(1920, 0, 1280, 984));
  EXPECT_EQ(PlaceWindow(QRect(100, 100, 300, 200), "A", screens, minimum, fallback),
            QRect(100, 100, 800, 572));
  // Its screen is gone: centred on the primary one, at its size.
  EXPECT_EQ(PlaceWindow(QRect(5000, 50, 1000, 600), "C", screens, minimum, fallback),
            QRect(460, 220, 1000, 600));
  // Nothing saved: centred at the layout's size.
  EXPECT_EQ(PlaceWindow(QRect(), QString(), screens, minimum, fallback), QRect(560, 234, 800, 572));
  // A screen smaller than the minimum: the minimum, at the screen's corner.
  EXPECT_EQ(PlaceWindow(QRect(), QString(), {{"S", QRect(0, 0, 640, 480)}}, minimum, fallback),
            QRect(0, 0, 800, 572));

  // Dragging edges: the dragged edges follow, the others stay, the minimum holds.
  const QRect start(100, 100, 900, 700);
  const QSize none(16777215, 16777215);
  EXPECT_EQ(ResizedGeometry(start, Qt::RightEdge | Qt::BottomEdge, {50, 30}, minimum, none),
            QRect(100, 100, 950, 730));
  EXPECT_EQ(ResizedGeometry(start, Qt::LeftEdge | Qt::TopEdge, {-50, 30}, minimum, none),
            QRect(50, 130, 950, 670));
  EXPECT_EQ(ResizedGeometry(start, Qt::LeftEdge, {300, 0}, minimum, none),
            QRect(200, 100, 800, 700));
}

TEST_F(MainWindowTest, EdgesAndCornersResizeTheWindowAndThePageGrowsWithIt) {
  auto window = MakeWindow();
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  EXPECT_EQ(window->size(), QSize(800, 572));
  const int w = window->width();
  const int h = window->height();
  auto cursor_at = [&](QPoint at) {
    QWidget* under = window->childAt(at);
    return under ? under->cursor().shape() : Qt::ArrowCursor;
  };
  EXPECT_EQ(cursor_at({w - 1, h / 2}), Qt::SizeHorCursor);
  EXPECT_EQ(cursor_at({0, h / 2}), Qt::SizeHorCursor);
  EXPECT_EQ(cursor_at({w / 2, h - 1}), Qt::SizeVerCursor);
  EXPECT_EQ(cursor_at({w / 2, 0}), Qt::SizeVerCursor);
  EXPECT_EQ(cursor_at({w - 1, h - 1}), Qt::SizeFDiagCursor);
  EXPECT_EQ(cursor_at({w - 1, 0}), Qt::SizeBDiagCursor);

  QWidget* scroll = window->Find(QStringLiteral("ms_1_scroll_setting"));
  const QSize page_before = scroll->size();
  // The offscreen platform has no window manager to resize windows: the grip follows the
  // pointer itself, as it would on such a platform.
  QWidget* corner = window->childAt({w - 1, h - 1});
  const QPoint at = corner->mapFrom(window.get(), QPoint(w - 1, h - 1));
  QTest::mousePress(corner, Qt::LeftButton, {}, at);
  QTest::mouseMove(corner, at + QPoint(150, 100));
  QTest::mouseRelease(corner, Qt::LeftButton, {}, at + QPoint(150, 100));
  EXPECT_EQ(window->size(), QSize(950, 672));
  WAIT_EQ(scroll->size(), page_before + QSize(150, 100));

  QWidget* left = window->childAt({0, window->height() / 2});
  const QPoint from = left->mapFrom(window.get(), QPoint(0, window->height() / 2));
  QTest::mousePress(left, Qt::LeftButton, {}, from);
  QTest::mouseMove(left, from + QPoint(400, 0));  // no narrower than the layout allows
  QTest::mouseRelease(left, Qt::LeftButton, {}, from + QPoint(400, 0));
  EXPECT_EQ(window->width(), 800);
}

// The window's size and place are saved when a move or resize has rested and at exit, into
// "window.ini" of the data folder, and the next start puts it back before it is shown.
TEST_F(MainWindowTest, SizeAndPlaceAreKeptAcrossStarts) {
  auto clock = std::make_shared<ManualTimerClock>();
  ScopedTimerClock use_clock(clock);
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  // The offscreen screen is just wider than the window's smallest size.
  const QRect moved(screen.left(), screen.top() + 7, 800, screen.height() - 10);
  {
    auto window = MakeWindow();
    EXPECT_EQ(window->placement_file(), data_.filePath("window.ini"));
    window->show();
    window->setGeometry(moved);
    clock->Advance(CMainWnd::kPlacementRestMs);
    EXPECT_TRUE(QFile::exists(data_.filePath("window.ini")));
    auto second = MakeWindow();
    EXPECT_EQ(second->geometry(), moved);
    second->Exit();
    // At exit, without waiting for the rest.
    window->setGeometry(moved.adjusted(0, 1, 0, -4));
    window->Exit();
  }
  EXPECT_EQ(MakeWindow()->geometry(), moved.adjusted(0, 1, 0, -4));

  // Saved on a screen that is gone: centred on the primary one.
  {
    QSettings file(data_.filePath("window.ini"), QSettings::IniFormat);
    file.setValue("window/screen", "gone");
  }
  EXPECT_EQ(MakeWindow()->geometry().center(), screen.center());
}

// A placement file that cannot be written is told once, not at every move.
TEST_F(MainWindowTest, PlacementThatCannotBeSavedIsToldOnce) {
  auto clock = std::make_shared<ManualTimerClock>();
  ScopedTimerClock use_clock(clock);
  auto window = MakeWindow();
  ASSERT_TRUE(QDir().mkpath(window->placement_file()));  // a folder where the file should be
  QStringList keys;
  ScopedModalTestHook hook([&](QWidget& modal) -> std::optional<int> {
    if (QWidget* message = FindOptionalControl(&modal, QStringLiteral("warning"))) {
      keys << ControlTextKey(message);
    }
    return 1;
  });
  window->show();
  for (int x : {1, 2}) {
    window->move(x, 0);
    clock->Advance(CMainWnd::kPlacementRestMs);
  }
  EXPECT_EQ(keys, QStringList{"window_place_failed_text"});
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

// A store that cannot be used is told once, in a message box that names the file; the edits
// that follow, whose writes are refused, show no further box.
TEST_F(MainWindowTest, AStoreThatCannotBeOpenedIsToldOnceNamingTheFile) {
  const QString store = data_.path() + "/ms_1/pro.data";
  ASSERT_TRUE(QDir().mkpath(store));  // not a regular file
  QStringList keys;
  QStringList texts;
  ScopedModalTestHook hook([&](QWidget& modal) -> std::optional<int> {
    if (QWidget* message = FindOptionalControl(&modal, QStringLiteral("warning"))) {
      keys << ControlTextKey(message);
      texts << ControlText(message);
    }
    return 1;
  });
  auto window = MakeWindow();
  ASSERT_EQ(keys, QStringList{"store_not_file_text"});
  EXPECT_TRUE(texts[0].contains(store)) << texts[0].toStdString();
  EXPECT_EQ(window->core().session().profiles().size(), 1u);

  for (int i = 1; i <= 3; ++i) {
    window->core().session().EditCurrent([i](ProfileData& p) { p.set_brightness(i); });
    window->core().session().FlushStore();
  }
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(keys.size(), 1);
  EXPECT_TRUE(QFileInfo(store).isDir());
}

// ---- Input hooks

struct Posted {
  std::uint32_t message;
  std::uintptr_t wparam;
  std::intptr_t lparam;
  bool operator==(const Posted&) const = default;
};

void PrintTo(const Posted& p, std::ostream* out) {
  *out << "(" << p.message << ", 0x" << std::hex << p.wparam << std::dec << ", " << p.lparam << ")";
}

// A window as the input hooks see it, keeping what is posted to it.
class PostedEvents {
 public:
  const MoktaWindow* window() const { return &window_; }
  // What was posted since the last call.
  std::vector<Posted> Take() { return std::exchange(posted_, {}); }

 private:
  static void Record(void* context, std::uint32_t message, std::uintptr_t wparam,
                     std::intptr_t lparam) {
    static_cast<PostedEvents*>(context)->posted_.push_back({message, wparam, lparam});
  }
  std::vector<Posted> posted_;
  MoktaWindow window_{this, &PostedEvents::Record};
};

Posted Key(std::uint32_t vk, bool release) {
  return {MSG_HOOK_EVENT, vk, release ? 1 : 0};
}

// The window system delivering a key to `widget`'s top-level window, which hands it on to the
// focused widget (and to its parents while none accepts it). `keycode` is the xkb key code
// (0: none, as the offscreen platform gives).
void SendKey(QWidget& widget, QEvent::Type type, int key, quint32 keycode,
             Qt::KeyboardModifiers modifiers = Qt::NoModifier, bool repeat = false) {
  QKeyEvent event(type, key, modifiers, keycode, 0, 0, QString(), repeat);
  QCoreApplication::sendEvent(widget.window()->windowHandle(), &event);
}

void SendButton(QWidget& widget, QEvent::Type type, Qt::MouseButton button) {
  const QPointF at(5, 5);
  const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
  QMouseEvent event(type, at, widget.mapToGlobal(at), button, held, Qt::NoModifier);
  QCoreApplication::sendEvent(widget.window()->windowHandle(), &event);
}

// A window of the program with an edit that has the focus.
class CaptureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    edit_ = new QLineEdit(&top_);
    top_.resize(200, 100);
    top_.show();
    edit_->setFocus();
    ASSERT_NE(top_.windowHandle(), nullptr);
  }

  FixedUsLayout layout_;
  QWidget top_;
  QLineEdit* edit_ = nullptr;
  PostedEvents posted_;
};

// Keys are named by the layout from their key code, or from the Qt key where there is none;
// each is posted once although the window, the edit and its parent all see it; a held key
// repeats as presses.
TEST_F(CaptureTest, KeysOfTheProgramsWindowsArePostedOnceAsTheLibraryPostsThem) {
  WindowInputCapture capture(layout_);
  capture.InstallHook(posted_.window());
  capture.EnableHook(true);

  // Key code 24 is the key a US keyboard labels Q: its layout code wins over the Qt key.
  SendKey(top_, QEvent::KeyPress, Qt::Key_A, 24);
  SendKey(top_, QEvent::KeyRelease, Qt::Key_A, 24);
  SendKey(top_, QEvent::KeyPress, Qt::Key_F5, 0);  // not taken by the edit: reaches `top_` too
  SendKey(top_, QEvent::KeyPress, Qt::Key_5, 0, Qt::KeypadModifier);
  SendKey(top_, QEvent::KeyPress, Qt::Key_Exclam, 0, Qt::ShiftModifier);
  SendKey(top_, QEvent::KeyPress, Qt::Key_Shift, 62);    // the right-hand Shift
  SendKey(top_, QEvent::KeyPress, Qt::Key_VolumeUp, 0);  // no key of the key table
  EXPECT_EQ(posted_.Take(),
            (std::vector<Posted>{Key(0x51, false), Key(0x51, true), Key(0x74, false),
                                 Key(0x65, false), Key(0x31, false), Key(0xA1, false)}));

  SendKey(top_, QEvent::KeyPress, Qt::Key_A, 38);
  SendKey(top_, QEvent::KeyRelease, Qt::Key_A, 38, Qt::NoModifier, true);
  SendKey(top_, QEvent::KeyPress, Qt::Key_A, 38, Qt::NoModifier, true);
  SendKey(top_, QEvent::KeyRelease, Qt::Key_A, 38);
  EXPECT_EQ(posted_.Take(),
            (std::vector<Posted>{Key(0x41, false), Key(0x41, false), Key(0x41, true)}));
}

TEST_F(CaptureTest, MouseButtonsArePostedAsTheLibraryPostsThem) {
  WindowInputCapture capture(layout_);
  capture.InstallHook(posted_.window());
  capture.EnableMouseHook(true);
  capture.MouseWheelEnable(false);
  struct Case {
    Qt::MouseButton button;
    Posted down;
    Posted up;
  };
  const Case cases[] = {
      {Qt::LeftButton, {MSG_HOOK_EVENT, 0x201, 0}, {MSG_HOOK_EVENT, 0x202, 0}},
      {Qt::RightButton, {MSG_HOOK_EVENT, 0x204, 0}, {MSG_HOOK_EVENT, 0x205, 0}},
      {Qt::MiddleButton, {MSG_HOOK_EVENT, 0x207, 0}, {MSG_HOOK_EVENT, 0x208, 0}},
      {Qt::ForwardButton, {MSG_HOOK_EVENT, 0x20B, 1}, {MSG_HOOK_EVENT, 0x20C, 1}},
      {Qt::BackButton, {MSG_HOOK_EVENT, 0x20B, 2}, {MSG_HOOK_EVENT, 0x20C, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.button));
    SendButton(top_, QEvent::MouseButtonPress, c.button);
    SendButton(top_, QEvent::MouseButtonRelease, c.button);
    EXPECT_EQ(posted_.Take(), (std::vector<Posted>{c.down, c.up}));
  }
  // The second press of a double click is posted once; other buttons are not reported.
  SendButton(top_, QEvent::MouseButtonPress, Qt::LeftButton);
  SendButton(top_, QEvent::MouseButtonDblClick, Qt::LeftButton);
  SendButton(top_, QEvent::MouseButtonPress, Qt::ExtraButton3);
  EXPECT_EQ(posted_.Take(), (std::vector<Posted>{{MSG_HOOK_EVENT, 0x201, 0}}));
}

// Keys need the hook installed and enabled; buttons need the mouse part enabled as well; after
// RemoveHook nothing is posted, and a new InstallHook posts to its own window.
TEST_F(CaptureTest, GatesAreTheLibrarysAndNothingIsPostedAfterRemoveHook) {
  WindowInputCapture capture(layout_);
  auto key_and_button = [&] {
    SendKey(top_, QEvent::KeyPress, Qt::Key_A, 38);
    SendButton(top_, QEvent::MouseButtonPress, Qt::LeftButton);
    return posted_.Take();
  };
  const Posted key = Key(0x41, false);
  const Posted button{MSG_HOOK_EVENT, 0x201, 0};

  capture.EnableHook(true);
  capture.EnableMouseHook(true);
  EXPECT_TRUE(key_and_button().empty());  // not installed
  capture.EnableHook(false);
  capture.EnableMouseHook(false);
  capture.InstallHook(posted_.window());
  EXPECT_TRUE(key_and_button().empty());  // nothing enabled
  capture.EnableHook(true);
  EXPECT_EQ(key_and_button(), std::vector<Posted>{key});
  capture.EnableMouseHook(true);
  EXPECT_EQ(key_and_button(), (std::vector<Posted>{key, button}));
  capture.RemoveMouseHook();
  EXPECT_EQ(key_and_button(), std::vector<Posted>{key});
  capture.EnableMouseHook(true);
  capture.RemoveHook();
  EXPECT_FALSE(capture.installed());
  EXPECT_TRUE(key_and_button().empty());

  PostedEvents other;
  capture.InstallHook(other.window());
  key_and_button();
  EXPECT_EQ(other.Take(), (std::vector<Posted>{key, button}));
}

// Without an input hook library the window gives the hooks the capture of its own windows.
TEST_F(MainWindowTest, WithoutAHookLibraryTheProgramsWindowsAreCaptured) {
  auto window = MakeWindow();  // no libHook.so beside the test
  window->show();
  HookTable* hooks = window->core().hooks();
  ASSERT_NE(hooks, nullptr);
  EXPECT_FALSE(hooks->global());
  EXPECT_TRUE(hooks->has_window_capture());
  EXPECT_EQ(hooks->InWindowReasonKey(), QString(kHookMissingTextKey));
  PostedEvents posted;
  hooks->InstallHook(posted.window());
  hooks->EnableHook(true);
  SendKey(*window, QEvent::KeyPress, Qt::Key_A, 38);
  hooks->RemoveHook();
  SendKey(*window, QEvent::KeyPress, Qt::Key_A, 38);
  EXPECT_EQ(posted.Take(), std::vector<Posted>{Key(0x41, false)});
}

// The calls a fake hook library logged, one per line.
QStringList HookLog(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

const QStringList kReleasedThenUnloaded{"removemousehook", "removehook", "unloaded"};

// The tray's "exit" and closing the window where there is no tray remove the hooks, then
// unload the library.
TEST_F(MainWindowTest, ExitAndCloseReleaseTheHookLibraryBeforeUnloadingIt) {
  QTemporaryDir logs;
  for (const bool close : {false, true}) {
    SCOPED_TRACE(close ? "close" : "exit");
    const QString log = logs.filePath(close ? "close.log" : "exit.log");
    qputenv("FAKE_HOOK_LOG", QFile::encodeName(log));
    MouseCoreOptions options = test::TestCoreOptions(data_.path() + "/", kVirtualFolder);
    options.hook_library = kFakeHookFolder + kHookLibraryFile;
    auto window = test::MakeTestMainWindow(options);
    window->InitWindow();
    window->show();
    ASSERT_TRUE(window->core().hooks()->loaded());
    if (close) {
      ASSERT_FALSE(window->tray_in_use());
      window->close();
    } else {
      window->RouteMenuCommand("exit");
    }
    EXPECT_EQ(HookLog(log), kReleasedThenUnloaded);
    window.reset();
    EXPECT_EQ(HookLog(log), kReleasedThenUnloaded);  // once
  }
  qunsetenv("FAKE_HOOK_LOG");
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
// SIGTERM while the start shows a store problem closes the message, opens no further one and
// ends the program (the main event loop is not running yet, so quitting it would do nothing).
TEST(Program, TermDuringAStartMessageEndsTheProgram) {
  QTemporaryDir runtime;
  QTemporaryDir data;
  ASSERT_TRUE(QDir().mkpath(data.filePath("ms_1/pro.data")));  // two stores that are not files
  ASSERT_TRUE(QDir().mkpath(data.filePath("ms_1/macro.data")));
  QProcess program;
  StartProgram(program, ProgramEnvironment("a", data.path(), runtime.path()));
  QString log;
  WAIT_UNTIL_FOR((log += QString::fromLocal8Bit(program.readAllStandardError()))
                     .contains("is not a regular file"),
                 10000);
  EXPECT_EQ(TerminateProgram(program), 0);
}

// SIGTERM, SIGINT and SIGHUP end the program with the input hooks removed before their library is
// unloaded. The driver folder holds the virtual mouse's libraries and a fake hook library.
TEST(Program, SignalsReleaseTheHookLibraryBeforeUnloadingIt) {
  for (const int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signal_number);
    QTemporaryDir runtime;
    QTemporaryDir data;
    QTemporaryDir drivers;
    for (const QString& name : QDir(kVirtualFolder).entryList({"*.so"}, QDir::Files)) {
      ASSERT_TRUE(QFile::link(kVirtualFolder + name, drivers.filePath(name)));
    }
    ASSERT_TRUE(
        QFile::link(kFakeHookFolder + kHookLibraryFile, drivers.filePath(kHookLibraryFile)));
    const QString log = runtime.filePath("hook.log");
    QProcessEnvironment env = ProgramEnvironment("a", data.path(), runtime.path());
    env.insert("MOKTA_DRIVER_DIR", drivers.path() + "/");
    env.insert("FAKE_HOOK_LOG", log);
    env.insert("QT_LOGGING_RULES", "mokta.hook.info=true");
    QProcess program;
    StartProgram(program, env);
    ::kill(static_cast<pid_t>(program.processId()), signal_number);
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_EQ(HookLog(log), kReleasedThenUnloaded);
    const QString output = QString::fromLocal8Bit(program.readAllStandardError());
    EXPECT_TRUE(output.contains("recorded from the whole desktop by " + drivers.path()))
        << output.toStdString();
  }
}

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
