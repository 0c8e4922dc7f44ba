#include "profile_match.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace mokta {

namespace {

// This file works out from the profile's fields what the mouse should hold, independently of
// the program's encoders: a fault they share with this reading would otherwise pass.

using Item = VirtualSlotItem;
using Kind = VirtualSlotItem::Kind;

class Differences {
 public:
  void Compare(const std::string& field, long mouse, long profile) {
    if (mouse != profile) {
      lines_.push_back(field + ": mouse " + std::to_string(mouse) + ", profile " +
                       std::to_string(profile));
    }
  }
  void Compare(const std::string& field, const VirtualTriple& mouse, const VirtualTriple& profile) {
    for (std::size_t i = 0; i < 3; ++i)
      Compare(field + "[" + std::to_string(i) + "]", mouse[i], profile[i]);
  }
  void Add(std::string line) { lines_.push_back(std::move(line)); }
  std::vector<std::string> Take() { return std::move(lines_); }

 private:
  std::vector<std::string> lines_;
};

std::uint8_t LowByte(std::int64_t v) {
  return static_cast<std::uint8_t>(v & 0xFF);
}

// Red, green and blue: bytes 0, 1 and 2 of a stored colour.
VirtualTriple ColorBytes(std::uint32_t color) {
  return {LowByte(color), LowByte(color >> 8), LowByte(color >> 16)};
}

// The DPI a stage code stands for, as the sensor message carries it (16 bits).
long StageDpi(std::int32_t code) {
  const std::int64_t dpi = code <= 200 ? std::int64_t{code} * 50 : (std::int64_t{code} - 100) * 100;
  return static_cast<long>(dpi & 0xFFFF);
}

void CompareSensor(const VirtualMouseSettings& s, const ProfileData& p, Differences& d) {
  for (std::size_t i = 0; i < kDpiStages; ++i) {
    const std::string stage = "[" + std::to_string(i) + "]";
    d.Compare("dpi" + stage, s.dpi[i], StageDpi(p.dpi_x(i)));
    d.Compare("enabled" + stage, (s.stage_mask >> i) & 1, p.dpi_enabled(i) == 1);
    d.Compare("stage colour" + stage, s.stage_colors[i],
              ColorBytes(static_cast<std::uint32_t>(p.dpi_color(i))));
  }
  d.Compare("active stage", s.active_stage, LowByte(std::int64_t{p.dpi_step()} + 1));
  d.Compare("angle snap", s.angle_snap, LowByte(p.angle_snap()));
  d.Compare("ripple", s.ripple, LowByte(p.ripple_control()));
}

void CompareLighting(const VirtualMouseSettings& s, const ProfileData& p, Differences& d) {
  const int effect = p.light_effect() & 0x0F;
  d.Compare("light effect", s.light_effect, effect);
  // The brightness travels only with the effects that use it.
  d.Compare("brightness", s.brightness, effect == 1 || effect == 9 ? p.brightness() & 0x0F : 8);
  // Wide enough that no stored value overflows.
  const std::int64_t breath_code = (9 - std::int64_t{p.breathspeed()}) & 0x0F;
  d.Compare("breathing speed", s.breathing_speed(), static_cast<long>(9 - breath_code));
  d.Compare("light colour", s.light_color, ColorBytes(p.light_color()));
  d.Compare("light off", s.light_off, LowByte(p.light_off()));
  d.Compare("sleep timer", s.sleep_timer, LowByte(p.sleep_timer()));
  d.Compare("debounce", s.debounce, LowByte(p.key_debounce()));
  d.Compare("polling rate", s.polling_rate, p.prate());
}

// --- Buttons ---

struct FunctionBytes {
  std::uint8_t function;
  VirtualTriple bytes;
};

// What each function code of a button is sent as. Key combinations (0x10), macros (0x11) and
// patterns (0x12) get their second and third byte from the button; codes not listed are
// sent as 00 00 00.
constexpr FunctionBytes kFunctionBytes[] = {
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
};

VirtualTriple PlainFunctionBytes(std::uint8_t function) {
  for (const FunctionBytes& f : kFunctionBytes) {
    if (f.function == function) return f.bytes;
  }
  return {};
}

constexpr std::size_t kMacroCapacity = 46;  // actions a button's macro copy holds
constexpr std::size_t kGunCapacity = 30;    // steps a button's pattern copy holds
constexpr std::size_t kItemCapacity = 50;   // two-byte items in one slot message
// A pattern message keeps room for the item that continues it in the next slot.
constexpr std::size_t kPatternItemCapacity = kItemCapacity - 1;
constexpr std::uint8_t kLeftButton = 0xF1;
constexpr std::uint8_t kClickTime = 3;
constexpr std::uint8_t kShortestMove = 5;
constexpr std::uint8_t kShortestLongKey = 5;

// Two-byte items an item takes on the wire: a movement carries its two offsets behind it.
std::size_t WireItems(const Item& item) {
  return item.kind == Kind::kMove ? 3 : 1;
}

std::size_t WireItems(const std::vector<Item>& items) {
  std::size_t n = 0;
  for (const Item& item : items) n += WireItems(item);
  return n;
}

Item KeyItem(std::uint8_t code, bool release, std::uint8_t time) {
  return {Kind::kKey, time, code, release, 0, 0};
}
Item WaitItem(Kind kind, std::uint8_t time) {
  return {kind, time, 0, false, 0, 0};
}

// A macro action: its key with the delay up to 127; a longer delay as its part below 100 (at
// least 5) and then the hundreds.
std::vector<Item> ActionItems(const MacroAction& action) {
  const unsigned d = action.delay_ms;
  const bool release = action.state != MacroAction::kPress;
  if (d <= 127) return {KeyItem(action.code, release, LowByte(std::max(d, 1u)))};
  return {KeyItem(action.code, release, LowByte(std::max(d % 100, unsigned{kShortestLongKey}))),
          WaitItem(Kind::kLongWait, LowByte(d / 100))};
}

// One pattern step: a left click, the movement after the step's delay (its part below 100 when
// longer than 127, at least 5), the hundreds of a long delay; the last step adds the wait
// after the pattern.
std::vector<Item> StepItems(const GunStep& step, bool last) {
  const unsigned d = step.delay;
  const bool long_delay = d > 127;
  const unsigned t = std::max(long_delay ? d % 100 : d, unsigned{kShortestMove});
  std::vector<Item> items = {
      KeyItem(kLeftButton, false, kClickTime),
      KeyItem(kLeftButton, true, kClickTime),
      {Kind::kMove, LowByte(t), 0, false, static_cast<std::int16_t>(step.x & 0xFFFF),
       static_cast<std::int16_t>(step.y & 0xFFFF)},
  };
  if (long_delay) items.push_back(WaitItem(Kind::kLongWait, LowByte(d / 100)));
  if (last) {
    if (long_delay) {
      items.push_back(WaitItem(Kind::kLongWait, LowByte(d / 100)));
      if (d % 100 >= 10) items.push_back(WaitItem(Kind::kWait, LowByte(d % 100)));
    } else if (d >= 10) {
      items.push_back(WaitItem(Kind::kWait, LowByte(d)));
    }
  }
  return items;
}

// The first message of a button carries its repeat bytes.
VirtualSlot FirstSlot(const ButtonData& button, const VirtualTriple& extra) {
  VirtualSlot slot;
  slot.repeat_mode = LowByte(button.repeat_mode());
  slot.extra = extra;
  slot.repeat_count = LowByte(button.repeat_count());
  if (slot.repeat_count == 0) slot.repeat_count = 1;
  return slot;
}

// A macro fits one message; a damaged copy that would not is cut before the first action that
// does not fit.
VirtualSlot MacroSlot(const ButtonData& button) {
  const std::uint8_t extra = button.bind_extra()[0];
  VirtualSlot slot = FirstSlot(button, {extra, extra, extra});
  const std::size_t count = std::min<std::size_t>(button.step_count(), kMacroCapacity);
  for (std::size_t i = 0; i < count; ++i) {
    const std::vector<Item> items = ActionItems(button.macro_step(i));
    if (WireItems(slot.items) + WireItems(items) > kItemCapacity) break;
    slot.items.insert(slot.items.end(), items.begin(), items.end());
  }
  return slot;
}

// A pattern takes slots `first`, `first` + 1, ...: a step that would not fit whole goes to the
// next slot, which the message before names as its continuation.
std::vector<VirtualSlot> PatternSlots(const ButtonData& button, std::uint8_t first) {
  const auto extra = button.bind_extra();
  std::vector<VirtualSlot> parts = {FirstSlot(button, {extra[0], extra[1], extra[2]})};
  const std::size_t count = std::min<std::size_t>(button.step_count(), kGunCapacity);
  for (std::size_t j = 0; j < count; ++j) {
    const std::vector<Item> items = StepItems(button.gun_step(j), j + 1 == count);
    if (WireItems(parts.back().items) + WireItems(items) > kPatternItemCapacity) {
      parts.back().next_slot = static_cast<std::uint8_t>(first + parts.size());
      VirtualSlot next;
      next.continuation = true;
      parts.push_back(next);
    }
    parts.back().items.insert(parts.back().items.end(), items.begin(), items.end());
  }
  return parts;
}

std::string Hex(unsigned v) {
  char text[8];
  std::snprintf(text, sizeof(text), "0x%02X", v);
  return text;
}

std::string Describe(const Item& item) {
  const std::string time = std::to_string(item.time);
  switch (item.kind) {
    case Kind::kKey:
      return "key " + Hex(item.code) + (item.release ? " up" : " down") + ", " + time;
    case Kind::kLongWait:
      return "wait " + time + " x 100";
    case Kind::kWait:
      return "wait " + time;
    case Kind::kMove:
      return "move " + std::to_string(item.x) + "," + std::to_string(item.y) + " after " + time;
  }
  return {};
}

void CompareSlot(const std::string& name, const VirtualSlot& mouse, const VirtualSlot& profile,
                 Differences& d) {
  d.Compare(name + " continuation", mouse.continuation, profile.continuation);
  d.Compare(name + " repeat mode", mouse.repeat_mode, profile.repeat_mode);
  d.Compare(name + " extra", mouse.extra, profile.extra);
  d.Compare(name + " repeat count", mouse.repeat_count, profile.repeat_count);
  d.Compare(name + " next slot", mouse.next_slot, profile.next_slot);
  d.Compare(name + " items", static_cast<long>(mouse.items.size()),
            static_cast<long>(profile.items.size()));
  const std::size_t common = std::min(mouse.items.size(), profile.items.size());
  for (std::size_t i = 0; i < common; ++i) {
    if (mouse.items[i] != profile.items[i]) {
      d.Add(name + " item " + std::to_string(i) + ": mouse " + Describe(mouse.items[i]) +
            ", profile " + Describe(profile.items[i]));
    }
  }
}

// The button triples, and the slots the apply pass gives the macro and pattern buttons: in
// button order, a pattern taking one slot per message.
void CompareButtons(const VirtualMouseSettings& s, const ProfileData& p, Differences& d) {
  std::uint8_t next_slot = 1;
  std::map<std::uint8_t, VirtualSlot> expected_slots;
  for (std::size_t k = 0; k < kMouseButtons; ++k) {
    const ButtonData& button = p.button(k);
    VirtualTriple expected = PlainFunctionBytes(button.function());
    if (button.function() == kFunctionKeyCombo) {
      expected[1] = button.modifiers();
      expected[2] = button.key();
    } else if (button.function() == kFunctionMacro) {
      expected[2] = next_slot;
      expected_slots[next_slot++] = MacroSlot(button);
    } else if (button.function() == kFunctionGun) {
      expected[2] = next_slot;
      for (VirtualSlot& slot : PatternSlots(button, next_slot)) {
        expected_slots[next_slot++] = std::move(slot);
      }
    }
    d.Compare("button " + std::to_string(k), s.buttons[k], expected);
  }
  for (const auto& [number, slot] : expected_slots) {
    const std::string name = "slot " + std::to_string(number);
    const auto held = s.slot_contents.find(number);
    if (held == s.slot_contents.end()) {
      d.Add(name + ": empty on the mouse");
    } else {
      CompareSlot(name, held->second, slot, d);
    }
  }
}

}  // namespace

std::vector<std::string> ProfileDifferences(const VirtualMouseSettings& settings,
                                            const ProfileData& profile) {
  Differences d;
  CompareSensor(settings, profile, d);
  CompareLighting(settings, profile, d);
  CompareButtons(settings, profile, d);
  return d.Take();
}

}  // namespace mokta
