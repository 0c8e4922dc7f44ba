#include "device/command_protocol.h"

#include <algorithm>

namespace mokta {

namespace {

// Byte 2 of every command except the slot message, which carries its slot number there.
constexpr std::uint8_t kFixedByte2 = 0x01;
// The summed range of every checksum starts here, right after the three header bytes.
constexpr std::size_t kChecksumStart = 3;

// Message lengths, carried in byte 1.
constexpr std::size_t kOpenLength = 10;
constexpr std::size_t kSensorLength = 56;
constexpr std::size_t kLightingLength = 15;
constexpr std::size_t kPollingRateLength = 9;
constexpr std::size_t kButtonMapLength = 59;

// Command 0x04.
namespace sensor {
constexpr std::size_t kAngleSnap = 3;
constexpr std::size_t kRippleControl = 4;
constexpr std::size_t kStageMask = 5;
constexpr std::size_t kConstant1 = 6;  // 0x05, 0x00; meaning unknown, sent as is
constexpr std::size_t kDpiLow = 8;     // 8 stages
constexpr std::size_t kDpiHigh = 16;   // 8 stages
constexpr std::size_t kActiveStage = 24;
constexpr std::size_t kStageColors = 25;  // 8 x red, green, blue
constexpr std::size_t kConstant2 = 49;    // 0x01; meaning unknown, sent as is
constexpr std::size_t kChecksum = 50;
}  // namespace sensor

// Command 0x05.
namespace lighting {
constexpr std::size_t kEffect = 3;
constexpr std::size_t kSleepHighAndSpeed = 4;
constexpr std::size_t kSleepLowAndBrightness = 5;
constexpr std::size_t kColor = 6;  // red, green, blue
constexpr std::size_t kLightOff = 9;
constexpr std::size_t kKeyDebounce = 10;
constexpr std::size_t kChecksum = 11;
// Lighting effects whose brightness is adjustable; every other effect is sent with brightness 8.
constexpr std::int32_t kEffectWithBrightness1 = 1;
constexpr std::int32_t kEffectWithBrightness2 = 9;
constexpr std::uint8_t kFixedBrightness = 8;
}  // namespace lighting

// Command 0x06.
namespace polling {
constexpr std::size_t kRate = 3;
constexpr std::size_t kRateComplement = 4;
constexpr std::uint8_t kRateFlag = 0x40;
}  // namespace polling

// Command 0x08.
namespace button_map {
constexpr std::size_t kTriples = 3;  // 18 x T0, T1, T2
constexpr std::size_t kChecksum = 57;
}  // namespace button_map

// Command 0x09.
namespace slot_message {
constexpr std::size_t kSlot = 2;
constexpr std::size_t kRepeatMode = 3;
constexpr std::size_t kBindExtra = 4;  // 3 bytes
constexpr std::size_t kRepeatCount = 7;
constexpr std::size_t kItemCount = 8;
constexpr std::size_t kItems = 9;
constexpr std::size_t kChecksum = kItems + kSlotItemBytes;  // 109
static_assert(kChecksum + 2 == kSlotMessageLength);
// The longest message the link sender splits: 128 payload bytes from byte 3.
static_assert(kChecksumStart + 128 == CommandMessage::kBufferSize);

// Second bytes of the item forms.
constexpr std::uint8_t kExtraWait = 0x03;     // (n, 0x03): a further wait of n x 100
constexpr std::uint8_t kWait = 0x00;          // (t, 0x00): a wait of t
constexpr std::uint8_t kMove = 0xF6;          // (t, 0xF6), then x and y, 16-bit, high byte first
constexpr std::uint8_t kContinue = 0xFE;      // (s, 0xFE): go on in slot s
constexpr std::uint8_t kLeftButton = 0xF1;    // mouse-button code of the left button
constexpr std::uint8_t kReleaseBit = 0x80;    // in the time byte of a key item
constexpr std::uint16_t kLongDelay = 128;     // delays from here on are split into t and n x 100
constexpr std::uint8_t kRecoilClickTime = 3;  // press and release of the recoil click

// A recoil pattern message keeps its steps within 98 item bytes, so that the continuation
// item always has room in the 100-byte item area.
constexpr std::size_t kGunStepBytes = kSlotItemBytes - 2;
}  // namespace slot_message

// The low byte of any integer: values outside a field's range are sent cut to their low byte.
template <typename Int>
constexpr std::uint8_t Low(Int v) {
  return static_cast<std::uint8_t>(v);
}

CommandMessage StartMessage(std::uint8_t code, std::size_t length) {
  CommandMessage m;
  m.length = length;
  m.bytes[0] = code;
  m.bytes[1] = Low(length);
  m.bytes[2] = kFixedByte2;
  return m;
}

// Stores the checksum of bytes 3 .. at - 1 at `at`, high byte first.
void PutChecksum(CommandMessage& m, std::size_t at) {
  const std::uint16_t sum = CommandChecksum(
      std::span<const std::uint8_t>(m.bytes).subspan(kChecksumStart, at - kChecksumStart));
  m.bytes[at] = Low(sum >> 8);
  m.bytes[at + 1] = Low(sum);
}

// Red, green and blue of a 0x00BBGGRR colour.
void PutColor(CommandMessage& m, std::size_t at, std::uint32_t color) {
  m.bytes[at] = Low(color);
  m.bytes[at + 1] = Low(color >> 8);
  m.bytes[at + 2] = Low(color >> 16);
}

// The button function triples, ordered by function code.
struct FunctionTriple {
  std::uint8_t function;
  std::array<std::uint8_t, 3> triple;
};
constexpr std::array<FunctionTriple, 64> kFunctionTriples{{
    {0x00, {0x01, 0x00, 0x00}}, {0x01, {0x02, 0x00, 0x00}}, {0x02, {0x03, 0x00, 0x00}},
    {0x03, {0x04, 0x00, 0x00}}, {0x04, {0x06, 0x00, 0x00}}, {0x05, {0x05, 0x00, 0x00}},
    {0x06, {0x0D, 0x00, 0x00}}, {0x07, {0x0E, 0x00, 0x00}}, {0x08, {0x0F, 0x00, 0x00}},
    {0x09, {0x07, 0x00, 0x00}}, {0x0A, {0x08, 0x00, 0x00}}, {0x0B, {0x09, 0x00, 0x00}},
    {0x0C, {0x0A, 0x00, 0x00}}, {0x0D, {0x0B, 0x00, 0x00}}, {0x0E, {0x0C, 0x00, 0x00}},
    {0x10, {0x11, 0x00, 0x00}}, {0x11, {0x12, 0x00, 0x00}}, {0x12, {0x3A, 0x00, 0x00}},
    {0x13, {0x13, 0x00, 0x00}}, {0x15, {0x2B, 0x00, 0x00}}, {0x16, {0x10, 0x00, 0x03}},
    {0x17, {0x29, 0x00, 0x03}}, {0x20, {0x11, 0x01, 0x1B}}, {0x21, {0x11, 0x01, 0x06}},
    {0x22, {0x11, 0x01, 0x19}}, {0x23, {0x11, 0x01, 0x12}}, {0x24, {0x11, 0x01, 0x16}},
    {0x25, {0x11, 0x01, 0x09}}, {0x26, {0x11, 0x01, 0x1C}}, {0x27, {0x11, 0x01, 0x1D}},
    {0x28, {0x11, 0x01, 0x04}}, {0x29, {0x11, 0x01, 0x13}}, {0x2A, {0x11, 0x04, 0x3D}},
    {0x2B, {0x11, 0x04, 0x2B}}, {0x2C, {0x11, 0x08, 0x07}}, {0x2D, {0x11, 0x08, 0x15}},
    {0x2E, {0x11, 0x08, 0x0F}}, {0x2F, {0x11, 0x01, 0x11}}, {0x30, {0x11, 0x01, 0x2E}},
    {0x31, {0x11, 0x01, 0x2D}}, {0x32, {0x11, 0x0A, 0x16}}, {0x34, {0x3C, 0x00, 0x00}},
    {0x36, {0x34, 0x00, 0x00}}, {0x37, {0x35, 0x00, 0x00}}, {0x38, {0x36, 0x00, 0x00}},
    {0x40, {0x15, 0x00, 0x00}}, {0x41, {0x18, 0x00, 0x00}}, {0x42, {0x19, 0x00, 0x00}},
    {0x43, {0x16, 0x00, 0x00}}, {0x44, {0x17, 0x00, 0x00}}, {0x45, {0x1B, 0x00, 0x00}},
    {0x46, {0x1C, 0x00, 0x00}}, {0x47, {0x1A, 0x00, 0x00}}, {0x50, {0x25, 0x00, 0x00}},
    {0x51, {0x11, 0x03, 0x12}}, {0x52, {0x20, 0x00, 0x00}}, {0x53, {0x21, 0x00, 0x00}},
    {0x54, {0x22, 0x00, 0x00}}, {0x55, {0x24, 0x00, 0x00}}, {0x56, {0x26, 0x00, 0x00}},
    {0x57, {0x1E, 0x00, 0x00}}, {0x58, {0x1D, 0x00, 0x00}}, {0x59, {0x23, 0x00, 0x00}},
    {0x73, {0x14, 0x00, 0x00}},
}};
static_assert(std::ranges::is_sorted(kFunctionTriples, {}, &FunctionTriple::function) &&
                  std::ranges::adjacent_find(kFunctionTriples, {}, &FunctionTriple::function) ==
                      kFunctionTriples.end(),
              "one row per function code, in code order");

// The items one macro action or one recoil step turns into, at most eight.
class ItemRun {
 public:
  static constexpr std::size_t kMaxItems = 8;

