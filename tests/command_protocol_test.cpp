// Command encoders: every byte the mouse is given, from the default profile's golden messages
// to the slot messages of damaged records.

#include "device/command_protocol.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace mokta {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Item = std::array<std::uint8_t, 2>;

Bytes WholeBuffer(const CommandMessage& m) {
  return Bytes(m.bytes.begin(), m.bytes.end());
}

// Compares the whole buffer: the message, then zeros to the buffer's end.
void ExpectMessage(const CommandMessage& m, Bytes expected) {
  EXPECT_EQ(m.length, expected.size());
  expected.resize(CommandMessage::kBufferSize, 0);
  EXPECT_EQ(WholeBuffer(m), expected);
}

std::uint16_t Sum(const Bytes& bytes, std::size_t from, std::size_t to) {
  std::uint16_t sum = 0;
  for (std::size_t i = from; i < to; ++i) sum = static_cast<std::uint16_t>(sum + bytes[i]);
  return sum;
}

// A slot message laid out by hand: bytes 0..7, the item count, the items, zeros to byte 108,
// then the checksum of bytes 3..108.
Bytes ExpectedSlotMessage(const Bytes& head, const std::vector<Item>& items) {
  Bytes e = head;
  e.push_back(static_cast<std::uint8_t>(items.size()));  // item count
  for (const Item& item : items) e.insert(e.end(), item.begin(), item.end());
  e.resize(109, 0);
  const std::uint16_t sum = Sum(e, 3, 109);
  e.push_back(static_cast<std::uint8_t>(sum >> 8));
  e.push_back(static_cast<std::uint8_t>(sum));
  return e;
}

Item ItemAt(const CommandMessage& m, std::size_t index) {
  return {m.bytes[9 + 2 * index], m.bytes[10 + 2 * index]};
}

void ExpectChecksum(const CommandMessage& m, std::size_t at) {
  const Bytes b = WholeBuffer(m);
  EXPECT_EQ(b[at] << 8 | b[at + 1], Sum(b, 3, at)) << "checksum at byte " << at;
}

void SetBindExtra(ButtonData& button, std::uint8_t a, std::uint8_t b, std::uint8_t c) {
  button.bytes()[ButtonData::kBindExtra] = a;
  button.bytes()[ButtonData::kBindExtra + 1] = b;
  button.bytes()[ButtonData::kBindExtra + 2] = c;
}

void SetMacroStep(ButtonData& button, std::size_t i, MacroAction action) {
  action.Encode(button.macro_steps().data() + MacroAction::kSize * i);
}

void SetGunStep(ButtonData& button, std::size_t i, GunStep step) {
  step.Encode(button.gun_steps().data() + GunStep::kSize * i);
}

// All messages of one pattern, sent the way the apply pass sends them: slot after slot.
std::vector<GunMessage> EncodeWholePattern(std::uint8_t first_slot, const ButtonData& button) {
  std::vector<GunMessage> out;
  std::size_t step = 0;
  std::uint8_t slot = first_slot;
  do {
    out.push_back(EncodeGunMessage(step, slot++, button));
    step = out.back().next_step;
  } while (out.back().continues && out.size() < 10);
  return out;
}

// The default profile, as its messages appear on the wire.

