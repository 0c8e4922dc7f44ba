// The assignment records and their resync with the macro and recoil pattern lists: what each
// button record holds afterwards is written out here field by field.

#include "data/button_assignment.h"

#include <gtest/gtest.h>

#include <array>

namespace mokta {
namespace {

std::unique_ptr<MacroData> Macro(const char16_t* name, std::initializer_list<MacroAction> actions) {
  auto macro = NewMacro(name);
  std::size_t i = 0;
  for (const MacroAction& a : actions) macro->set_action(i++, a);
  macro->set_action_count(static_cast<std::uint32_t>(actions.size()));
  return macro;
}

std::unique_ptr<GunData> Gun(const QString& name, std::int32_t x) {
  auto gun = NewGun(name);
  gun->set_count(3);
  for (std::size_t i = 0; i < 3; ++i) gun->set_bullet(i, {x, -x, 0, 20});
  return gun;
}

// Two profiles where the button records `buttons` play `macro` (mode 1, 7 times).
ProfileList ProfilesPlaying(const MacroData& macro, int index, std::array<std::size_t, 2> buttons) {
  ProfileList profiles;
  for (std::size_t slot : buttons) {
    profiles.push_back(NewProfile(u"P"));
    AssignMacro(profiles.back()->button(slot), macro, index, 1, 7);
  }
  return profiles;
}

// The record a button slot has in a new profile.
ButtonData DefaultButton(std::size_t slot) {
  return NewProfile(u"x")->button(slot);
}

TEST(ButtonAssignment, ARenamedMacroFallsBackToTheDefaultFunctionInEveryProfile) {
  MacroList macros;
  macros.push_back(Macro(u"Jump", {{0x2C, MacroAction::kPress, 20}}));
  ProfileList profiles = ProfilesPlaying(*macros[0], 0, {3, 9});
  profiles[0]->button(2).set_function(kFunctionLeftClick);  // not an assignment: untouched
  macros[0]->set_name(u"Leap");

  EXPECT_TRUE(ResyncAssignments(profiles, macros, {}, 1));
  EXPECT_EQ(profiles[0]->button(3), DefaultButton(3));  // DPI cycle, no name, no macro
  EXPECT_EQ(profiles[0]->button(3).function(), 6);
  EXPECT_EQ(profiles[1]->button(9), DefaultButton(9));  // off
  EXPECT_EQ(profiles[0]->button(2).function(), kFunctionLeftClick);
}

TEST(ButtonAssignment, AnEditedMacroReachesEveryButtonThatPlaysItUnderItsNameInAnyCase) {
  MacroList macros;
  macros.push_back(Macro(u"Jump", {{0x2C, 1, 20}, {0x2C, 2, 30}, {0x04, 1, 40}, {0x04, 2, 50}}));
  ProfileList profiles = ProfilesPlaying(*macros[0], 0, {4, 11});
  // The macro loses two actions, is renamed in other letters and moves to position 1.
  macros[0] = Macro(u"JUMP", {{0x2C, 1, 25}, {0x2C, 2, 35}});
  macros.insert(macros.begin(), Macro(u"Other", {}));

  EXPECT_FALSE(ResyncAssignments(profiles, macros, {}, 5));  // no such current profile
  for (auto [p, slot] : {std::pair{0, 4}, std::pair{1, 11}}) {
    const ButtonData& b = profiles[static_cast<std::size_t>(p)]->button(static_cast<std::size_t>(slot));
    EXPECT_EQ(b.function(), kFunctionMacro);
    EXPECT_EQ(b.step_count(), 2);
    EXPECT_EQ(b.macro_index(), 1);
    EXPECT_EQ(b.bind_name(), "JUMP");
    EXPECT_EQ(b.repeat_mode(), 1);
    EXPECT_EQ(b.repeat_count(), 7);
    std::array<std::uint8_t, MacroData::kActionsSize> steps{};
    const std::uint8_t expected[] = {0x2C, 1, 25, 0, 0x2C, 2, 35, 0};  // code, state, delay
    std::copy(std::begin(expected), std::end(expected), steps.begin());
    EXPECT_TRUE(std::ranges::equal(b.macro_steps(), steps));
  }
}

TEST(ButtonAssignment, OnlyTheCurrentProfilesAssignmentsAreReported) {
  MacroList macros;
  macros.push_back(Macro(u"Jump", {}));
  ProfileList profiles = ProfilesPlaying(*macros[0], 0, {4, 4});
  profiles[1]->button(4) = DefaultButton(4);
  EXPECT_TRUE(ResyncAssignments(profiles, macros, {}, 0));
  EXPECT_FALSE(ResyncAssignments(profiles, macros, {}, 1));
  // A gone macro is reported too: the current profile's button changed.
  EXPECT_TRUE(ResyncAssignments(profiles, {}, {}, 0));
  EXPECT_EQ(profiles[0]->button(4), DefaultButton(4));
}

// A pattern name longer than a button's 23 units is stored cut and found again by the cut;
// patterns that share the cut stay apart by the button's index.
TEST(ButtonAssignment, LongPatternNamesAreFoundAgainAndKeptApart) {
  const QString stem = QStringLiteral("Assault rifle full auto");  // 23 units
  GunList guns;
  guns.push_back(Gun(stem + " spray, close range", 1));
  guns.push_back(Gun(stem + " spray, long range", 2));
  ProfileList profiles;
  profiles.push_back(NewProfile(u"P"));
  AssignGun(profiles[0]->button(6), *guns[1], 1, 9);
  ASSERT_EQ(profiles[0]->button(6).bind_name(), stem);

  guns[1]->set_bullet(0, {5, 5, 0, 30});  // edited
  EXPECT_TRUE(ResyncAssignments(profiles, {}, guns, 0));
  const ButtonData& b = profiles[0]->button(6);
  EXPECT_EQ(b.function(), kFunctionGun);
  EXPECT_EQ(b.gun_index(), 1);
  EXPECT_EQ(b.gun_step(0), (GunStep{5, 5, 0, 30}));
  EXPECT_EQ(b.repeat_mode(), 2);
  EXPECT_EQ(b.repeat_count(), 9);

  guns.erase(guns.begin());  // the other one goes: the index no longer names it
  EXPECT_TRUE(ResyncAssignments(profiles, {}, guns, 0));
  EXPECT_EQ(b.gun_index(), 0);
  EXPECT_EQ(b.gun_step(0), (GunStep{5, 5, 0, 30}));

  guns.clear();
  EXPECT_TRUE(ResyncAssignments(profiles, {}, guns, 0));
  EXPECT_EQ(b, DefaultButton(6));  // back to backward
}

}  // namespace
}  // namespace mokta
