// The recoil pattern editor's rules without its window: selection, step count, the bounds of
// typed and stepped values, the row controls' names and the pointer's path.

#include "ui/gun_editing.h"

#include <gtest/gtest.h>

#include <limits>

namespace mokta {
namespace {

class GunEditingTest : public ::testing::Test {
 protected:
  // A pattern whose step i is (i + 1, -(i + 1), 10 + i), with 30 steps in use.
  void AddNumbered(const char16_t* name) {
    guns_.push_back(NewGun(name));
    for (std::size_t i = 0; i < kMaxGunSteps; ++i) {
      const auto n = static_cast<std::int32_t>(i) + 1;
      guns_.back()->set_bullet(i, {n, -n, 0, static_cast<std::uint16_t>(9 + n)});
    }
  }

  GunList guns_;
  int saves_ = 0;
  GunEditing editing_{guns_, [this] { ++saves_; }};
};

TEST_F(GunEditingTest, ANewPatternInAnEmptyListIsNamedAfterTheTextWithOne) {
  const MapLanguageTexts language({{"add_gun_text", "Gun"}});
  EXPECT_EQ(editing_.Add(language), 0);
  EXPECT_EQ(saves_, 1);
  ASSERT_EQ(guns_.size(), 1u);
  EXPECT_EQ(guns_[0]->name(), "Gun1");
  EXPECT_EQ(guns_[0]->count(), 30);
  for (std::size_t i = 0; i < kMaxGunSteps; ++i) EXPECT_EQ(guns_[0]->bullet(i), kBlankGunStep);
  // The next one counts the list and steps past a name that is taken.
  guns_[0]->set_name(u"Gun2");
  EXPECT_EQ(editing_.Add(language), 1);
  EXPECT_EQ(guns_[1]->name(), "Gun2_1");
}

TEST_F(GunEditingTest, NothingSelectedShowsThirtyBlankStepsAndStoresNothing) {
  AddNumbered(u"A");
  for (int position : {-1, 1, 99}) {
    editing_.Select(position);
    EXPECT_FALSE(editing_.has_current()) << position;
    EXPECT_EQ(editing_.steps_shown(), 30);
    EXPECT_TRUE(editing_.used_steps().empty());
    for (const GunStep& step : editing_.steps()) EXPECT_EQ(step, kBlankGunStep);
  }
  editing_.SetStepCount(4);
  editing_.Type(0, GunField::kX, u"7");
  EXPECT_FALSE(editing_.Rename(u"B"));
  EXPECT_EQ(saves_, 0);
  EXPECT_EQ(guns_[0]->count(), 30);
  EXPECT_EQ(guns_[0]->bullet(0).x, 1);
}

TEST_F(GunEditingTest, FewerStepsStoreTheCountAndKeepTheLaterSteps) {
  AddNumbered(u"A");
  editing_.Select(0);
  editing_.SetStepCount(12);
  EXPECT_EQ(saves_, 1);
  EXPECT_EQ(guns_[0]->count(), 12);
  EXPECT_EQ(editing_.used_steps().size(), 12u);
  EXPECT_EQ(guns_[0]->bullet(29), (GunStep{30, -30, 0, 39}));
  // Choosing the count it already has writes nothing.
  editing_.SetStepCount(12);
  EXPECT_EQ(saves_, 1);
  // A damaged count loads as the count readers use, and is stored on the next change.
  guns_[0]->set_count(0);
  editing_.Select(0);
  EXPECT_EQ(editing_.steps_shown(), 1);
  guns_[0]->set_count(200);
  editing_.Select(0);
  EXPECT_EQ(editing_.steps_shown(), 30);
  editing_.Type(0, GunField::kDelay, u"10");
  EXPECT_EQ(guns_[0]->count(), 30);
}

TEST_F(GunEditingTest, TypedValuesAreLimitedAndStored) {
  AddNumbered(u"A");
  editing_.Select(0);
  EXPECT_EQ(editing_.Type(2, GunField::kX, u"1500"), 999);
  EXPECT_EQ(guns_[0]->bullet(2).x, 999);
  EXPECT_EQ(editing_.Type(2, GunField::kY, u"-2000"), -999);
  EXPECT_EQ(guns_[0]->bullet(2).y, -999);
  EXPECT_EQ(editing_.Type(2, GunField::kDelay, u"0"), 1);
  EXPECT_EQ(editing_.Type(2, GunField::kDelay, u""), 1);
  // Past the 16-bit field: kept at its top instead of wrapping (70000 would store 4464).
  EXPECT_EQ(editing_.Type(2, GunField::kDelay, u"70000"), 65535);
  EXPECT_EQ(guns_[0]->bullet(2).delay, 65535);
  EXPECT_EQ(editing_.Type(2, GunField::kX, u"99999999999999999999999"), 999);
  EXPECT_EQ(editing_.Type(2, GunField::kX, u"-"), 0);
  EXPECT_EQ(editing_.Type(2, GunField::kX, u"12-3"), 12);
  const int saves = saves_;
  editing_.Type(2, GunField::kX, u"12");  // unchanged: nothing to write
  EXPECT_EQ(saves_, saves);
}

TEST_F(GunEditingTest, ButtonsStepPastTheTypedLimitButStayInsideTheField) {
  AddNumbered(u"A");
  editing_.Select(0);
  const auto step = [&](const char* button, const char* text) {
    const std::optional<GunRowControl> control = ParseGunRowControl(QString::fromLatin1(button));
    EXPECT_TRUE(control.has_value()) << button;
    return control ? editing_.Step(control->row, control->field, control->delta,
                                   QString::fromLatin1(text))
                   : 0;
  };
  // The x pair runs the other way round.
  EXPECT_EQ(step("zidan_x_down_btn_3", "7"), 8);
  EXPECT_EQ(step("zidan_x_up_btn_3", "8"), 7);
  EXPECT_EQ(step("zidan_y_up_btn_3", "7"), 8);
  EXPECT_EQ(step("zidan_y_down_btn_3", "8"), 7);
  EXPECT_EQ(guns_[0]->bullet(2), (GunStep{7, 7, 0, 12}));
  EXPECT_EQ(step("zidan_delay_down_btn_3", "1"), 1);
  EXPECT_EQ(step("zidan_delay_up_btn_3", "65535"), 65535);
  EXPECT_EQ(step("zidan_x_down_btn_3", "999"), 1000);
  EXPECT_EQ(step("zidan_x_down_btn_3", "32767"), 32767);
  EXPECT_EQ(step("zidan_y_down_btn_3", "-32768"), -32768);
  EXPECT_EQ(guns_[0]->bullet(2), (GunStep{32767, -32768, 0, 65535}));
}

TEST(GunRowControl, NamesOnlyTheThirtyRows) {
  EXPECT_EQ(ParseGunRowControl(u"edit_zidan_delay_1"), (GunRowControl{0, GunField::kDelay, 0}));
  EXPECT_EQ(ParseGunRowControl(u"zidan_y_up_btn_30"), (GunRowControl{29, GunField::kY, 1}));
  EXPECT_EQ(ParseGunRowControl(u"zidan_delay_down_btn_12"),
            (GunRowControl{11, GunField::kDelay, -1}));
  for (const char16_t* name : {u"edit_zidan_x_0", u"edit_zidan_x_31", u"zidan_x_btn_1",
                               u"edit_zidan_z_1", u"ver_zidan_1", u"edit_zidan_x_1x"}) {
    EXPECT_FALSE(ParseGunRowControl(name).has_value()) << QString::fromUtf16(name).toStdString();
  }
}

TEST_F(GunEditingTest, DeletingSelectsTheSameOrThePreviousPosition) {
  for (const char16_t* name : {u"A", u"B", u"C"}) guns_.push_back(NewGun(name));
  editing_.Select(2);
  EXPECT_EQ(editing_.Delete(2), 1);  // the last: the new last
  EXPECT_FALSE(editing_.has_current());
  EXPECT_EQ(editing_.Delete(0), 0);  // the first: the new first
  EXPECT_EQ(guns_[0]->name(), "B");
  EXPECT_EQ(editing_.Delete(5), -1);
  EXPECT_EQ(saves_, 2);
  EXPECT_EQ(editing_.Delete(0), -1);  // the only one
  EXPECT_TRUE(guns_.empty());
  EXPECT_EQ(saves_, 3);
}

TEST(PatternPath, RunsThroughTheSumsOfTheSteps) {
  const std::vector<GunStep> steps = {{1, 2, 0, 10}, {-3, 4, 0, 20}, {0, 10, 0, 30}};
  const PatternPath path = ComputePatternPath(steps);
  EXPECT_EQ(path.points, (std::vector<PathPoint>{{1, 2}, {-2, 6}, {-2, 16}}));
  EXPECT_EQ(path.end(), (PathPoint{-2, 16}));
  EXPECT_EQ(path.min, (PathPoint{-2, 0}));  // the origin counts
  EXPECT_EQ(path.max, (PathPoint{1, 16}));
  EXPECT_EQ(path.total_time, 60);
  EXPECT_EQ(DescribePatternPath(path),
            "3 steps: total horizontal offset 2 left, total vertical offset 16 down, "
            "total time 60 ms");
  EXPECT_EQ(DescribePatternPath(ComputePatternPath({})), "No pattern selected");

  // A damaged file's steps may hold any 32-bit value: the sums do not overflow.
  constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
  const std::vector<GunStep> extreme(kMaxGunSteps, GunStep{kMax, -kMax - 1, 0, 65535});
  const PatternPath far = ComputePatternPath(extreme);
  EXPECT_EQ(far.end(), (PathPoint{30LL * kMax, -30LL * (kMax + 1LL)}));
  EXPECT_EQ(far.total_time, 30 * 65535);
}

}  // namespace
}  // namespace mokta
