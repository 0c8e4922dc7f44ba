#pragma once

// The desktop-wide capture behind the hook exports: a thread with its own X connection that
// reads XInput2 raw key and button events of the root window, and so sees the events of every
// window, and posts each one as the hook message to the installing window while its gate is
// open. Nothing it sees is kept or logged.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "mokta_driver.h"

namespace mokta::hook {

// What the exports switch while the capture runs; the capture thread only reads them. Keys
// pass from the start (installhook alone is enough for key capture); mouse buttons only after
// enablemousehook(1).
struct Gates {
  std::atomic<bool> keys{true};
  std::atomic<bool> buttons{false};
};

// The payload of one hook message.
struct HookMessage {
  std::uintptr_t wparam = 0;
  std::intptr_t lparam = 0;
};

// The message for X button `button` going down (`press`) or up: left 1, middle 2, right 3,
// back 8 (X button 2), forward 9 (X button 1). Wheel steps (4..7) and other buttons have none.
std::optional<HookMessage> ButtonMessage(std::uint32_t button, bool press);

// True in a Wayland session (WAYLAND_DISPLAY set, or XDG_SESSION_TYPE "wayland"), where an X
// client sees only the input of other X clients even with an X display at hand.
bool InWaylandSession();

// True when this process can capture the whole desktop: no Wayland session, an X display that
// accepts a connection, and XInput 2.0 or later on it. Opens and closes a connection.
bool DesktopCaptureAvailable();

class InputCapture {
 public:
  // Starts the capture thread; it posts to `window` while `gates` allow (`gates` outlives the
  // capture). Waits until the thread listens, so that an event after the return is seen, or
  // until it gave up (no display, no XInput2), then it is joined at once; a slow X server is
  // waited for at most a second. Null when no thread could be started.
  static std::unique_ptr<InputCapture> Start(const MoktaWindow& window, const Gates& gates);

  // Stops posting, wakes the thread and joins it: after the return nothing more is posted.
  ~InputCapture();

  InputCapture(const InputCapture&) = delete;
  InputCapture& operator=(const InputCapture&) = delete;

 private:
  enum class Setup { Pending, Listening, Failed };

  InputCapture(const MoktaWindow& window, const Gates& gates, int wake_fd);
  void Run();
  void ReportSetup(Setup setup);

  const MoktaWindow window_;
  const Gates& gates_;
  const int wake_fd_;  // an eventfd: written once to end the thread
  std::atomic<bool> posting_{true};
  std::mutex mutex_;
  std::condition_variable setup_changed_;
  Setup setup_ = Setup::Pending;
  std::thread thread_;
};

}  // namespace mokta::hook
