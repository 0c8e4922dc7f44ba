#pragma once

// Colours as the records store them, as the colour controls show them, and as the mouse
// receives them.
//
//   stored: 0x00BBGGRR (red in the low byte; the top byte is 0)
//   shown:  opaque ARGB 0xFFRRGGBB
//   sent:   the three bytes red, green, blue

#include <array>
#include <cstdint>

namespace mokta {

// The opaque ARGB value a colour control shows for a stored colour.
std::uint32_t StoredColorToArgb(std::uint32_t stored);

// The stored form of a picked ARGB colour; alpha is dropped.
std::uint32_t ArgbToStoredColor(std::uint32_t argb);

// The red, green and blue bytes of a stored colour, in the order the mouse takes them.
std::array<std::uint8_t, 3> StoredColorToRgb(std::uint32_t stored);

}  // namespace mokta
