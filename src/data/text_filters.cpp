#include "data/text_filters.h"

namespace mokta {

namespace {

bool IsAsciiDigit(QChar c) {
  return c >= u'0' && c <= u'9';
}

template <typename Keep>
QString KeepOnly(QStringView text, Keep keep) {
  QString kept;
  kept.reserve(text.size());
  for (QChar c : text) {
    if (keep(c)) kept.append(c);
  }
  return kept;
}

}  // namespace

QString KeepDigits(QStringView text) {
  return KeepOnly(text, IsAsciiDigit);
}

QString KeepSignedDigits(QStringView text) {
  return KeepOnly(text, [](QChar c) { return IsAsciiDigit(c) || c == u'-'; });
}

}  // namespace mokta
