#pragma once

// The mouse's reading of command messages: the checks a message must pass, the reassembly of
// a slot message from its three 64-byte reports, and what a well-formed message changes.
// No state of its own beyond the reassembly; not thread-safe (the mouse holds its lock).

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "virtual_mouse.h"

namespace mokta::virtual_detail {

inline constexpr std::size_t kReportSize = 64;
inline constexpr std::uint8_t kSlotCode = 0x09;
inline constexpr std::uint8_t kOpenCode = 0x0C;

// nullptr when `message` is a well-formed whole command message (a slot message only at its
// full 111 bytes), else a short reason. Reads only `message`.
const char* CheckMessage(std::span<const std::uint8_t> message);

// Applies a message that passed CheckMessage. 0x0C changes no setting.
void ApplyMessage(VirtualMouseSettings& settings, std::span<const std::uint8_t> message);

// The settings of a mouse fresh from the factory.
VirtualMouseSettings FactorySettings();

// Joins the three reports of a slot message that arrive one by one on one link. Pieces must
// come 0, 1, 2 for one slot; piece 0 always begins a new message.
class SlotReassembly {
 public:
  enum class Outcome { kPending, kComplete, kMalformed };
  struct Result {
    Outcome outcome = Outcome::kPending;
    const char* reason = nullptr;  // set when kMalformed
    bool abandoned = false;        // a piece 0 cut short an unfinished message
    VirtualSlotMessage message{};  // set when kComplete
  };

  // `receiver` selects the receiver's marker for the last report (0x0C instead of 0x40).
  Result Feed(std::span<const std::uint8_t, kReportSize> report, bool receiver);
  void Reset() { next_piece_ = 0; }

 private:
  static constexpr std::size_t kPiecePayload = kReportSize - 4;
  int next_piece_ = 0;
  std::uint8_t slot_ = 0;
  std::array<std::uint8_t, 3 * kPiecePayload> payload_{};
};

}  // namespace mokta::virtual_detail
