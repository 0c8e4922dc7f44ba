#pragma once

// The identity a "hid" device announces in its HID_ID property ("0003:00001D57:0000214C": bus,
// vendor, product in hexadecimal), shared by the driver libraries and the program.

#include <cstdint>
#include <optional>
#include <string_view>

namespace mokta::hidraw {

// Linux bus numbers (linux/input.h) as they appear in HID_ID.
inline constexpr std::uint16_t kBusUsb = 0x0003;
inline constexpr std::uint16_t kBusBluetooth = 0x0005;

struct HidId {
  std::uint16_t bus = 0;
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;

  friend bool operator==(const HidId&, const HidId&) = default;
};

// Reads "BBBB:VVVVVVVV:PPPPPPPP" (hex digits of either case; each field at most 8 digits, at
// least one). Empty when the text has another shape or a value does not fit 16 bits.
std::optional<HidId> ParseHidId(std::string_view text);

}  // namespace mokta::hidraw
