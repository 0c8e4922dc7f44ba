#include "cli/mousectl.h"

#include <QJsonDocument>
#include <memory>
#include <optional>

#include "cli/apply_dry_run.h"
#include "cli/device_commands.h"
#include "cli/probe.h"
#include "cli/record_dump.h"
#include "cli/record_file.h"
#include "platform/system_services.h"

namespace mokta {

namespace {

constexpr char kProgram[] = "mokta-mousectl";

// The arguments after the command: its options and its one file.
struct CommandArgs {
  QString file;
  QStringList options;
  QString problem;  // a usage error; empty when the arguments fit the command
};

// Splits the arguments of a command that takes one file and the options `allowed`. An
// argument starting with "-" is an option, except "-" itself and everything after "--".
CommandArgs ParseCommandArgs(const QStringList& args, const QStringList& allowed) {
  CommandArgs parsed;
  bool options_ended = false;
  QStringList files;
  for (const QString& arg : args) {
    if (!options_ended && arg == QStringLiteral("--")) {
      options_ended = true;
    } else if (!options_ended && arg.size() > 1 && arg.startsWith(QLatin1Char('-'))) {
      if (!allowed.contains(arg)) {
        parsed.problem = QStringLiteral("unknown option %1").arg(arg);
        return parsed;
      }
      parsed.options << arg;
    } else {
      files << arg;
    }
  }
  if (files.isEmpty()) {
    parsed.problem = QStringLiteral("missing FILE");
  } else if (files.size() > 1) {
    parsed.problem = QStringLiteral("more than one FILE: %1").arg(files.join(QLatin1Char(' ')));
  } else {
    parsed.file = files.front();
  }
  return parsed;
}

int UsageError(QTextStream& err, const QString& problem) {
  err << kProgram << ": " << problem << "\n\n" << MousectlUsage();
  return kExitFailure;
}

int Fail(QTextStream& err, const QString& message) {
  err << kProgram << ": " << message << "\n";
  return kExitFailure;
}

int RunShow(const QStringList& args, QTextStream& out, QTextStream& err,
            const KeyboardLayout* layout) {
  const CommandArgs parsed = ParseCommandArgs(args, {QStringLiteral("--json")});
  if (!parsed.problem.isEmpty()) return UsageError(err, parsed.problem);
  const RecordFileResult read = ReadRecordFile(parsed.file);
  if (!read.error.isEmpty()) return Fail(err, read.error);
  std::unique_ptr<KeyboardLayout> system_layout;
  if (layout == nullptr) {
    system_layout = MakeSystemKeyboardLayout();
    layout = system_layout.get();
  }
  if (parsed.options.contains(QStringLiteral("--json"))) {
    out << QString::fromUtf8(
        QJsonDocument(RecordFileToJson(read.file, *layout)).toJson(QJsonDocument::Indented));
  } else {
    out << RecordFileToText(read.file, *layout);
  }
  return kExitOk;
}

int RunApply(QStringList args, QTextStream& out, QTextStream& err) {
  DeviceCommandOptions device;
  if (auto problem = TakeDeviceOptions(args, device)) return UsageError(err, *problem);
  const CommandArgs parsed = ParseCommandArgs(args, {QStringLiteral("--dry-run")});
  if (!parsed.problem.isEmpty()) return UsageError(err, parsed.problem);
  // Only a profile can be applied: a name saying otherwise is refused before anything is read,
  // and a name saying nothing makes the file a profile that must have a profile's size.
  const std::optional<RecordFileKind> named = KindFromName(parsed.file);
  if (named && *named != RecordFileKind::kProfile) {
    return Fail(err, QStringLiteral("%1: the name says a %2 file; apply takes a profile (.pro, "
                                    "%3 bytes)")
                         .arg(parsed.file, KindName(*named), QString::number(ProfileData::kSize)));
  }
  if (!parsed.options.contains(QStringLiteral("--dry-run"))) {
    return RunDeviceApply(parsed.file, device, out, err);
  }
  const RecordFileResult read = ReadRecordFile(parsed.file, RecordFileKind::kProfile);
  if (!read.error.isEmpty()) return Fail(err, read.error);
  for (const QString& line : DryRunLines(*read.file.profiles.front())) out << line << "\n";
  return kExitOk;
}

// watch and status take only the device options.
int RunLinkCommand(const QString& command, QStringList args, QTextStream& out, QTextStream& err) {
  DeviceCommandOptions device;
  const bool watch = command == QStringLiteral("watch");
  if (auto problem = TakeDeviceOptions(args, device, watch)) return UsageError(err, *problem);
  if (!args.isEmpty()) {
    return UsageError(err, QStringLiteral("unexpected argument %1").arg(args.front()));
  }
  return watch ? RunWatch(device, out, err) : RunStatus(device, out, err);
}

int RunProbeCommand(const QStringList& args, QTextStream& out, QTextStream& err) {
  for (const QString& arg : args) {
    if (arg != QStringLiteral("--json")) {
      return UsageError(err, QStringLiteral("unexpected argument %1").arg(arg));
    }
  }
  return RunProbe(!args.isEmpty(), out, err);
}

}  // namespace

QString MousectlUsage() {
  return QStringLiteral(
      "Usage:\n"
      "  mokta-mousectl show FILE [--json]\n"
      "      Show a profile (.pro), macro (.macro) or recoil pattern (.gun) file, or one of\n"
      "      the stores pro.data, macro.data and gun.data. The kind of file is told from its\n"
      "      name, or from its size when the name says nothing. With --json the same\n"
      "      content is written as JSON. Keys are named as the active keyboard layout\n"
      "      types them.\n"
      "  mokta-mousectl apply FILE.pro [--dry-run] [MOUSE]\n"
      "      Send the whole profile to the mouse, as the program does after choosing a\n"
      "      profile, and report for each command whether it was delivered. With --dry-run\n"
      "      nothing is sent: the command messages are printed in order, one message per\n"
      "      line as hexadecimal bytes.\n"
      "  mokta-mousectl watch [--for SECONDS] [MOUSE]\n"
      "      Print the mouse's events (battery, charging, DPI stage, polling rate, lighting,\n"
      "      acknowledgements) and link changes as they come, until Ctrl+C.\n"
      "  mokta-mousectl status [MOUSE]\n"
      "      Print which links to the mouse are up, and why Bluetooth LE cannot reach\n"
      "      it when the system can tell (BlueZ not running, Bluetooth off, the mouse\n"
      "      paired but not connected, ...).\n"
      "  mokta-mousectl probe [--json]\n"
      "      Describe what the driver sees of the mouse, for a bug report: each hidraw node\n"
      "      of the cable, the receiver and Bluetooth LE with its report descriptor and\n"
      "      access rights, the node the driver would open for each link and why, and the\n"
      "      mouse and its characteristics as BlueZ lists them. With --json the same as\n"
      "      one JSON object.\n"
      "  mokta-mousectl help\n"
      "      Show this text.\n"
      "\n"
      "MOUSE: the driver libraries to use. By default those beside the tool, or in the\n"
      "folder named by MOKTA_DRIVER_DIR; --virtual uses the virtual mouse beside the tool;\n"
      "--driver-dir DIR uses the libraries in DIR.\n"
      "\n"
      "Exit status: 0 on success; 1 when no mouse was reached, a command was not\n"
      "delivered, the program (or another apply) is using the mouse's links, or probe\n"
      "could not list the hidraw nodes; 2 on a usage error, or when the file cannot be\n"
      "opened or read, has the wrong size for its kind, ends in a partial record, or is\n"
      "not of the kind the command needs.\n");
}

int RunMousectl(const QStringList& args, QTextStream& out, QTextStream& err,
                const KeyboardLayout* layout) {
  if (args.isEmpty()) return UsageError(err, QStringLiteral("missing command"));
  const QString& command = args.front();
  const QStringList rest = args.mid(1);
  if (command == QStringLiteral("show")) return RunShow(rest, out, err, layout);
  if (command == QStringLiteral("apply")) return RunApply(rest, out, err);
  if (command == QStringLiteral("watch") || command == QStringLiteral("status")) {
    return RunLinkCommand(command, rest, out, err);
  }
  if (command == QStringLiteral("probe")) return RunProbeCommand(rest, out, err);
  if (command == QStringLiteral("help") || command == QStringLiteral("--help") ||
      command == QStringLiteral("-h")) {
    out << MousectlUsage();
    return kExitOk;
  }
  return UsageError(err, QStringLiteral("unknown command %1").arg(command));
}

}  // namespace mokta
