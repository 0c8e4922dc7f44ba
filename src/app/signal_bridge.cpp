#include "app/signal_bridge.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <utility>

namespace mokta {
namespace {

Q_LOGGING_CATEGORY(lcSignals, "mokta.signals")

// The writing end of the live bridge's socket pair, or -1. Read by the signal handler.
std::atomic<int> g_signal_fd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free fd");

// Async-signal-safe: one non-blocking write, errno preserved. When the pair is full the byte
// is dropped, which loses nothing: one pending byte is enough to wake the reader.
void OnSignal(int signal_number) {
  const int saved_errno = errno;
  const int fd = g_signal_fd.load(std::memory_order_relaxed);
  if (fd >= 0) {
    const auto byte = static_cast<unsigned char>(signal_number);
    if (write(fd, &byte, 1) < 0) {
      // full or closing: nothing to do
    }
  }
  errno = saved_errno;
}

void Install(int signal_number, struct sigaction* previous) {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(signal_number, &action, previous);
}

}  // namespace

SignalBridge::SignalBridge(Handler on_signal) : on_signal_(std::move(on_signal)) {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0) {
    qCWarning(lcSignals) << "no socket pair for signals; SIGINT, SIGTERM and SIGHUP end the program"
                         << "without its clean-up";
    return;
  }
  read_fd_ = fds[0];
  write_fd_ = fds[1];
  int expected = -1;
  if (!g_signal_fd.compare_exchange_strong(expected, write_fd_)) {
    qCCritical(lcSignals) << "a second signal bridge was made; it stays inactive";
    return;
  }
  notifier_ = std::make_unique<QSocketNotifier>(read_fd_, QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                   [this] { Drain(); });
  Install(SIGINT, &previous_int_);
  Install(SIGTERM, &previous_term_);
  // A closed terminal ends the program the same way, unless it was started to outlive its
  // terminal (nohup: SIGHUP ignored), which stays so.
  struct sigaction hangup {};
  sigaction(SIGHUP, nullptr, &hangup);
  if (hangup.sa_handler != SIG_IGN) {
    Install(SIGHUP, &previous_hup_);
    hup_installed_ = true;
  }
}

SignalBridge::~SignalBridge() {
  if (notifier_) {
    sigaction(SIGINT, &previous_int_, nullptr);
    sigaction(SIGTERM, &previous_term_, nullptr);
    if (hup_installed_) sigaction(SIGHUP, &previous_hup_, nullptr);
    g_signal_fd.store(-1);
    notifier_.reset();
  }
  if (read_fd_ >= 0) close(read_fd_);
  if (write_fd_ >= 0) close(write_fd_);
}

void SignalBridge::Drain() {
  unsigned char bytes[16];
  int first = 0;
  ssize_t count;
  while ((count = read(read_fd_, bytes, sizeof(bytes))) > 0) {
    if (first == 0) first = bytes[0];
  }
  if (first == 0 || !on_signal_) return;
  // Queued, so that the callback runs outside the notifier's own signal and may destroy the
  // bridge (and with it the notifier).
  QTimer::singleShot(0, notifier_.get(),
                     [handler = std::exchange(on_signal_, nullptr), first] { handler(first); });
}

}  // namespace mokta
