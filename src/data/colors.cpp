#include "data/colors.h"

namespace mokta {

std::uint32_t StoredColorToArgb(std::uint32_t stored) {
  const std::uint32_t r = stored & 0xFF;
  const std::uint32_t g = (stored >> 8) & 0xFF;
  const std::uint32_t b = (stored >> 16) & 0xFF;
  return 0xFF000000u | (r << 16) | (g << 8) | b;
}

std::uint32_t ArgbToStoredColor(std::uint32_t argb) {
  const std::uint32_t r = (argb >> 16) & 0xFF;
  const std::uint32_t g = (argb >> 8) & 0xFF;
  const std::uint32_t b = argb & 0xFF;
  return r | (g << 8) | (b << 16);
}

std::array<std::uint8_t, 3> StoredColorToRgb(std::uint32_t stored) {
  return {static_cast<std::uint8_t>(stored), static_cast<std::uint8_t>(stored >> 8),
          static_cast<std::uint8_t>(stored >> 16)};
}

}  // namespace mokta
