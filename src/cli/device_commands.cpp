#include "cli/device_commands.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <functional>
#include <mutex>
#include <vector>

#include "cli/apply_dry_run.h"
#include "cli/record_file.h"
#include "data/data_lock.h"
#include "data/paths.h"
#include "device/device_host.h"
#include "platform/system_services.h"

namespace mokta {
namespace {

constexpr char kProgram[] = "mokta-mousectl";

// Runs the event loop until `done` holds or `timeout_ms` passed; true when `done` held.
bool RunUntil(const std::function<bool()>& done, int timeout_ms) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (timeout_ms >= 0 && clock.elapsed() >= timeout_ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
  }
  return true;
}

// Runs the event loop until `done` holds, or until `stall_ms` passed without `progress` changing;
// true when `done` held.
bool RunWhileProgressing(const std::function<bool()>& done,
                         const std::function<std::uint64_t()>& progress, int stall_ms) {
  QElapsedTimer clock;
  clock.start();
  std::uint64_t seen = progress();
  while (!done()) {
    if (const std::uint64_t now = progress(); now != seen) {
      seen = now;
      clock.restart();
    }
    if (clock.elapsed() >= stall_ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
  }
  return true;
}

// Why a request for the pass came to nothing; empty when the pass ran.
QString OutcomeText(ApplyOutcome outcome) {
  switch (outcome) {
    case ApplyOutcome::kRan:
      return {};
    case ApplyOutcome::kAsleep:
      return QStringLiteral(
          "the mouse went to sleep before the settings could be sent; nothing was sent. Move "
          "it to wake it and try again");
    case ApplyOutcome::kNoLink:
      return QStringLiteral(
          "the link to the mouse went down before the settings could be sent; nothing was "
          "sent");
  }
  return {};
}

std::atomic<bool> interrupted{false};
extern "C" void OnInterrupt(int) {
  interrupted = true;
}

QString LinkText(int state) {
  switch (state) {
    case kLinkConnected:
      return QStringLiteral("connected");
    case kLinkRemoved:
      return QStringLiteral("removed");
    default:
      return QStringLiteral("not found");
  }
}

QString CommandName(std::uint8_t code) {
  switch (code) {
    case kCommandOpen:
      return QStringLiteral("open");
    case kCommandSensor:
      return QStringLiteral("DPI and sensor");
    case kCommandLighting:
      return QStringLiteral("lighting and power");
    case kCommandPollingRate:
      return QStringLiteral("polling rate");
    case kCommandButtonMap:
      return QStringLiteral("button map");
    case kCommandSlot:
      return QStringLiteral("macro or pattern slot");
    default:
      return QStringLiteral("unknown");
  }
}

// One event of the mouse in words: "battery 57%, on battery", "DPI stage 3", ...
QString DescribeEvent(std::uint16_t word, std::uint16_t value) {
  const QString raw = QStringLiteral(" (%1 %2)")
                          .arg(word, 4, 16, QLatin1Char('0'))
                          .arg(value, 4, 16, QLatin1Char('0'));
  if ((word & 0xFF) != kEventMarker) return QStringLiteral("unknown event") + raw;
  const int status = value & 0xFF;
  switch (word & 0xFF00) {
    case kEventDpiStage:
      return QStringLiteral("DPI stage %1").arg(value) + raw;
    case kEventPollingRate:
      return QStringLiteral("polling rate: report interval %1 ms").arg(value) + raw;
    case kEventBattery:
      return QStringLiteral("battery %1%, %2")
                 .arg(value >> 8)
                 .arg(status == kBatteryFull       ? QStringLiteral("full")
                      : status == kBatteryCharging ? QStringLiteral("charging")
                                                   : QStringLiteral("on battery")) +
             raw;
    case kEventAck:
      return ((value & 0xFF) == 0 ? QStringLiteral("acknowledgement")
                                  : QStringLiteral("negative acknowledgement")) +
             raw;
    case kEventLighting:
      return QStringLiteral("lighting effect changed") + raw;
    default:
      return QStringLiteral("event") + raw;
  }
}

// Why Bluetooth LE cannot reach the mouse, for a user; empty when there is nothing to say.
QString BleDiagnosisText(BleDiagnosis diagnosis) {
  QString text = QString::fromLatin1(BleDiagnosisDescription(diagnosis));
  if (diagnosis == BleDiagnosis::kPairedNotConnected) {
    text += QStringLiteral(
        ": switch it on in Bluetooth mode, or connect it in the system's Bluetooth settings");
  }
  return text;
}

// "not present", with the reason when the system gives one.
QString BleAbsentText(const DeviceHost& host) {
  const QString why = BleDiagnosisText(host.ble_diagnosis());
  return why.isEmpty() ? QStringLiteral("not present")
                       : QStringLiteral("not present (%1)").arg(why);
}

// The host with the tool's options, started.
struct Session {
  explicit Session(const DeviceCommandOptions& options)
      : profiles(nullptr), host(profiles, nullptr, HostOptions(options)) {}

  DeviceHostOptions HostOptions(const DeviceCommandOptions& options) {
    DeviceHostOptions host_options;
    host_options.driver_folder = options.driver_folder;
    host_options.pacing_divisor = options.pacing_divisor;
    host_options.system_ble = options.use_system_ble ? system_ble.get() : nullptr;
    return host_options;
  }

  std::unique_ptr<SystemBle> system_ble = MakeSystemBle();
  ProfileSession profiles;
  DeviceHost host;
};

void PrintProblems(const DeviceHost& host, QTextStream& err) {
  for (const QString& problem : host.problems()) err << kProgram << ": " << problem << "\n";
}

}  // namespace

std::optional<QString> TakeDeviceOptions(QStringList& args, DeviceCommandOptions& options,
                                         bool allow_for) {
  QStringList rest;
  for (int i = 0; i < args.size(); ++i) {
    const QString& arg = args[i];
    if (arg == QStringLiteral("--virtual")) {
      options.driver_folder = ExeFolder() + "virtual/";
    } else if (arg == QStringLiteral("--driver-dir") ||
               (allow_for && arg == QStringLiteral("--for"))) {
      if (i + 1 >= args.size()) return arg + " needs a value";
      const QString value = args[++i];
      if (arg == QStringLiteral("--for")) {
        bool ok = false;
        const double seconds = value.toDouble(&ok);
        if (!ok || seconds < 0 || seconds > 86400) return "--for needs a number of seconds";
        options.watch_ms = static_cast<int>(seconds * 1000);
      } else {
        options.driver_folder = value.endsWith('/') ? value : value + '/';
      }
    } else {
      rest << arg;
    }
  }
  args = rest;
  return std::nullopt;
}

int RunDeviceApply(const QString& profile_path, const DeviceCommandOptions& options,
                   QTextStream& out, QTextStream& err) {
  const RecordFileResult read = ReadRecordFile(profile_path, RecordFileKind::kProfile);
  if (!read.error.isEmpty()) {
    err << kProgram << ": " << read.error << "\n";
    return 2;
  }
  // The program, or another apply, may be sending over the same links: their messages must
  // not interleave with ours.
  RunLocks locks;
  if (locks.TakeLinks() == RunLocks::Result::kHeld) {
    err << kProgram << ": " << locks.refusal() << "; nothing was sent\n";
    return 1;
  }
  for (const QString& warning : locks.warnings())
    err << kProgram << ": warning: " << warning << "\n";
  Session session(options);
  ProfileList list;
  list.push_back(std::make_unique<ProfileData>(*read.file.profiles.front()));
  session.profiles.Load(std::move(list), nullptr, 0);
  session.profiles.RequestSendAll();

  struct Result {
    CommandMessage message;
    bool delivered;
  };
  std::mutex mutex;
  std::vector<Result> results;
  std::atomic<std::uint64_t> finished_commands{0};
  std::optional<ApplyOutcome> outcome;
  session.host.set_command_observer([&](const CommandMessage& message, bool delivered) {
    std::lock_guard lock(mutex);
    results.push_back({message, delivered});
    ++finished_commands;
  });
  session.host.set_request_observer([&](ApplyOutcome o) { outcome = o; });

  DeviceHost& host = session.host;
  host.Start();
  PrintProblems(host, err);
  if (!host.fields().AnyLinkUp()) {
    err << kProgram << ": no mouse found on the cable, the receiver or Bluetooth LE\n";
    const QString why = BleDiagnosisText(host.ble_diagnosis());
    if (!why.isEmpty()) err << kProgram << ": Bluetooth: " << why << "\n";
    return 1;
  }
  host.BringUpBle();
  if (host.fields().device_asleep.load() == 1) {
    out << "The mouse behind the receiver has not reported yet; waiting for it...\n";
    out.flush();
    if (!RunUntil([&] { return host.fields().device_asleep.load() == 0; },
                  options.wake_timeout_ms)) {
      err << kProgram << ": the mouse behind the receiver is asleep; move it to wake it\n";
      return 1;
    }
  }
  if (options.before_apply_request) options.before_apply_request(host);
  host.RequestApply();
  // The link may go down before the worker takes the request, or the mouse fall asleep: the
  // request then comes to nothing, and says so. A pass that stops making progress is given up.
  const bool answered =
      RunWhileProgressing([&] { return outcome.has_value(); },
                          [&] { return finished_commands.load(); }, options.apply_stall_ms);
  // Bluetooth LE cannot carry the polling rate: over it alone, that command is left out rather
  // than failed.
  const LinkFields& links = host.fields();
  const bool ble_only = links.ble_state.load() == 1 && links.wired_state.load() != kLinkConnected &&
                        links.wireless_state.load() != kLinkConnected;
  const bool link_up = links.AnyLinkUp();
  host.Shutdown();  // cuts a stalled pass short
  if (answered && *outcome != ApplyOutcome::kRan) {
    err << kProgram << ": " << OutcomeText(*outcome) << "\n";
    return 1;
  }

  int failed = 0;
  int skipped = 0;
  std::lock_guard lock(mutex);
  for (const Result& r : results) {
    const bool skip = !r.delivered && ble_only && r.message.code() == kCommandPollingRate;
    out << (r.delivered ? "delivered     "
            : skip      ? "not sent      "
                        : "NOT delivered ")
        << CommandName(r.message.code()) << ": " << HexBytes(r.message.view())
        << (skip ? " (Bluetooth LE cannot set it)" : "") << "\n";
    failed += r.delivered || skip ? 0 : 1;
    skipped += skip ? 1 : 0;
  }
  const qsizetype sent = results.size() - skipped;
  out << sent - failed << " of " << sent << " commands delivered\n";
  if (!answered) {
    err << kProgram << ": no command to the mouse finished for "
        << QString::number(options.apply_stall_ms / 1000.0)
        << " s; the apply was given up, and the settings may be only partly applied\n";
    return 1;
  }
  if (failed > 0 && !link_up) {
    err << kProgram << ": the link to the mouse went down during the apply\n";
  }
  return failed == 0 && sent > 0 ? 0 : 1;
}

int RunWatch(const DeviceCommandOptions& options, QTextStream& out, QTextStream& err) {
  Session session(options);
  DeviceHost& host = session.host;
  host.set_message_observer(
      [&](std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
        const auto word = static_cast<std::uint16_t>(wparam);
        const auto value = static_cast<std::uint16_t>(lparam);
        switch (message) {
          case MSG_CABLE_EVENT:
            out << "cable: " << DescribeEvent(word, value) << "\n";
            break;
          case MSG_RECEIVER_EVENT:
            out << "receiver: " << DescribeEvent(word, value) << "\n";
            break;
          case MSG_BLE_EVENT:
            out << "bluetooth: " << DescribeEvent(word, value) << "\n";
            break;
          case MSG_CABLE_STATUS:
            out << "cable: " << (wparam == 1 ? "arrived" : "removed") << "\n";
            break;
          case MSG_RECEIVER_STATUS:
            out << "receiver: " << (wparam == 1 ? "arrived" : "removed") << "\n";
            break;
          case MSG_BLE_PRESENCE:
            out << "bluetooth: " << (wparam == 1 ? "connected" : "gone") << "\n";
            break;
          default:
            break;
        }
        out.flush();
      });
  host.Start();
  PrintProblems(host, err);
  host.BringUpBle();
  out << "cable " << LinkText(host.fields().wired_state) << ", receiver "
      << LinkText(host.fields().wireless_state) << ", bluetooth "
      << (host.fields().ble_state.load() == 1 ? QStringLiteral("connected") : BleAbsentText(host))
      << "; watching (Ctrl+C ends)\n";
  out.flush();

  interrupted = false;
  auto old_int = std::signal(SIGINT, OnInterrupt);
  auto old_term = std::signal(SIGTERM, OnInterrupt);
  RunUntil([] { return interrupted.load(); }, options.watch_ms);
  std::signal(SIGINT, old_int);
  std::signal(SIGTERM, old_term);
  host.Shutdown();
  return 0;
}

int RunStatus(const DeviceCommandOptions& options, QTextStream& out, QTextStream& err) {
  Session session(options);
  DeviceHost& host = session.host;
  host.Start();
  PrintProblems(host, err);
  host.BringUpBle();
  // Give a mouse behind the receiver a moment to report, so "awake" can be told.
  if (host.fields().wireless_state.load() == kLinkConnected) {
    RunUntil([&] { return host.fields().wireless_awake.load() == 1; }, 1500);
  }
  const LinkFields& f = host.fields();
  out << "cable:     " << LinkText(f.wired_state) << "\n";
  out << "receiver:  " << LinkText(f.wireless_state);
  if (f.wireless_state.load() == kLinkConnected) {
    out << (f.wireless_awake.load() == 1 ? ", mouse awake" : ", mouse asleep or not reporting");
  }
  out << "\n";
  out << "bluetooth: "
      << (f.ble_state.load() == 1 ? QStringLiteral("connected") : BleAbsentText(host)) << "\n";
  const bool any = f.AnyLinkUp();
  host.Shutdown();
  return any ? 0 : 1;
}

}  // namespace mokta
