// The macro editor's rules: recording, the action edits, the size rule and the names.

#include "ui/macro_editing.h"

#include <gtest/gtest.h>

#include "data/keyboard_layout.h"
#include "mokta_hook.h"

namespace mokta {
namespace {

constexpr std::uintptr_t kVkA = 0x41;
constexpr std::uintptr_t kVkB = 0x42;
constexpr std::intptr_t kDown = 0;
constexpr std::intptr_t kUp = 1;

struct Fixture {
  MacroList macros;
  int saves = 0;
  MacroEditing editing{macros, [this] {
                         ++saves;
                         return true;
                       }};
  FixedUsLayout layout;
  std::int64_t now = 1000;

  // A macro of `count` presses of A (delays `delay`), selected.
  void AddMacro(const QString& name, int count = 0, std::uint16_t delay = 10) {
    auto macro = NewMacro(name);
    for (int i = 0; i < count; ++i) {
      macro->set_action(static_cast<std::size_t>(i), {0x04, MacroAction::kPress, delay});
    }
    macro->set_action_count(static_cast<std::uint32_t>(count));
    macros.push_back(std::move(macro));
    editing.SelectMacro(static_cast<int>(macros.size()) - 1);
  }
  MacroEditing::Taken Key(std::uintptr_t vk, std::intptr_t up, int after_ms = 10) {
    now += after_ms;
    return editing.Record(vk, up, now, layout);
  }
  const MacroData& Stored(int index = 0) const { return *macros[static_cast<std::size_t>(index)]; }
};

TEST(MacroEditingTest, RecordingReplacesTheMacroOrInsertsAfterTheSelectedAction) {
  Fixture f;
  f.AddMacro(QStringLiteral("M"), 3, 50);
  f.editing.SelectAction(-1);
  f.editing.StartRecording(DelayMode::kDefault, 20, f.now);
  f.Key(kVkB, kDown);
  f.Key(kVkB, kUp);
  f.editing.StopRecording();
  ASSERT_EQ(f.Stored().action_count(), 2u);
  EXPECT_EQ(f.Stored().action(0), (MacroAction{0x05, MacroAction::kPress, 20}));
  EXPECT_EQ(f.Stored().action(1), (MacroAction{0x05, MacroAction::kRelease, 1}));

  // After action 0 of three: the recording goes in between, the selected action keeps its
  // wait, the last recorded action waits 1 and the rest follows unchanged.
  Fixture g;
  g.AddMacro(QStringLiteral("M"), 3, 50);
  g.editing.SelectAction(0);
  g.editing.StartRecording(DelayMode::kDefault, 20, g.now);
  g.Key(kVkB, kDown);
  g.Key(kVkB, kUp);
  EXPECT_EQ(g.editing.selected_action(), 2);  // the last recorded action is shown selected
  g.editing.StopRecording();
  const MacroData& m = g.Stored();
  ASSERT_EQ(m.action_count(), 5u);
  EXPECT_EQ(m.action(0), (MacroAction{0x04, MacroAction::kPress, 50}));
  EXPECT_EQ(m.action(1), (MacroAction{0x05, MacroAction::kPress, 20}));
  EXPECT_EQ(m.action(2), (MacroAction{0x05, MacroAction::kRelease, 1}));
  EXPECT_EQ(m.action(3), (MacroAction{0x04, MacroAction::kPress, 50}));
  EXPECT_EQ(m.action(4), (MacroAction{0x04, MacroAction::kPress, 50}));
}

TEST(MacroEditingTest, HeldKeysUnknownKeysAndMouseButtons) {
  Fixture f;
  f.AddMacro(QStringLiteral("M"));
  f.editing.StartRecording(DelayMode::kNone, 10, f.now);
  for (int repeat = 0; repeat < 5; ++repeat) f.Key(kVkA, kDown, 30);  // a held key repeats
  f.Key(kVkA, kUp);
  f.Key(0xE2, kDown);  // the extra ISO key: no row in the table
  f.Key(MOKTA_HOOK_X_DOWN, 2);
  f.Key(MOKTA_HOOK_X_UP, 1);
  EXPECT_EQ(f.Key(0x20A, 0), MacroEditing::Taken::kIgnored);  // a wheel is no key
  f.editing.StopRecording();
  const MacroData& m = f.Stored();
  ASSERT_EQ(m.action_count(), 5u);
  EXPECT_EQ(m.action(0), (MacroAction{0x04, MacroAction::kPress, 1}));
  EXPECT_EQ(m.action(1), (MacroAction{0x04, MacroAction::kRelease, 1}));
  EXPECT_EQ(m.action(2).code, 0);
  EXPECT_EQ(m.action(3), (MacroAction{kMouseBack, MacroAction::kPress, 1}));
  EXPECT_EQ(m.action(4), (MacroAction{kMouseForward, MacroAction::kRelease, 1}));

  // The last taken event can be taken back; the wait before it goes back to 1.
  f.editing.SelectAction(-1);
  f.editing.StartRecording(DelayMode::kDefault, 30, f.now);
  f.Key(kVkA, kDown);
  f.Key(0x20, kDown);
  ASSERT_TRUE(f.editing.LastTaken());
  EXPECT_EQ(f.editing.LastTaken()->code, 0x2C);
  f.editing.ForgetLastTaken();
  f.editing.StopRecording();
  ASSERT_EQ(f.Stored().action_count(), 1u);
  EXPECT_EQ(f.Stored().action(0), (MacroAction{0x04, MacroAction::kPress, 1}));

  // A new recording takes its first event even when it repeats the last one seen before.
  f.editing.SelectAction(-1);
  f.editing.StartRecording(DelayMode::kNone, 10, f.now);
  EXPECT_EQ(f.Key(0x20, kDown), MacroEditing::Taken::kTaken);
}

TEST(MacroEditingTest, MeasuredDelaysAreCappedAndNeverZero) {
  Fixture f;
  f.AddMacro(QStringLiteral("M"));
  f.editing.StartRecording(DelayMode::kMeasured, 10, f.now);
  f.Key(kVkA, kDown, 500);
  f.Key(kVkA, kUp, 70000);  // a 70 s pause
  f.Key(kVkB, kDown, 0);    // in the same millisecond
  f.Key(kVkB, kUp, 123);
  f.editing.StopRecording();
  const MacroData& m = f.Stored();
  ASSERT_EQ(m.action_count(), 4u);
  EXPECT_EQ(m.action(0).delay_ms, 25000);
  EXPECT_EQ(m.action(1).delay_ms, 1);
  EXPECT_EQ(m.action(2).delay_ms, 123);
  EXPECT_EQ(m.action(3).delay_ms, 1);
}

TEST(MacroEditingTest, RecordingStopsAtTheMouseLimitsAndKeepsWhatItRecorded) {
  Fixture f;
  f.AddMacro(QStringLiteral("M"));
  f.editing.StartRecording(DelayMode::kNone, 10, f.now);
  MacroEditing::Taken last = MacroEditing::Taken::kTaken;
  for (int i = 0; i < 46 && last == MacroEditing::Taken::kTaken; ++i) {
    last = f.Key(kVkA, i % 2 == 0 ? kDown : kUp);
  }
  EXPECT_EQ(last, MacroEditing::Taken::kTakenStopped);
  EXPECT_FALSE(f.editing.recording());
  EXPECT_EQ(f.Stored().action_count(), 46u);

  // Once the macro takes 46 units, the next event stops the recording and is not taken.
  Fixture g;
  g.AddMacro(QStringLiteral("M"), 44, 10);
  g.macros[0]->set_action(0, {0x04, MacroAction::kPress, 25000});  // 2 units: 45 in all
  g.editing.SelectMacro(0);
  g.editing.StartRecording(DelayMode::kNone, 10, g.now);
  EXPECT_EQ(g.Key(kVkB, kDown), MacroEditing::Taken::kTaken);
  EXPECT_EQ(g.Key(kVkB, kUp), MacroEditing::Taken::kStopped);
  EXPECT_EQ(g.Stored().action_count(), 45u);

  // 45 units, then an event whose measured wait makes the action before it cost 3 units:
  // taking it would make the macro too big, so the recording ends without it and keeps the
  // rest of what it recorded.
  Fixture h;
  h.AddMacro(QStringLiteral("M"), 44, 10);
  h.editing.StartRecording(DelayMode::kMeasured, 10, h.now);
  EXPECT_EQ(h.Key(kVkB, kDown, 10), MacroEditing::Taken::kTaken);
  EXPECT_EQ(h.Key(kVkB, kUp, 330), MacroEditing::Taken::kStopped);  // 45 + 2 + 1 = 48
  EXPECT_EQ(h.Stored().action_count(), 45u);
  EXPECT_EQ(h.Stored().action(44), (MacroAction{0x05, MacroAction::kPress, 1}));
}

TEST(MacroEditingTest, ClickInsertsAndTheSizeRule) {
  Fixture f;
  f.AddMacro(QStringLiteral("M"), 44, 10);
  EXPECT_TRUE(f.editing.InsertClick(kMouseLeft, 40));
  EXPECT_EQ(f.Stored().action_count(), 46u);
  EXPECT_FALSE(f.editing.InsertClick(kMouseLeft, 40));  // no room for two more

  Fixture g;
  g.AddMacro(QStringLiteral("M"), 45, 10);
  EXPECT_FALSE(g.editing.InsertClick(kMouseRight, 10));
  EXPECT_EQ(g.Stored().action_count(), 45u);

  // Two clicks in a row come out in the order they were inserted.
  Fixture h;
  h.AddMacro(QStringLiteral("M"), 1, 10);
  h.editing.SelectAction(0);
  h.editing.InsertClick(kMouseLeft, 0);
  h.editing.InsertClick(kMouseRight, 99999);
  const MacroData& m = h.Stored();
  ASSERT_EQ(m.action_count(), 5u);
  EXPECT_EQ(m.action(1), (MacroAction{kMouseLeft, MacroAction::kPress, 1}));
  EXPECT_EQ(m.action(2), (MacroAction{kMouseLeft, MacroAction::kRelease, 1}));
  EXPECT_EQ(m.action(3), (MacroAction{kMouseRight, MacroAction::kPress, 25000}));
  EXPECT_EQ(h.editing.selected_action(), 4);

  // A change that makes the macro 48 units or more is thrown away; the store is not written.
  Fixture k;
  k.AddMacro(QStringLiteral("M"), 46, 10);
  const int saves = k.saves;
  k.editing.SelectAction(0);
  EXPECT_EQ(k.editing.SetActionDelay(328), 328);  // 3 units: 48
  EXPECT_EQ(k.Stored().action(0).delay_ms, 10);
  EXPECT_EQ(k.editing.action(0).delay_ms, 10);
  EXPECT_EQ(k.saves, saves);
}

TEST(MacroEditingTest, ActionEdits) {
  Fixture f;
  f.AddMacro(QStringLiteral("M"), 3, 10);
  f.editing.SelectAction(-1);
  EXPECT_FALSE(f.editing.DeleteAction());
  f.editing.SelectAction(0);
  EXPECT_FALSE(f.editing.MoveUp());
  f.editing.SelectAction(2);
  EXPECT_FALSE(f.editing.MoveDown());
  EXPECT_EQ(f.editing.SetActionDelay(99), 0);  // the last action's wait stays

  f.editing.SelectAction(1);
  EXPECT_EQ(f.editing.SetActionDelay(0), 1);
  EXPECT_EQ(f.editing.SetActionDelay(30000), 25000);
  EXPECT_TRUE(f.editing.SetActionCode(kMouseMiddle));
  EXPECT_TRUE(f.editing.MoveUp());
  EXPECT_EQ(f.editing.selected_action(), 0);
  EXPECT_EQ(f.Stored().action(0), (MacroAction{kMouseMiddle, MacroAction::kPress, 25000}));
  EXPECT_TRUE(f.editing.DeleteAction());
  EXPECT_EQ(f.Stored().action_count(), 2u);
  EXPECT_EQ(f.editing.selected_action(), 0);
  EXPECT_TRUE(f.editing.Clear());
  EXPECT_EQ(f.Stored().action_count(), 0u);
  EXPECT_EQ(f.editing.selected_action(), -1);
}

TEST(MacroEditingTest, NamesAndTheMacroList) {
  Fixture f;
  f.AddMacro(QStringLiteral("Jump"));
  f.AddMacro(QStringLiteral("Run"));
  EXPECT_EQ(f.editing.Rename(QStringLiteral("JUMP")), QStringLiteral("Run"));
  EXPECT_EQ(f.editing.Rename(QString()), QStringLiteral("Run"));
  EXPECT_EQ(f.editing.Rename(QStringLiteral("RUN")), QStringLiteral("Run"));
  EXPECT_EQ(f.editing.Rename(QStringLiteral("Sprint and a very long tail")),
            QStringLiteral("Sprint and a very long "));
  EXPECT_EQ(f.Stored(1).name(), QStringLiteral("Sprint and a very long "));

  // A macro read from a damaged file with too many actions is edited as 46.
  auto damaged = NewMacro(QStringLiteral("Damaged"));
  damaged->set_action_count(1000);
  f.macros.push_back(std::move(damaged));
  f.editing.SelectMacro(2);
  EXPECT_EQ(f.editing.action_count(), 46);

  EXPECT_EQ(f.editing.DeleteMacro(2), 1);  // the one before the removed last
  EXPECT_EQ(f.editing.DeleteMacro(0), 0);
  EXPECT_EQ(f.editing.DeleteMacro(0), -1);
  EXPECT_EQ(f.editing.current(), nullptr);
  EXPECT_EQ(f.editing.selected_action(), -1);
  EXPECT_TRUE(f.macros.empty());
}

}  // namespace
}  // namespace mokta
