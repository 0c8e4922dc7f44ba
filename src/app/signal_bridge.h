#pragma once

// SIGINT, SIGTERM and SIGHUP (a closed terminal; left alone when it is ignored, as under nohup)
// end the program the way the tray menu's "exit" does. The signal handler
// only writes the signal number into a socket pair; the reading end, watched by the event
// loop, turns the first signal into one call on the thread that created the bridge (the UI
// thread). Later signals are swallowed: the clean-up already under way runs once.

#include <csignal>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace mokta {

class SignalBridge {
 public:
  // Receives the number of the first signal that arrived (SIGINT, SIGTERM or SIGHUP).
  using Handler = std::function<void(int signal_number)>;

  // Installs the handlers. `on_signal` is called at most once, from the event loop of this
  // thread, never from inside the signal handler; it may destroy the bridge. Only one bridge
  // may exist at a time.
  explicit SignalBridge(Handler on_signal);
  // Puts back the handlers that were installed before.
  ~SignalBridge();

  SignalBridge(const SignalBridge&) = delete;
  SignalBridge& operator=(const SignalBridge&) = delete;

 private:
  void Drain();

  Handler on_signal_;
  int read_fd_ = -1;
  int write_fd_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
  struct sigaction previous_int_ {};
  struct sigaction previous_term_ {};
  struct sigaction previous_hup_ {};
  bool hup_installed_ = false;
};

}  // namespace mokta