TEST(DefaultProfileMessages, Sensor) {
  auto p = NewProfile(u"x");
  ExpectMessage(EncodeSensorCommand(*p), {
                                             0x04, 0x38, 0x01,        // code, length, 0x01
                                             0x01,                    // angle_snap
                                             0x01,                    // ripple_control
                                             0x3F,                    // stages 1..6 enabled
                                             0x05, 0x00,              // constant
                                             0x20, 0x40, 0x60, 0x80,  // DPI low bytes, stages 1..4
                                             0xA0, 0xF0, 0x00, 0x00,  // DPI low bytes, stages 5..8
                                             0x03, 0x06, 0x09, 0x0C,  // DPI high bytes, stages 1..4
                                             0x0F, 0x55, 0x00, 0x00,  // DPI high bytes, stages 5..8
                                             0x02,                    // active stage
                                             0xFF, 0x00, 0x00,        // stage 1 colour: red
                                             0x00, 0xFF, 0x00,        // stage 2: green
                                             0x00, 0x00, 0xFF,        // stage 3: blue
                                             0xFF, 0xFF, 0x00,        // stage 4: yellow
                                             0x00, 0xFF, 0xFF,        // stage 5: cyan
                                             0xFF, 0x00, 0xFF,        // stage 6: magenta
                                             0xFF, 0x40, 0x00,        // stage 7: orange
                                             0xFF, 0xFF, 0xFF,        // stage 8: white
                                             0x01,                    // constant
                                             0x10, 0xCE,              // checksum
                                             0x00, 0x00, 0x00, 0x00,  // unused
                                         });
}

TEST(DefaultProfileMessages, Lighting) {
  auto p = NewProfile(u"x");
  ExpectMessage(EncodeLightingCommand(*p), {
                                               0x05, 0x0F, 0x01,  // code, length, 0x01
                                               0x00,              // effect 0 in the high nibble
                                               0x03,  // sleep timer high nibble, 9 - breathspeed
                                               0xA8,  // sleep timer low nibble, fixed brightness 8
                                               0x00, 0xFF, 0x00,  // colour: green
                                               0x01,              // light_off
                                               0x04,              // key_debounce
                                               0x01, 0xAF,        // checksum
                                               0x00, 0x00,        // unused
                                           });
}

TEST(DefaultProfileMessages, PollingRate) {
  auto p = NewProfile(u"x");
  ExpectMessage(EncodePollingRateCommand(*p), {
                                                  0x06, 0x09, 0x01,        // code, length, 0x01
                                                  0x44,                    // rate index 3
                                                  0xBB,                    // its complement
                                                  0x00, 0x00, 0x00, 0x00,  // unused
                                              });
}

TEST(DefaultProfileMessages, ButtonMap) {
  auto p = NewProfile(u"x");
  ExpectMessage(EncodeButtonMapCommand(*p, SlotTable{}), {
                                                             0x08, 0x3B, 0x01,  // code, length
                                                             0x02, 0x00, 0x00,  // 1: left click
                                                             0x03, 0x00, 0x00,  // 2: right click
                                                             0x04, 0x00, 0x00,  // 3: wheel click
                                                             0x0D, 0x00, 0x00,  // 4: DPI cycle
                                                             0x0D, 0x00, 0x00,  // 5: DPI cycle
                                                             0x3C, 0x00, 0x00,  // 6: code 0x34
                                                             0x05, 0x00, 0x00,  // 7: backward
                                                             0x06, 0x00, 0x00,  // 8: forward
                                                             0x01, 0x00, 0x00,  // 9: off
                                                             0x01, 0x00, 0x00,  // 10: off
                                                             0x01, 0x00, 0x00,  // 11: off
                                                             0x01, 0x00, 0x00,  // 12: off
                                                             0x01, 0x00, 0x00,  // 13: off
                                                             0x01, 0x00, 0x00,  // 14: off
                                                             0x01, 0x00, 0x00,  // 15: off
                                                             0x01, 0x00, 0x00,  // 16: off
                                                             0x0A, 0x00, 0x00,  // 17: scroll down
                                                             0x09, 0x00, 0x00,  // 18: scroll up
                                                             0x00, 0x85,        // checksum
                                                         });
}

TEST(FixedMessages, Open) {
  ExpectMessage(EncodeOpenCommand(), {
                                         0x0C, 0x0A, 0x01,        // code, length, 0x01
                                         0xFE, 0x01, 0xFE,        // constant
                                         0x00, 0x00, 0x00, 0x00,  // zero
                                     });
}

