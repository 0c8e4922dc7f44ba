#include "device/driver_library.h"

#include <dlfcn.h>

#include <QByteArray>
#include <QFile>
#include <array>

#include "data/paths.h"

namespace mokta {
namespace {

template <typename Fn>
void LookUp(void* handle, const char* name, Fn& out) {
  out = reinterpret_cast<Fn>(dlsym(handle, name));
}

}  // namespace

QString DriverFolder() {
  const QString folder = qEnvironmentVariable("MOKTA_DRIVER_DIR");
  if (folder.isEmpty()) return ExeFolder();
  return folder.endsWith('/') ? folder : folder + '/';
}

QString LibraryRefusalFor(const QString& path, const QStringList& data_locations) {
  for (const QString& folder : data_locations) {
    if (PathIsInside(path, folder)) {
      return QStringLiteral(
                 "%1 lies in the data folder %2; libraries are loaded only from the "
                 "program's folder or MOKTA_DRIVER_DIR")
          .arg(path, folder);
    }
  }
  return {};
}

QString LibraryRefusal(const QString& path) {
  QStringList data_locations{UserDataLocation(), ExeFolder() + QStringLiteral("Data/")};
  const QString chosen = qEnvironmentVariable("MOKTA_DATA_DIR");
  if (!chosen.isEmpty()) data_locations << chosen;
  return LibraryRefusalFor(path, data_locations);
}

std::unique_ptr<DriverLibrary> DriverLibrary::Load(const QString& path, QString* error) {
  if (const QString refusal = LibraryRefusal(path); !refusal.isEmpty()) {
    if (error) *error = refusal;
    return nullptr;
  }
  void* handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    if (error) *error = QString::fromLocal8Bit(dlerror());
    return nullptr;
  }
  std::unique_ptr<DriverLibrary> library(new DriverLibrary);
  library->handle_ = handle;
  LookUp(handle, "Set_VIDPID", library->set_vid_pid);
  LookUp(handle, "Open_DevMonitor", library->open_dev_monitor);
  LookUp(handle, "Open_FeatureDevice", library->open_feature_device);
  LookUp(handle, "Close_FeatureDevice", library->close_feature_device);
  LookUp(handle, "SetFeature", library->set_feature);
  LookUp(handle, "Close_DevMonitor", library->close_dev_monitor);
  LookUp(handle, "GetFeature", library->get_feature);
  LookUp(handle, "MoktaBle_Open", library->ble_open);
  LookUp(handle, "MoktaBle_Write", library->ble_write);
  LookUp(handle, "MoktaBle_Close", library->ble_close);
  LookUp(handle, "Mokta_LastOpenError", library->last_open_error);
  if (!library->set_vid_pid || !library->open_dev_monitor || !library->open_feature_device ||
      !library->close_feature_device || !library->set_feature || !library->close_dev_monitor) {
    if (error) *error = path + ": a driver export is missing";
    return nullptr;  // unloads it
  }
  return library;
}

DriverLibrary::~DriverLibrary() {
  if (handle_) dlclose(handle_);
}

QString DriverLibrary::LastOpenError() const {
  if (!last_open_error) return {};
  std::array<char, 512> text{};
  if (last_open_error(text.data(), static_cast<int32_t>(text.size())) == 0) return {};
  text.back() = '\0';
  return QString::fromUtf8(text.data());
}

bool DriverDevice::Open() {
  return library_ && library_->open_feature_device() != 0;
}

void DriverDevice::Close() {
  if (library_) library_->close_feature_device();
}

bool DriverDevice::SetFeature(std::span<const std::uint8_t> report) {
  return library_ && library_->set_feature(report.data(), static_cast<int32_t>(report.size())) != 0;
}

bool DriverBleWriter::WriteGatt(std::span<const std::uint8_t> message) {
  return library_ && library_->ble_write &&
         library_->ble_write(message.data(), static_cast<int32_t>(message.size())) != 0;
}

}  // namespace mokta
