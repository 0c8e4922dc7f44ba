// The button assignment end to end: the real main window, offscreen, against the virtual
// mouse. A function is chosen in the button menu (by its item, as a click or the keyboard
// chooses it), the pick dialogs are answered by a fake, and what the mouse took is compared
// with bytes written out here by hand.

#include "ui/button_menu.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QMenu>
#include <QTest>
#include <deque>
#include <vector>

#include "data/button_assignment.h"
#include "framework/control_lookup.h"
#include "framework/control_text.h"
#include "framework/language_file.h"
#include "framework/modal_test_hook.h"
#include "page_test_support.h"
#include "qt_wait.h"
#include "ui/assignment_dialogs.h"

namespace mokta {
namespace {

// Answers the pick dialogs in order and keeps what each was opened with.
struct DialogAnswers {
  std::deque<std::optional<KeyCombinationPick>> keys;
  std::deque<std::optional<ListPick>> lists;
  std::vector<ListPick> opened_with;
};

class FakeDialogs : public AssignmentDialogs {
 public:
  explicit FakeDialogs(DialogAnswers& answers) : answers_(answers) {}
  std::optional<KeyCombinationPick> PickKeyCombination(const KeyCombinationPick&) override {
    return Next(answers_.keys);
  }
  std::optional<ListPick> PickMacro(const MacroList&, const ListPick& current) override {
    answers_.opened_with.push_back(current);
    return Next(answers_.lists);
  }
  std::optional<ListPick> PickGun(const GunList&, const ListPick& current) override {
    answers_.opened_with.push_back(current);
    return Next(answers_.lists);
  }

 private:
  template <typename T>
  static T Next(std::deque<T>& queue) {
    EXPECT_FALSE(queue.empty()) << "a pick dialog opened that the test did not expect";
    if (queue.empty()) return T{};
    T next = queue.front();
    queue.pop_front();
    return next;
  }
  DialogAnswers& answers_;
};

using Triple = VirtualTriple;
using test::SlotMessage;

class ButtonMenuTest : public test::PageTest {
 protected:
  void StartWith(const std::function<void(ProfileData&)>& adjust = {}) {
    ASSERT_NO_FATAL_FAILURE(Start(1, adjust));
    window_->page().set_assignment_dialogs(std::make_unique<FakeDialogs>(dialogs_));
  }

  QAbstractButton* Key(int n) {
    return Find<QAbstractButton>(QStringLiteral("ms_1_btn_key_%1").arg(n));
  }
  QMenu* Menu() { return window_->page().button_menu().menu(); }

  // Opens the menu of button `n` by a click and chooses `item` in it.
  void Choose(int n, const char* item) {
    QTest::mouseClick(Key(n), Qt::LeftButton);
    QMenu* menu = Menu();
    ASSERT_TRUE(menu && menu->isVisible());
    auto* action = menu->findChild<QAction*>(QString::fromLatin1(item));
    ASSERT_NE(action, nullptr) << item;
    action->trigger();
    menu->close();
    QCoreApplication::sendPostedEvents();  // MSG_MENU_COMMAND
  }

