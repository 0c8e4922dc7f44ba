#include "app/hook_table.h"

#include <dlfcn.h>

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include "data/paths.h"
#include "device/driver_library.h"

namespace mokta {
namespace {

Q_LOGGING_CATEGORY(lcHook, "mokta.hook")

template <typename Fn>
bool LookUp(void* handle, const char* name, Fn& out) {
  out = reinterpret_cast<Fn>(dlsym(handle, name));
  if (!out) qCWarning(lcHook) << "the input hook library lacks" << name;
  return out != nullptr;
}

}  // namespace

class HookTable::Library : public InputHooks {
 public:
  // The exports, in the order they are looked up.
  struct Exports {
    MoktaInstallMouseHookFn install_mouse_hook = nullptr;  // looked up, never called
    MoktaRemoveMouseHookFn remove_mouse_hook = nullptr;
    MoktaEnableMouseHookFn enable_mouse_hook = nullptr;
    MoktaInstallHookFn install_hook = nullptr;
    MoktaRemoveHookFn remove_hook = nullptr;
    MoktaEnableHookFn enable_hook = nullptr;
    MoktaMouseWheelEnableFn mouse_wheel_enable = nullptr;
  };

  explicit Library(const Exports& exports) : exports_(exports) {}
  void InstallHook(const MoktaWindow* window) override { exports_.install_hook(window); }
  void RemoveHook() override { exports_.remove_hook(); }
  void EnableHook(bool enable) override { exports_.enable_hook(enable ? 1 : 0); }
  void EnableMouseHook(bool enable) override { exports_.enable_mouse_hook(enable ? 1 : 0); }
  void RemoveMouseHook() override { exports_.remove_mouse_hook(); }
  void MouseWheelEnable(bool enable) override { exports_.mouse_wheel_enable(enable ? 1 : 0); }

 private:
  Exports exports_;
};

QString HookLibraryPathIn(const QString& driver_folder, const QString& program_folder) {
  if (!driver_folder.isEmpty()) {
    const QString path = driver_folder + QLatin1String(kHookLibraryFile);
    if (QFileInfo::exists(path)) return path;
  }
  return program_folder + QLatin1String(kHookLibraryFile);
}

QString HookLibraryPath() {
  const bool driver_dir_set = !qEnvironmentVariableIsEmpty("MOKTA_DRIVER_DIR");
  return HookLibraryPathIn(driver_dir_set ? DriverFolder() : QString(), ExeFolder());
}

HookTable::HookTable() : HookTable(HookLibraryPath()) {}

HookTable::HookTable(const QString& path) : path_(path) {
  Load(path);
}

HookTable::~HookTable() {
  if (window_capture_) {
    window_capture_->RemoveMouseHook();
    window_capture_->RemoveHook();
    window_capture_.reset();
  }
  if (!handle_) return;
  library_->RemoveMouseHook();
  library_->RemoveHook();
  library_.reset();
  dlclose(handle_);
}

void HookTable::Load(const QString& path) {
  if (const QString refusal = LibraryRefusal(path); !refusal.isEmpty()) {
    qCWarning(lcHook) << "input hook library not loaded:" << refusal;
    return;
  }
  void* handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    qCInfo(lcHook) << "no input hook library:" << dlerror();
    return;
  }
  // Every export is looked up, so that the log names each one that is missing.
  Library::Exports found;
  bool complete = LookUp(handle, "installmousehook", found.install_mouse_hook);
  complete &= LookUp(handle, "removemousehook", found.remove_mouse_hook);
  complete &= LookUp(handle, "enablemousehook", found.enable_mouse_hook);
  complete &= LookUp(handle, "installhook", found.install_hook);
  complete &= LookUp(handle, "removehook", found.remove_hook);
  complete &= LookUp(handle, "enablehook", found.enable_hook);
  complete &= LookUp(handle, "mousewheelenable", found.mouse_wheel_enable);
  if (!complete) {
    dlclose(handle);
    return;
  }
  // Optional: a library without it sees the whole desktop.
  auto global_capture =
      reinterpret_cast<MoktaHookGlobalCaptureFn>(dlsym(handle, "hookglobalcapture"));
  library_global_ = global_capture == nullptr || global_capture() != 0;
  handle_ = handle;
  library_ = std::make_unique<Library>(found);
}

void HookTable::SetWindowCapture(std::unique_ptr<InputHooks> capture) {
  if (window_capture_) {
    window_capture_->RemoveMouseHook();
    window_capture_->RemoveHook();
  }
  window_capture_ = std::move(capture);
}

QString HookTable::InWindowReasonKey() const {
  if (global()) return {};
  return QLatin1String(loaded() ? kHookInWindowTextKey : kHookMissingTextKey);
}

void HookTable::LogCapture() const {
  if (global()) {
    qCInfo(lcHook).noquote() << "keys and mouse buttons are recorded from the whole desktop by"
                             << path_;
    return;
  }
  const QString why = loaded() ? path_ + QStringLiteral(" cannot see the desktop's input here")
                               : QStringLiteral("no usable input hook library at ") + path_;
  if (window_capture_) {
    qCInfo(lcHook).noquote()
        << why + QStringLiteral(
                     "; keys and mouse buttons are recorded only inside the program's windows");
  } else {
    qCWarning(lcHook).noquote() << why +
                                       QStringLiteral("; keys and mouse buttons are not recorded");
  }
}

InputHooks* HookTable::target() {
  if (global()) return library_.get();
  return window_capture_.get();
}

void HookTable::InstallHook(const MoktaWindow* window) {
  if (InputHooks* hooks = target()) hooks->InstallHook(window);
}

void HookTable::RemoveHook() {
  if (InputHooks* hooks = target()) hooks->RemoveHook();
}

void HookTable::EnableHook(bool enable) {
  if (InputHooks* hooks = target()) hooks->EnableHook(enable);
}

void HookTable::EnableMouseHook(bool enable) {
  if (InputHooks* hooks = target()) hooks->EnableMouseHook(enable);
}

void HookTable::RemoveMouseHook() {
  if (InputHooks* hooks = target()) hooks->RemoveMouseHook();
}

void HookTable::MouseWheelEnable(bool enable) {
  if (InputHooks* hooks = target()) hooks->MouseWheelEnable(enable);
}

}  // namespace mokta
