#include "app/mouse_core.h"

#include <QMetaObject>
#include <QThread>
#include <utility>

#include "app/hook_table.h"
#include "data/paths.h"
#include "platform/system_services.h"

Q_LOGGING_CATEGORY(lcStoreResults, "mokta.store.results")

namespace mokta {

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
  }
  return "file";
}

MouseCore::MouseCore(MouseCoreOptions options)
    : options_(std::move(options)),
      stores_(std::make_unique<StoreFiles>(options_.data_folder.isEmpty() ? DataFolder()
                                                                          : options_.data_folder)),
      session_(std::make_unique<ProfileSession>(stores_.get())) {
  session_->set_store_write_observer([this](bool written, const QString& path) {
    ReportFileResult({FileOperation::kWriteProfileStore, path, written});
  });
}

MouseCore::~MouseCore() {
  Shutdown();
}

void MouseCore::StartLink(LinkDisplay* display) {
  if (host_ || shut_down_) return;
  DeviceHostOptions host_options = options_.host;
  if (!host_options.system_ble && options_.use_system_ble) {
    system_ble_ = MakeSystemBlePresence();
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

void MouseCore::LoadStores(const LanguageTexts& language) {
  // The first pass that finds the mouse reachable sends everything.
  session_->RequestSendAll();
  ProfileStoreContents profiles = stores_->ReadProfileStore(language);
  if (profiles.state == ProfileStoreState::kCreated ||
      profiles.state == ProfileStoreState::kReplacedDamaged) {
    ReportFileResult(
        {FileOperation::kWriteProfileStore, stores_->ProfileStorePath(), profiles.written});
  }
  const int selected = profiles.header ? profiles.header->selected() : 0;
  session_->Load(std::move(profiles.profiles), std::move(profiles.header), selected);
  macros_ = stores_->ReadMacroStore().records;
  guns_ = stores_->ReadGunStore().records;
  session_->RecordApplied(session_->current());
}

void MouseCore::BringUpBle() {
  if (host_) host_->BringUpBle();
}

void MouseCore::Shutdown() {
  if (shut_down_) return;
  shut_down_ = true;
  if (host_) host_->Shutdown();
  session_->FlushStore();  // the mouse's last changes are on disk before exit
  hooks_.reset();          // removes the hooks, then unloads their library
}

bool MouseCore::SaveMacroStore() {
  const bool written = stores_->WriteMacroStore(macros_);
  ReportFileResult({FileOperation::kWriteMacroStore, stores_->MacroStorePath(), written});
  return written;
}

bool MouseCore::SaveGunStore() {
  const bool written = stores_->WriteGunStore(guns_);
  ReportFileResult({FileOperation::kWriteGunStore, stores_->GunStorePath(), written});
  return written;
}

FileStatus MouseCore::ExportProfile(const ProfileData& profile, const QString& path) {
  const FileStatus status = mokta::ExportProfile(profile, path);
  ReportFileResult({FileOperation::kExportProfile, path, status == FileStatus::kOk});
  return status;
}

FileStatus MouseCore::ExportMacro(const MacroData& macro, const QString& path) {
  const FileStatus status = mokta::ExportMacro(macro, path);
  ReportFileResult({FileOperation::kExportMacro, path, status == FileStatus::kOk});
  return status;
}

FileStatus MouseCore::ExportGun(const GunData& gun, const QString& path) {
  const FileStatus status = mokta::ExportGun(gun, path);
  ReportFileResult({FileOperation::kExportGun, path, status == FileStatus::kOk});
  return status;
}

ImportResult MouseCore::ImportProfileFile(const QString& path) {
  ImportResult result;
  session_->EditList([&](ProfileList& profiles, ProfileStoreHeader&, int&) {
    result = ImportProfile(path, profiles, macros_, *stores_);
  });
  if (result.status == FileStatus::kOk && result.macros_added > 0) {
    ReportFileResult(
        {FileOperation::kWriteMacroStore, stores_->MacroStorePath(), result.store_written});
  }
  return result;
}

void MouseCore::ReportFileResult(const FileResult& result) {
  if (QThread::currentThread() != ui_context_.thread()) {
    QMetaObject::invokeMethod(
        &ui_context_, [this, result] { ReportFileResult(result); }, Qt::QueuedConnection);
    return;
  }
  if (result.ok) {
    qCDebug(lcStoreResults, "%s written: %s", FileOperationName(result.operation),
            qUtf8Printable(result.path));
  } else {
    qCWarning(lcStoreResults, "%s could not be written: %s", FileOperationName(result.operation),
              qUtf8Printable(result.path));
  }
  if (file_observer_) file_observer_(result);
}

void MouseCore::RequestApply() {
  if (host_) host_->RequestApply();
}

int MouseCore::device_connected() const {
  return host_ ? host_->link_state().device_connected() : 0;
}

QStringList MouseCore::problems() const {
  return host_ ? host_->problems() : QStringList();
}

}  // namespace mokta