  void Add(std::uint8_t p, std::uint8_t q) {
    if (count_ < kMaxItems) items_[count_++] = {p, q};
  }
  std::size_t size_bytes() const { return 2 * count_; }
  std::span<const std::array<std::uint8_t, 2>> items() const { return {items_.data(), count_}; }

 private:
  std::array<std::array<std::uint8_t, 2>, kMaxItems> items_{};
  std::size_t count_ = 0;
};
static_assert(2 * ItemRun::kMaxItems <= slot_message::kGunStepBytes,
              "one recoil step always fits an empty message, so every message makes progress");

// The item area of a slot message (bytes 9..108). Appends never write outside it: a run that
// does not fit whole is refused and nothing of it is written.
class ItemArea {
 public:
  explicit ItemArea(CommandMessage& m) : message_(m) {}

  std::size_t used_bytes() const { return used_; }
  bool Append(const ItemRun& run) {
    if (used_ + run.size_bytes() > kSlotItemBytes) return false;
    for (const auto& [p, q] : run.items()) {
      message_.bytes[slot_message::kItems + used_++] = p;
      message_.bytes[slot_message::kItems + used_++] = q;
    }
    return true;
  }
  // Item count and checksum; the message is complete afterwards.
  void Finish() {
    message_.bytes[slot_message::kItemCount] = Low(used_ / 2);
    PutChecksum(message_, slot_message::kChecksum);
  }

