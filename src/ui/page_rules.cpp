#include "ui/page_rules.h"

namespace mokta {

std::int32_t DpiTextToCode(const QString& text) {
  // Leading digits only; the number is capped well above the largest DPI so it cannot
  // overflow however many digits were pasted.
  std::int64_t n = 0;
  for (const QChar c : text) {
    if (c < u'0' || c > u'9') break;
    n = std::min<std::int64_t>(n * 10 + (c.unicode() - u'0'), 1'000'000);
  }
  if (n >= 22000) return 320;
  if (n <= 50) return 1;
  if (n <= 10000) return static_cast<std::int32_t>(n / 50);
  return static_cast<std::int32_t>((n - 10000) / 100 + 200);
}

LightingRows LightingRowsFor(std::int32_t effect) {
  if (effect == 1) return {true, false, true};
  if (effect == 2) return {false, true, true};
  if (effect >= 3 && effect <= 11) return {false, true, false};
  return {};
}

QString LightOffText(std::int32_t light_off, const LanguageTexts& language) {
  return language.Text(QStringLiteral("sleep_timer_1_text")) +
         QString::number(light_off * 0.5, 'f', 1) + u' ' +
         language.Text(QStringLiteral("sleep_timer_2_text"));
}

QString SleepTimerText(std::int32_t sleep_timer, const LanguageTexts& language) {
  return language.Text(QStringLiteral("sleep_timer_3_text")) + QString::number(sleep_timer) + u' ' +
         language.Text(QStringLiteral("sleep_timer_2_text"));
}

QString KeyDebounceText(std::int32_t key_debounce) {
  return QString::number(static_cast<std::int64_t>(key_debounce) * 2) + QStringLiteral(" MS");
}

ColorComponentInput ColorComponentFromText(const QString& text) {
  const QString trimmed = text.trimmed();
  const bool negative = trimmed.startsWith(QLatin1Char('-'));
  const QStringView digits = QStringView(trimmed).mid(negative ? 1 : 0);
  if (digits.isEmpty()) return {};
  for (const QChar c : digits) {
    if (c < u'0' || c > u'9') return {};  // not a number (yet)
  }
  // Any count of digits: a number too long to parse is far outside the range anyway.
  bool ok = false;
  const qlonglong number = digits.toLongLong(&ok);
  if (negative) {
    if (ok && number == 0) return {0, std::nullopt};
    return {0, QStringLiteral("0")};
  }
  if (!ok || number > 255) return {255, QStringLiteral("255")};
  return {static_cast<int>(number), std::nullopt};
}

std::uint32_t WithColorComponent(std::uint32_t argb, int component, int value) {
  const int shift = 16 - 8 * component;  // red 16, green 8, blue 0
  if (shift < 0 || shift > 16) return argb | 0xFF000000u;
  const auto byte = static_cast<std::uint32_t>(value < 0 ? 0 : value > 255 ? 255 : value);
  return 0xFF000000u | (argb & ~(0xFFu << shift) & 0xFFFFFFu) | (byte << shift);
}

}  // namespace mokta
