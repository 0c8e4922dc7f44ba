// mokta-bench-ui: measures how the program feels to its user and prints the figures; it
// passes or fails nothing (scripts/bench runs it). Commands:
//
//   stalls [--runs N] [--profiles N]
//       The UI thread's longest stalls during a profile switch's send-all pass and during a
//       cable arrival, in this process against the virtual mouse beside this executable
//       (ui_stalls.h). Needs a display or QT_QPA_PLATFORM=offscreen.
//   startup PROGRAM [--runs N] [--title TEXT] [--profiles N]
//       The time from starting PROGRAM to its main window being mapped and exposed on the X
//       display, with N profiles (default 100) in the store of a temporary data folder
//       (start_time.h).
//   write-store PROGRAM_FOLDER COUNT
//       Writes "pro.data" in the data folder of PROGRAM_FOLDER with COUNT profiles.
//   recorder [--runs N]
//       The time from an input event to its row in the macro editor's action list, while
//       recording a whole macro (macro_recorder.h). Needs a display or offscreen.
//
// Exit status: 0 when the figures were measured, 1 when a step failed, 2 on a usage error.

#include <QDir>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "data/paths.h"
#include "macro_recorder.h"
#include "start_time.h"
#include "store_fill.h"
#include "ui_stalls.h"

namespace {

constexpr char kUsage[] =
    "usage: mokta-bench-ui stalls [--runs N] [--profiles N]\n"
    "       mokta-bench-ui startup PROGRAM [--runs N] [--title TEXT] [--profiles N]\n"
    "       mokta-bench-ui write-store PROGRAM_FOLDER COUNT\n"
    "       mokta-bench-ui recorder [--runs N]\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

// A whole number from 1 to 100000, or 0.
int Count(const std::string& text) {
  char* end = nullptr;
  const long n = std::strtol(text.c_str(), &end, 10);
  return !text.empty() && *end == '\0' && n >= 1 && n <= 100000 ? static_cast<int>(n) : 0;
}

// Reads "--name VALUE" pairs after the positional arguments; false on anything else.
bool ReadOptions(const std::vector<std::string>& args, std::size_t from,
                 const std::vector<std::pair<std::string, std::string*>>& known) {
  for (std::size_t i = from; i < args.size(); i += 2) {
    if (i + 1 >= args.size()) return false;
    bool found = false;
    for (const auto& [name, value] : known) {
      if (args[i] == name) {
        *value = args[i + 1];
        found = true;
      }
    }
    if (!found) return false;
  }
  return true;
}

int WriteStore(const std::vector<std::string>& args) {
  const int count = args.size() == 3 ? Count(args[2]) : 0;
  if (count == 0) return Usage();
  QString folder = QDir(QString::fromLocal8Bit(args[1].c_str())).absolutePath();
  if (!folder.endsWith('/')) folder += '/';
  if (!mokta::bench::WriteProfileStore(mokta::DataFolderIn(folder), count)) {
    std::fprintf(stderr, "mokta-bench-ui: cannot write the profile store under %s\n",
                 qPrintable(folder));
    return 1;
  }
  return 0;
}

int Startup(const std::vector<std::string>& args) {
  if (args.size() < 2) return Usage();
  mokta::bench::StartOptions options;
  options.program = args[1];
  std::string runs = std::to_string(options.runs);
  std::string profiles = std::to_string(options.profiles);
  if (!ReadOptions(args, 2,
                   {{"--runs", &runs}, {"--title", &options.title}, {"--profiles", &profiles}})) {
    return Usage();
  }
  options.runs = Count(runs);
  options.profiles = Count(profiles);
  if (options.runs == 0 || options.profiles == 0) return Usage();
  return mokta::bench::RunStartBench(options);
}

int Stalls(char** argv, const std::vector<std::string>& args) {
  mokta::bench::StallOptions options;
  std::string runs = std::to_string(options.runs);
  std::string profiles = std::to_string(options.profiles);
  if (!ReadOptions(args, 1, {{"--runs", &runs}, {"--profiles", &profiles}})) return Usage();
  options.runs = Count(runs);
  options.profiles = Count(profiles);
  if (options.runs == 0 || options.profiles < 2) return Usage();
  // The Qt application gets the program name only: the command's arguments are not its own.
  int qt_argc = 1;
  return mokta::bench::RunStallBench(qt_argc, argv, options);
}

int Recorder(char** argv, const std::vector<std::string>& args) {
  mokta::bench::RecorderOptions options;
  std::string runs = std::to_string(options.runs);
  if (!ReadOptions(args, 1, {{"--runs", &runs}})) return Usage();
  options.runs = Count(runs);
  if (options.runs == 0) return Usage();
  int qt_argc = 1;
  return mokta::bench::RunRecorderBench(qt_argc, argv, options);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return Usage();
  if (args[0] == "stalls") return Stalls(argv, args);
  if (args[0] == "startup") return Startup(args);
  if (args[0] == "write-store") return WriteStore(args);
  if (args[0] == "recorder") return Recorder(argv, args);
  return Usage();
}
