// The settings page's bound controls, every row of every binding table, against the virtual
// mouse: operating the control changes exactly its field of the record, the edit reaches the
// mouse when it should (and in one pass with the right commands, as the mouse logged and
// decoded them), and the page's refresh shows a value of the field back.
//
// What each row must do is written out here, not taken from the program: where its field lies
// in the record, which commands carry it and how the mouse holds it.

#include "ui/page_bindings.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSet>
#include <QSlider>
#include <QTest>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "app/window_ids.h"
#include "framework/control_text.h"
#include "page_test_support.h"
#include "qt_wait.h"

namespace mokta {
namespace {

using test::LoggedCommands;
using test::LogSize;

// The field's value as the record holds it: 32 bits, little-endian.
std::int32_t ReadField(const ProfileData& profile, std::size_t offset) {
  const auto bytes = profile.bytes();
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i)
    v |= std::to_integer<std::uint32_t>(bytes[offset + i]) << (8 * i);
  return static_cast<std::int32_t>(v);
}
void WriteField(ProfileData& profile, std::size_t offset, std::int32_t value) {
  auto bytes = profile.bytes();
  for (std::size_t i = 0; i < 4; ++i) {
    bytes[offset + i] =
        static_cast<std::byte>((static_cast<std::uint32_t>(value) >> (8 * i)) & 0xFF);
  }
}

// The offsets where two records differ.
std::set<std::size_t> Differences(const ProfileData& a, const ProfileData& b) {
  std::set<std::size_t> at;
  for (std::size_t i = 0; i < ProfileData::kSize; ++i) {
    if (a.bytes()[i] != b.bytes()[i]) at.insert(i);
  }
  return at;
}

std::int32_t Rgb(const VirtualTriple& c) {
  return c[0] | c[1] << 8 | c[2] << 16;  // stored as 0x00BBGGRR
}

enum class Timing { kNow, k200Ms, k500Ms, kWithApplyButton };

struct Row {
  std::size_t offset;  // of the field (of entry 0 for a field per DPI stage)
  Timing timing;
  QStringList commands;  // what the pass after the edit sends, as the mouse logged it
  // The value the mouse holds for the field (entry `index`); null when no command carries it.
  std::function<std::int32_t(const VirtualMouseSettings&, int index)> on_mouse;
};

// Keyed by the control name or pattern of the row.
const std::map<std::string, Row>& Rows() {
  using H = ProfileHead;
  using S = VirtualMouseSettings;
  static const std::map<std::string, Row> rows = {
      {"ms_1_option_dpi_step_%1",
       {H::kDpiStep,
        Timing::kNow,
        {"0C", "04"},
        [](const S& s, int) { return s.active_stage - 1; }}},
      {"ms_1_btn_prate_%1",
       {H::kPrate,
        Timing::kNow,
        {"0C", "06"},
        [](const S& s, int) { return int{s.polling_rate}; }}},
      // Kept and compared with the sensor group, but no command carries it.
      {"ms_1_option_lift_of_distance_%1",
       {H::kLiftOfDistance, Timing::kNow, {"0C", "04"}, nullptr}},
      {"ms_1_option_ripple_control_%1",
       {H::kRippleControl,
        Timing::kNow,
        {"0C", "04"},
        [](const S& s, int) { return int{s.ripple}; }}},
      {"ms_1_option_angle_snap_%1",
       {H::kAngleSnap,
        Timing::kNow,
        {"0C", "04"},
        [](const S& s, int) { return int{s.angle_snap}; }}},
      {"ms_1_option_motion_sync_%1", {H::kMotionSync, Timing::kNow, {"0C", "04"}, nullptr}},
      // The mouse holds the brightness only under lighting effects 1 and 9; the test's profile
      // uses effect 1.
      {"ms_1_slider_brightness",
       {H::kBrightness,
        Timing::k500Ms,
        {"0C", "05"},
        [](const S& s, int) { return int{s.brightness}; }}},
      {"ms_1_slider_breathspeed",
       {H::kBreathspeed,
        Timing::k500Ms,
        {"0C", "05"},
        [](const S& s, int) { return s.breathing_speed(); }}},
      {"ms_1_slider_light_off",
       {H::kLightOff,
        Timing::k500Ms,
        {"0C", "05"},
        [](const S& s, int) { return int{s.light_off}; }}},
      {"ms_1_slider_sleep_timer",
       {H::kSleepTimer,
        Timing::k500Ms,
        {"0C", "05"},
        [](const S& s, int) { return int{s.sleep_timer}; }}},
      {"ms_1_slider_key_debounce",
       {H::kKeyDebounce,
        Timing::k500Ms,
        {"0C", "05"},
        [](const S& s, int) { return int{s.debounce}; }}},
      {"ms_1_combo_light",
       {H::kLightEffect,
        Timing::k200Ms,
        {"0C", "05"},
        [](const S& s, int) { return int{s.light_effect}; }}},
      // Kept and compared with the lighting group, but no command carries it.
      {"ms_1_combo_light_ble", {H::kLightEffectBle, Timing::k200Ms, {"0C", "05"}, nullptr}},
      // Stored only: the pass finds no group changed.
      {"ms_1_check_movemode", {H::kMovemode, Timing::kNow, {"0C"}, nullptr}},
      // Codes up to 200 are 50 DPI a step.
      {"ms_1_slider_dpi_%1",
       {H::kDpiX,
        Timing::kWithApplyButton,
        {"0C", "04"},
        [](const S& s, int i) { return s.dpi[static_cast<std::size_t>(i)] / 50; }}},
      // Byte 5 of command 0x04 holds a bit per stage that is on.
      {"ms_1_check_dpi_enabled_%1",
       {H::kDpiEnabled,
        Timing::kNow,
        {"0C", "04"},
        [](const S& s, int i) { return (s.stage_mask >> i) & 1; }}},
      {"ms_1_btn_dpi_color_%1",
       {H::kDpiColor,
        Timing::kNow,
        {"0C", "04"},
        [](const S& s, int i) { return Rgb(s.stage_colors[static_cast<std::size_t>(i)]); }}},
      {"ms_1_btn_light_color",
       {H::kLightColor,
        Timing::kNow,
        {"0C", "05"},
        [](const S& s, int) { return Rgb(s.light_color); }}},
  };
  return rows;
}

class PageBindingsTest : public test::PageTest {
 protected:
  // The expectation of a row; a row without one fails the test.
  const Row* RowFor(const char* name) {
    const auto it = Rows().find(name);
    if (it == Rows().end()) {
      ADD_FAILURE() << "no expectation written for the page's row " << name;
      return nullptr;
    }
    return &it->second;
  }

