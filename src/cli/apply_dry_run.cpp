#include "cli/apply_dry_run.h"

#include "device/apply_pass.h"

namespace mokta {

QString HexBytes(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  QString text;
  text.reserve(static_cast<qsizetype>(bytes.size() * 3));
  for (const std::uint8_t byte : bytes) {
    if (!text.isEmpty()) text += QLatin1Char(' ');
    text += QLatin1Char(kDigits[byte >> 4]);
    text += QLatin1Char(kDigits[byte & 0x0F]);
  }
  return text;
}

QStringList DryRunLines(const ProfileData& profile) {
  QStringList lines;
  for (const CommandMessage& message : SendAllPassMessages(profile)) {
    lines << HexBytes(message.view());
  }
  return lines;
}

}  // namespace mokta