TEST(SensorMessage, DpiCodesStageMaskAndActiveStage) {
  auto p = NewProfile(u"x");
  const std::int32_t codes[8] = {0, 200, 201, 320, 1, 16, 80, 100};
  for (std::size_t i = 0; i < 8; ++i) p->set_dpi_x(i, codes[i]);
  p->set_dpi_enabled(6, 2);  // only the value 1 enables a stage
  p->set_dpi_enabled(7, 1);
  p->set_dpi_step(7);
  const Bytes b = WholeBuffer(EncodeSensorCommand(*p));
  const Bytes low(b.begin() + 8, b.begin() + 16);
  const Bytes high(b.begin() + 16, b.begin() + 24);
  // 0, 10000, 10100, 22000, 50, 800, 4000, 5000.
  EXPECT_EQ(low, (Bytes{0x00, 0x10, 0x74, 0xF0, 0x32, 0x20, 0xA0, 0x88}));
  EXPECT_EQ(high, (Bytes{0x00, 0x27, 0x27, 0x55, 0x00, 0x03, 0x0F, 0x13}));
  EXPECT_EQ(b[5], 0xBF);  // stages 1..6 and 8
  EXPECT_EQ(b[24], 8);
  ExpectChecksum(EncodeSensorCommand(*p), 50);
}

TEST(LightingMessage, BrightnessOnlyForEffectsOneAndNine) {
  auto p = NewProfile(u"x");
  p->set_brightness(5);
  for (const auto& [effect, byte3, low_nibble] :
       {std::tuple{2, 0x20, 8}, std::tuple{1, 0x10, 5}, std::tuple{9, 0x90, 5}}) {
    p->set_light_effect(effect);
    const CommandMessage m = EncodeLightingCommand(*p);
    EXPECT_EQ(m.bytes[3], byte3) << "effect " << effect;
    EXPECT_EQ(m.bytes[5] & 0x0F, low_nibble) << "effect " << effect;
    ExpectChecksum(m, 11);
  }
}

TEST(LightingMessage, SleepTimerTravelsSplitAcrossBytesFourAndFive) {
  auto p = NewProfile(u"x");
  const CommandMessage defaults = EncodeLightingCommand(*p);
  EXPECT_EQ(defaults.bytes[4], 0x03);
  EXPECT_EQ(defaults.bytes[5] >> 4, 0xA);

  p->set_sleep_timer(0x3C);
  p->set_breathspeed(2);
  const CommandMessage m = EncodeLightingCommand(*p);
  EXPECT_EQ(m.bytes[4], 0x37);  // high nibble 3, speed 9 - 2
  EXPECT_EQ(m.bytes[5], 0xC8);  // low nibble C, brightness 8
}

TEST(PollingRateMessage, RateAndComplementForEveryIndex) {
  auto p = NewProfile(u"x");
  for (int rate = 0; rate < 4; ++rate) {
    p->set_prate(rate);
    const CommandMessage m = EncodePollingRateCommand(*p);
    EXPECT_EQ(m.bytes[3], 0x41 + rate);
    EXPECT_EQ(m.bytes[4], static_cast<std::uint8_t>(~(0x41 + rate)));
  }
}

