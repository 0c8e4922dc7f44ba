#pragma once

// A timer clock that moves only when told to, for tests: time stands still until Advance, which
// fires the expiries that fall due on the way, in time order, on the calling thread. A widget
// test puts one in force before it makes its windows:
//
//   auto clock = std::make_shared<ManualTimerClock>();
//   ScopedTimerClock use_clock(clock);      // timer_clock.h
//   SomeWindow window;                      // its SetTimer calls now run on `clock`
//   ...                                     // something sets a 500 ms timer
//   clock->Advance(499);                    // not yet
//   clock->Advance(1);                      // OnTimer runs inside this call
//
// Rules, as Qt's timers keep them for a window, minus the lateness:
// - A timer started (or restarted) at time t with period p fires at t + p, t + 2p, ... until
//   stopped. Restarting moves the next expiry to now + the new period.
// - Expiries due at the same time fire in the order the timers were last started.
// - A callback may start, stop, restart or destroy any timer, its own included, and make new
//   ones; what it does takes effect at once for the rest of the same Advance. A timer that
//   falls due at the current time from inside a callback (period 0) fires in the same Advance.
// - A timer fires at most once per millisecond of the clock's time: a period of 0 repeats
//   every millisecond, so that every Advance ends.
// - A destroyed timer never fires again. Timers may outlive the clock object's last user: they
//   hold its state.
//
// UI thread only, like the windows that use it.

#include <QtGlobal>
#include <memory>
#include <optional>

#include "framework/timer_clock.h"

namespace mokta {

class ManualTimerClock : public TimerClock {
 public:
  ManualTimerClock();
  ~ManualTimerClock() override;

  std::unique_ptr<Timer> MakeTimer(QObject* owner, std::function<void()> expired) override;

  // Moves the clock `ms` (at least 0) forward and fires every expiry due up to the new time,
  // including those due right now (Advance(0) fires them).
  void Advance(int ms);
  // Milliseconds since the clock was made, as far as it has been advanced.
  qint64 now() const;
  // Milliseconds from now to the next expiry of a running timer; nothing when none runs.
  std::optional<qint64> TimeToNextExpiry() const;
  // How many timers of this clock are running.
  int running_timers() const;

 private:
  struct State;
  class ManualTimer;
  std::shared_ptr<State> state_;
};

}  // namespace mokta
