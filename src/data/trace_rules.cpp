#include "data/trace_rules.h"

#include <QLoggingCategory>
#include <QRegularExpression>
#include <QStringList>

namespace mokta {
namespace {

// Qt's category patterns: exact, or with "*" at the start, the end or both.
bool PatternMatches(QString pattern, const QString& category) {
  const bool any_start = pattern.startsWith(QLatin1Char('*'));
  if (any_start) pattern.remove(0, 1);
  const bool any_end = pattern.endsWith(QLatin1Char('*'));
  if (any_end) pattern.chop(1);
  if (pattern.contains(QLatin1Char('*'))) return false;  // not a pattern Qt accepts
  if (any_start && any_end) return category.contains(pattern);
  if (any_start) return category.endsWith(pattern);
  if (any_end) return category.startsWith(pattern);
  return category == pattern;
}

// The category pattern of a rule's key when the rule covers debug messages; empty otherwise.
QString DebugPattern(const QString& key) {
  static const QString kDebug = QStringLiteral(".debug");
  if (key.endsWith(kDebug)) return key.chopped(kDebug.size());
  for (const char* other : {".info", ".warning", ".critical"}) {
    if (key.endsWith(QLatin1String(other))) return {};
  }
  return key;  // no type: every type
}

QString& ActiveRules() {
  static QString rules;
  return rules;
}

QLoggingCategory::CategoryFilter& PreviousFilter() {
  static QLoggingCategory::CategoryFilter previous = nullptr;
  return previous;
}

void FilterCategory(QLoggingCategory* category) {
  if (PreviousFilter() != nullptr) PreviousFilter()(category);
  const QString name = QString::fromLatin1(category->categoryName());
  if (name.startsWith(QLatin1String("mokta."))) {
    category->setEnabled(QtDebugMsg, ProgramDebugEnabled(ActiveRules(), name));
  }
}

}  // namespace

bool ProgramDebugEnabled(const QString& rules, const QString& category) {
  bool enabled = false;
  static const QRegularExpression kSeparators(QStringLiteral("[;\n]"));
  for (const QString& line : rules.split(kSeparators, Qt::SkipEmptyParts)) {
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (equals < 0) continue;
    const QString value = line.mid(equals + 1).trimmed();
    if (value != QLatin1String("true") && value != QLatin1String("false")) continue;
    const QString pattern = DebugPattern(line.left(equals).trimmed());
    if (!pattern.startsWith(QLatin1String("mokta"))) continue;  // not about our categories
    if (PatternMatches(pattern, category)) enabled = value == QLatin1String("true");
  }
  return enabled;
}

void InstallTraceFilter() {
  static bool installed = false;
  if (installed) return;  // a second filter would call itself as the previous one
  installed = true;
  ActiveRules() = qEnvironmentVariable("QT_LOGGING_RULES");
  PreviousFilter() = QLoggingCategory::installFilter(FilterCategory);
}

}  // namespace mokta