TEST(ButtonMapMessage, FunctionsWithDataAndCodesWithoutTriple) {
  auto p = NewProfile(u"x");
  p->button(0).set_function(0x10);  // key combination Ctrl+Alt+Z
  p->button(0).set_modifiers(0x05);
  p->button(0).set_key(0x1D);
  p->button(1).set_function(0x11);  // macro
  p->button(1).set_modifiers(0x05);
  p->button(2).set_function(0x12);  // recoil pattern
  p->button(3).set_function(0x33);  // display text but no triple
  p->button(4).set_function(0xC8);  // not a function code
  p->button(5).set_function(0x2B);  // Alt+Tab
  SlotTable slot_table{};
  slot_table[1] = 2;
  slot_table[2] = 3;
  slot_table[3] = 9;  // a slot is used only by macro and pattern buttons
  ExpectMessage(EncodeButtonMapCommand(*p, slot_table),
                {
                    0x08, 0x3B, 0x01,  // code, length, 0x01
                    0x11, 0x05, 0x1D,  // 1: key combination
                    0x12, 0x00, 0x02,  // 2: macro in slot 2
                    0x3A, 0x00, 0x03,  // 3: pattern in slot 3
                    0x00, 0x00, 0x00,  // 4: code 0x33
                    0x00, 0x00, 0x00,  // 5: code 0xC8
                    0x11, 0x04, 0x2B,  // 6: Alt+Tab
                    0x05, 0x00, 0x00,  // 7: backward
                    0x06, 0x00, 0x00,  // 8: forward
                    0x01, 0x00, 0x00,  // 9: off
                    0x01, 0x00, 0x00,  // 10: off
                    0x01, 0x00, 0x00,  // 11: off
                    0x01, 0x00, 0x00,  // 12: off
                    0x01, 0x00, 0x00,  // 13: off
                    0x01, 0x00, 0x00,  // 14: off
                    0x01, 0x00, 0x00,  // 15: off
                    0x01, 0x00, 0x00,  // 16: off
                    0x0A, 0x00, 0x00,  // 17: scroll down
                    0x09, 0x00, 0x00,  // 18: scroll up
                    0x00, 0xEA,        // checksum
                });
}

// Every function code with a triple, in rows of three; any other code has none.
TEST(ButtonFunctionTriples, CompleteTable) {
  struct Row {
    std::uint8_t code, t0, t1, t2;
  };
  const std::vector<Row> table = {
      {0x00, 0x01, 0x00, 0x00}, {0x13, 0x13, 0x00, 0x00}, {0x46, 0x1C, 0x00, 0x00},
      {0x01, 0x02, 0x00, 0x00}, {0x73, 0x14, 0x00, 0x00}, {0x58, 0x1D, 0x00, 0x00},
      {0x02, 0x03, 0x00, 0x00}, {0x15, 0x2B, 0x00, 0x00}, {0x57, 0x1E, 0x00, 0x00},
      {0x03, 0x04, 0x00, 0x00}, {0x16, 0x10, 0x00, 0x03}, {0x51, 0x11, 0x03, 0x12},
      {0x04, 0x06, 0x00, 0x00}, {0x17, 0x29, 0x00, 0x03}, {0x52, 0x20, 0x00, 0x00},
      {0x05, 0x05, 0x00, 0x00}, {0x36, 0x34, 0x00, 0x00}, {0x53, 0x21, 0x00, 0x00},
      {0x09, 0x07, 0x00, 0x00}, {0x37, 0x35, 0x00, 0x00}, {0x54, 0x22, 0x00, 0x00},
      {0x0A, 0x08, 0x00, 0x00}, {0x38, 0x36, 0x00, 0x00}, {0x59, 0x23, 0x00, 0x00},
      {0x0B, 0x09, 0x00, 0x00}, {0x34, 0x3C, 0x00, 0x00}, {0x55, 0x24, 0x00, 0x00},
      {0x0C, 0x0A, 0x00, 0x00}, {0x12, 0x3A, 0x00, 0x00}, {0x50, 0x25, 0x00, 0x00},
      {0x0D, 0x0B, 0x00, 0x00}, {0x40, 0x15, 0x00, 0x00}, {0x56, 0x26, 0x00, 0x00},
      {0x0E, 0x0C, 0x00, 0x00}, {0x43, 0x16, 0x00, 0x00}, {0x20, 0x11, 0x01, 0x1B},
      {0x06, 0x0D, 0x00, 0x00}, {0x44, 0x17, 0x00, 0x00}, {0x21, 0x11, 0x01, 0x06},
      {0x07, 0x0E, 0x00, 0x00}, {0x41, 0x18, 0x00, 0x00}, {0x22, 0x11, 0x01, 0x19},
      {0x08, 0x0F, 0x00, 0x00}, {0x42, 0x19, 0x00, 0x00}, {0x23, 0x11, 0x01, 0x12},
      {0x10, 0x11, 0x00, 0x00}, {0x47, 0x1A, 0x00, 0x00}, {0x2F, 0x11, 0x01, 0x11},
      {0x11, 0x12, 0x00, 0x00}, {0x45, 0x1B, 0x00, 0x00}, {0x24, 0x11, 0x01, 0x16},
      {0x29, 0x11, 0x01, 0x13}, {0x31, 0x11, 0x01, 0x2D}, {0x2A, 0x11, 0x04, 0x3D},
      {0x25, 0x11, 0x01, 0x09}, {0x28, 0x11, 0x01, 0x04}, {0x2D, 0x11, 0x08, 0x15},
      {0x26, 0x11, 0x01, 0x1C}, {0x2B, 0x11, 0x04, 0x2B}, {0x2E, 0x11, 0x08, 0x0F},
      {0x27, 0x11, 0x01, 0x1D}, {0x2C, 0x11, 0x08, 0x07}, {0x32, 0x11, 0x0A, 0x16},
      {0x30, 0x11, 0x01, 0x2E},
  };
  ASSERT_EQ(table.size(), 64u);
  for (const Row& r : table) {
    EXPECT_EQ(ButtonFunctionTriple(r.code), (std::array<std::uint8_t, 3>{r.t0, r.t1, r.t2}))
        << "code " << int{r.code};
  }
  int with_triple = 0;
  for (int code = 0; code < 256; ++code) {
    if (ButtonFunctionTriple(static_cast<std::uint8_t>(code))) ++with_triple;
  }
  EXPECT_EQ(with_triple, 64);
  EXPECT_FALSE(ButtonFunctionTriple(0x33));  // has a display text, but no triple
}

