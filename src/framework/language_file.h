#pragma once

// The language file "lan.xml" and the program-wide language table.
//
// Format (UTF-8 XML):
//
//   <Language>
//     <Text key="no_device_text">No mouse is connected.</Text>
//     <Text key="warning_title_text">Warning</Text>
//   </Language>
//
// One <Text> per key; its content is the text as shown, whitespace and line breaks kept
// (write a line break as a real one or as &#10;). Elements other than <Text> are ignored, so
// a file may carry comments or notes for translators. A key given twice keeps its last text
// (and is logged). A <Text> without a key is skipped.

#include <QHash>
#include <QString>
#include <QStringList>
#include <memory>

#include "data/language.h"

class QIODevice;

namespace mokta {

class LanguageFile final : public LanguageTexts {
 public:
  LanguageFile() = default;  // an empty table: every key shows as itself

  // Reads `path`. A missing, unreadable or malformed file logs a warning naming the file (and
  // the line and column of the fault) and leaves the table empty: no text of a damaged file
  // is used. Returns whether the file was read.
  bool Load(const QString& path);
  // The same for the content of an open `source`; `name` stands for it in the warnings.
  bool Load(QIODevice& source, const QString& name);
  // Load() of "lan.xml" in the resource folder.
  bool LoadFromResources();

  // The text of `key`, or the key itself when the table has no text for it.
  QString Text(const QString& key) const override;
  bool Has(const QString& key) const { return texts_.contains(key); }
  QStringList Keys() const { return texts_.keys(); }
  qsizetype size() const { return texts_.size(); }

 private:
  QHash<QString, QString> texts_;
};

// The table every window uses. The program sets it once at start, on the UI thread, before it
// creates windows; tests may replace it between cases. Replacing it frees the previous table,
// so do not keep the reference of ProgramLanguage() across a SetProgramLanguage call.
// Passing null restores the empty table. ProgramLanguage() is safe from any thread while the
// table is not being replaced.
void SetProgramLanguage(std::shared_ptr<const LanguageTexts> texts);
const LanguageTexts& ProgramLanguage();

// ProgramLanguage().Text(key).
QString LanguageText(const QString& key);

}  // namespace mokta
