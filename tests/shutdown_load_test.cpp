// The device host shuts down cleanly in the middle of everything: the virtual mouse reports
// its battery every millisecond, another thread plugs and unplugs the cable and the receiver,
// presses the DPI button and asks for apply passes, and the host is shut down at a random
// moment. Every shutdown must be quick, and leave no thread of the host's or the mouse's
// behind. Under the sanitizers the same run looks for races, leaks and use after free.
//
// MOKTA_SHUTDOWN_RUNS sets the number of runs (default 100), MOKTA_SHUTDOWN_SEED the seed of
// the random moments and actions (default: from the clock; printed with every failure).

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "device/device_host.h"
#include "virtual_mouse.h"

#if defined(__SANITIZE_THREAD__)
// Qt is not built with the thread sanitizer, so it cannot see that a call queued to the host's
// thread is handed over under Qt's own lock, and reports every such call as a race. What the
// host's thread runs from its event loop is left out; the threads' starts, stops and joins,
// the drivers' monitors and the mouse's own threads stay in view.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libQt6Core.so\n";
}
#endif

namespace mokta {
namespace {

const QString kVirtualFolder = QStringLiteral(MOKTA_VIRTUAL_DRIVER_DIR "/");

int EnvInt(const char* name, int fallback) {
  const QByteArray value = qgetenv(name);
  bool ok = false;
  const int n = value.toInt(&ok);
  return ok && n > 0 ? n : fallback;
}

int ThreadCount() {
  return static_cast<int>(
      QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

// Runs the event loop until `done` holds or `timeout_ms` has passed; whether it held.
bool RunUntil(const std::function<bool()>& done, int timeout_ms) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeout_ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
  }
  return true;
}

// Runs the event loop for `ms`: the time the host runs before it is shut down.
void RunFor(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 1);
  }
}

// The user and the mouse at once, from a thread of their own, until stopped.
class Commotion {
 public:
  Commotion(VirtualMouse& mouse, DeviceHost& host, std::uint32_t seed)
      : mouse_(mouse), host_(host), thread_([this, seed] { Run(seed); }) {}
  ~Commotion() { Stop(); }

  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  int actions() const { return actions_.load(); }

 private:
  void Run(std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> pick(0, 5);
    while (!stop_) {
      switch (pick(random)) {
        case 0:
          mouse_.Plug(VirtualLink::kCable, false);
          break;
        case 1:
          mouse_.Plug(VirtualLink::kCable, true);
          break;
        case 2:
          mouse_.Plug(VirtualLink::kReceiver, false);
          break;
        case 3:
          mouse_.Plug(VirtualLink::kReceiver, true);
          break;
        case 4:
          mouse_.PressDpiButton();
          break;
        default:
          host_.RequestApply();
          break;
      }
      ++actions_;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }

  VirtualMouse& mouse_;
  DeviceHost& host_;
  std::atomic<bool> stop_{false};
  std::atomic<int> actions_{0};
  std::thread thread_;
};

TEST(ShutdownUnderLoad, EveryShutdownIsQuickAndLeavesNoThread) {
  const int runs = EnvInt("MOKTA_SHUTDOWN_RUNS", 100);
  const auto seed = static_cast<std::uint32_t>(EnvInt(
      "MOKTA_SHUTDOWN_SEED",
      static_cast<int>(std::chrono::steady_clock::now().time_since_epoch().count() & 0x7FFFFFFF)));
  SCOPED_TRACE("MOKTA_SHUTDOWN_SEED=" + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> running_ms(0, 40);

  VirtualMouse& mouse = VirtualMouse::Shared();
  // The thread sanitizer's runtime starts a thread of its own with the process's second one,
  // and keeps it: let it start before the count.
  std::thread([] {}).join();
  const int threads_before = ThreadCount();
  std::int64_t worst_ns = 0;
  int actions = 0;
  int messages = 0;  // from the drivers, handled by the host
  int passes = 0;    // apply passes run
  for (int run = 0; run < runs; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    mouse.ResetSettings();
    mouse.Plug(VirtualLink::kCable, true);
    mouse.Plug(VirtualLink::kReceiver, true);
    mouse.SetAsleep(false);
    {
      ProfileSession session(nullptr);
      session.Load({}, nullptr, 0);
      DeviceHostOptions options;
      options.driver_folder = kVirtualFolder;
      options.pacing_divisor = 20;
      DeviceHost host(session, nullptr, options);
      host.set_message_observer([&](std::uint32_t, std::uintptr_t, std::intptr_t) { ++messages; });
      host.set_request_observer([&](ApplyOutcome outcome) {
        if (outcome == ApplyOutcome::kRan) ++passes;
      });
      const int threads_idle = ThreadCount();
      host.Start();
      ASSERT_TRUE(host.problems().isEmpty()) << host.problems().join('\n').toStdString();
      host.BringUpBle();
      EXPECT_GE(mouse.RunningThreads(), 1);  // the battery reports run

      Commotion commotion(mouse, host, static_cast<std::uint32_t>(random()));
      session.RequestSendAll();
      host.RequestApply();
      RunFor(running_ms(random));

      // Shut down while the other thread keeps going.
      QElapsedTimer clock;
      clock.start();
      host.Shutdown();
      const std::int64_t took = clock.nsecsElapsed();
      worst_ns = std::max(worst_ns, took);
      // A guard against a hang, far above what a shutdown takes.
      ASSERT_LT(took, std::int64_t{2'000'000'000}) << "shutdown took " << took / 1000000 << " ms";
      EXPECT_EQ(mouse.RunningThreads(), 0);
      // Shutdown itself ends the host's threads (the apply worker) and the drivers': only the
      // other thread is left beside those that ran before the start.
      ASSERT_TRUE(RunUntil([&] { return ThreadCount() <= threads_idle + 1; }, 2000))
          << ThreadCount() << " threads after the shutdown, " << threads_idle
          << " before the start";
      // What was queued to the host before and during its shutdown still runs, harmlessly.
      RunFor(2);
      commotion.Stop();
      actions += commotion.actions();
    }
    // Joined threads leave at once; allow the system a moment to take them off the list.
    ASSERT_TRUE(RunUntil([&] { return ThreadCount() <= threads_before; }, 2000))
        << ThreadCount() << " threads, " << threads_before << " before the first run";
  }
  // The load was real: the host handled the mouse's messages and ran passes.
  EXPECT_GT(messages, runs);
  EXPECT_GT(passes, 0);
  std::printf(
      "%d shutdowns under load (%d actions of the other thread, %d driver messages, %d passes): "
      "worst %.1f ms\n",
      runs, actions, messages, passes, static_cast<double>(worst_ns) / 1e6);
}

}  // namespace
}  // namespace mokta

int main(int argc, char** argv) {
  QTemporaryDir runtime;
  // The shared virtual mouse reads these when it is first used: a battery report every
  // millisecond, and a control socket of the test's own (a thread of the mouse's too).
  qputenv("MOKTA_VIRTUAL_BATTERY_MS", "1");
  qputenv("MOKTA_VIRTUAL_CONTROL", QFile::encodeName(runtime.filePath("control.sock")));
  qunsetenv("MOKTA_VIRTUAL_START");
  qunsetenv("MOKTA_VIRTUAL_LOG");
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
