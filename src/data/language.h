#pragma once

// Language texts by key. The data layer names things (a new profile, a key) through text keys
// such as "add_profile_text" or "key_F1"; what the user reads comes from the language file,
// which the framework loads. This interface keeps the data layer free of that file.

#include <QHash>
#include <QString>
#include <utility>

namespace mokta {

class LanguageTexts {
 public:
  virtual ~LanguageTexts() = default;

  // The text for `key`. A key without a text gives the key itself, so a missing entry shows
  // up on screen instead of vanishing. Safe to call from any thread once built.
  virtual QString Text(const QString& key) const = 0;
};

// A fixed table of texts, for tests and for callers that hold their texts in memory.
class MapLanguageTexts final : public LanguageTexts {
 public:
  MapLanguageTexts() = default;
  explicit MapLanguageTexts(QHash<QString, QString> texts) : texts_(std::move(texts)) {}

  void Set(const QString& key, const QString& text) { texts_.insert(key, text); }
  QString Text(const QString& key) const override { return texts_.value(key, key); }

 private:
  QHash<QString, QString> texts_;
};

}  // namespace mokta
