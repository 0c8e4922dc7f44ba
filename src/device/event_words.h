#pragma once

// The words of the mouse's own reports: the low byte of an event word is the marker 0xCC
// (any other marker is not an event), the high byte its kind.

#include <cstdint>

namespace mokta {

inline constexpr std::uint16_t kEventMarker = 0xCC;
inline constexpr std::uint16_t kEventDpiStage = 0x1000;
inline constexpr std::uint16_t kEventPollingRate = 0x2000;
inline constexpr std::uint16_t kEventBattery = 0x4000;
inline constexpr std::uint16_t kEventAck = 0x5000;
inline constexpr std::uint16_t kEventKind6 = 0x6000;
inline constexpr std::uint16_t kEventLighting = 0x7000;
inline constexpr std::uint16_t kEventKind8 = 0x8000;

// The receiver's acknowledgement of a command (its value says whether it was taken).
constexpr bool IsAcknowledgement(std::uint16_t word) {
  return (word & 0xFF) == kEventMarker && (word & 0xFF00) == kEventAck;
}

}  // namespace mokta
