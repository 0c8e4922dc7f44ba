#include "start_time.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "data/store_files.h"
#include "figures.h"
#include "store_fill.h"
#include "window_watch.h"

namespace mokta::bench {
namespace {

using Clock = WindowWatch::Clock;

constexpr auto kExposeWait = std::chrono::seconds(3);  // after the map, for a missed exposure
constexpr auto kStopWait = std::chrono::seconds(10);   // for SIGTERM to end the program
constexpr int kPauseMs = 300;                          // between two starts
constexpr long kLogTailBytes = 4000;

double MsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

// The program's output, in a temporary file that is removed when done.
class LogFile {
 public:
  LogFile() {
    const char* tmp = std::getenv("TMPDIR");
    path_ = std::string(tmp && *tmp ? tmp : "/tmp") + "/mokta-bench-start-XXXXXX";
    fd_ = mkstemp(path_.data());
  }
  ~LogFile() {
    if (fd_ >= 0) {
      close(fd_);
      unlink(path_.c_str());
    }
  }
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  int fd() const { return fd_; }
  // The last few thousand bytes, to standard error.
  void PrintTail() const {
    FILE* file = std::fopen(path_.c_str(), "r");
    if (!file) return;
    std::fseek(file, 0, SEEK_END);
    std::fseek(file, std::max(0L, std::ftell(file) - kLogTailBytes), SEEK_SET);
    char buffer[512];
    std::fprintf(stderr, "--- the program's output ---\n");
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, file))
      std::fwrite(buffer, 1, n, stderr);
    std::fprintf(stderr, "--- end ---\n");
    std::fclose(file);
  }

 private:
  std::string path_;
  int fd_ = -1;
};

// The program's process, started with its output going to `log`.
class Child {
 public:
  bool Start(const std::string& program, const LogFile& log) {
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);  // a benchmark that is killed leaves no program behind
      dup2(log.fd(), STDOUT_FILENO);
      dup2(log.fd(), STDERR_FILENO);
      execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    return pid_ > 0;
  }
  // Whether the process has ended; reaps it without waiting.
  bool Ended() {
    if (!ended_ && waitpid(pid_, &status_, WNOHANG) == pid_) ended_ = true;
    return ended_;
  }
  // Ends it as a session does (SIGTERM), or for good after kStopWait. The watch keeps
  // answering the display meanwhile.
  void Stop(WindowWatch& watch) {
    if (Ended()) return;
    kill(pid_, SIGTERM);
    const Clock::time_point deadline = Clock::now() + kStopWait;
    while (!Ended() && Clock::now() < deadline) watch.Pump(10);
    if (!Ended()) {
      std::fprintf(stderr, "mokta-bench-ui: the program did not end on SIGTERM; killed\n");
      kill(pid_, SIGKILL);
      waitpid(pid_, &status_, 0);
      ended_ = true;
    }
  }
  int exit_code() const { return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1; }

 private:
  pid_t pid_ = -1;
  int status_ = 0;
  bool ended_ = false;
};

struct StartRun {
  double mapped_ms = 0;
  std::optional<double> exposed_ms;
};

// One start; false (and what the program printed) when no window was shown.
bool StartOnce(const StartOptions& options, WindowWatch& watch, StartRun& run) {
  LogFile log;
  Child child;
  watch.Reset();
  const Clock::time_point start = Clock::now();
  if (log.fd() < 0 || !child.Start(options.program, log)) {
    std::fprintf(stderr, "mokta-bench-ui: cannot start %s\n", options.program.c_str());
    return false;
  }
  const Clock::time_point deadline = start + std::chrono::milliseconds(options.timeout_ms);
  while (!watch.exposed() && !child.Ended() && Clock::now() < deadline) {
    watch.Pump(5);
    if (watch.mapped() && Clock::now() - *watch.mapped() > kExposeWait) break;
  }
  const bool shown = watch.mapped().has_value();
  if (shown) {
    run.mapped_ms = MsBetween(start, *watch.mapped());
    if (watch.exposed()) run.exposed_ms = MsBetween(start, *watch.exposed());
  }
  const bool ended_early = child.Ended();
  child.Stop(watch);
  if (shown && !ended_early) return true;
  if (ended_early) {
    std::fprintf(stderr,
                 "mokta-bench-ui: the program ended (exit code %d) before showing a window titled "
                 "\"%s\"%s\n",
                 child.exit_code(), options.title.c_str(),
                 child.exit_code() == 1 ? "; is another instance running for this user?" : "");
  } else {
    std::fprintf(stderr, "mokta-bench-ui: no window titled \"%s\" within %d ms\n",
                 options.title.c_str(), options.timeout_ms);
  }
  log.PrintTail();
  return false;
}

