#pragma once

// Names of profiles, macros and recoil patterns: unique within their list, compared without
// regard to letter case, and always short enough for the record's name field.

#include <QString>
#include <QStringView>
#include <functional>
#include <memory>
#include <vector>

#include "data/language.h"

namespace mokta {

// Text keys of the default names of new records.
inline constexpr char kAddProfileTextKey[] = "add_profile_text";
inline constexpr char kAddGunTextKey[] = "add_gun_text";
inline constexpr char kAddMacroTextKey[] = "add_macro_text";

// True when some record of `list` is named `name`, letter case ignored.
template <typename Record>
bool NameExists(const std::vector<std::unique_ptr<Record>>& list, QStringView name) {
  for (const auto& record : list) {
    if (record && record->name().compare(name, Qt::CaseInsensitive) == 0) return true;
  }
  return false;
}

// The first free name of `base`, `base`_1, `base`_2, ... as judged by `taken`, each cut so that
// it fits a name field of `field_units` UTF-16 units with its terminator. When the base alone is
// too long it is cut to the field; when the base and its "_n" suffix are too long, the base is
// shortened from its end so that the suffix always stays whole.
QString MakeUniqueName(const std::function<bool(QStringView)>& taken, QStringView base,
                       qsizetype field_units);

// `MakeUniqueName` over a list of records, for the record type's own name field.
template <typename Record>
QString MakeUniqueName(const std::vector<std::unique_ptr<Record>>& list, QStringView base) {
  return MakeUniqueName([&list](QStringView name) { return NameExists(list, name); }, base,
                        static_cast<qsizetype>(Record::kNameUnits));
}

// The default name of a record added without a dialog: the language text of `text_key`
// followed by the list length + 1, made unique within the list.
template <typename Record>
QString DefaultRecordName(const std::vector<std::unique_ptr<Record>>& list,
                          const LanguageTexts& language, const char* text_key) {
  const QString base = language.Text(QString::fromLatin1(text_key)) +
                       QString::number(static_cast<qulonglong>(list.size()) + 1);
  return MakeUniqueName(list, base);
}

}  // namespace mokta