TEST(MacroSlotMessage, ItemsForPressReleaseAndDelays) {
  ButtonData b;
  b.set_function(0x11);
  b.set_repeat_mode(1);
  b.set_repeat_count(0x100);  // its low byte is 0, sent as 1
  SetBindExtra(b, 0x07, 0x08, 0x09);
  b.set_step_count(6);
  SetMacroStep(b, 0, {0x04, MacroAction::kRelease, 250});
  SetMacroStep(b, 1, {0x05, MacroAction::kRelease, 3});
  SetMacroStep(b, 2, {0x05, MacroAction::kPress, 3});
  SetMacroStep(b, 3, {0xF1, MacroAction::kPress, 0});
  SetMacroStep(b, 4, {0x06, MacroAction::kPress, 127});
  SetMacroStep(b, 5, {0x06, MacroAction::kPress, 1234});
  SetMacroStep(b, 6, {0x07, MacroAction::kPress, 10});  // beyond step_count
  ExpectMessage(EncodeMacroMessage(4, b), ExpectedSlotMessage(
                                              {
                                                  0x09, 0x6F,        // code, length
                                                  0x04,              // slot
                                                  0x01,              // repeat_mode
                                                  0x07, 0x07, 0x07,  // bind_extra[0] three times
                                                  0x01,              // repeat count
                                              },
                                              {
                                                  {0xB2, 0x04},  // release after 50
                                                  {0x02, 0x03},  // and 2 x 100
                                                  {0x83, 0x05},  // release after 3
                                                  {0x03, 0x05},  // press after 3
                                                  {0x01, 0xF1},  // left button, delay 0 sent as 1
                                                  {0x7F, 0x06},  // press after 127
                                                  {0x22, 0x06},  // press after 34
                                                  {0x0C, 0x03},  // and 12 x 100
                                              }));
}

