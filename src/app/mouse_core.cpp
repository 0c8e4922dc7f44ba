#include "app/mouse_core.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <utility>

#include "app/hook_table.h"
#include "data/paths.h"
#include "platform/system_services.h"

namespace mokta {

namespace {

bool IsStoreOperation(FileOperation operation) {
  switch (operation) {
    case FileOperation::kWriteProfileStore:
    case FileOperation::kWriteMacroStore:
    case FileOperation::kWriteGunStore:
    case FileOperation::kReadProfileStore:
    case FileOperation::kReadMacroStore:
    case FileOperation::kReadGunStore:
      return true;
    default:
      return false;
  }
}

const char* ProblemText(FileProblem problem) {
  switch (problem) {
    case FileProblem::kNone:
      return "done";
    case FileProblem::kWriteFailed:
      return "could not be written";
    case FileProblem::kNotSaved:
      return "not written: it could not be read safely at start and is left as it is";
    case FileProblem::kSetAside:
      return "was damaged and is kept aside as";
    case FileProblem::kCannotOpen:
      return "cannot be opened: it is left as it is";
    case FileProblem::kNotRegularFile:
      return "is not a regular file: it is left as it is";
    case FileProblem::kWrongSize:
      return "does not have the size of its kind of file";
    case FileProblem::kReadFailed:
      return "could not be read";
  }
  return "failed";
}

FileProblem ProblemOf(FileStatus status) {
  switch (status) {
    case FileStatus::kOk:
      return FileProblem::kNone;
    case FileStatus::kCannotOpen:
      return FileProblem::kCannotOpen;
    case FileStatus::kNotRegularFile:
      return FileProblem::kNotRegularFile;
    case FileStatus::kWrongSize:
      return FileProblem::kWrongSize;
    case FileStatus::kReadFailed:
      return FileProblem::kReadFailed;
    case FileStatus::kWriteFailed:
      return FileProblem::kWriteFailed;
  }
  return FileProblem::kWriteFailed;
}

FileResult StatusResult(FileOperation operation, const QString& path, FileStatus status) {
  return {operation, path, status == FileStatus::kOk, ProblemOf(status), {}, false};
}

}  // namespace

const char* FileOperationName(FileOperation operation) {
  switch (operation) {
    case FileOperation::kWriteProfileStore:
      return "profile store";
    case FileOperation::kWriteMacroStore:
      return "macro store";
    case FileOperation::kWriteGunStore:
      return "recoil pattern store";
    case FileOperation::kExportProfile:
      return "profile export";
    case FileOperation::kExportMacro:
      return "macro export";
    case FileOperation::kExportGun:
      return "recoil pattern export";
    case FileOperation::kReadProfileStore:
      return "profile store";
    case FileOperation::kReadMacroStore:
      return "macro store";
    case FileOperation::kReadGunStore:
      return "recoil pattern store";
    case FileOperation::kImportProfile:
      return "profile import";
    case FileOperation::kImportMacro:
      return "macro import";
    case FileOperation::kImportGun:
      return "recoil pattern import";
  }
  return "file";
}

MouseCore::MouseCore(MouseCoreOptions options)
    : options_(std::move(options)),
      stores_(std::make_unique<StoreFiles>(options_.data_folder.isEmpty() ? DataFolder()
                                                                          : options_.data_folder)),
      session_(std::make_unique<ProfileSession>(stores_.get())),
      keyboard_layout_(options_.keyboard_layout ? options_.keyboard_layout
                                                : MakeSystemKeyboardLayout()) {
  session_->set_store_write_observer([this](bool written, const QString& path) {
    ReportFileResult(
        StoreWriteResult(FileOperation::kWriteProfileStore, StoreKind::kProfiles, path, written));
  });
}

MouseCore::~MouseCore() {
  Shutdown();
}

void MouseCore::StartLink(LinkDisplay* display) {
  if (host_ || shut_down_) return;
  DeviceHostOptions host_options = options_.host;
  if (!host_options.system_ble && options_.use_system_ble) {
    system_ble_ = MakeSystemBle();
    host_options.system_ble = system_ble_.get();
  }
  host_ = std::make_unique<DeviceHost>(*session_, display, host_options);
  host_->Start();
}

void MouseCore::LoadHooks() {
  if (hooks_ || shut_down_) return;
  hooks_ = options_.hook_library.isEmpty() ? std::make_unique<HookTable>()
                                           : std::make_unique<HookTable>(options_.hook_library);
}

FileResult MouseCore::StoreWriteResult(FileOperation operation, StoreKind kind, const QString& path,
                                       bool written) const {
  FileProblem problem = FileProblem::kNone;
  if (!written) {
    problem = stores_->WritesRefused(kind) ? FileProblem::kNotSaved : FileProblem::kWriteFailed;
  }
  return {operation, path, written, problem, {}, false};
}

void MouseCore::ReportStoreRead(FileOperation operation, const QString& path,
                                const StoreReadOutcome& outcome) {
  if (!outcome.set_aside_path.isEmpty()) {
    ReportFileResult(
        {operation, path, false, FileProblem::kSetAside, outcome.set_aside_path, false});
  }
  if (outcome.state == StoreState::kUnreadable) {
    const FileProblem problem =
        outcome.not_regular_file ? FileProblem::kNotRegularFile : FileProblem::kCannotOpen;
    ReportFileResult({operation, path, false, problem, {}, false});
  }
}

void MouseCore::LoadStores(const LanguageTexts& language) {
  // The first pass that finds the mouse reachable sends everything.
  session_->RequestSendAll();
  ProfileStoreContents profiles = stores_->ReadProfileStore(language);
  ReportStoreRead(FileOperation::kReadProfileStore, stores_->ProfileStorePath(), profiles);
  if (profiles.state == StoreState::kCreated || profiles.state == StoreState::kReplacedDamaged) {
    ReportFileResult(StoreWriteResult(FileOperation::kWriteProfileStore, StoreKind::kProfiles,
                                      stores_->ProfileStorePath(), profiles.written));
  }
  const int selected = profiles.header ? profiles.header->selected() : 0;
  session_->Load(std::move(profiles.profiles), std::move(profiles.header), selected);
  MacroStoreContents macros = stores_->ReadMacroStore();
  ReportStoreRead(FileOperation::kReadMacroStore, stores_->MacroStorePath(), macros);
  macros_ = std::move(macros.records);
  GunStoreContents guns = stores_->ReadGunStore();
  ReportStoreRead(FileOperation::kReadGunStore, stores_->GunStorePath(), guns);
  guns_ = std::move(guns.records);
  session_->RecordApplied(session_->current());
}

void MouseCore::BringUpBle() {
  if (host_) host_->BringUpBle();
}

void MouseCore::Shutdown() {
  if (shut_down_) return;
  shut_down_ = true;
  if (host_) host_->Shutdown();
  session_->FlushStore();  // every change is on disk before exit
  // The results of those last writes are logged (and told) before the program ends.
  if (QThread::currentThread() == ui_context_.thread()) {
    QCoreApplication::sendPostedEvents(&ui_context_, QEvent::MetaCall);
  }
  hooks_.reset();  // removes the hooks, then unloads their library
}

bool MouseCore::SaveMacroStore() {
  const bool written = stores_->WriteMacroStore(macros_);
  ReportFileResult(StoreWriteResult(FileOperation::kWriteMacroStore, StoreKind::kMacros,
                                    stores_->MacroStorePath(), written));
  return written;
}

bool MouseCore::SaveGunStore() {
  const bool written = stores_->WriteGunStore(guns_);
  ReportFileResult(StoreWriteResult(FileOperation::kWriteGunStore, StoreKind::kGuns,
                                    stores_->GunStorePath(), written));
  return written;
}

FileStatus MouseCore::ExportProfile(const ProfileData& profile, const QString& path) {
  const FileStatus status = mokta::ExportProfile(profile, path);
  ReportFileResult(StatusResult(FileOperation::kExportProfile, path, status));
  return status;
}

FileStatus MouseCore::ExportMacro(const MacroData& macro, const QString& path) {
  const FileStatus status = mokta::ExportMacro(macro, path);
  ReportFileResult(StatusResult(FileOperation::kExportMacro, path, status));
  return status;
}

FileStatus MouseCore::ExportGun(const GunData& gun, const QString& path) {
  const FileStatus status = mokta::ExportGun(gun, path);
  ReportFileResult(StatusResult(FileOperation::kExportGun, path, status));
  return status;
}

ImportResult MouseCore::ImportProfileFile(const QString& path) {
  // The file is read, and "macro.data" written, outside the session's lock: a slow or blocking
  // file must not hold up the apply worker. Under the lock only the list changes.
  auto profile = std::make_unique<ProfileData>();
  const ImportResult read = ReadProfileFile(path, *profile);
  if (read.status != FileStatus::kOk) {
    ReportFileResult(StatusResult(FileOperation::kImportProfile, path, read.status));
    return read;
  }
  ImportResult result;
  session_->EditList([&](ProfileList& profiles, ProfileStoreHeader&, int&) {
    result = AddImportedProfile(std::move(profile), profiles, macros_);
  });
  result.file_size = read.file_size;
  if (result.macros_added > 0) result.store_written = SaveMacroStore();
  return result;
}

ImportResult MouseCore::ImportMacroFile(const QString& path) {
  const ImportResult result = mokta::ImportMacro(path, macros_, *stores_);
  if (result.status != FileStatus::kOk) {
    ReportFileResult(StatusResult(FileOperation::kImportMacro, path, result.status));
  } else {
    ReportFileResult(StoreWriteResult(FileOperation::kWriteMacroStore, StoreKind::kMacros,
                                      stores_->MacroStorePath(), result.store_written));
  }
  return result;
}

ImportResult MouseCore::ImportGunFile(const QString& path) {
  const ImportResult result = mokta::ImportGun(path, guns_, *stores_);
  if (result.status != FileStatus::kOk) {
    ReportFileResult(StatusResult(FileOperation::kImportGun, path, result.status));
  } else {
    ReportFileResult(StoreWriteResult(FileOperation::kWriteGunStore, StoreKind::kGuns,
                                      stores_->GunStorePath(), result.store_written));
  }
  return result;
}

void MouseCore::ReportFileResult(const FileResult& result) {
  if (QThread::currentThread() != ui_context_.thread()) {
    QMetaObject::invokeMethod(
        &ui_context_, [this, result] { ReportFileResult(result); }, Qt::QueuedConnection);
    return;
  }
  FileResult told = result;
  // A store that keeps failing is told once: until a write of it succeeds again, later
  // failures of it are marked repeated and only traced.
  if (IsStoreOperation(told.operation)) {
    if (told.ok) {
      if (failing_stores_.remove(told.path)) {
        qCInfo(lcStore, "%s written again: %s", FileOperationName(told.operation),
               qUtf8Printable(told.path));
      }
    } else if (told.problem != FileProblem::kSetAside) {
      told.repeated = failing_stores_.contains(told.path);
      failing_stores_.insert(told.path);
    }
  }
  if (told.ok) {
    qCDebug(lcStore, "%s written: %s", FileOperationName(told.operation),
            qUtf8Printable(told.path));
  } else if (told.repeated) {
    qCDebug(lcStore, "%s %s (again): %s", FileOperationName(told.operation),
            ProblemText(told.problem), qUtf8Printable(told.path));
  } else {
    qCWarning(lcStore, "%s %s: %s%s%s", FileOperationName(told.operation),
              ProblemText(told.problem), qUtf8Printable(told.path),
              told.other_path.isEmpty() ? "" : " -> ", qUtf8Printable(told.other_path));
  }
  // A copy: the observer may run a modal loop, during which the window can end and unset it.
  if (FileResultObserver observer = file_observer_) observer(told);
}

void MouseCore::RequestApply() {
  if (host_) host_->RequestApply();
}

int MouseCore::device_connected() const {
  return host_ ? host_->link_state().device_connected() : 0;
}

BleDiagnosis MouseCore::ble_diagnosis() const {
  return host_ ? host_->ble_diagnosis() : BleDiagnosis::kNone;
}

QStringList MouseCore::problems() const {
  return host_ ? host_->problems() : QStringList();
}

}  // namespace mokta
