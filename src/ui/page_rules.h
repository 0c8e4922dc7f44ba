#pragma once

// The settings page's rules that need no window: how typed DPI becomes a stage code, which
// lighting rows an effect shows, and the texts of the formatted labels. QtCore only.

#include <QString>
#include <cstdint>

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

}  // namespace mokta