TEST(MacroSlotMessage, LongDelayKeepsAtLeastFiveAndRepeatCountLowByte) {
  ButtonData b;
  b.set_repeat_count(0x203);
  b.set_step_count(2);
  SetMacroStep(b, 0, {0x04, MacroAction::kPress, 300});
  SetMacroStep(b, 1, {0x05, MacroAction::kPress, 128});
  const CommandMessage m = EncodeMacroMessage(1, b);
  EXPECT_EQ(m.bytes[7], 0x03);
  EXPECT_EQ(m.bytes[8], 4);
  EXPECT_EQ(ItemAt(m, 0), (Item{0x05, 0x04}));  // 300 mod 100 is 0, sent as 5
  EXPECT_EQ(ItemAt(m, 1), (Item{0x03, 0x03}));
  EXPECT_EQ(ItemAt(m, 2), (Item{0x1C, 0x05}));  // 128 is the shortest long delay
  EXPECT_EQ(ItemAt(m, 3), (Item{0x01, 0x03}));
}

// A damaged record may hold 46 long actions, twice what the item area takes. The message stops
// before the first action that does not fit, even when a later, shorter one would.
TEST(MacroSlotMessage, DamagedRecordStaysInsideTheItemArea) {
  for (std::uint16_t stored_count : {std::uint16_t{46}, std::uint16_t{0xFFFF}}) {
    ButtonData b;
    b.set_step_count(stored_count);
    for (std::size_t i = 0; i < 46; ++i) SetMacroStep(b, i, {0x04, MacroAction::kPress, 250});
    SetMacroStep(b, 24, {0x05, MacroAction::kPress, 20});  // one item: 98 bytes after it
    SetMacroStep(b, 26, {0x06, MacroAction::kPress, 20});  // would fit, but comes too late
    const CommandMessage m = EncodeMacroMessage(1, b);
    EXPECT_EQ(m.bytes[8], 49);
    EXPECT_EQ(ItemAt(m, 47), (Item{0x02, 0x03}));  // last item of action 23
    EXPECT_EQ(ItemAt(m, 48), (Item{0x14, 0x05}));  // action 24
    EXPECT_EQ(ItemAt(m, 49), (Item{0x00, 0x00}));
    ExpectChecksum(m, 109);
    const Bytes after(m.bytes.begin() + 111, m.bytes.end());
    EXPECT_EQ(after, Bytes(CommandMessage::kBufferSize - 111, 0));
  }
}

TEST(RecoilPatternMessage, StepsMovementsAndTrailingWait) {
  ButtonData b;
  b.set_function(0x12);
  b.set_repeat_mode(2);
  b.set_repeat_count(3);
  SetBindExtra(b, 0xA1, 0xA2, 0xA3);
  b.set_step_count(3);
  SetGunStep(b, 0, {-2, 300, 0, 250});
  SetGunStep(b, 1, {258, -300, 0, 3});
  SetGunStep(b, 2, {0, 1, 0, 1234});
  const GunMessage g = EncodeGunMessage(0, 6, b);
  EXPECT_FALSE(g.continues);
  ExpectMessage(g.message, ExpectedSlotMessage(
                               {
                                   0x09, 0x6F,        // code, length
                                   0x06,              // slot
                                   0x02,              // repeat_mode
                                   0xA1, 0xA2, 0xA3,  // bind_extra
                                   0x03,              // repeat count
                               },
                               {
                                   {0x03, 0xF1},  // step 1: left button down
                                   {0x83, 0xF1},  // up
                                   {0x32, 0xF6},  // move after 50
                                   {0xFF, 0xFE},  // x = -2
                                   {0x01, 0x2C},  // y = 300
                                   {0x02, 0x03},  // and 2 x 100
                                   {0x03, 0xF1},  // step 2: left button down
                                   {0x83, 0xF1},  // up
                                   {0x05, 0xF6},  // move after 5 (delay 3)
                                   {0x01, 0x02},  // x = 258
                                   {0xFE, 0xD4},  // y = -300
                                   {0x03, 0xF1},  // step 3: left button down
                                   {0x83, 0xF1},  // up
                                   {0x22, 0xF6},  // move after 34
                                   {0x00, 0x00},  // x = 0
                                   {0x00, 0x01},  // y = 1
                                   {0x0C, 0x03},  // and 12 x 100
                                   {0x0C, 0x03},  // trailing wait: 12 x 100 again
                                   {0x22, 0x00},  // and 34
                               }));
}