// "100 profiles in its store", counted from the size of the store in `data_folder`.
std::string StoreText(const QString& data_folder) {
  const QFileInfo store(StoreFiles(data_folder).ProfileStorePath());
  if (!store.exists()) return "no profile store";
  const qint64 profiles = (store.size() - static_cast<qint64>(ProfileStoreHeader::kSize)) /
                          static_cast<qint64>(ProfileData::kSize);
  return std::to_string(profiles) + " profiles in its store";
}

void PrintRow(const char* event, const std::vector<double>& values) {
  std::printf("%-10s %4zu %10s %10s   %s\n", event, values.size(), Ms(Median(values)).c_str(),
              Ms(Max(values)).c_str(), List(values).c_str());
}

}  // namespace

int RunStartBench(const StartOptions& options) {
  WindowWatch watch(options.title);
  std::string error;
  if (!watch.Connect(&error)) {
    std::fprintf(stderr, "mokta-bench-ui: %s\n", error.c_str());
    return 2;
  }
  // Every start runs against the same fresh store, under a name no other program uses.
  QTemporaryDir data;
  const QString data_folder = data.path() + "/";
  if (!data.isValid() || !WriteProfileStore(data_folder, options.profiles)) {
    std::fprintf(stderr, "mokta-bench-ui: cannot write a profile store under %s\n",
                 qPrintable(data.path()));
    return 1;
  }
  setenv("MOKTA_DATA_DIR", QFile::encodeName(data.path()).constData(), 1);
  setenv("MOKTA_INSTANCE_NAME", ("mokta-bench-" + std::to_string(getpid())).c_str(), 1);
  // The mouse's link locks, too, apart from those of a program the user is running.
  setenv("XDG_RUNTIME_DIR", QFile::encodeName(data.path()).constData(), 1);
  const std::string load = MachineLoad();
  const std::string store = StoreText(data_folder);
  std::vector<double> mapped;
  std::vector<double> exposed;
  for (int r = 0; r < options.runs; ++r) {
    StartRun run;
    if (!StartOnce(options, watch, run)) return 1;
    mapped.push_back(run.mapped_ms);
    if (run.exposed_ms) exposed.push_back(*run.exposed_ms);
    const Clock::time_point pause_end = Clock::now() + std::chrono::milliseconds(kPauseMs);
    while (Clock::now() < pause_end) watch.Pump(10);
  }

  std::printf(
      "Start to shown main window: %s, %s, started %d times.\n"
      "Clock: from fork/exec to the X server reporting the window titled \"%s\" mapped, and\n"
      "exposed (its first Expose: on screen, asked to paint). %s\nMachine: %s (at the "
      "start).\n\n",
      options.program.c_str(), store.c_str(), options.runs, options.title.c_str(),
      watch.managing() ? "No window manager ran: the watch mapped the windows itself."
                       : "A window manager ran: exposures that came before the watch listened "
                         "are missed.",
      load.c_str());
  std::printf("%-10s %4s %10s %10s   %s\n", "event", "runs", "median", "max", "each run (ms)");
  PrintRow("mapped", mapped);
  PrintRow("exposed", exposed);
  std::fflush(stdout);
  return 0;
}

}  // namespace mokta::bench
