#include "data/names.h"

#include "data/byte_image.h"

namespace mokta {

QString MakeUniqueName(const std::function<bool(QStringView)>& taken, QStringView base,
                       qsizetype field_units) {
  const qsizetype max_units = field_units - 1;
  const QString whole = TruncateToUnits(base, max_units);
  if (!taken(whole)) return whole;
  // Each taken name rules out at most one candidate, so this ends after at most one more try
  // than there are names.
  for (qulonglong n = 1;; ++n) {
    const QString suffix = QStringLiteral("_") + QString::number(n);
    const QString candidate = TruncateToUnits(base, max_units - suffix.size()) + suffix;
    if (!taken(candidate)) return candidate;
  }
}

}  // namespace mokta