TEST(RecoilPatternMessage, TrailingWaitOfTheLastStep) {
  struct Case {
    std::uint16_t delay;
    std::vector<Item> tail;  // the items after the five of the movement
  };
  for (const Case& c : {Case{9, {}}, Case{10, {{0x0A, 0x00}}}, Case{127, {{0x7F, 0x00}}},
                        Case{205, {{0x02, 0x03}, {0x02, 0x03}}},
                        Case{210, {{0x02, 0x03}, {0x02, 0x03}, {0x0A, 0x00}}}}) {
    ButtonData b;
    b.set_step_count(1);
    SetGunStep(b, 0, {0, 0, 0, c.delay});
    const CommandMessage m = EncodeGunMessage(0, 1, b).message;
    ASSERT_EQ(m.bytes[8], 5 + c.tail.size()) << "delay " << c.delay;
    for (std::size_t i = 0; i < c.tail.size(); ++i) {
      EXPECT_EQ(ItemAt(m, 5 + i), c.tail[i]) << "delay " << c.delay << ", item " << i;
    }
  }
}

TEST(RecoilPatternMessage, EmptyPatternSendsOneMessageWithoutItems) {
  ButtonData b;
  b.set_repeat_mode(2);
  b.set_repeat_count(1);
  const GunMessage g = EncodeGunMessage(0, 3, b);
  EXPECT_FALSE(g.continues);
  ExpectMessage(g.message, ExpectedSlotMessage(
                               {
                                   0x09, 0x6F,        // code, length
                                   0x03,              // slot
                                   0x02,              // repeat_mode
                                   0x00, 0x00, 0x00,  // bind_extra
                                   0x01,              // repeat count
                               },
                               {}));
}

// Thirty short steps of 10 bytes: nine per message, the tenth would reach 100 bytes.
TEST(RecoilPatternMessage, ThirtyShortStepsTakeFourSlots) {
  ButtonData b;
  b.set_repeat_mode(2);
  b.set_repeat_count(5);
  b.set_step_count(30);
  for (std::size_t j = 0; j < 30; ++j) {
    SetGunStep(b, j, {static_cast<std::int32_t>(j), 0, 0, 5});
  }
  const std::vector<GunMessage> messages = EncodeWholePattern(7, b);
  ASSERT_EQ(messages.size(), 4u);
  for (std::size_t k = 0; k < 4; ++k) {
    const CommandMessage& m = messages[k].message;
    SCOPED_TRACE(k);
    EXPECT_EQ(m.bytes[2], 7 + k);
    EXPECT_EQ(ItemAt(m, 3), (Item{0x00, static_cast<std::uint8_t>(9 * k)}));  // x of first step
    ExpectChecksum(m, 109);
    if (k < 3) {
      EXPECT_TRUE(messages[k].continues);
      EXPECT_EQ(messages[k].next_step, 9 * (k + 1));
      EXPECT_EQ(m.bytes[8], 46);
      EXPECT_EQ(ItemAt(m, 45), (Item{static_cast<std::uint8_t>(8 + k), 0xFE}));
      EXPECT_EQ(ItemAt(m, 46), (Item{0x00, 0x00}));
    } else {
      EXPECT_FALSE(messages[k].continues);
      EXPECT_EQ(m.bytes[8], 15);
    }
    const Bytes repeat_bytes(m.bytes.begin() + 3, m.bytes.begin() + 8);
    EXPECT_EQ(repeat_bytes, k == 0 ? (Bytes{0x02, 0x00, 0x00, 0x00, 0x05}) : Bytes(5, 0));
  }
}

