#include "data/profile_data.h"

#include <algorithm>

namespace mokta {

namespace {

constexpr std::array<std::int32_t, kDpiStages> kDefaultDpiCodes = {16, 32, 48, 64, 80, 320, 0, 0};
constexpr std::array<std::int32_t, kDpiStages> kDefaultDpiEnabled = {1, 1, 1, 1, 1, 1, 0, 0};
// Red, green, blue, yellow, cyan, magenta, orange, white.
constexpr std::array<std::uint32_t, kDpiStages> kDefaultDpiColors = {
    0x000000FF, 0x0000FF00, 0x00FF0000, 0x0000FFFF, 0x00FFFF00, 0x00FF00FF, 0x000040FF, 0x00FFFFFF};
constexpr std::array<std::uint32_t, kDpiStages> kDefaultReservedColors = {
    0x000000FF, 0x0000FF00, 0x00FF0000, 0x00FF00FF, 0x0000FFFF, 0x00FFFFFF, 0x00FFFFFF, 0x000080FF};

constexpr std::uint16_t kDefaultReservedWord = 562;

void ResetHeadDefaults(ProfileData& p) {
  // The two long reserved texts are emptied by their first unit only; the rest stays.
  StoreU16(p.head().bytes().data() + ProfileHead::kReservedText1, 0);
  StoreU16(p.head().bytes().data() + ProfileHead::kReservedText2, 0);
  p.set_reserved_1(420);
  p.set_reserved_2(3);
  p.set_reserved_3(0);
  p.set_reserved_4(6);
  p.set_reserved_5(0);
  p.set_lift_of_distance(0);
  p.set_reserved_6(0);
  ResetDpiStages(p);
  p.set_brightness(8);
  p.set_breathspeed(6);
  p.set_light_off(1);
  p.set_sleep_timer(10);
  p.set_prate(3);
  p.set_ripple_control(1);
  p.set_angle_snap(1);
  p.set_motion_sync(1);
  p.set_light_effect(0);
  p.set_light_effect_ble(0);
  p.set_reserved_7(1);
  p.set_reserved_8(0);
  p.set_key_debounce(4);
  p.set_light_color(0x0000FF00);
  for (std::size_t i = 0; i < kDpiStages; ++i) {
    p.set_reserved_colors(i, static_cast<std::int32_t>(kDefaultReservedColors[i]));
  }
}

void ResetButtonDefaults(ProfileData& p) {
  for (std::size_t slot = 0; slot < kButtonSlots; ++slot) {
    auto bytes = p.button(slot).bytes();
    std::fill(bytes.begin(), bytes.end(), std::uint8_t{0});
  }
  for (std::size_t slot = 0; slot < kMouseButtons; ++slot) {
    ButtonData& b = p.button(slot);
    b.set_button(static_cast<std::uint8_t>(slot));
    b.set_function(DefaultButtonFunctions[slot]);
    b.set_reserved_word(kDefaultReservedWord);
    b.set_macro_index(-1);
    b.set_gun_index(-1);
  }
}

}  // namespace

void ResetDpiStages(ProfileData& p) {
  p.set_dpi_step(1);
  for (std::size_t i = 0; i < kDpiStages; ++i) {
    p.set_dpi_x(i, kDefaultDpiCodes[i]);
    p.set_dpi_y(i, kDefaultDpiCodes[i]);
    p.set_dpi_enabled(i, kDefaultDpiEnabled[i]);
    p.set_dpi_color(i, static_cast<std::int32_t>(kDefaultDpiColors[i]));
  }
}

void ResetProfileDefaults(ProfileData& profile) {
  ResetHeadDefaults(profile);
  ResetButtonDefaults(profile);
}

std::unique_ptr<ProfileData> NewProfile(QStringView name) {
  auto profile = std::make_unique<ProfileData>();
  ResetProfileDefaults(*profile);
  profile->set_name(name);
  return profile;
}

std::int64_t DpiCodeToValue(std::int32_t code) {
  const std::int64_t c = code;
  return c <= 200 ? c * 50 : (c - 100) * 100;
}

}  // namespace mokta
