#pragma once

// The profile record: everything the tool configures on the mouse, in one fixed-size byte
// image that is held in memory, written to "pro.data" and exported as a ".pro" file. Inside it,
// each button slot carries its own copy of an assigned macro or recoil pattern.

#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <type_traits>
#include <vector>

#include "data/byte_image.h"
#include "data/gun_data.h"
#include "data/macro_data.h"

namespace mokta {

// Function codes of a button with data of their own; every other code is a plain function.
inline constexpr std::uint8_t kFunctionKeyCombo = 16;
inline constexpr std::uint8_t kFunctionMacro = 17;
inline constexpr std::uint8_t kFunctionGun = 18;

inline constexpr std::size_t kButtonSlots = 24;   // slots in a profile
inline constexpr std::size_t kMouseButtons = 18;  // slots 0..17 are buttons; 18..23 stay zero
inline constexpr std::size_t kDpiStages = 8;

// The default function of button slots 0..17.
inline constexpr std::array<std::uint8_t, kMouseButtons> DefaultButtonFunctions = {
    1, 2, 3, 6, 6, 52, 5, 4, 0, 0, 0, 0, 0, 0, 0, 0, 12, 11};

// `ButtonData`, 1,632 bytes, one per button slot. Offsets below; every other byte is reserved.
class ButtonData : public ByteImage<1632> {
 public:
  static constexpr std::size_t kButton = 0;        // byte, slot number
  static constexpr std::size_t kFunction = 1;      // byte, function code
  static constexpr std::size_t kKey = 3;           // byte, key of a key combination
  static constexpr std::size_t kModifiers = 7;     // byte: Ctrl 1, Shift 2, Alt 4, Win 8
  static constexpr std::size_t kReservedWord = 8;  // u16, 562 by default
  static constexpr std::size_t kRepeatMode = 12;   // i32
  static constexpr std::size_t kBindName = 16;     // UTF-16, 24 units
  static constexpr std::size_t kBindNameUnits = 24;
  static constexpr std::size_t kRepeatCount = 64;   // i32
  static constexpr std::size_t kStepCount = 68;     // u16
  static constexpr std::size_t kMacroIndex = 1072;  // i32, -1 = none
  static constexpr std::size_t kGunIndex = 1076;    // i32, -1 = none
  static constexpr std::size_t kGunSteps = 1084;    // 30 x GunStep
  static constexpr std::size_t kBindExtra = 1444;   // 3 bytes
  static constexpr std::size_t kMacroSteps = 1448;  // 46 x MacroAction
  static_assert(kGunSteps + kGunStepsSize == kBindExtra);
  static_assert(kMacroSteps + MacroData::kActionsSize == kSize);

  std::uint8_t button() const { return U8<kButton>(); }
  void set_button(std::uint8_t v) { SetU8<kButton>(v); }
  std::uint8_t function() const { return U8<kFunction>(); }
  void set_function(std::uint8_t v) { SetU8<kFunction>(v); }
  std::uint8_t key() const { return U8<kKey>(); }
  void set_key(std::uint8_t v) { SetU8<kKey>(v); }
  std::uint8_t modifiers() const { return U8<kModifiers>(); }
  void set_modifiers(std::uint8_t v) { SetU8<kModifiers>(v); }
  std::uint16_t reserved_word() const { return U16<kReservedWord>(); }
  void set_reserved_word(std::uint16_t v) { SetU16<kReservedWord>(v); }
  std::int32_t repeat_mode() const { return I32<kRepeatMode>(); }
  void set_repeat_mode(std::int32_t v) { SetI32<kRepeatMode>(v); }
  QString bind_name() const { return Text<kBindName, kBindNameUnits>(); }
  void set_bind_name(QStringView v) { SetText<kBindName, kBindNameUnits>(v); }
  std::int32_t repeat_count() const { return I32<kRepeatCount>(); }
  void set_repeat_count(std::int32_t v) { SetI32<kRepeatCount>(v); }
  std::int32_t macro_index() const { return I32<kMacroIndex>(); }
  void set_macro_index(std::int32_t v) { SetI32<kMacroIndex>(v); }
  std::int32_t gun_index() const { return I32<kGunIndex>(); }
  void set_gun_index(std::int32_t v) { SetI32<kGunIndex>(v); }

  // The count as stored; a damaged file may hold any value.
  std::uint16_t step_count() const { return U16<kStepCount>(); }
  void set_step_count(std::uint16_t v) { SetU16<kStepCount>(v); }
  // The counts readers use: the stored count, at most the size of the copy it counts.
  std::size_t used_macro_step_count() const {
    return std::min<std::size_t>(step_count(), MacroData::kMaxActions);
  }
  std::size_t used_gun_step_count() const {
    return std::min<std::size_t>(step_count(), kMaxGunSteps);
  }