  DialogAnswers dialogs_;
};

TEST(ButtonMenuPosition, OpensBesideTheButtonAndMovesUpOrLeftToStayOnTheScreen) {
  const QRect screen(0, 0, 1024, 768);
  const QSize menu(150, 300);
  EXPECT_EQ(ButtonMenuPosition(QRect(100, 100, 80, 25), menu, screen), QPoint(180, 100));
  // 500 + 300 would pass the bottom: the menu's bottom goes to the button's bottom (525).
  EXPECT_EQ(ButtonMenuPosition(QRect(100, 500, 80, 25), menu, screen), QPoint(180, 225));
  EXPECT_EQ(ButtonMenuPosition(QRect(100, 443, 80, 25), menu, screen), QPoint(180, 443));
  EXPECT_EQ(ButtonMenuPosition(QRect(100, 50, 80, 25), QSize(150, 900), screen), QPoint(180, 0));
  EXPECT_EQ(ButtonMenuPosition(QRect(900, 100, 80, 25), menu, screen), QPoint(750, 100));
}

// Every function of the menu under its item name, with a language text a screen reader reads;
// buttons 1..12 open it beside themselves, 13..18 never.
TEST_F(ButtonMenuTest, MenuHoldsEveryFunctionAndOpensForTheFirstTwelveButtons) {
  ASSERT_NO_FATAL_FAILURE(StartWith());
  for (int n : {1, 12}) {
    QTest::mouseClick(Key(n), Qt::LeftButton);
    ASSERT_TRUE(Menu() && Menu()->isVisible()) << n;
    const QRect button(Key(n)->mapToGlobal(QPoint(0, 0)), Key(n)->size());
    const QRect menu = Menu()->geometry();
    EXPECT_TRUE(menu.left() == button.right() + 1 || menu.right() + 1 == button.left()) << n;
    EXPECT_TRUE(menu.top() == button.top() || menu.bottom() == button.bottom()) << n;
    Menu()->close();
  }
  int items = 0;
  for (const ButtonFunction& f : ButtonFunctions()) {
    if (!f.menu_item) continue;
    ++items;
    auto* action = Menu()->findChild<QAction*>(QString::fromLatin1(f.menu_item));
    ASSERT_NE(action, nullptr) << f.menu_item;
    EXPECT_FALSE(action->text().isEmpty());
    EXPECT_FALSE(IsTextKey(action->text())) << f.menu_item << " has no language text";
  }
  EXPECT_EQ(items, 53);
  QAccessibleInterface* top = QAccessible::queryAccessibleInterface(Menu());
  ASSERT_NE(top, nullptr);
  for (int i = 0; i < top->childCount(); ++i) {
    QAccessibleInterface* child = top->child(i);
    if (child->role() == QAccessible::Separator) continue;
    EXPECT_FALSE(child->text(QAccessible::Name).isEmpty()) << "item " << i;
  }

  QMenu* twelfth = Menu();
  for (int n = 13; n <= 18; ++n) window_->SendNotify(Key(n), notify::kClick);
  EXPECT_EQ(Menu(), twelfth);
  EXPECT_FALSE(twelfth->isVisible());
}

// Enter on a focused button opens the menu; arrows and Enter choose; Escape closes.
TEST_F(ButtonMenuTest, TheMenuWorksFromTheKeyboard) {
  ASSERT_NO_FATAL_FAILURE(StartWith());
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  Key(5)->setFocus();
  QTest::keyClick(Key(5), Qt::Key_Return);
  ASSERT_TRUE(Menu() && Menu()->isVisible());
  QTest::keyClick(Menu(), Qt::Key_Escape);
  EXPECT_FALSE(Menu()->isVisible());

  QTest::keyClick(Key(5), Qt::Key_Space);
  QMenu* menu = Menu();
  ASSERT_TRUE(menu && menu->isVisible());
  QTest::keyClick(menu, Qt::Key_Down);   // the mouse-button group
  QTest::keyClick(menu, Qt::Key_Right);  // opened, on its first item
  QMenu* group = menu->activeAction() ? menu->activeAction()->menu() : nullptr;
  ASSERT_TRUE(group && group->isVisible());
  QTest::keyClick(group, Qt::Key_Down);
  QTest::keyClick(group, Qt::Key_Return);
  WAIT_EQ(Current().button(4).function(), 2);  // right click
  EXPECT_EQ(ControlTextKey(Key(5)), "right_click_text");
}

// Only button 1 is on left click: it cannot lose it, button 2 can change.
TEST_F(ButtonMenuTest, OneButtonStaysOnLeftClick) {
  ASSERT_NO_FATAL_FAILURE(StartWith());
  QStringList messages;
  ScopedModalTestHook answer([&](QWidget& w) -> std::optional<int> {
    if (QWidget* text = FindOptionalControl(&w, QStringLiteral("warning"))) {
      messages << ControlTextKey(text);
    }
    return 1;
  });
  const std::uint64_t requests = ApplyRequests();
  ASSERT_NO_FATAL_FAILURE(Choose(1, "ms_1_menu"));
  EXPECT_EQ(messages, QStringList{"one_click_text"});
  EXPECT_EQ(Current().button(0).function(), 1);
  ASSERT_NO_FATAL_FAILURE(Choose(1, "ms_1_select_macro"));  // refused before any dialog
  EXPECT_EQ(ApplyRequests(), requests);

  ASSERT_NO_FATAL_FAILURE(Choose(2, "ms_1_dpi_up"));
  EXPECT_EQ(messages.size(), 2);
  EXPECT_EQ(Current().button(1).function(), 7);
  EXPECT_EQ(ControlTextKey(Key(2)), "dpi_up_text");
  EXPECT_EQ(ApplyRequests(), requests + 1);
  WAIT_EQ(mouse_.State().settings.buttons[1], (Triple{0x0E, 0x00, 0x00}));
}

// The program's own pick dialogs stand behind the menu (the window sets them up): choosing
// "Key combination" opens the key-combination dialog; cancelling it changes nothing.
TEST_F(ButtonMenuTest, TheWindowsPickDialogsOpenFromTheMenu) {
  ASSERT_NO_FATAL_FAILURE(Start(1));
  QStringList opened;
  ScopedModalTestHook answer([&](QWidget& w) -> std::optional<int> {
    opened << w.objectName();
    return 0;
  });
  const QString before = Key(4)->text();
  ASSERT_NO_FATAL_FAILURE(Choose(4, "ms_1_shortcut"));
  EXPECT_EQ(opened, QStringList{"ShortcutWnd"});
  EXPECT_EQ(Key(4)->text(), before);
}

TEST_F(ButtonMenuTest, KeyCombinationsAndPlainFunctionsReachTheMouse) {
  ASSERT_NO_FATAL_FAILURE(StartWith([](ProfileData& p) { p.button(3).set_function(1); }));
  // Confirmed with no key and no modifier: button 4 stays on left click, nothing is sent.
  const std::uint64_t requests = ApplyRequests();
  dialogs_.keys = {KeyCombinationPick{0, 0}, std::nullopt};
  ASSERT_NO_FATAL_FAILURE(Choose(4, "ms_1_shortcut"));
  ASSERT_NO_FATAL_FAILURE(Choose(4, "ms_1_shortcut"));  // cancelled
  EXPECT_EQ(Current().button(3).function(), 1);
  EXPECT_EQ(ControlTextKey(Key(4)), "left_click_text");
  EXPECT_EQ(ApplyRequests(), requests);

  dialogs_.keys = {KeyCombinationPick{0x05, 0x04}};  // Ctrl + Alt, A
  ASSERT_NO_FATAL_FAILURE(Choose(4, "ms_1_shortcut"));
  EXPECT_EQ(ControlText(Key(4)), "Ctrl+Alt+A");
  WAIT_EQ(mouse_.State().settings.buttons[3], (Triple{0x11, 0x05, 0x04}));

  ASSERT_NO_FATAL_FAILURE(Choose(7, "ms_1_forward"));  // a side button, Back by default
  EXPECT_EQ(ControlTextKey(Key(7)), "forward_text");
  WAIT_EQ(mouse_.State().settings.buttons[6], (Triple{0x06, 0x00, 0x00}));
}

// A macro goes to its slot, and follows the macro list when the macro editor closes.
TEST_F(ButtonMenuTest, MacroReachesItsSlotAndFallsBackWhenRenamed) {
  ASSERT_NO_FATAL_FAILURE(StartWith());
  MacroList& macros = window_->core().macros();
  macros.push_back(NewMacro(u"Jump"));
  macros.back()->set_action(0, {0x2C, MacroAction::kPress, 20});
  macros.back()->set_action(1, {0x2C, MacroAction::kRelease, 250});
  macros.back()->set_action_count(2);

  dialogs_.lists = {std::nullopt, ListPick{5, 0, 3}, ListPick{0, 0, 3}};
  ASSERT_NO_FATAL_FAILURE(Choose(4, "ms_1_select_macro"));  // cancelled
  ASSERT_NO_FATAL_FAILURE(Choose(4, "ms_1_select_macro"));  // no such macro
  EXPECT_EQ(Current().button(3).function(), 6);
  ASSERT_NO_FATAL_FAILURE(Choose(4, "ms_1_select_macro"));
  EXPECT_EQ(ControlText(Key(4)), "Macro: Jump");
  EXPECT_EQ(dialogs_.opened_with.front().index, -1);
  WAIT_EQ(mouse_.State().settings.buttons[3], (Triple{0x12, 0x00, 0x01}));
  EXPECT_EQ(mouse_.State().settings.slot_messages.at(1),
            SlotMessage(1, {0x00, 0x00, 0x00, 0x00, 0x03},  // mode 0, 3 times
                        {
                            0x14, 0x2C,  // press Space, 20 ms
                            0xB2, 0x2C,  // release, 50 ms ...
                            0x02, 0x03,  // ... and 2 x 100 ms
                        }));

  macros.back()->set_name(u"Hop");
  EXPECT_TRUE(window_->page().ResyncAssignments());
  EXPECT_EQ(ControlTextKey(Key(4)), "dpi_cycle_text");
  WAIT_EQ(mouse_.State().settings.buttons[3], (Triple{0x0D, 0x00, 0x00}));
}

// Ten short steps take two slots: nine steps, then the step to the next slot.
TEST_F(ButtonMenuTest, RecoilPatternReachesItsSlotAndItsContinuation) {
  ASSERT_NO_FATAL_FAILURE(StartWith());
  GunList& guns = window_->core().guns();
  guns.push_back(NewGun(u"Rifle"));
  guns.back()->set_count(10);
  for (std::size_t i = 0; i < 10; ++i) guns.back()->set_bullet(i, {1, -2, 0, 20});

  dialogs_.lists = {ListPick{0, 0, 5}};  // the dialog's mode is not the pattern's
  ASSERT_NO_FATAL_FAILURE(Choose(9, "ms_1_select_gun"));
  EXPECT_EQ(ControlText(Key(9)), "Recoil: Rifle");
  WAIT_EQ(mouse_.State().settings.buttons[8], (Triple{0x3A, 0x00, 0x01}));
  const std::vector<std::uint8_t> step = {
      0x03, 0xF1, 0x83, 0xF1,  // left button down and up
      0x14, 0xF6,              // move after 20 ms
      0x00, 0x01, 0xFF, 0xFE,  // by x 1, y -2
  };
  std::vector<std::uint8_t> first;
  for (int i = 0; i < 9; ++i) first.insert(first.end(), step.begin(), step.end());
  first.insert(first.end(), {0x02, 0xFE});  // on in slot 2
  const auto held = mouse_.State().settings.slot_messages;
  ASSERT_EQ(held.size(), 2u);
  EXPECT_EQ(held.at(1), SlotMessage(1, {0x02, 0x00, 0x00, 0x00, 0x05}, first));
  std::vector<std::uint8_t> last = step;
  last.insert(last.end(), {0x14, 0x00});  // the trailing 20 ms
  EXPECT_EQ(held.at(2), SlotMessage(2, {0, 0, 0, 0, 0}, last));
}

}  // namespace
}  // namespace mokta

int main(int argc, char** argv) {
  return mokta::test::RunPageTests(argc, argv);
}