  // Operates a control with `operate`, which should store `value` in entry `index` of the
  // row's field, and checks the record, the timing, the commands and the mouse.
  void ExpectEdit(const char* name, int index, std::int32_t value,
                  const std::function<void()>& operate) {
    SCOPED_TRACE(std::string(name) + " entry " + std::to_string(index));
    const Row* row = RowFor(name);
    ASSERT_NE(row, nullptr);
    const std::size_t offset = row->offset + 4 * static_cast<std::size_t>(index);
    const ProfileData before = Current();
    ASSERT_NE(ReadField(before, offset), value) << "the test must pick a new value";
    const qint64 from = LogSize();
    const int passes = passes_;
    const std::uint64_t requests = ApplyRequests();

    operate();
    for (std::size_t at : Differences(before, Current())) {
      EXPECT_TRUE(at >= offset && at < offset + 4) << "byte " << at << " changed too";
    }
    EXPECT_EQ(ReadField(Current(), offset), value);

    switch (row->timing) {
      case Timing::kNow:
        EXPECT_EQ(ApplyRequests(), requests + 1);
        break;
      case Timing::k200Ms:
      case Timing::k500Ms: {
        // The pass is asked for when the edit has rested for the delay.
        const int delay = row->timing == Timing::k200Ms ? 200 : 500;
        clock_->Advance(delay - 1);
        EXPECT_EQ(ApplyRequests(), requests);
        clock_->Advance(1);
        EXPECT_EQ(ApplyRequests(), requests + 1);
        break;
      }
      case Timing::kWithApplyButton:
        clock_->Advance(1000);
        EXPECT_EQ(ApplyRequests(), requests) << "the edit alone asks for no pass";
        Find<QAbstractButton>("ms_1_btn_apply_dpi")->click();
        EXPECT_EQ(ApplyRequests(), requests + 1);
        break;
    }
    ASSERT_NO_FATAL_FAILURE(WaitForPasses(passes));
    ASSERT_NO_FATAL_FAILURE(Barrier());
    // One pass with the edit, then the barrier's, which finds nothing left to send.
    EXPECT_EQ(LoggedCommands(from), row->commands + QStringList{"0C"});
    if (row->on_mouse) {
      EXPECT_EQ(row->on_mouse(mouse_.State().settings, index), value);
    }
  }

