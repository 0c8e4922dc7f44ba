#include "profile_match.h"

#include <algorithm>
#include <map>

#include "device/command_protocol.h"

namespace mokta {

namespace {

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

// Red, green and blue: bytes 0, 1 and 2 of a stored colour.
VirtualTriple ColorBytes(std::uint32_t color) {
  return {static_cast<std::uint8_t>(color), static_cast<std::uint8_t>(color >> 8),
          static_cast<std::uint8_t>(color >> 16)};
}

void CompareSensor(const VirtualMouseSettings& s, const ProfileData& p, Differences& d) {
  for (std::size_t i = 0; i < kDpiStages; ++i) {
    const std::string stage = "[" + std::to_string(i) + "]";
    d.Compare("dpi" + stage, s.dpi[i], DpiCodeToValue(p.dpi_x(i)) & 0xFFFF);
    d.Compare("enabled" + stage, (s.stage_mask >> i) & 1, p.dpi_enabled(i) == 1);
    d.Compare("stage colour" + stage, s.stage_colors[i],
              ColorBytes(static_cast<std::uint32_t>(p.dpi_color(i))));
  }
  d.Compare("active stage", s.active_stage, (p.dpi_step() + 1) & 0xFF);
  d.Compare("angle snap", s.angle_snap, p.angle_snap() & 0xFF);
  d.Compare("ripple", s.ripple, p.ripple_control() & 0xFF);
}

void CompareLighting(const VirtualMouseSettings& s, const ProfileData& p, Differences& d) {
  const int effect = p.light_effect() & 0x0F;
  d.Compare("light effect", s.light_effect, effect);
  // The brightness travels only with the effects that use it.
  d.Compare("brightness", s.brightness, effect == 1 || effect == 9 ? p.brightness() & 0x0F : 8);
  d.Compare("breathing speed", s.breathing_speed(), 9 - ((9 - p.breathspeed()) & 0x0F));
  d.Compare("light colour", s.light_color, ColorBytes(p.light_color()));
  d.Compare("light off", s.light_off, p.light_off() & 0xFF);
  d.Compare("sleep timer", s.sleep_timer, p.sleep_timer() & 0xFF);
  d.Compare("debounce", s.debounce, p.key_debounce() & 0xFF);
  d.Compare("polling rate", s.polling_rate, p.prate());
}

// The button triples, and the slot messages in the slot_messages the apply pass gives them: macro
// and pattern buttons in button order, a pattern taking one slot per message.
void CompareButtons(const VirtualMouseSettings& s, const ProfileData& p, Differences& d) {
  std::uint8_t next_slot = 0;
  std::map<std::uint8_t, CommandMessage> expected_slots;
  for (std::size_t k = 0; k < kMouseButtons; ++k) {
    const ButtonData& button = p.button(k);
    const auto triple = ButtonFunctionTriple(button.function());
    VirtualTriple expected = triple.value_or(VirtualTriple{});
    if (button.function() == kFunctionKeyCombo) {
      expected[1] = button.modifiers();
      expected[2] = button.key();
    } else if (button.function() == kFunctionMacro) {
      expected = {expected[0], 0, ++next_slot};
      expected_slots[next_slot] = EncodeMacroMessage(next_slot, button);
    } else if (button.function() == kFunctionGun) {
      expected = {expected[0], 0, ++next_slot};
      GunMessage part = EncodeGunMessage(0, next_slot, button);
      expected_slots[next_slot] = part.message;
      while (part.continues) {
        part = EncodeGunMessage(part.next_step, ++next_slot, button);
        expected_slots[next_slot] = part.message;
      }
    }
    d.Compare("button " + std::to_string(k), s.buttons[k], expected);
  }
  for (const auto& [slot, message] : expected_slots) {
    const auto held = s.slot_messages.find(slot);
    if (held == s.slot_messages.end()) {
      d.Add("slot " + std::to_string(slot) + ": empty on the mouse");
    } else if (!std::equal(held->second.begin(), held->second.end(), message.bytes.begin())) {
      d.Add("slot " + std::to_string(slot) + ": other bytes on the mouse");
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
