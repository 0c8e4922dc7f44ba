#pragma once

// The settings page's rules that need no window: how typed DPI becomes a stage code, which
// lighting rows an effect shows, the texts of the formatted labels, and the colour dialog's
// presets and typed components. QtCore only.

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

#include "data/language.h"

namespace mokta {

// The stage code for DPI text typed into a stage's edit: its leading digits as a decimal number
// n (none: 0), then 22000 or more gives 320, 50 or less gives 1, up to 10000 n div 50, above
// (n - 10000) div 100 + 200. Always a code 1..320.
std::int32_t DpiTextToCode(const QString& text);

// The lighting rows an effect shows: 1 brightness and colour, 2 breathing speed and colour,
// 3..11 breathing speed, any other value none.
struct LightingRows {
  bool brightness = false;
  bool breathing_speed = false;
  bool color = false;
  friend bool operator==(const LightingRows&, const LightingRows&) = default;
};
LightingRows LightingRowsFor(std::int32_t effect);

// "Lights off after 1.5 min"-style texts: the language texts around the value.
QString LightOffText(std::int32_t light_off, const LanguageTexts& language);
QString SleepTimerText(std::int32_t sleep_timer, const LanguageTexts& language);
// "8 MS" for a debounce of 4.
QString KeyDebounceText(std::int32_t key_debounce);

// The colour dialog's 16 preset colours (ARGB), preset N at index N - 1.
inline constexpr std::array<std::uint32_t, 16> kColorPresets = {
    0xFF00FFFFu, 0xFF6CFF00u, 0xFF7F00FFu, 0xFF007FFFu, 0xFF0000FFu, 0xFF7FFF00u,
    0xFFFF5400u, 0xFFFF7F00u, 0xFFFFB400u, 0xFFFFFF00u, 0xFFFF0000u, 0xFFFF00FFu,
    0xFF1EB40Au, 0xFF48B1FFu, 0xFFFF48B0u, 0xFFFFFFFFu,
};

// What a red, green or blue edit of the colour dialog stands for: the component 0..255 its
// text reads as (a decimal number; no number yet, as in "" or "-", reads as 0), and, when the
// number lies outside 0..255, the text that replaces it ("0" or "255").
struct ColorComponentInput {
  int value = 0;
  std::optional<QString> replacement;
};
ColorComponentInput ColorComponentFromText(const QString& text);

// `argb` with one component replaced: 0 red, 1 green, 2 blue; the result is opaque.
std::uint32_t WithColorComponent(std::uint32_t argb, int component, int value);

}  // namespace mokta
