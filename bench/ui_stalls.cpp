#include "ui_stalls.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QWindow>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "app/main_window.h"
#include "app/mouse_core.h"
#include "device/link_fields.h"
#include "figures.h"
#include "framework/language_file.h"
#include "profile_match.h"
#include "stall_meter.h"
#include "store_fill.h"
#include "virtual_mouse.h"

namespace mokta::bench {
namespace {

constexpr int kSettleMs = 500;          // quiet time before each run
constexpr int kTailMs = 100;            // kept after an operation ends: the repaint it causes
constexpr int kIdleMs = 1000;           // length of an idle window
constexpr int kFollowUpGraceMs = 1500;  // after link-up, the time a pass may take to begin
constexpr int kStepTimeoutMs = 30000;   // for any one step to happen at all
constexpr std::size_t kSlowestShown = 3;

struct Run {
  StallWindow window;
  double duration_ms = 0;  // from the start to the end of the operation itself
  std::vector<SlowDelivery> slowest;
};

struct Operation {
  std::string name;
  std::vector<Run> runs;
  std::string note;
};

class StallBench {
 public:
  StallBench(TimedApplication& app, const StallOptions& options)
      : app_(app), options_(options), mouse_(VirtualMouse::Shared()) {}

  bool OpenWindow();
  bool MeasureIdle(Operation& operation);
  bool MeasureProfileSwitch(Operation& operation);
  bool MeasureCableArrival(Operation& operation);
  bool MeasureDpiButton(Operation& operation);

 private:
  // Runs the event loop until `done` holds; false (and a message) after kStepTimeoutMs.
  bool WaitUntil(const std::function<bool()>& done, const char* what);
  void Settle(int ms);
  void BeginWindow();
  Run EndWindow(std::int64_t operation_end_ns);
  int CableWrites() const { return mouse_.State().counters.accepted[0]; }
  bool CableUp() {
    return core_->host()->fields().wired_state.load() == kLinkConnected && window_->link_up() == 1;
  }
  bool Control(const char* line);

