#pragma once

// Loading the feature-report driver libraries at run time: "libhiddriver_2.so" for the cable
// and "libhiddriver_1.so" for the receiver, from the program's folder, or from the folder named
// by the environment variable MOKTA_DRIVER_DIR (which points the program at the virtual mouse).
// A library or export that is missing is a link that never opens, never a crash.
//
// No run-time library (drivers, input hook) is ever loaded from the data folder or the user's
// data location: those hold files the program and the user write, never code.

#include <QString>
#include <QStringList>
#include <memory>

#include "device/command_sender.h"
#include "mokta_driver.h"

namespace mokta {

inline constexpr char kCableDriverFile[] = "libhiddriver_2.so";
inline constexpr char kReceiverDriverFile[] = "libhiddriver_1.so";
inline constexpr int kMouseVendorId = 0x1D57;
inline constexpr int kCableProductId = 0x214C;
inline constexpr int kReceiverProductId = 0xFA60;

// The folder the driver libraries are loaded from, with a trailing "/": MOKTA_DRIVER_DIR when
// set and not empty, else the program's own folder.
QString DriverFolder();

// Why the library at `path` may not be loaded, or an empty text when it may: a path inside any
// of `data_locations` (folders, with or without a trailing "/") is refused.
QString LibraryRefusalFor(const QString& path, const QStringList& data_locations);
// The same against the data folders of this run: the user's data location, the folder named by
// MOKTA_DATA_DIR and the "Data" folder beside the program.
QString LibraryRefusal(const QString& path);

// One loaded library and its exports. Unloaded when destroyed.
class DriverLibrary {
 public:
  // Loads `path` and looks up its exports. Null when the library may not be loaded from there
  // (LibraryRefusal), does not load or lacks one of the exports the program calls; `error`
  // (when given) then says why.
  static std::unique_ptr<DriverLibrary> Load(const QString& path, QString* error = nullptr);
  ~DriverLibrary();

  DriverLibrary(const DriverLibrary&) = delete;
  DriverLibrary& operator=(const DriverLibrary&) = delete;

  MoktaSetVidPidFn set_vid_pid = nullptr;
  MoktaOpenDevMonitorFn open_dev_monitor = nullptr;
  MoktaOpenFeatureDeviceFn open_feature_device = nullptr;
  MoktaCloseFeatureDeviceFn close_feature_device = nullptr;
  MoktaSetFeatureFn set_feature = nullptr;
  MoktaCloseDevMonitorFn close_dev_monitor = nullptr;
  MoktaGetFeatureFn get_feature = nullptr;  // looked up, never called
  // Optional: a Bluetooth LE link offered by the library itself (the virtual mouse).
  MoktaBleOpenFn ble_open = nullptr;
  MoktaBleWriteFn ble_write = nullptr;
  MoktaBleCloseFn ble_close = nullptr;
  // Optional: why the last open failed ("present but not accessible: ...").
  MoktaLastOpenErrorFn last_open_error = nullptr;

  bool HasBle() const { return ble_open && ble_write && ble_close; }
  // The library's explanation of a failed open, or an empty text.
  QString LastOpenError() const;

 private:
  DriverLibrary() = default;
  void* handle_ = nullptr;
};

// A library's device as the link state and the command sender use it; a missing library is a
// device that never opens.
class DriverDevice : public FeatureDevice {
 public:
  explicit DriverDevice(DriverLibrary* library) : library_(library) {}
  bool Open() override;
  void Close() override;
  bool SetFeature(std::span<const std::uint8_t> report) override;

 private:
  DriverLibrary* library_;
};

// The Bluetooth LE writes of a library that offers its own link.
class DriverBleWriter : public BleWriter {
 public:
  explicit DriverBleWriter(DriverLibrary* library) : library_(library) {}
  bool WriteGatt(std::span<const std::uint8_t> message) override;

 private:
  DriverLibrary* library_;
};

}  // namespace mokta
