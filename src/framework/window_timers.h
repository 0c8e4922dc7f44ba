#pragma once

// Timers by number, as a window keeps them: SetTimer(id, ms) starts the timer, or restarts it
// with the new period when the id is already set; it then fires every `ms` milliseconds until
// KillTimer(id). Each expiry calls the handler with the id, never before the period has passed
// (it may come later while the UI thread is busy). UI thread only.
//
// The expiries come from the timer clock in force when the object is made (timer_clock.h):
// Qt's timers in the program, a test's manual clock in tests.
//
// Destroying the object stops every timer: no handler runs afterwards, also not for an expiry
// that was already due.

#include <QObject>
#include <functional>
#include <map>
#include <memory>

#include "framework/timer_clock.h"

namespace mokta {

class WindowTimers {
 public:
  // `owner` is the object the timers belong to (they die with it at the latest); `on_timer`
  // runs on each expiry. Killing or setting timers from inside `on_timer` is allowed.
  WindowTimers(QObject* owner, std::function<void(int id)> on_timer,
               std::shared_ptr<TimerClock> clock = CurrentTimerClock());
  ~WindowTimers();
  WindowTimers(const WindowTimers&) = delete;
  WindowTimers& operator=(const WindowTimers&) = delete;

  // Starts timer `id`, or restarts it: the next expiry is `ms` milliseconds from now. A period
  // below 0 counts as 0 (fires whenever the event loop is idle).
  void SetTimer(int id, int ms);
  // Stops timer `id`. Returns whether it was running.
  bool KillTimer(int id);
  bool IsTimerActive(int id) const;
  void KillAll();

 private:
  QObject* owner_;
  std::function<void(int id)> on_timer_;
  std::shared_ptr<TimerClock> clock_;
  // Kept (stopped) after KillTimer: KillTimer may run inside the timer's own expiry.
  std::map<int, std::unique_ptr<TimerClock::Timer>> timers_;
};

}  // namespace mokta