  // Entries of the two copies; an index outside the copy gives an empty entry.
  MacroAction macro_step(std::size_t i) const {
    return i < MacroData::kMaxActions ? MacroAction::Decode(bytes().data() + kMacroSteps + 4 * i)
                                      : MacroAction{};
  }
  GunStep gun_step(std::size_t i) const {
    return i < kMaxGunSteps ? GunStep::Decode(bytes().data() + kGunSteps + 12 * i) : GunStep{};
  }

  std::span<std::uint8_t, MacroData::kActionsSize> macro_steps() {
    return Range<kMacroSteps, MacroData::kActionsSize>();
  }
  std::span<const std::uint8_t, MacroData::kActionsSize> macro_steps() const {
    return Range<kMacroSteps, MacroData::kActionsSize>();
  }
  std::span<std::uint8_t, kGunStepsSize> gun_steps() { return Range<kGunSteps, kGunStepsSize>(); }
  std::span<const std::uint8_t, kGunStepsSize> gun_steps() const {
    return Range<kGunSteps, kGunStepsSize>();
  }
  std::span<const std::uint8_t, 3> bind_extra() const { return Range<kBindExtra, 3>(); }
};

// The head of `ProfileData`: every field before the button slots.
class ProfileHead : public ByteImage<2468> {
 public:
  static constexpr std::size_t kName = 0;  // UTF-16, 100 units
  static constexpr std::size_t kNameUnits = 100;
  static constexpr std::size_t kReservedText1 = 200;   // UTF-16, 500 units
  static constexpr std::size_t kReservedText2 = 1200;  // UTF-16, 500 units
  static constexpr std::size_t kReserved1 = 2200;
  static constexpr std::size_t kReserved2 = 2204;
  static constexpr std::size_t kReserved3 = 2208;  // byte
  static constexpr std::size_t kReserved4 = 2212;
  static constexpr std::size_t kReserved5 = 2224;
  static constexpr std::size_t kLiftOfDistance = 2228;
  static constexpr std::size_t kReserved6 = 2232;
  static constexpr std::size_t kDpiX = 2244;        // 8 x i32
  static constexpr std::size_t kDpiY = 2276;        // 8 x i32
  static constexpr std::size_t kDpiEnabled = 2308;  // 8 x i32
  static constexpr std::size_t kBrightness = 2340;
  static constexpr std::size_t kBreathspeed = 2344;
  static constexpr std::size_t kLightOff = 2348;
  static constexpr std::size_t kSleepTimer = 2352;
  static constexpr std::size_t kDpiStep = 2356;
  static constexpr std::size_t kPrate = 2360;
  static constexpr std::size_t kMovemode = 2364;
  static constexpr std::size_t kRippleControl = 2368;
  static constexpr std::size_t kAngleSnap = 2372;
  static constexpr std::size_t kMotionSync = 2376;
  static constexpr std::size_t kLightEffect = 2380;
  static constexpr std::size_t kLightEffectBle = 2384;
  static constexpr std::size_t kReserved7 = 2388;  // byte
  static constexpr std::size_t kReserved8 = 2392;
  static constexpr std::size_t kKeyDebounce = 2396;
  static constexpr std::size_t kLightColor = 2400;
  static constexpr std::size_t kDpiColor = 2404;        // 8 x colour
  static constexpr std::size_t kReservedColors = 2436;  // 8 x colour
};

// `ProfileData`, 41,636 bytes: the head fields, then 24 `ButtonData` slots from offset 2468.
// Every member is a byte image, so the object is exactly its file image (checked below) and is
// copied to and from files as a whole.
class ProfileData {
 public:
  static constexpr std::size_t kSize = 41636;
  static constexpr std::size_t kButtonsOffset = ProfileHead::kSize;
  static constexpr std::size_t kNameUnits = ProfileHead::kNameUnits;

#define MOKTA_I32_FIELD(field, offset)       \
  std::int32_t field() const {               \
    return head_.I32<ProfileHead::offset>(); \
  }                                          \
  void set_##field(std::int32_t v) {         \
    head_.SetI32<ProfileHead::offset>(v);    \
  }
#define MOKTA_I32_ARRAY(field, offset)                      \
  std::int32_t field(std::size_t i) const {                 \
    return head_.I32At<ProfileHead::offset, kDpiStages>(i); \
  }                                                         \
  void set_##field(std::size_t i, std::int32_t v) {         \
    head_.SetI32At<ProfileHead::offset, kDpiStages>(i, v);  \
  }

  QString name() const {
    return head_.Text<ProfileHead::kName, ProfileHead::kNameUnits>();
  }
  void set_name(QStringView v) {
    head_.SetText<ProfileHead::kName, ProfileHead::kNameUnits>(v);
  }
  bool name_terminated() const {
    return head_.TextIsTerminated<ProfileHead::kName, ProfileHead::kNameUnits>();
  }

  MOKTA_I32_FIELD(reserved_1, kReserved1)
  MOKTA_I32_FIELD(reserved_2, kReserved2)
  MOKTA_I32_FIELD(reserved_4, kReserved4)
  MOKTA_I32_FIELD(reserved_5, kReserved5)
  MOKTA_I32_FIELD(lift_of_distance, kLiftOfDistance)
  MOKTA_I32_FIELD(reserved_6, kReserved6)
  MOKTA_I32_ARRAY(dpi_x, kDpiX)
  MOKTA_I32_ARRAY(dpi_y, kDpiY)
  MOKTA_I32_ARRAY(dpi_enabled, kDpiEnabled)
  MOKTA_I32_FIELD(brightness, kBrightness)
  MOKTA_I32_FIELD(breathspeed, kBreathspeed)
  MOKTA_I32_FIELD(light_off, kLightOff)
  MOKTA_I32_FIELD(sleep_timer, kSleepTimer)
  MOKTA_I32_FIELD(dpi_step, kDpiStep)
  MOKTA_I32_FIELD(prate, kPrate)
  MOKTA_I32_FIELD(movemode, kMovemode)
  MOKTA_I32_FIELD(ripple_control, kRippleControl)
  MOKTA_I32_FIELD(angle_snap, kAngleSnap)
  MOKTA_I32_FIELD(motion_sync, kMotionSync)
  MOKTA_I32_FIELD(light_effect, kLightEffect)
  MOKTA_I32_FIELD(light_effect_ble, kLightEffectBle)
  MOKTA_I32_FIELD(reserved_8, kReserved8)
  MOKTA_I32_FIELD(key_debounce, kKeyDebounce)
  MOKTA_I32_ARRAY(dpi_color, kDpiColor)
  MOKTA_I32_ARRAY(reserved_colors, kReservedColors)
