#include "ui/page_bindings.h"

#include <algorithm>

#include "ui/page_rules.h"

namespace mokta {
namespace {

// A plain field of the profile, from its getter and setter.
template <std::int32_t (ProfileData::*Get)() const, void (ProfileData::*Set)(std::int32_t)>
constexpr ProfileField Field(const char* name) {
  return {name, [](const ProfileData& p, int) { return (p.*Get)(); },
          [](ProfileData& p, int, std::int32_t v) { (p.*Set)(v); }};
}

// A field with one entry per DPI stage.
template <std::int32_t (ProfileData::*Get)(std::size_t) const,
          void (ProfileData::*Set)(std::size_t, std::int32_t)>
constexpr ProfileField StageField(const char* name) {
  return {name, [](const ProfileData& p, int i) { return (p.*Get)(static_cast<std::size_t>(i)); },
          [](ProfileData& p, int i, std::int32_t v) { (p.*Set)(static_cast<std::size_t>(i), v); }};
}

// The lighting colour is stored as an unsigned 0x00BBGGRR; the table speaks in 32-bit values.
constexpr ProfileField kLightColorField = {
    "light_color",
    [](const ProfileData& p, int) { return static_cast<std::int32_t>(p.light_color()); },
    [](ProfileData& p, int, std::int32_t v) { p.set_light_color(static_cast<std::uint32_t>(v)); }};

QString LightOffLabel(std::int32_t value, const LanguageTexts& language) {
  return LightOffText(value, language);
}
QString SleepTimerLabel(std::int32_t value, const LanguageTexts& language) {
  return SleepTimerText(value, language);
}
QString KeyDebounceLabel(std::int32_t value, const LanguageTexts&) {
  return KeyDebounceText(value);
}

const OptionGroupBinding kOptionGroups[] = {
    {"ms_1_option_dpi_step_%1", 8,
     Field<&ProfileData::dpi_step, &ProfileData::set_dpi_step>("dpi_step"), ApplyTiming::kNow,
     nullptr, nullptr},
    {"ms_1_btn_prate_%1", 4, Field<&ProfileData::prate, &ProfileData::set_prate>("prate"),
     ApplyTiming::kNow, "ms_1_label_prate", "prate_%1_text"},
    {"ms_1_option_lift_of_distance_%1", 2,
     Field<&ProfileData::lift_of_distance, &ProfileData::set_lift_of_distance>("lift_of_distance"),
     ApplyTiming::kNow, nullptr, nullptr},
    {"ms_1_option_ripple_control_%1", 2,
     Field<&ProfileData::ripple_control, &ProfileData::set_ripple_control>("ripple_control"),
     ApplyTiming::kNow, nullptr, nullptr},
    {"ms_1_option_angle_snap_%1", 2,
     Field<&ProfileData::angle_snap, &ProfileData::set_angle_snap>("angle_snap"), ApplyTiming::kNow,
     nullptr, nullptr},
    {"ms_1_option_motion_sync_%1", 2,
     Field<&ProfileData::motion_sync, &ProfileData::set_motion_sync>("motion_sync"),
     ApplyTiming::kNow, nullptr, nullptr},
};

// Ranges: what the commands can carry (brightness 0..15, breathing speed 0..9), and for the
// timers and the debounce the steps the page offers.
const SliderBinding kSliders[] = {
    {"ms_1_slider_brightness",
     Field<&ProfileData::brightness, &ProfileData::set_brightness>("brightness"), 0, 15,
     ApplyTiming::kAfter500Ms, nullptr, nullptr},
    {"ms_1_slider_breathspeed",
     Field<&ProfileData::breathspeed, &ProfileData::set_breathspeed>("breathspeed"), 0, 9,
     ApplyTiming::kAfter500Ms, nullptr, nullptr},
    {"ms_1_slider_light_off",
     Field<&ProfileData::light_off, &ProfileData::set_light_off>("light_off"), 1, 60,
     ApplyTiming::kAfter500Ms, "ms_1_label_light_off", &LightOffLabel},
    {"ms_1_slider_sleep_timer",
     Field<&ProfileData::sleep_timer, &ProfileData::set_sleep_timer>("sleep_timer"), 1, 60,
     ApplyTiming::kAfter500Ms, "ms_1_label_sleep_timer", &SleepTimerLabel},
    {"ms_1_slider_key_debounce",
     Field<&ProfileData::key_debounce, &ProfileData::set_key_debounce>("key_debounce"), 1, 15,
     ApplyTiming::kAfter500Ms, "ms_1_label_key_debounce", &KeyDebounceLabel},
};

const ComboBinding kCombos[] = {
    {"ms_1_combo_light",
     Field<&ProfileData::light_effect, &ProfileData::set_light_effect>("light_effect"),
     ApplyTiming::kAfter200Ms, true},
    {"ms_1_combo_light_ble",
     Field<&ProfileData::light_effect_ble, &ProfileData::set_light_effect_ble>("light_effect_ble"),
     ApplyTiming::kAfter200Ms, true},
};

const CheckBinding kChecks[] = {
    {"ms_1_check_movemode", Field<&ProfileData::movemode, &ProfileData::set_movemode>("movemode"),
     ApplyTiming::kNow},
};

const DpiStageBinding kDpiStageBinding = {
    "ms_1_slider_dpi_%1",
    "ms_1_label_dpi_%1",
    "ms_1_edit_dpi_%1",
    static_cast<int>(kDpiStages),
    StageField<&ProfileData::dpi_x, &ProfileData::set_dpi_x>("dpi_x"),
    1,
    320,
    ApplyTiming::kWithApply,
    "ms_1_check_dpi_enabled_%1",
    StageField<&ProfileData::dpi_enabled, &ProfileData::set_dpi_enabled>("dpi_enabled"),
    // A stage turned on or off changes which stages the mouse's DPI button goes through, and
    // may move the active stage, which the page sends at once like its own option: at once too.
    ApplyTiming::kNow,
    "ms_1_option_dpi_step_%1",
};

const ColorButtonBinding kColorButtons[] = {
    {"ms_1_btn_dpi_color_%1", static_cast<int>(kDpiStages),
     StageField<&ProfileData::dpi_color, &ProfileData::set_dpi_color>("dpi_color"),
     ApplyTiming::kNow},
    {"ms_1_btn_light_color", 1, kLightColorField, ApplyTiming::kNow},
};

const SectionBinding kSections[] = {
    {"ms_1_check_button", "ms_1_hor_button", false},
    {"ms_1_check_profile", "ms_1_ver_profile", false},
    {"ms_1_check_power", "ms_1_ver_power", false},
    {"ms_1_check_dpi", "ms_1_ver_dpi", false},
    {"ms_1_check_light", "ms_1_ver_light", false},
    {"ms_1_check_prate", "ms_1_ver_prate", false},
    {"ms_1_check_mouse_attribute", "ms_1_ver_mouse_attribute", false},
    // These sit at the end of the settings column.
    {"ms_1_check_power_setting", "ms_1_ver_power_setting", true},
    {"ms_1_check_lift_of_distance", "ms_1_hor_lift_of_distance", true},
    {"ms_1_check_key_debounce", "ms_1_hor_key_debounce", true},
    {"ms_1_check_ripple_control", "ms_1_hor_ripple_control", true},
    {"ms_1_check_angle_snap", "ms_1_hor_angle_snap", true},
    {"ms_1_check_motion_sync", "ms_1_hor_motion_sync", true},
};

}  // namespace

bool DpiStageOn(const ProfileData& profile, int index) {
  return index >= 0 && index < static_cast<int>(kDpiStages) &&
         profile.dpi_enabled(static_cast<std::size_t>(index)) == 1;
}

int DpiStagesOn(const ProfileData& profile) {
  int on = 0;
  for (int i = 0; i < static_cast<int>(kDpiStages); ++i) on += DpiStageOn(profile, i) ? 1 : 0;
  return on;
}

bool SwitchDpiStage(ProfileData& profile, int index, bool on) {
  const int stages = static_cast<int>(kDpiStages);
  if (index < 0 || index >= stages) return false;
  if (!on && DpiStageOn(profile, index) && DpiStagesOn(profile) == 1) return false;
  profile.set_dpi_enabled(static_cast<std::size_t>(index), on ? 1 : 0);
  auto has_dpi = [&](int i) {
    const std::int32_t code = profile.dpi_x(static_cast<std::size_t>(i));
    return code >= kDpiStageBinding.min && code <= kDpiStageBinding.max;
  };
  if (on && !has_dpi(index)) {
    std::int32_t code = 16;  // 800 DPI, the first stage's default, when no stage has a DPI
    int from = index - 1;
    while (from >= 0 && !has_dpi(from)) --from;
    if (from < 0) {
      from = index + 1;
      while (from < stages && !has_dpi(from)) ++from;
    }
    if (from >= 0 && from < stages) code = profile.dpi_x(static_cast<std::size_t>(from));
    profile.set_dpi_x(static_cast<std::size_t>(index), code);
  }
  const int active = profile.dpi_step();
  if (DpiStageOn(profile, active) || DpiStagesOn(profile) == 0) return true;
  // The nearest stage that is on; a stored step outside the stages counts from the end it
  // lies beyond.
  const int from = std::clamp(active, 0, stages - 1);
  for (int distance = 0; distance < stages; ++distance) {
    for (const int candidate : {from - distance, from + distance}) {
      if (DpiStageOn(profile, candidate)) {
        profile.set_dpi_step(candidate);
        return true;
      }
    }
  }
  return true;
}

int ApplyDelayMs(ApplyTiming timing) {
  switch (timing) {
    case ApplyTiming::kAfter200Ms:
      return 200;
    case ApplyTiming::kAfter500Ms:
      return 500;
    case ApplyTiming::kNow:
    case ApplyTiming::kWithApply:
      return 0;
  }
  return 0;
}

std::span<const OptionGroupBinding> OptionGroupBindings() {
  return kOptionGroups;
}
std::span<const SliderBinding> SliderBindings() {
  return kSliders;
}
std::span<const ComboBinding> ComboBindings() {
  return kCombos;
}
std::span<const CheckBinding> CheckBindings() {
  return kChecks;
}
const DpiStageBinding& DpiStages() {
  return kDpiStageBinding;
}
std::span<const ColorButtonBinding> ColorButtonBindings() {
  return kColorButtons;
}
std::span<const SectionBinding> SectionBindings() {
  return kSections;
}

QString NumberedName(const char* pattern, int n) {
  return QString::fromLatin1(pattern).arg(n);
}

int NumberIn(const QString& name, const char* pattern, int count) {
  const QString text = QString::fromLatin1(pattern);
  const qsizetype at = text.indexOf(QLatin1String("%1"));
  if (at < 0) return count == 1 && name == text ? 1 : 0;
  const QStringView prefix = QStringView(text).left(at);
  const QStringView suffix = QStringView(text).mid(at + 2);
  if (name.size() <= prefix.size() + suffix.size() || !name.startsWith(prefix) ||
      !name.endsWith(suffix)) {
    return 0;
  }
  const QStringView digits =
      QStringView(name).mid(prefix.size(), name.size() - prefix.size() - suffix.size());
  if (digits.front() == QLatin1Char('0')) return 0;  // "ms_1_btn_prate_01" is no option
  bool ok = false;
  const int n = digits.toInt(&ok);
  return ok && n >= 1 && n <= count ? n : 0;
}

QStringList NumberedNames(const char* pattern, int count) {
  QStringList names;
  if (!QString::fromLatin1(pattern).contains(QLatin1String("%1"))) {
    names << QString::fromLatin1(pattern);
    return names;
  }
  for (int n = 1; n <= count; ++n) names << NumberedName(pattern, n);
  return names;
}

QStringList PageControlNames() {
  QStringList names;
  names << NumberedNames("ms_1_btn_key_%1", static_cast<int>(kMouseButtons));
  names << "ms_1_btn_macro"
        << "ms_1_btn_gun";
  names << "ms_1_list_profile"
        << "ms_1_profile_add_btn"
        << "ms_1_profile_delete_btn"
        << "ms_1_profile_rename_btn"
        << "ms_1_profile_import_btn"
        << "ms_1_profile_export_btn"
        << "ms_1_profile_reset_btn";
  names << "ms_1_wired"
        << "ms_1_wireless"
        << "ms_1_BLE";
  for (const SectionBinding& section : kSections) names << section.check << section.body;
  names << "ms_1_ver_setting"
        << "ms_1_card_prate";  // hidden whole while the polling rate cannot be set
  const DpiStageBinding& stages = kDpiStageBinding;
  for (const char* pattern : {stages.slider, stages.label, stages.edit, stages.on_check}) {
    names << NumberedNames(pattern, stages.count);
  }
  for (const OptionGroupBinding& group : kOptionGroups) {
    names << NumberedNames(group.pattern, group.count);
    if (group.label) names << group.label;
  }
  for (const ColorButtonBinding& button : kColorButtons) {
    names << NumberedNames(button.pattern, button.count);
  }
  for (const ComboBinding& combo : kCombos) names << combo.name;
  for (const SliderBinding& slider : kSliders) {
    names << slider.name;
    if (slider.label) names << slider.label;
  }
  for (const CheckBinding& check : kChecks) names << check.name;
  names << "ms_1_hor_brightness"
        << "ms_1_hor_breathspeed"
        << "ms_1_hor_light_color";
  names << "ms_1_btn_mouse_attribute"
        << "ms_1_apply_btn"
        << "ms_1_btn_apply_dpi"
        << "ms_1_btn_reset_dpi"
        << "ms_1_btn_reset";
  names << "ms_1_progress_power"
        << "ms_1_label_power"
        << "ms_1_low_power_label"
        << "ms_1_sleep_label"
        << "ms_1_ble_note"
        << "ms_1_send_note";
  return names;
}

}  // namespace mokta
