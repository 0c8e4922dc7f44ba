#pragma once

// How long the UI thread's event loop goes without turning while an operation runs.
//
// `Heartbeat` is a 1 ms precise timer on the UI thread. Between `BeginWindow` and `EndWindow`
// it keeps the longest gap between two beats: that gap less the interval is the longest time
// the loop could not answer, the stall a user feels as a frozen window.
//
// `TimedApplication` is the program's QApplication with every top-level event delivery timed,
// so that a long stall can be put down to the event that took the time (a paint, a posted
// call to the device host, a timer of the window).
//
// UI thread only.

#include <QApplication>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <vector>

namespace mokta::bench {

// Nanoseconds of the monotonic clock.
std::int64_t NowNs();
// Nanoseconds of CPU time the calling thread has used.
std::int64_t ThreadCpuNs();

struct StallWindow {
  std::int64_t longest_gap_ns = 0;  // between two beats, or a beat and an end of the window
  std::int64_t gap_start_ns = 0;    // where that gap began, from the window's start
  // The UI thread's own CPU time within that gap: near the gap, the thread was busy; far
  // below it, the thread waited (not scheduled, or blocked in a call).
  std::int64_t gap_cpu_ns = 0;
  std::int64_t length_ns = 0;  // of the whole window
  std::int64_t cpu_ns = 0;     // the UI thread's CPU time in the whole window
  int beats = 0;

  // The longest gap less the beat interval; never negative.
  double StallMs() const;
};

class Heartbeat : public QObject {
 public:
  static constexpr int kIntervalMs = 1;

  Heartbeat();  // beats from now on

  void BeginWindow();
  StallWindow EndWindow();
  std::int64_t window_start_ns() const { return start_ns_; }

 private:
  void Beat();

  QTimer timer_;
  bool open_ = false;
  std::int64_t start_ns_ = 0;
  std::int64_t start_cpu_ns_ = 0;
  std::int64_t last_ns_ = 0;
  std::int64_t last_cpu_ns_ = 0;
  StallWindow window_;
};

// One event delivery that took long, as `TimedApplication` saw it.
struct SlowDelivery {
  std::int64_t start_ns = 0;  // from the start of the window
  std::int64_t duration_ns = 0;
  QString what;  // "Paint to QWidget 'ms_1_btn_dpi_color_1'"
};

class TimedApplication : public QApplication {
 public:
  // Deliveries shorter than this are not kept.
  static constexpr std::int64_t kSlowNs = 2'000'000;

  TimedApplication(int& argc, char** argv);

  // Starts keeping slow deliveries, timed from `origin_ns`; forgets those kept before.
  void BeginWindow(std::int64_t origin_ns);
  // The slow deliveries since BeginWindow, longest first, at most `count`.
  std::vector<SlowDelivery> Slowest(std::size_t count) const;

  bool notify(QObject* receiver, QEvent* event) override;

 private:
  int depth_ = 0;
  std::int64_t origin_ns_ = 0;
  std::vector<SlowDelivery> slow_;
};

}  // namespace mokta::bench