// Thirty long steps of 12 bytes: eight per message; the last step's 16 bytes end the last one.
TEST(RecoilPatternMessage, LongDelaysCarryTheirHundredsAcrossSlots) {
  ButtonData b;
  b.set_step_count(30);
  for (std::size_t j = 0; j < 30; ++j) SetGunStep(b, j, {0, 0, 0, 250});
  const std::vector<GunMessage> messages = EncodeWholePattern(1, b);
  ASSERT_EQ(messages.size(), 4u);
  for (std::size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(messages[k].message.bytes[8], 49);
    EXPECT_EQ(ItemAt(messages[k].message, 47), (Item{0x02, 0x03}));
    EXPECT_EQ(ItemAt(messages[k].message, 48), (Item{static_cast<std::uint8_t>(2 + k), 0xFE}));
  }
  const CommandMessage& last = messages[3].message;
  EXPECT_EQ(last.bytes[8], 5 * 6 + 8);
  EXPECT_EQ(ItemAt(last, 36), (Item{0x02, 0x03}));
  EXPECT_EQ(ItemAt(last, 37), (Item{0x32, 0x00}));
}

// Steps that fill exactly 98 bytes stay; the continuation item then fills the area to its end.
TEST(RecoilPatternMessage, NinetyEightBytesStillFit) {
  ButtonData b;
  b.set_step_count(10);
  for (std::size_t j = 0; j < 10; ++j)
    SetGunStep(b, j, {0, 0, 0, static_cast<std::uint16_t>(j < 4 ? 250 : 5)});
  const GunMessage g = EncodeGunMessage(0, 1, b);
  EXPECT_TRUE(g.continues);
  EXPECT_EQ(g.next_step, 9u);
  EXPECT_EQ(g.message.bytes[8], 50);
  EXPECT_EQ(ItemAt(g.message, 49), (Item{0x02, 0xFE}));
  ExpectChecksum(g.message, 109);
}

// Whatever a damaged file holds, every message keeps to its length and its item area, and a
// pattern's chain of messages ends. Extreme values (INT_MIN, INT_MAX) come up often, which
// the sanitizer builds turn into a check for overflow.
TEST(DamagedRecords, RandomBytesStayInsideTheirMessages) {
  std::mt19937 random(20240601);
  auto p = std::make_unique<ProfileData>();
  for (int round = 0; round < 200; ++round) {
    const std::uint8_t fill = round % 2 ? 0xFF : 0x80;
    for (std::byte& b : p->bytes()) {
      b = std::byte(random() % 4 == 0 ? fill : static_cast<std::uint8_t>(random()));
    }
    const SlotTable slot_table{};
    for (const CommandMessage& m :
         {EncodeSensorCommand(*p), EncodeLightingCommand(*p), EncodePollingRateCommand(*p),
          EncodeButtonMapCommand(*p, slot_table)}) {
      const Bytes b = WholeBuffer(m);
      EXPECT_EQ(b[1], m.length);
      EXPECT_EQ(Bytes(b.begin() + m.length, b.end()), Bytes(b.size() - m.length, 0));
    }
    const ButtonData& button = p->button(round % kMouseButtons);
    std::vector<CommandMessage> slot_messages = {EncodeMacroMessage(1, button)};
    for (const GunMessage& g : EncodeWholePattern(1, button)) slot_messages.push_back(g.message);
    // A step takes at most 12 bytes (the last 16), so eight steps fit each message.
    ASSERT_LE(slot_messages.size(), 1u + 4u);
    for (const CommandMessage& m : slot_messages) {
      const Bytes b = WholeBuffer(m);
      ASSERT_LE(b[8], 50);
      EXPECT_EQ(Bytes(b.begin() + 9 + 2 * b[8], b.begin() + 109), Bytes(100 - 2 * b[8], 0));
      EXPECT_EQ(Bytes(b.begin() + 111, b.end()), Bytes(b.size() - 111, 0));
      ExpectChecksum(m, 109);
    }
  }
}

}  // namespace
}  // namespace mokta
