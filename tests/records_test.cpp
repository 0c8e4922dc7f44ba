// Records: the byte images must match the file format to the last reserved byte.

#include <gtest/gtest.h>

#include "data/colors.h"
#include "data/gun_data.h"
#include "data/macro_data.h"
#include "data/profile_data.h"
#include "test_support.h"

namespace mokta {
namespace {

using test::PutText;
using test::PutU16;
using test::PutU32;

std::vector<std::uint8_t> Bytes(std::span<const std::byte> image) {
  std::vector<std::uint8_t> out(image.size());
  std::memcpy(out.data(), image.data(), image.size());
  return out;
}

// The default profile named Profile1, written out field by field from the record layout.
std::vector<std::uint8_t> ExpectedDefaultProfile() {
  std::vector<std::uint8_t> e(41636, 0);
  PutText(e, 0, "Profile1");  // name
  PutU32(e, 2200, 420);       // reserved_1
  PutU32(e, 2204, 3);         // reserved_2
  PutU32(e, 2212, 6);         // reserved_4
  const std::uint32_t codes[8] = {16, 32, 48, 64, 80, 320, 0, 0};
  for (int i = 0; i < 8; ++i) {
    PutU32(e, 2244 + 4 * i, codes[i]);       // dpi_x
    PutU32(e, 2276 + 4 * i, codes[i]);       // dpi_y
    PutU32(e, 2308 + 4 * i, i < 6 ? 1 : 0);  // dpi_enabled
  }
  PutU32(e, 2340, 8);           // brightness
  PutU32(e, 2344, 6);           // breathspeed
  PutU32(e, 2348, 1);           // light_off
  PutU32(e, 2352, 10);          // sleep_timer
  PutU32(e, 2356, 1);           // dpi_step
  PutU32(e, 2360, 3);           // prate
  PutU32(e, 2368, 1);           // ripple_control
  PutU32(e, 2372, 1);           // angle_snap
  PutU32(e, 2376, 1);           // motion_sync
  e[2388] = 1;                  // reserved_7
  PutU32(e, 2396, 4);           // key_debounce
  PutU32(e, 2400, 0x0000FF00);  // light_color
  const std::uint32_t colors[8] = {0x000000FF, 0x0000FF00, 0x00FF0000, 0x0000FFFF,
                                   0x00FFFF00, 0x00FF00FF, 0x000040FF, 0x00FFFFFF};
  const std::uint32_t reserved_colors[8] = {0x000000FF, 0x0000FF00, 0x00FF0000, 0x00FF00FF,
                                            0x0000FFFF, 0x00FFFFFF, 0x00FFFFFF, 0x000080FF};
  for (int i = 0; i < 8; ++i) {
    PutU32(e, 2404 + 4 * i, colors[i]);           // dpi_color
    PutU32(e, 2436 + 4 * i, reserved_colors[i]);  // reserved_colors
  }
  const std::uint8_t functions[18] = {1, 2, 3, 6, 6, 52, 5, 4, 0, 0, 0, 0, 0, 0, 0, 0, 12, 11};
  for (int slot = 0; slot < 18; ++slot) {
    const std::size_t b = 2468 + 1632 * slot;
    e[b + 0] = static_cast<std::uint8_t>(slot);  // button
    e[b + 1] = functions[slot];                  // function
    PutU16(e, b + 8, 562);                       // reserved_word
    PutU32(e, b + 1072, 0xFFFFFFFF);             // macro_index = -1
    PutU32(e, b + 1076, 0xFFFFFFFF);             // gun_index = -1
  }
  return e;
}

TEST(ProfileRecord, DefaultProfileMatchesGoldenBytes) {
  auto profile = NewProfile(u"Profile1");
  EXPECT_EQ(Bytes(profile->bytes()), ExpectedDefaultProfile());
}

TEST(ProfileRecord, ResetKeepsNameMovemodeAndReservedRuns) {
  ProfileData p;
  auto raw = p.bytes();
  std::fill(raw.begin(), raw.end(), std::byte{0xAB});
  p.set_name(u"Work");
  p.set_movemode(1);
  p.button(20).set_function(9);
  p.button(3).set_function(kFunctionMacro);
  p.button(3).set_bind_name(u"M");

  ResetProfileDefaults(p);

  EXPECT_EQ(p.name(), u"Work");
  EXPECT_EQ(p.movemode(), 1);
  const auto b = Bytes(p.bytes());
  for (std::size_t off : {2209, 2210, 2211, 2389, 2390, 2391}) EXPECT_EQ(b[off], 0xAB) << off;
  for (std::size_t off = 2216; off < 2224; ++off) EXPECT_EQ(b[off], 0xAB) << off;
  for (std::size_t off = 2236; off < 2244; ++off) EXPECT_EQ(b[off], 0xAB) << off;
  // The long reserved texts lose only their first unit.
  EXPECT_EQ(b[200], 0);
  EXPECT_EQ(b[201], 0);
  EXPECT_EQ(b[202], 0xAB);
  EXPECT_EQ(b[1200], 0);
  EXPECT_EQ(b[1202], 0xAB);
  // Every other byte equals the default profile's.
  auto expected = ExpectedDefaultProfile();
  for (std::size_t off = 0; off < 200; ++off) expected[off] = b[off];  // name
  PutU32(expected, 2364, 1);                                           // movemode
  for (std::size_t off = 202; off < 1200; ++off) expected[off] = 0xAB;
  for (std::size_t off = 1202; off < 2200; ++off) expected[off] = 0xAB;
  for (std::size_t off : {2209, 2210, 2211, 2389, 2390, 2391}) expected[off] = 0xAB;
  for (std::size_t off = 2216; off < 2224; ++off) expected[off] = 0xAB;
  for (std::size_t off = 2236; off < 2244; ++off) expected[off] = 0xAB;
  EXPECT_EQ(b, expected);

  const ButtonData& slot5 = p.button(5);
  EXPECT_EQ(slot5.function(), 52);
  EXPECT_EQ(slot5.bind_name(), u"");
  EXPECT_EQ(slot5.macro_index(), -1);
  EXPECT_EQ(slot5.gun_index(), -1);
  EXPECT_EQ(p.button(3).function(), 6);
  for (std::size_t slot = 18; slot < 24; ++slot) {
    for (auto byte : p.button(slot).bytes()) ASSERT_EQ(byte, 0) << "slot " << slot;
  }
}

TEST(ProfileRecord, ResetDpiStagesTouchesOnlyTheStages) {
  auto p = NewProfile(u"P");
  p->set_dpi_step(5);
  p->set_dpi_x(2, 100);
  p->set_dpi_y(2, 101);
  p->set_dpi_enabled(7, 1);
  p->set_dpi_color(0, 0x123456);
  p->set_brightness(2);
  p->set_reserved_colors(0, 7);

  ResetDpiStages(*p);

  auto expected = NewProfile(u"P");
  expected->set_brightness(2);
  expected->set_reserved_colors(0, 7);
  EXPECT_TRUE(*p == *expected);
}

TEST(ProfileRecord, ArrayAccessOutsideTheStagesIsHarmless) {
  auto p = NewProfile(u"P");
  const auto before = Bytes(p->bytes());
  p->set_dpi_x(8, 99);
  p->set_dpi_color(1000, 99);
  EXPECT_EQ(p->dpi_x(8), 0);
  EXPECT_EQ(Bytes(p->bytes()), before);
}

TEST(ButtonRecord, StepCountsAreBoundedByTheirCopies) {
  ButtonData b;
  b.set_step_count(0xFFFF);
  EXPECT_EQ(b.used_macro_step_count(), 46u);
  EXPECT_EQ(b.used_gun_step_count(), 30u);
  b.set_step_count(12);
  EXPECT_EQ(b.used_macro_step_count(), 12u);
  EXPECT_EQ(b.macro_step(46), MacroAction{});
  EXPECT_EQ(b.gun_step(30), GunStep{});
}

TEST(TextFields, NeverWritePastTheFieldAndAlwaysTerminate) {
  MacroData m;
  auto raw = m.bytes();
  std::fill(raw.begin(), raw.end(), 0xEE);
  m.set_name(u"abcdefghijklmnopqrstuvwxyz0123456789");  // 36 units into 24
  EXPECT_EQ(m.name(), u"abcdefghijklmnopqrstuvw");      // 23 units
  EXPECT_TRUE(m.name_terminated());
  EXPECT_EQ(raw[46], 0);
  EXPECT_EQ(raw[47], 0);
  EXPECT_EQ(raw[48], 0xEE);  // `reserved` untouched

  // A shorter name clears the rest of the field.
  m.set_name(u"ab");
  for (std::size_t off = 4; off < 48; ++off) EXPECT_EQ(raw[off], 0) << off;

  // A surrogate pair is never split at the cut.
  QString name = QString(22, QLatin1Char('x')) + QString::fromUcs4(U"\U0001F600");
  m.set_name(name);
  EXPECT_EQ(m.name(), QString(22, QLatin1Char('x')));
}

TEST(TextFields, UnterminatedNameReadsOnlyItsField) {
  GunData g;
  auto raw = g.bytes();
  for (std::size_t i = 0; i < 100; i += 2) raw[i] = 'A';
  g.set_count(7);
  EXPECT_EQ(g.name(), QString(50, QLatin1Char('A')));
  EXPECT_FALSE(g.name_terminated());
}

TEST(GunRecord, NewPatternHasThirtyStepsOfDelayFive) {
  auto g = NewGun(u"Gun1");
  std::vector<std::uint8_t> e(476, 0);
  PutText(e, 0, "Gun1");                                         // name
  e[100] = 30;                                                   // count
  for (int i = 0; i < 30; ++i) PutU16(e, 116 + 12 * i + 10, 5);  // bullets[i].delay
  EXPECT_EQ(Bytes(std::as_bytes(g->bytes())), e);
}

TEST(GunRecord, CountFromAFileIsBroughtIntoRange) {
  GunData g;
  g.set_count(0);
  EXPECT_EQ(g.used_count(), 1u);
  g.set_count(200);
  EXPECT_EQ(g.used_count(), 30u);
  g.set_count(17);
  EXPECT_EQ(g.used_count(), 17u);
  GunStep step{.x = -999, .y = 999, .reserved = 0xBEEF, .delay = 65535};
  g.set_bullet(29, step);
  EXPECT_EQ(g.bullet(29), step);
  EXPECT_EQ(g.bullet(30), GunStep{});
}

TEST(MacroRecord, NewMacroIsZeroBytesWithItsName) {
  auto m = NewMacro(u"Macro4_1");
  std::vector<std::uint8_t> e(240, 0);
  PutText(e, 0, "Macro4_1");
  EXPECT_EQ(Bytes(std::as_bytes(m->bytes())), e);
  EXPECT_EQ(MacroSizeUnits(*m), 0);
}

TEST(MacroRecord, ActionsAreLittleEndianFourByteEntries) {
  MacroData m;
  m.set_action_count(1);
  m.set_action(0, MacroAction{.code = 0x04, .state = MacroAction::kPress, .delay_ms = 0x1234});
  EXPECT_EQ(m.bytes()[52], 1);
  EXPECT_EQ(m.bytes()[56], 0x04);
  EXPECT_EQ(m.bytes()[57], 1);
  EXPECT_EQ(m.bytes()[58], 0x34);
  EXPECT_EQ(m.bytes()[59], 0x12);
}

MacroData MacroWithDelays(std::initializer_list<std::uint16_t> delays) {
  MacroData m;
  std::size_t i = 0;
  for (auto d : delays) m.set_action(i++, MacroAction{.code = 4, .state = 1, .delay_ms = d});
  m.set_action_count(static_cast<std::uint32_t>(i));
  return m;
}

TEST(MacroRecord, SizeUnitsFollowTheDelayRule) {
  EXPECT_EQ(MacroSizeUnits(MacroWithDelays({127})), 1);
  EXPECT_EQ(MacroSizeUnits(MacroWithDelays({128})), 3);  // 128 mod 200 = 128 > 127
  EXPECT_EQ(MacroSizeUnits(MacroWithDelays({200})), 2);
  EXPECT_EQ(MacroSizeUnits(MacroWithDelays({328})), 3);
  EXPECT_EQ(MacroSizeUnits(MacroWithDelays({400})), 2);
  EXPECT_EQ(MacroSizeUnits(MacroWithDelays({1, 0, 25000})), 4);

  MacroData full;
  for (std::size_t i = 0; i < 46; ++i) full.set_action(i, MacroAction{4, 1, 127});
  full.set_action_count(46);
  EXPECT_EQ(MacroSizeUnits(full), 46);
  full.set_action(0, MacroAction{4, 1, 25000});
  full.set_action(1, MacroAction{4, 2, 25000});
  EXPECT_EQ(MacroSizeUnits(full), 48);
  EXPECT_GE(MacroSizeUnits(full), kMacroSizeLimit);
}

TEST(MacroRecord, DamagedActionCountNeverReadsPastTheActions) {
  MacroData m = MacroWithDelays({10, 20});
  m.set_action_count(0xFFFFFFFF);
  EXPECT_EQ(m.used_action_count(), 46u);
  EXPECT_EQ(MacroSizeUnits(m), 46);  // 2 actions plus 44 zero-delay entries
  EXPECT_EQ(m.action(46), MacroAction{});
}

TEST(Conversions, DpiCodes) {
  EXPECT_EQ(DpiCodeToValue(0), 0);
  EXPECT_EQ(DpiCodeToValue(16), 800);
  EXPECT_EQ(DpiCodeToValue(200), 10000);
  EXPECT_EQ(DpiCodeToValue(201), 10100);
  EXPECT_EQ(DpiCodeToValue(320), 22000);
  EXPECT_EQ(DpiCodeToValue(INT32_MAX), (std::int64_t{INT32_MAX} - 100) * 100);  // no overflow
}

TEST(Conversions, Colours) {
  EXPECT_EQ(ArgbToStoredColor(0xFF102030), 0x00302010u);
  EXPECT_EQ(StoredColorToArgb(0x00302010), 0xFF102030u);
  EXPECT_EQ(ArgbToStoredColor(0x7F102030), 0x00302010u);  // alpha dropped
  EXPECT_EQ(StoredColorToArgb(0xAB0000FF), 0xFFFF0000u);  // a stray top byte is ignored
  EXPECT_EQ(StoredColorToRgb(0x000040FF), (std::array<std::uint8_t, 3>{0xFF, 0x40, 0x00}));
}

}  // namespace
}  // namespace mokta