 private:
  CommandMessage& message_;
  std::size_t used_ = 0;
};

CommandMessage StartSlotMessage(std::uint8_t slot) {
  CommandMessage m = StartMessage(kCommandSlot, kSlotMessageLength);
  m.bytes[slot_message::kSlot] = slot;
  return m;
}

// Bytes 3..7 of the first message of a button: repeat mode, three extra bytes, repeat count.
void PutRepeatBytes(CommandMessage& m, const ButtonData& button,
                    const std::array<std::uint8_t, 3>& extra) {
  m.bytes[slot_message::kRepeatMode] = Low(button.repeat_mode());
  std::ranges::copy(extra, m.bytes.begin() + slot_message::kBindExtra);
  const std::uint8_t count = Low(button.repeat_count());
  m.bytes[slot_message::kRepeatCount] = count == 0 ? 1 : count;
}

// A key item holds the delay in its low seven bits (1..127) and bit 7 for a release. A longer
// delay is sent as its remainder modulo 100 (at least 5) and a further wait of the hundreds.
ItemRun MacroActionItems(const MacroAction& action) {
  using namespace slot_message;
  const std::uint8_t release = action.state == MacroAction::kPress ? 0 : kReleaseBit;
  const std::uint16_t d = action.delay_ms;
  ItemRun run;
  if (d < kLongDelay) {
    run.Add(Low(std::max<std::uint16_t>(d, 1) | release), action.code);
  } else {
    run.Add(Low(std::max(d % 100, 5) | release), action.code);
    run.Add(Low(d / 100), kExtraWait);
  }
  return run;
}

// One recoil step: a left click, the movement after the step's time, the hundreds of a long
// delay, and after the last step the rest of its delay as a trailing wait.
ItemRun GunStepItems(const GunStep& step, bool last) {
  using namespace slot_message;
  const std::uint16_t d = step.delay;
  const bool long_delay = d >= kLongDelay;
  const int t = long_delay ? d % 100 : d;
  ItemRun run;
  run.Add(kRecoilClickTime, kLeftButton);
  run.Add(Low(kRecoilClickTime | kReleaseBit), kLeftButton);
  run.Add(Low(std::max(t, 5)), kMove);
  run.Add(Low(step.x >> 8), Low(step.x));
  run.Add(Low(step.y >> 8), Low(step.y));
  if (long_delay) run.Add(Low(d / 100), kExtraWait);
  if (last) {
    if (long_delay) {
      run.Add(Low(d / 100), kExtraWait);
      if (t >= 10) run.Add(Low(t), kWait);
    } else if (d >= 10) {
      run.Add(Low(d), kWait);
    }
  }
  return run;
}

}  // namespace

std::uint16_t CommandChecksum(std::span<const std::uint8_t> bytes) {
  std::uint16_t sum = 0;
  for (std::uint8_t b : bytes) sum = static_cast<std::uint16_t>(sum + b);
  return sum;
}

std::optional<std::array<std::uint8_t, 3>> ButtonFunctionTriple(std::uint8_t function) {
  const auto it =
      std::ranges::lower_bound(kFunctionTriples, function, {}, &FunctionTriple::function);
  if (it == kFunctionTriples.end() || it->function != function) return std::nullopt;
  return it->triple;
}

CommandMessage EncodeOpenCommand() {
  CommandMessage m = StartMessage(kCommandOpen, kOpenLength);
  m.bytes[3] = 0xFE;
  m.bytes[4] = 0x01;
  m.bytes[5] = 0xFE;
  return m;
}

CommandMessage EncodeSensorCommand(const ProfileData& profile) {
  using namespace sensor;
  CommandMessage m = StartMessage(kCommandSensor, kSensorLength);
  m.bytes[kAngleSnap] = Low(profile.angle_snap());
  m.bytes[kRippleControl] = Low(profile.ripple_control());
  std::uint8_t mask = 0;
  for (std::size_t i = 0; i < kDpiStages; ++i) {
    if (profile.dpi_enabled(i) == 1) mask = static_cast<std::uint8_t>(mask | (1u << i));
    const std::int64_t dpi = DpiCodeToValue(profile.dpi_x(i));
    m.bytes[kDpiLow + i] = Low(dpi);
    m.bytes[kDpiHigh + i] = Low(dpi >> 8);
    PutColor(m, kStageColors + 3 * i, static_cast<std::uint32_t>(profile.dpi_color(i)));
  }
  m.bytes[kStageMask] = mask;
  m.bytes[kConstant1] = 0x05;
  m.bytes[kConstant1 + 1] = 0x00;
  m.bytes[kActiveStage] = Low(std::int64_t{profile.dpi_step()} + 1);
  m.bytes[kConstant2] = 0x01;
  PutChecksum(m, kChecksum);
  return m;
}

CommandMessage EncodeLightingCommand(const ProfileData& profile) {
  using namespace lighting;
  CommandMessage m = StartMessage(kCommandLighting, kLightingLength);
  const auto effect = profile.light_effect();
  // The 8-bit sleep timer travels split: high nibble in byte 4, low nibble in byte 5, each in
  // the byte's high nibble. Unsigned arithmetic, so that no stored value can overflow.
  const auto sleep = static_cast<std::uint32_t>(profile.sleep_timer());
  const auto speed = static_cast<std::uint32_t>(profile.breathspeed());
  const std::uint8_t brightness =
      effect == kEffectWithBrightness1 || effect == kEffectWithBrightness2
          ? Low(profile.brightness())
          : kFixedBrightness;
  m.bytes[kEffect] = Low(static_cast<std::uint32_t>(effect) << 4);
  m.bytes[kSleepHighAndSpeed] = Low((sleep & 0xF0) | (9u - speed));
  m.bytes[kSleepLowAndBrightness] = Low((sleep << 4) | brightness);
  PutColor(m, kColor, profile.light_color());
  m.bytes[kLightOff] = Low(profile.light_off());
  m.bytes[kKeyDebounce] = Low(profile.key_debounce());
  PutChecksum(m, kChecksum);
  return m;
}

CommandMessage EncodePollingRateCommand(const ProfileData& profile) {
  using namespace polling;
  CommandMessage m = StartMessage(kCommandPollingRate, kPollingRateLength);
  const std::uint8_t rate = Low((static_cast<std::uint32_t>(profile.prate()) + 1) | kRateFlag);
  m.bytes[kRate] = rate;
  m.bytes[kRateComplement] = Low(~rate);
  return m;
}

CommandMessage EncodeButtonMapCommand(const ProfileData& profile, const SlotTable& slot_table) {
  using namespace button_map;
  CommandMessage m = StartMessage(kCommandButtonMap, kButtonMapLength);
  for (std::size_t k = 0; k < kMouseButtons; ++k) {
    const ButtonData& button = profile.button(k);
    const std::uint8_t function = button.function();
    auto triple = ButtonFunctionTriple(function).value_or(std::array<std::uint8_t, 3>{});
    if (function == kFunctionKeyCombo) {
      triple[1] = button.modifiers();
      triple[2] = button.key();
    } else if (function == kFunctionMacro || function == kFunctionGun) {
      triple[1] = 0;
      triple[2] = slot_table[k];
    }
    std::ranges::copy(triple, m.bytes.begin() + kTriples + 3 * k);
  }
  PutChecksum(m, kChecksum);
  return m;
}

CommandMessage EncodeMacroMessage(std::uint8_t slot, const ButtonData& button) {
  CommandMessage m = StartSlotMessage(slot);
  const std::uint8_t extra = button.bind_extra()[0];
  PutRepeatBytes(m, button, {extra, extra, extra});
  ItemArea area(m);
  for (std::size_t i = 0; i < button.used_macro_step_count(); ++i) {
    if (!area.Append(MacroActionItems(button.macro_step(i)))) break;
  }
  area.Finish();
  return m;
}

GunMessage EncodeGunMessage(std::size_t first_step, std::uint8_t slot, const ButtonData& button) {
  using namespace slot_message;
  GunMessage out;
  out.message = StartSlotMessage(slot);
  if (first_step == 0) {
    const auto extra = button.bind_extra();
    PutRepeatBytes(out.message, button, {extra[0], extra[1], extra[2]});
  }
  ItemArea area(out.message);
  const std::size_t count = button.used_gun_step_count();
  for (std::size_t j = first_step; j < count; ++j) {
    const ItemRun run = GunStepItems(button.gun_step(j), j + 1 == count);
    if (area.used_bytes() + run.size_bytes() > kGunStepBytes) {
      ItemRun next;
      next.Add(Low(slot + 1), kContinue);
      area.Append(next);
      out.next_step = j;
      out.continues = true;
      break;
    }
    area.Append(run);
  }
  area.Finish();
  return out;
}

}  // namespace mokta
