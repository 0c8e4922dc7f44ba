#pragma once

// Where window timers get their expiries from. The program runs them on Qt's timers; a test
// puts a clock of its own in force (ScopedTimerClock), usually a ManualTimerClock
// (manual_timer_clock.h), so that "500 ms after the last move" is checked by moving a clock
// instead of waiting for one. Every WindowTimers, and so every SkinWindow, takes the clock in
// force when it is made and keeps it for its life. UI thread only.

#include <QObject>
#include <functional>
#include <memory>

namespace mokta {

class TimerClock {
 public:
  // One repeating timer. It starts stopped. Destroying it stops it: its expiry callback is not
  // called afterwards, also not for an expiry that was already due, and also when it is
  // destroyed from inside that callback.
  class Timer {
   public:
    virtual ~Timer() = default;
    // Starts the timer, or restarts it: the next expiry is `ms` (at least 0) from now, then
    // one every `ms` until Stop.
    virtual void Start(int ms) = 0;
    virtual void Stop() = 0;
    virtual bool IsActive() const = 0;
  };

  virtual ~TimerClock() = default;
  // A new, stopped timer that calls `expired` on each expiry. `owner` is the object the timer
  // belongs to; a clock may tie the timer's resources to it, and then calls nothing once
  // `owner` is gone.
  virtual std::unique_ptr<Timer> MakeTimer(QObject* owner, std::function<void()> expired) = 0;
};

// The program's clock: Qt's precise timers, which never fire early ("2000 ms after" means at
// least that) and may fire late while the UI thread is busy.
std::shared_ptr<TimerClock> QtTimerClock();

// The clock timers made now take: the innermost ScopedTimerClock's, or else QtTimerClock().
std::shared_ptr<TimerClock> CurrentTimerClock();

// Puts `clock` in force for the life of a scope and restores the previous clock after. Timers
// made meanwhile keep `clock` alive as long as they need it.
class ScopedTimerClock {
 public:
  explicit ScopedTimerClock(std::shared_ptr<TimerClock> clock);
  ~ScopedTimerClock();
  ScopedTimerClock(const ScopedTimerClock&) = delete;
  ScopedTimerClock& operator=(const ScopedTimerClock&) = delete;

 private:
  std::shared_ptr<TimerClock> previous_;
};

}  // namespace mokta
