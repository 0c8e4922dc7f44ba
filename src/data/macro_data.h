#pragma once

// The macro record: a named sequence of key and mouse-button presses and releases, each
// followed by a wait. The same 240 bytes are a record of "macro.data" and a whole ".macro" file.

#include <QString>
#include <QStringView>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "data/byte_image.h"

namespace mokta {

// One action, 4 bytes on file: code, state, delay (16-bit).
struct MacroAction {
  static constexpr std::size_t kSize = 4;
  static constexpr std::uint8_t kPress = 1;
  static constexpr std::uint8_t kRelease = 2;

  std::uint8_t code = 0;       // HID keyboard usage id, or a mouse-button code 0xF1..0xF5
  std::uint8_t state = 0;      // kPress or kRelease
  std::uint16_t delay_ms = 0;  // wait after this action, in milliseconds

  static MacroAction Decode(const std::uint8_t* p) { return {p[0], p[1], LoadU16(p + 2)}; }
  void Encode(std::uint8_t* p) const {
    p[0] = code;
    p[1] = state;
    StoreU16(p + 2, delay_ms);
  }
  friend bool operator==(const MacroAction&, const MacroAction&) = default;
};

// `MacroData`, 240 bytes:
//   0   name          UTF-16LE, 24 units (23 characters and the terminator)
//   48  reserved      u32, carried through unchanged
//   52  action_count  u32, number of valid actions, 0..46 when well-formed
//   56  actions       46 x MacroAction
class MacroData : public ByteImage<240> {
 public:
  static constexpr std::size_t kNameOffset = 0;
  static constexpr std::size_t kNameUnits = 24;
  static constexpr std::size_t kReservedOffset = 48;
  static constexpr std::size_t kActionCountOffset = 52;
  static constexpr std::size_t kActionsOffset = 56;
  static constexpr std::size_t kMaxActions = 46;
  static constexpr std::size_t kActionsSize = kMaxActions * MacroAction::kSize;
  static_assert(kActionsOffset + kActionsSize == kSize);

  QString name() const { return Text<kNameOffset, kNameUnits>(); }
  void set_name(QStringView name) { SetText<kNameOffset, kNameUnits>(name); }
  bool name_terminated() const { return TextIsTerminated<kNameOffset, kNameUnits>(); }

  std::uint32_t reserved() const { return U32<kReservedOffset>(); }
  void set_reserved(std::uint32_t v) { SetU32<kReservedOffset>(v); }

  // The count as stored; a damaged file may hold any value.
  std::uint32_t action_count() const { return U32<kActionCountOffset>(); }
  void set_action_count(std::uint32_t v) { SetU32<kActionCountOffset>(v); }
  // The count every reader uses: the stored count, at most 46.
  std::size_t used_action_count() const {
    return std::min<std::size_t>(action_count(), kMaxActions);
  }

  // Action `i` of 0..45; any other index gives an empty action and writes are dropped.
  MacroAction action(std::size_t i) const {
    return i < kMaxActions ? MacroAction::Decode(bytes().data() + kActionsOffset + 4 * i)
                           : MacroAction{};
  }
  void set_action(std::size_t i, const MacroAction& a) {
    if (i < kMaxActions) a.Encode(bytes().data() + kActionsOffset + 4 * i);
  }

  std::span<std::uint8_t, kActionsSize> actions_bytes() {
    return Range<kActionsOffset, kActionsSize>();
  }
  std::span<const std::uint8_t, kActionsSize> actions_bytes() const {
    return Range<kActionsOffset, kActionsSize>();
  }
};

using MacroList = std::vector<std::unique_ptr<MacroData>>;

// Room a macro takes in the mouse's macro memory, over its used actions: 1 unit for a delay of
// at most 127 ms, otherwise 2 units, or 3 when the delay modulo 200 is above 127. A macro of
// kMacroSizeLimit units or more is never stored by the editor.
int MacroSizeUnits(const MacroData& macro);
inline constexpr int kMacroSizeLimit = 48;

// A new macro: 240 zero bytes with `name` (cut to 23 units), no actions.
std::unique_ptr<MacroData> NewMacro(QStringView name);

}  // namespace mokta