  TimedApplication& app_;
  StallOptions options_;
  VirtualMouse& mouse_;
  QTemporaryDir data_;
  Heartbeat heartbeat_;
  std::unique_ptr<MouseCore> core_;  // outlives the window, as in the program
  std::unique_ptr<CMainWnd> window_;
  int passes_ = 0;
};

bool StallBench::WaitUntil(const std::function<bool()>& done, const char* what) {
  const QDeadlineTimer deadline(kStepTimeoutMs);
  while (!done()) {
    if (deadline.hasExpired()) {
      std::fprintf(stderr, "mokta-bench-ui: timed out waiting for %s\n", what);
      return false;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  return true;
}

void StallBench::Settle(int ms) {
  const QDeadlineTimer deadline(ms);
  WaitUntil([&] { return deadline.hasExpired(); }, "a pause");
}

void StallBench::BeginWindow() {
  heartbeat_.BeginWindow();
  app_.BeginWindow(heartbeat_.window_start_ns());
}

Run StallBench::EndWindow(std::int64_t operation_end_ns) {
  Run run;
  run.window = heartbeat_.EndWindow();
  run.duration_ms = (operation_end_ns - heartbeat_.window_start_ns()) / 1e6;
  run.slowest = app_.Slowest(kSlowestShown);
  return run;
}

bool StallBench::Control(const char* line) {
  const std::string answer = mouse_.Control(line);
  if (answer.rfind("ok", 0) == 0) return true;
  std::fprintf(stderr, "mokta-bench-ui: the virtual mouse answered \"%s\" to \"%s\"\n",
               answer.c_str(), line);
  return false;
}

// As the program's entry builds its window, with the store in a folder of its own.
bool StallBench::OpenWindow() {
  if (!data_.isValid() || !WriteProfileStore(data_.path() + "/", options_.profiles)) {
    std::fprintf(stderr, "mokta-bench-ui: cannot write the profile store\n");
    return false;
  }
  MouseCoreOptions core_options;
  core_options.data_folder = data_.path() + "/";
  core_ = std::make_unique<MouseCore>(core_options);
  window_ = std::make_unique<CMainWnd>(*core_);
  window_->InitWindow();
  window_->CenterWindow();
  window_->show();
  core_->host()->set_pass_observer([this] { ++passes_; });
  if (!WaitUntil(
          [&] {
            return window_->windowHandle() && window_->windowHandle()->isExposed() && CableUp();
          },
          "the window to show a connected mouse")) {
    return false;
  }
  Settle(kSettleMs);
  return true;
}

bool StallBench::MeasureIdle(Operation& operation) {
  operation.name = "idle (nothing happens, 1 s)";
  for (int r = 0; r < options_.runs; ++r) {
    BeginWindow();
    Settle(kIdleMs);
    operation.runs.push_back(EndWindow(NowNs()));
  }
  return true;
}

// The user picks the next profile in the list: its notification switches the profile,
// refreshes the page and asks for a send-all pass on the worker.
bool StallBench::MeasureProfileSwitch(Operation& operation) {
  operation.name = "profile switch (send-all pass)";
  auto* list = window_->Find<QListWidget>(QStringLiteral("ms_1_list_profile"));
  if (!list || list->count() < 2) {
    std::fprintf(stderr, "mokta-bench-ui: the profile list holds fewer than two profiles\n");
    return false;
  }
  std::string writes;
  for (int r = 0; r < options_.runs; ++r) {
    Settle(kSettleMs);
    const int passes_before = passes_;
    const int writes_before = CableWrites();
    BeginWindow();
    list->setCurrentRow((list->currentRow() + 1) % list->count());
    if (!WaitUntil([&] { return passes_ > passes_before; }, "the send-all pass to end")) {
      return false;
    }
    const std::int64_t pass_end = NowNs();
    Settle(kTailMs);
    operation.runs.push_back(EndWindow(pass_end));
    writes += (writes.empty() ? "" : " ") + std::to_string(CableWrites() - writes_before);
    if (!MatchesProfile(mouse_.State().settings, core_->session().current())) {
      std::fprintf(stderr, "mokta-bench-ui: after the pass the mouse does not hold the profile\n");
      return false;
    }
  }
  operation.note = "reports the mouse took in each pass: " + writes +
                   "; after each pass it held the chosen profile";
  return true;
}

// The cable is plugged in (through the virtual mouse's control command, as
// `mokta-virtual-mouse plug cable` does) while the window shows no mouse.
bool StallBench::MeasureCableArrival(Operation& operation) {
  operation.name = "cable arrival (settle, link up, pass)";
  int passes_seen = 0;
  for (int r = 0; r < options_.runs; ++r) {
    if (!Control("unplug cable") ||
        !WaitUntil([&] { return window_->link_up() == 0; }, "the window to show no mouse")) {
      return false;
    }
    if (!window_->isVisible()) window_->show();  // hidden to the tray: measure it painting
    Settle(kSettleMs);
    const int passes_before = passes_;
    const int writes_before = CableWrites();
    BeginWindow();
    if (!Control("plug cable") || !WaitUntil([&] { return CableUp(); }, "the cable link")) {
      return false;
    }
    std::int64_t end = NowNs();
    const QDeadlineTimer grace(kFollowUpGraceMs);
    const auto pass_ended = [&] { return passes_ > passes_before; };
    if (!WaitUntil(
            [&] { return pass_ended() || (grace.hasExpired() && CableWrites() == writes_before); },
            "the pass after the arrival to end")) {
      return false;
    }
    if (pass_ended()) {
      end = NowNs();
      ++passes_seen;
      Settle(kTailMs);
    }
    operation.runs.push_back(EndWindow(end));
  }
  operation.note = passes_seen == 0
                       ? "no apply pass followed an arrival (none began within 1.5 s of link-up); "
                         "duration = plug to link up"
                       : std::to_string(passes_seen) + " of " + std::to_string(options_.runs) +
                             " arrivals were followed by a pass; duration = plug to its end";
  return true;
}

std::vector<double> Stalls(const Operation& operation) {
  std::vector<double> values;
  for (const Run& run : operation.runs) values.push_back(run.window.StallMs());
  return values;
}

std::vector<double> Durations(const Operation& operation) {
  std::vector<double> values;
  for (const Run& run : operation.runs) values.push_back(run.duration_ms);
  return values;
}

void PrintRow(const Operation& operation) {
  const std::vector<double> stalls = Stalls(operation);
  std::printf("%-40s %4zu  %12s  %10s  %15s\n", operation.name.c_str(), operation.runs.size(),
              Ms(Median(stalls)).c_str(), Ms(Max(stalls)).c_str(),
              Ms(Median(Durations(operation))).c_str());
}

// The stalls of every run, and where the worst run spent its time.
void PrintDetails(const Operation& operation) {
  if (operation.runs.empty()) return;
  std::printf("\n%s\n  stall of each run: %s ms\n", operation.name.c_str(),
              List(Stalls(operation)).c_str());
  if (!operation.note.empty()) std::printf("  %s\n", operation.note.c_str());
  double cpu_ns = 0;
  double length_ns = 0;
  for (const Run& run : operation.runs) {
    cpu_ns += static_cast<double>(run.window.cpu_ns);
    length_ns += static_cast<double>(run.window.length_ns);
  }
  std::printf("  the UI thread was busy %.1f%% of the time (heartbeat included)\n",
              length_ns > 0 ? 100 * cpu_ns / length_ns : 0.0);
  const Run* worst = &operation.runs.front();
  for (const Run& run : operation.runs) {
    if (run.window.longest_gap_ns > worst->window.longest_gap_ns) worst = &run;
  }
  std::printf(
      "  worst run: its longest gap (%.1f ms) began at +%.0f ms of %.0f ms; the UI thread "
      "ran %.1f ms of it",
      worst->window.longest_gap_ns / 1e6, worst->window.gap_start_ns / 1e6,
      worst->window.length_ns / 1e6, worst->window.gap_cpu_ns / 1e6);
  if (worst->slowest.empty()) {
    std::printf("; no event delivery took %.0f ms or more\n", TimedApplication::kSlowNs / 1e6);
    return;
  }
  std::printf("; its slowest event deliveries:\n");
  for (const SlowDelivery& d : worst->slowest) {
    std::printf("    %7.1f ms at +%.0f ms: %s\n", d.duration_ns / 1e6, d.start_ns / 1e6,
                qPrintable(d.what));
  }
}

// What the harness needs around it: the virtual mouse beside this executable, with only its
// cable plugged, and a control socket of its own so that it never meets another virtual mouse.
void SetEnvironment(const QTemporaryDir& runtime) {
  const QString exe_folder = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
  qputenv("MOKTA_DRIVER_DIR", QFile::encodeName(exe_folder + QStringLiteral("/virtual")));
  qputenv("MOKTA_VIRTUAL_START", "cable=1,receiver=0,ble=0");
  qputenv("MOKTA_VIRTUAL_CONTROL", QFile::encodeName(runtime.filePath("control.sock")));
  qunsetenv("MOKTA_VIRTUAL_LOG");
  if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES")) {
    QLoggingCategory::setFilterRules(QStringLiteral("mokta.*.debug=false"));
  }
}

}  // namespace
// The mouse's DPI button is pressed: the event selects the stage on the page, shows the DPI
// pop-up (made on the first press, reused while it shows) and has the store written. The window
// runs on for 300 ms after the page shows the stage, past the store write.
bool StallBench::MeasureDpiButton(Operation& operation) {
  operation.name = "mouse DPI button (pop-up, store write)";
  for (int r = 0; r < options_.runs; ++r) {
    Settle(kSettleMs);
    const int step_before = core_->session().current().dpi_step();
    BeginWindow();
    if (!Control("dpi-button") ||
        !WaitUntil([&] { return core_->session().current().dpi_step() != step_before; },
                   "the page to show the new stage")) {
      return false;
    }
    const std::int64_t end = NowNs();
    Settle(300);
    operation.runs.push_back(EndWindow(end));
  }
  operation.note = "duration = press to the stage shown on the page";
  return true;
}

int RunStallBench(int& argc, char** argv, const StallOptions& options) {
  QTemporaryDir runtime;
  SetEnvironment(runtime);
  TimedApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Mokta Gaming Mouse"));
  QApplication::setQuitOnLastWindowClosed(false);
  auto language = std::make_shared<LanguageFile>();
  language->LoadFromResources();
  SetProgramLanguage(language);

  const std::string load = MachineLoad();
  StallBench bench(app, options);
  std::vector<Operation> operations(4);
  const bool ok = bench.OpenWindow() && bench.MeasureIdle(operations[0]) &&
                  bench.MeasureProfileSwitch(operations[1]) &&
                  bench.MeasureCableArrival(operations[2]) && bench.MeasureDpiButton(operations[3]);

  std::printf(
      "UI thread stalls: the main window in-process (Qt platform \"%s\"), virtual mouse on the "
      "cable,\ndefault pacing, %d profiles in the store. Stall = longest gap between two beats "
      "of a 1 ms\ntimer on the UI thread, less 1 ms. Duration = start of the operation to its "
      "end.\nMachine: %s (at the start).\n\n",
      qPrintable(QGuiApplication::platformName()), options.profiles, load.c_str());
  std::printf("%-40s %4s  %12s  %10s  %15s\n", "operation", "runs", "median stall", "max stall",
              "median duration");
  for (const Operation& operation : operations) {
    if (!operation.runs.empty()) PrintRow(operation);
  }
  for (const Operation& operation : operations) PrintDetails(operation);
  std::fflush(stdout);
  return ok ? 0 : 1;
}

}  // namespace mokta::bench
