#pragma once

// The commands of `mokta-mousectl` that talk to the mouse through the driver libraries, the
// same way the program does: `apply` (a send-all pass), `watch` (the mouse's events) and
// `status` (which links are up). They need a QCoreApplication and run its event loop.

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>
#include <optional>

namespace mokta {

class DeviceHost;

struct DeviceCommandOptions {
  QString driver_folder;       // with "/"; empty: the program's driver folder
  int pacing_divisor = 1;      // tests shorten the sender's waits
  int wake_timeout_ms = 8000;  // how long `apply` waits for a sleeping mouse to report
  // How long `apply` waits for its pass while no command finishes. The slowest command, a
  // slot message through a receiver that never acknowledges, takes 15 s of writes before it
  // goes to Bluetooth LE.
  int apply_stall_ms = 60000;
  // Tests: runs on the tool's thread just before `apply` asks for its pass.
  std::function<void(DeviceHost&)> before_apply_request;
  int watch_ms = -1;           // `watch` ends after this long; -1: when interrupted
  bool use_system_ble = true;  // the system's Bluetooth LE road (udev, BlueZ)
};

// Parses the options shared by the three commands from `args` (removing them): "--virtual"
// (the virtual mouse, from the "virtual" folder beside the tool), "--driver-dir DIR" and, when
// `allow_for` (watch), "--for SECONDS". A problem is returned as a usage error text.
std::optional<QString> TakeDeviceOptions(QStringList& args, DeviceCommandOptions& options,
                                         bool allow_for = false);

// Exit codes: 0 success; 1 the mouse was not reached, a command was not delivered, or (apply)
// a link to the mouse is in use by another program, the link went down before the pass ran, or
// the pass stalled; 2 usage or file errors (returned by the caller). `apply` holds the lock of
// every link (see data/data_lock.h) while it runs.
int RunDeviceApply(const QString& profile_path, const DeviceCommandOptions& options,
                   QTextStream& out, QTextStream& err);
int RunWatch(const DeviceCommandOptions& options, QTextStream& out, QTextStream& err);
int RunStatus(const DeviceCommandOptions& options, QTextStream& out, QTextStream& err);

}  // namespace mokta
