#include "data/import_export.h"

#include <QFile>

#include "data/names.h"
#include "data/record_io.h"

namespace mokta {

namespace {

template <typename Record>
FileStatus ExportRecord(const Record& record, const QString& path) {
  if (IsNonRegularFile(path)) return FileStatus::kNotRegularFile;
  const bool ok = WriteFileAtomically(
      path, [&](QIODevice& device) { return WriteAll(device, RecordImage(record)); });
  return ok ? FileStatus::kOk : FileStatus::kWriteFailed;
}

// Reads a file that must be exactly one record long.
template <typename Record>
ImportResult ReadRecordFile(const QString& path, Record& record) {
  ImportResult result;
  QFile file(path);
  switch (OpenRegularFileForReading(file)) {
    case OpenStatus::kOpened:
      break;
    case OpenStatus::kNotRegular:
      result.status = FileStatus::kNotRegularFile;
      return result;
    case OpenStatus::kMissing:
    case OpenStatus::kCannotOpen:
      result.status = FileStatus::kCannotOpen;
      return result;
  }
  result.file_size = file.size();
  if (result.file_size != static_cast<qint64>(Record::kSize)) {
    result.status = FileStatus::kWrongSize;
    return result;
  }
  if (!ReadExact(file, MutableRecordImage(record))) result.status = FileStatus::kReadFailed;
  return result;
}

// Gives `record` a name free in `list`. The name field is rewritten only when the name
// changes or the field lacks its terminator, so an imported record otherwise keeps every byte.
template <typename Record>
void MakeNameUnique(Record& record, const std::vector<std::unique_ptr<Record>>& list) {
  const QString name = record.name();
  const QString unique = MakeUniqueName(list, name);
  if (unique != name || !record.name_terminated()) record.set_name(unique);
}

template <typename Record>
ImportResult ImportRecord(const QString& path, std::vector<std::unique_ptr<Record>>& list,
                          const std::function<bool()>& write_store) {
  auto record = std::make_unique<Record>();
  ImportResult result = ReadRecordFile(path, *record);
  if (result.status != FileStatus::kOk) return result;
  MakeNameUnique(*record, list);
  list.push_back(std::move(record));
  result.index = static_cast<int>(list.size()) - 1;
  result.store_written = write_store();
  return result;
}

// Turns the macro copy held by a button back into an entry of the macro list.
void RebuildButtonMacro(ButtonData& button, MacroList& macros) {
  auto macro = std::make_unique<MacroData>();
  const QString name = MakeUniqueName(macros, button.bind_name());
  macro->set_name(name);
  button.set_bind_name(name);
  macro->set_reserved(static_cast<std::uint32_t>(button.repeat_count()));
  macro->set_action_count(button.step_count());
  std::copy(button.macro_steps().begin(), button.macro_steps().end(),
            macro->actions_bytes().begin());
  macros.push_back(std::move(macro));
  button.set_macro_index(static_cast<std::int32_t>(macros.size()) - 1);
}

}  // namespace

FileStatus ExportProfile(const ProfileData& profile, const QString& path) {
  return ExportRecord(profile, path);
}
FileStatus ExportGun(const GunData& gun, const QString& path) {
  return ExportRecord(gun, path);
}
FileStatus ExportMacro(const MacroData& macro, const QString& path) {
  return ExportRecord(macro, path);
}

ImportResult ImportGun(const QString& path, GunList& guns, const StoreFiles& stores) {
  return ImportRecord(path, guns, [&] { return stores.WriteGunStore(guns); });
}

ImportResult ImportMacro(const QString& path, MacroList& macros, const StoreFiles& stores) {
  return ImportRecord(path, macros, [&] { return stores.WriteMacroStore(macros); });
}

ImportResult ReadProfileFile(const QString& path, ProfileData& profile) {
  return ReadRecordFile(path, profile);
}

ImportResult AddImportedProfile(std::unique_ptr<ProfileData> profile, ProfileList& profiles,
                                MacroList& macros) {
  ImportResult result;
  MakeNameUnique(*profile, profiles);
  for (std::size_t slot = 0; slot < kMouseButtons; ++slot) {
    ButtonData& button = profile->button(slot);
    if (button.function() != kFunctionMacro) continue;
    RebuildButtonMacro(button, macros);
    ++result.macros_added;
  }
  profiles.push_back(std::move(profile));
  result.index = static_cast<int>(profiles.size()) - 1;
  return result;
}

ImportResult ImportProfile(const QString& path, ProfileList& profiles, MacroList& macros,
                           const StoreFiles& stores) {
  auto profile = std::make_unique<ProfileData>();
  const ImportResult read = ReadProfileFile(path, *profile);
  if (read.status != FileStatus::kOk) return read;
  ImportResult result = AddImportedProfile(std::move(profile), profiles, macros);
  result.file_size = read.file_size;
  if (result.macros_added > 0) result.store_written = stores.WriteMacroStore(macros);
  return result;
}

}  // namespace mokta
