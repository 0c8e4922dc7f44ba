#include "data/byte_image.h"

#include <algorithm>

namespace mokta {

QString LoadText(std::span<const std::uint8_t> field) {
  const std::size_t units = field.size() / 2;
  QString text;
  text.reserve(static_cast<qsizetype>(units));
  for (std::size_t i = 0; i < units; ++i) {
    const std::uint16_t unit = LoadU16(field.data() + 2 * i);
    if (unit == 0) break;
    text.append(QChar(unit));
  }
  return text;
}

QString TruncateToUnits(QStringView text, qsizetype max_units) {
  if (max_units <= 0) return {};
  if (text.size() <= max_units) return text.toString();
  qsizetype keep = max_units;
  // Never end on the first half of a surrogate pair.
  if (text[keep - 1].isHighSurrogate()) --keep;
  return text.first(keep).toString();
}

void StoreText(std::span<std::uint8_t> field, QStringView text) {
  const std::size_t units = field.size() / 2;
  if (units == 0) return;
  const QString cut = TruncateToUnits(text, static_cast<qsizetype>(units - 1));
  std::fill(field.begin(), field.end(), std::uint8_t{0});
  for (qsizetype i = 0; i < cut.size(); ++i) {
    StoreU16(field.data() + 2 * i, cut[i].unicode());
  }
}

bool TextTerminated(std::span<const std::uint8_t> field) {
  for (std::size_t i = 0; i + 1 < field.size(); i += 2) {
    if (LoadU16(field.data() + i) == 0) return true;
  }
  return false;
}

}  // namespace mokta