  // Puts `value` into entry `index` of the row's field behind the page's back and refreshes.
  void RefreshWith(const char* name, int index, std::int32_t value) {
    const Row* row = RowFor(name);
    if (!row) return;
    window_->core().session().EditCurrent([&](ProfileData& p) {
      WriteField(p, row->offset + 4 * static_cast<std::size_t>(index), value);
    });
    window_->page().Refresh();
  }

  QString ColorOf(const QString& button) { return Find(button)->styleSheet(); }
};

// The colours of two presets, as stored (0x00BBGGRR).
constexpr int kRedPreset = 11;
constexpr std::int32_t kRed = 0x000000FF;
constexpr int kWhitePreset = 16;
constexpr std::int32_t kWhite = 0x00FFFFFF;

TEST_F(PageBindingsTest, EveryBoundControlEditsItsFieldReachesTheMouseAndIsShownBack) {
  ASSERT_NO_FATAL_FAILURE(Start(1, [](ProfileData& p) { p.set_light_effect(1); }));

  for (const OptionGroupBinding& group : OptionGroupBindings()) {
    const Row* row = RowFor(group.pattern);
    if (!row) continue;
    const std::int32_t value = (ReadField(Current(), row->offset) + 1) % group.count;
    ExpectEdit(group.pattern, 0, value,
               [&] { Find<QAbstractButton>(NumberedName(group.pattern, value + 1))->click(); });
  }
  for (const SliderBinding& slider : SliderBindings()) {
    const Row* row = RowFor(slider.name);
    if (!row) continue;
    auto* control = Find<QSlider>(slider.name);
    EXPECT_EQ(control->minimum(), slider.min) << slider.name;
    EXPECT_EQ(control->maximum(), slider.max) << slider.name;
    const std::int32_t value =
        ReadField(Current(), row->offset) == slider.max ? slider.min : slider.max;
    ExpectEdit(slider.name, 0, value, [&] { control->setValue(value); });
  }
  for (const ComboBinding& combo : ComboBindings()) {
    const Row* row = RowFor(combo.name);
    if (!row) continue;
    auto* control = Find<QComboBox>(combo.name);
    const std::int32_t value = (ReadField(Current(), row->offset) + 1) % control->count();
    ExpectEdit(combo.name, 0, value, [&] {
      control->setCurrentIndex(value);
      emit control->activated(value);  // as a choice in the open list
    });
  }
  for (const CheckBinding& check : CheckBindings()) {
    const Row* row = RowFor(check.name);
    if (!row) continue;
    const std::int32_t value = ReadField(Current(), row->offset) == 0 ? 1 : 0;
    ExpectEdit(check.name, 0, value, [&] { Find<QAbstractButton>(check.name)->click(); });
  }
  const DpiStageBinding& stages = DpiStages();
  if (const Row* row = RowFor(stages.slider)) {
    for (int i = 0; i < stages.count; ++i) {
      auto* control = Find<QSlider>(NumberedName(stages.slider, i + 1));
      EXPECT_EQ(control->minimum(), stages.min);
      EXPECT_EQ(control->maximum(), stages.max);
      const std::int32_t value = ReadField(Current(), row->offset + 4 * i) == 100 ? 120 : 100;
      ExpectEdit(stages.slider, i, value, [&] { control->setValue(value); });
      EXPECT_EQ(ControlText(Find(NumberedName(stages.label, i + 1))), QString::number(value * 50));
      EXPECT_EQ(Find<QLineEdit>(NumberedName(stages.edit, i + 1))->text(),
                QString::number(value * 50));
    }
  }
  for (const ColorButtonBinding& button : ColorButtonBindings()) {
    const Row* row = RowFor(button.pattern);
    if (!row) continue;
    const QStringList names = NumberedNames(button.pattern, button.count);
    for (int i = 0; i < names.size(); ++i) {
      const bool red = ReadField(Current(), row->offset + 4 * i) == kRed;
      auto answer = test::PickPreset(red ? kWhitePreset : kRedPreset, "confirm_btn");
      ExpectEdit(button.pattern, i, red ? kWhite : kRed,
                 [&] { QTest::mouseClick(Find<QAbstractButton>(names[i]), Qt::LeftButton); });
      EXPECT_TRUE(ColorOf(names[i]).contains(red ? "#ffffff" : "#ff0000"));
    }
  }

  // The refresh: each field changed behind the page's back shows on its control.
  for (const OptionGroupBinding& group : OptionGroupBindings()) {
    RefreshWith(group.pattern, 0, group.count - 1);
    EXPECT_TRUE(Find<QAbstractButton>(NumberedName(group.pattern, group.count))->isChecked())
        << group.pattern;
    RefreshWith(group.pattern, 0, 0);
    EXPECT_TRUE(Find<QAbstractButton>(NumberedName(group.pattern, 1))->isChecked())
        << group.pattern;
  }
  EXPECT_EQ(ControlTextKey(Find("ms_1_label_prate")), "prate_1_text");
  for (const SliderBinding& slider : SliderBindings()) {
    const std::int32_t value = slider.min + 1;
    RefreshWith(slider.name, 0, value);
    EXPECT_EQ(Find<QSlider>(slider.name)->value(), value) << slider.name;
  }
  EXPECT_EQ(ControlText(Find("ms_1_label_key_debounce")), "4 MS");  // 2 ms a step
  EXPECT_TRUE(ControlText(Find("ms_1_label_sleep_timer")).contains("2"));
  EXPECT_TRUE(ControlText(Find("ms_1_label_light_off")).contains("1.0"));  // half minutes
  for (const ComboBinding& combo : ComboBindings()) {
    RefreshWith(combo.name, 0, 2);
    EXPECT_EQ(Find<QComboBox>(combo.name)->currentIndex(), 2) << combo.name;
  }
  // The move-mode check box is left as it is by the refresh: no row of CheckBindings is shown.
  for (int i = 0; i < stages.count; ++i) {
    RefreshWith(stages.slider, i, 300);  // above 200: 100 DPI a step from 10000
    EXPECT_EQ(Find<QSlider>(NumberedName(stages.slider, i + 1))->value(), 300);
    EXPECT_EQ(ControlText(Find(NumberedName(stages.label, i + 1))), "20000");
    EXPECT_EQ(Find<QLineEdit>(NumberedName(stages.edit, i + 1))->text(), "20000");
  }
  for (const ColorButtonBinding& button : ColorButtonBindings()) {
    const QStringList names = NumberedNames(button.pattern, button.count);
    for (int i = 0; i < names.size(); ++i) {
      RefreshWith(button.pattern, i, 0x00563412);  // red 0x12, green 0x34, blue 0x56
      EXPECT_TRUE(ColorOf(names[i]).contains("#123456")) << names[i].toStdString();
    }
  }
}

// The DPI stages' on/off check boxes: the stage's flag, sent at once; a stage that is off is
// greyed and its active-stage option cannot be chosen; the active stage moves off a stage that
// is turned off; the last stage that is on stays on; the refresh shows the profile's flags.
TEST_F(PageBindingsTest, DpiStagesAreTurnedOnAndOffAndTheActiveStageStaysOnOne) {
  ASSERT_NO_FATAL_FAILURE(Start());  // stages 1..6 on, stage 2 active
  const DpiStageBinding& stages = DpiStages();
  auto check = [&](int n) { return Find<QAbstractButton>(NumberedName(stages.on_check, n)); };
  auto option = [&](int n) { return Find<QAbstractButton>(NumberedName(stages.option, n)); };
  auto stage_enabled = [&](int n) {
    return Find(NumberedName(stages.slider, n))->isEnabled() &&
           Find(NumberedName(stages.edit, n))->isEnabled() && option(n)->isEnabled();
  };
  for (int n = 1; n <= 8; ++n) {
    EXPECT_EQ(check(n)->isChecked(), n <= 6) << n;
    EXPECT_EQ(stage_enabled(n), n <= 6) << n;
    EXPECT_EQ(Find(NumberedName(stages.slider, n))->isEnabled(), n <= 6) << n;
  }
  EXPECT_EQ(check(3)->accessibleName(), "Stage 3 on");

  // Each check box edits its own flag only, and the mouse takes it at once.
  ExpectEdit(stages.on_check, 2, 0, [&] { check(3)->click(); });
  EXPECT_FALSE(stage_enabled(3));
  option(3)->click();  // greyed: cannot be chosen
  EXPECT_EQ(Current().dpi_step(), 1);
  ExpectEdit(stages.on_check, 2, 1, [&] { check(3)->click(); });
  EXPECT_TRUE(stage_enabled(3));
  ExpectEdit(stages.on_check, 2, 0, [&] { check(3)->click(); });

  // Stage 7 has no DPI yet: turned on, it starts at stage 6's.
  check(7)->click();
  EXPECT_TRUE(stage_enabled(7));
  EXPECT_EQ(Current().dpi_enabled(6), 1);
  EXPECT_EQ(Current().dpi_x(6), 320);
  EXPECT_EQ(Find<QLineEdit>(NumberedName(stages.edit, 7))->text(), "22000");
  EXPECT_EQ(Find<QSlider>(NumberedName(stages.slider, 7))->value(), 320);
  WAIT_EQ(mouse_.State().settings.dpi[6], 22000);

  // Turning off the active stage 2 makes the nearest stage that is on active: 1 (3 is off).
  check(2)->click();
  EXPECT_EQ(Current().dpi_enabled(1), 0);
  EXPECT_EQ(Current().dpi_step(), 0);
  EXPECT_TRUE(option(1)->isChecked());
  WAIT_EQ(int{mouse_.State().settings.active_stage}, 1);
  WAIT_EQ(int{mouse_.State().settings.stage_mask}, 0b01111001);  // 1, 4..7

  // Down to one stage: its check box cannot turn it off, nor can a click that gets through.
  for (int n : {4, 5, 6, 7}) check(n)->click();
  EXPECT_EQ(DpiStagesOn(Current()), 1);
  EXPECT_FALSE(check(1)->isEnabled());
  EXPECT_TRUE(check(1)->isChecked());
  check(1)->setEnabled(true);
  check(1)->click();
  EXPECT_TRUE(check(1)->isChecked());
  EXPECT_EQ(Current().dpi_enabled(0), 1);
  EXPECT_EQ(Current().dpi_step(), 0);
  WAIT_EQ(int{mouse_.State().settings.stage_mask}, 0b00000001);

  // The refresh shows the flags of the profile.
  RefreshWith(stages.on_check, 7, 1);
  EXPECT_TRUE(check(8)->isChecked());
  EXPECT_TRUE(stage_enabled(8));
  EXPECT_TRUE(check(1)->isEnabled());  // no longer the only one on
}

TEST(DpiStageSwitch, KeepsOneStageOnAndTheActiveStageOnAStageThatIsOn) {
  const auto profile = NewProfile(u"P");  // stages 1..6 on, index 1 active
  ProfileData p = *profile;
  EXPECT_EQ(DpiStagesOn(p), 6);
  EXPECT_TRUE(SwitchDpiStage(p, 1, false));  // the active one: 0 and 2 are as near, 0 wins
  EXPECT_EQ(p.dpi_step(), 0);
  EXPECT_TRUE(SwitchDpiStage(p, 0, false));  // 2 is nearest now
  EXPECT_EQ(p.dpi_step(), 2);
  EXPECT_TRUE(SwitchDpiStage(p, 7, true));  // turning one on leaves the active stage alone
  EXPECT_EQ(p.dpi_step(), 2);
  EXPECT_EQ(p.dpi_enabled(7), 1);
  EXPECT_EQ(p.dpi_x(7), 320);  // it had no DPI: the nearest before it with one, stage 6's
  p.set_dpi_x(6, 100);
  EXPECT_TRUE(SwitchDpiStage(p, 6, true));
  EXPECT_EQ(p.dpi_x(6), 100);  // a DPI of its own is kept
  EXPECT_TRUE(SwitchDpiStage(p, 6, false));
  for (int i : {2, 3, 4, 5}) EXPECT_TRUE(SwitchDpiStage(p, i, false)) << i;
  EXPECT_EQ(p.dpi_step(), 7);
  EXPECT_FALSE(SwitchDpiStage(p, 7, false));  // the last one on
  EXPECT_EQ(p.dpi_enabled(7), 1);
  EXPECT_FALSE(SwitchDpiStage(p, 8, true));
  EXPECT_FALSE(SwitchDpiStage(p, -1, true));

  // Only 1 counts as on; a stored active stage outside the stages or on a stage that is off
  // moves to the nearest one that is on at the next switch.
  p.set_dpi_enabled(6, 2);
  EXPECT_FALSE(DpiStageOn(p, 6));
  p.set_dpi_step(40);
  EXPECT_TRUE(SwitchDpiStage(p, 0, true));
  EXPECT_EQ(p.dpi_step(), 7);
}

// Names and numbers of the numbered controls.
TEST(PageBindingNames, NumbersAreReadOnlyInsideTheirGroup) {
  EXPECT_EQ(NumberIn("ms_1_btn_prate_4", "ms_1_btn_prate_%1", 4), 4);
  EXPECT_EQ(NumberIn("ms_1_btn_prate_5", "ms_1_btn_prate_%1", 4), 0);
  EXPECT_EQ(NumberIn("ms_1_btn_prate_0", "ms_1_btn_prate_%1", 4), 0);
  EXPECT_EQ(NumberIn("ms_1_btn_prate_01", "ms_1_btn_prate_%1", 4), 0);
  EXPECT_EQ(NumberIn("ms_1_btn_prate_", "ms_1_btn_prate_%1", 4), 0);
  EXPECT_EQ(NumberIn("ms_1_btn_prate_1x", "ms_1_btn_prate_%1", 4), 0);
  EXPECT_EQ(NumberIn("ms_1_btn_light_color", "ms_1_btn_light_color", 1), 1);
  EXPECT_EQ(NumberIn("ms_1_btn_light_colour", "ms_1_btn_light_color", 1), 0);
  EXPECT_EQ(NumberIn("ms_1_slider_dpi_8", "ms_1_slider_dpi_%1", 8), 8);
  EXPECT_EQ(NumberIn("ms_1_label_dpi_8", "ms_1_slider_dpi_%1", 8), 0);
}

// Every control of the page is named once.
TEST(PageBindingNames, ControlNamesAreUnique) {
  const QStringList names = PageControlNames();
  EXPECT_EQ(QSet<QString>(names.begin(), names.end()).size(), names.size());
}

}  // namespace
}  // namespace mokta

int main(int argc, char** argv) {
  return mokta::test::RunPageTests(argc, argv);
}