#undef MOKTA_I32_FIELD
#undef MOKTA_I32_ARRAY

  std::uint32_t light_color() const {
    return head_.U32<ProfileHead::kLightColor>();
  }
  void set_light_color(std::uint32_t v) {
    head_.SetU32<ProfileHead::kLightColor>(v);
  }
  std::uint8_t reserved_3() const {
    return head_.U8<ProfileHead::kReserved3>();
  }
  void set_reserved_3(std::uint8_t v) {
    head_.SetU8<ProfileHead::kReserved3>(v);
  }
  std::uint8_t reserved_7() const {
    return head_.U8<ProfileHead::kReserved7>();
  }
  void set_reserved_7(std::uint8_t v) {
    head_.SetU8<ProfileHead::kReserved7>(v);
  }

  // Button slot `slot` of 0..23. The caller passes a valid slot; an invalid one is a
  // programming error and is answered with the last slot, which is never a mouse button.
  ButtonData& button(std::size_t slot) {
    return buttons_[slot < kButtonSlots ? slot : 23];
  }
  const ButtonData& button(std::size_t slot) const {
    return buttons_[slot < kButtonSlots ? slot : 23];
  }

  ProfileHead& head() {
    return head_;
  }
  const ProfileHead& head() const {
    return head_;
  }

  // The record's file image.
  std::span<const std::byte, kSize> bytes() const {
    return std::as_bytes(std::span<const ProfileData, 1>(this, 1));
  }
  std::span<std::byte, kSize> bytes() {
    return std::as_writable_bytes(std::span<ProfileData, 1>(this, 1));
  }
  // Replaces the whole record by a file image.
  void assign_bytes(std::span<const std::byte, kSize> image) {
    std::memcpy(static_cast<void*>(this), image.data(), kSize);
  }

  friend bool operator==(const ProfileData&, const ProfileData&) = default;

 private:
  ProfileHead head_;
  std::array<ButtonData, kButtonSlots> buttons_;
};

static_assert(sizeof(ButtonData) == 1632);
static_assert(sizeof(ProfileData) == ProfileData::kSize);
static_assert(alignof(ProfileData) == 1);
static_assert(std::is_trivially_copyable_v<ProfileData>);
static_assert(std::is_standard_layout_v<ProfileData>);

using ProfileList = std::vector<std::unique_ptr<ProfileData>>;

// `ProfileStoreHeader`, 208,184 bytes at the head of "pro.data": `selected` (i32), then bytes
// that are never interpreted and are written back exactly as they were read.
class ProfileStoreHeader : public ByteImage<208184> {
 public:
  static constexpr std::size_t kSelected = 0;

  std::int32_t selected() const { return I32<kSelected>(); }
  void set_selected(std::int32_t v) { SetI32<kSelected>(v); }
};

// Fills a profile with the default settings. Keeps `name`, `movemode`, the two reserved zero
// runs of the head and the three bytes after each byte field; clears all 24 button slots and
// gives slots 0..17 their slot number, default function, reserved word 562 and no macro or
// pattern.
void ResetProfileDefaults(ProfileData& profile);

// Puts the DPI stages back to their defaults: active stage, and for each stage its two codes,
// its enabled flag and its colour. Nothing else changes.
void ResetDpiStages(ProfileData& profile);

// A new profile: zero bytes, the defaults, then `name` (cut to 99 units).
std::unique_ptr<ProfileData> NewProfile(QStringView name);

// The DPI a stage code stands for: code x 50 up to 200, (code - 100) x 100 above.
std::int64_t DpiCodeToValue(std::int32_t code);

}  // namespace mokta
