#include "app/hook_table.h"

#include <dlfcn.h>

#include <QFile>
#include <QLoggingCategory>

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

HookTable::HookTable() : HookTable(DriverFolder() + QLatin1String(kHookLibraryFile)) {}

HookTable::HookTable(const QString& path) {
  Load(path);
}

HookTable::~HookTable() {
  if (!handle_) return;
  RemoveMouseHook();
  RemoveHook();
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
  Exports found;
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
  handle_ = handle;
  exports_ = found;
}

void HookTable::InstallHook(const MoktaWindow* window) {
  if (handle_) exports_.install_hook(window);
}

void HookTable::RemoveHook() {
  if (handle_) exports_.remove_hook();
}

void HookTable::EnableHook(bool enable) {
  if (handle_) exports_.enable_hook(enable ? 1 : 0);
}

void HookTable::EnableMouseHook(bool enable) {
  if (handle_) exports_.enable_mouse_hook(enable ? 1 : 0);
}

void HookTable::RemoveMouseHook() {
  if (handle_) exports_.remove_mouse_hook();
}

void HookTable::MouseWheelEnable(bool enable) {
  if (handle_) exports_.mouse_wheel_enable(enable ? 1 : 0);
}

}  // namespace mokta
