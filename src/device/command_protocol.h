#pragma once

// The command messages that configure the mouse, built from a profile. The protocol is
// write-only: each message is complete in itself and no reply is read. Layout of every
// message: byte 0 the command code, byte 1 the message's total length, byte 2 0x01 (or the
// slot number of a slot message), then the payload; commands 0x04, 0x05, 0x08 and 0x09 end
// their summed range with a 16-bit sum of bytes 3.. (carry discarded), high byte first.
//
// The encoders are pure functions: they read the profile they are given and nothing else, and
// never fail. Values outside a field's range are sent as their low byte, as the mouse expects.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "data/profile_data.h"

namespace mokta {

// One command message in a zero-filled buffer. The buffer is longer than any message because
// a slot message is split into reports that read 128 payload bytes from its byte 3.
struct CommandMessage {
  static constexpr std::size_t kBufferSize = 131;

  std::array<std::uint8_t, kBufferSize> bytes{};
  std::size_t length = 0;  // the message's own length, as carried in byte 1

  std::uint8_t code() const { return bytes[0]; }
  std::span<const std::uint8_t> view() const { return {bytes.data(), length}; }
};

inline constexpr std::uint8_t kCommandOpen = 0x0C;
inline constexpr std::uint8_t kCommandSensor = 0x04;
inline constexpr std::uint8_t kCommandLighting = 0x05;
inline constexpr std::uint8_t kCommandPollingRate = 0x06;
inline constexpr std::uint8_t kCommandButtonMap = 0x08;
inline constexpr std::uint8_t kCommandSlot = 0x09;

inline constexpr std::size_t kSlotMessageLength = 111;
inline constexpr std::size_t kSlotItemBytes = 100;  // bytes 9..108: at most 50 two-byte items

// Slot number given to each mouse button by the apply pass; 0 for a button without a macro or
// recoil pattern.
using SlotTable = std::array<std::uint8_t, kMouseButtons>;

// The 16-bit sum of `bytes`, carry discarded.
std::uint16_t CommandChecksum(std::span<const std::uint8_t> bytes);

// The three bytes a button function code is sent as, or nothing for a code without a triple
// (sent as 00 00 00).
std::optional<std::array<std::uint8_t, 3>> ButtonFunctionTriple(std::uint8_t function);

// 0x0C, 10 bytes of fixed content; opens every apply pass.
CommandMessage EncodeOpenCommand();
// 0x04, 56 bytes: DPI stages and their colours, active stage, angle snap, ripple control.
CommandMessage EncodeSensorCommand(const ProfileData& profile);
// 0x05, 15 bytes: lighting effect, brightness, breathing speed, colour, light-off and sleep
// timers, key debounce.
CommandMessage EncodeLightingCommand(const ProfileData& profile);
// 0x06, 9 bytes: polling rate. Never sent over Bluetooth LE.
CommandMessage EncodePollingRateCommand(const ProfileData& profile);
// 0x08, 59 bytes: the function of buttons 0..17; macro and pattern buttons carry their slot.
CommandMessage EncodeButtonMapCommand(const ProfileData& profile, const SlotTable& slot_table);

// 0x09 for a macro button: the button's macro copy in slot `slot`. A damaged record whose
// actions would not fit the item area is cut before the first action that does not fit.
CommandMessage EncodeMacroMessage(std::uint8_t slot, const ButtonData& button);

// One 0x09 message of a recoil-pattern button, holding the steps from `first_step` on that fit
// into one message. When more steps remain, the message ends with a "continue with slot + 1"
// item, `continues` is set and `next_step` names the first step of the next message, which the
// caller sends in slot + 1 with another call. Only the first message (first_step 0) carries
// the repeat bytes 3..7.
struct GunMessage {
  CommandMessage message;
  std::size_t next_step = 0;
  bool continues = false;
};
GunMessage EncodeGunMessage(std::size_t first_step, std::uint8_t slot, const ButtonData& button);

}  // namespace mokta
