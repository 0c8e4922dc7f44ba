#include "framework/window_timers.h"

#include <utility>

namespace mokta {

WindowTimers::WindowTimers(QObject* owner, std::function<void(int id)> on_timer,
                           std::shared_ptr<TimerClock> clock)
    : owner_(owner), on_timer_(std::move(on_timer)), clock_(std::move(clock)) {}

// The timers go before the clock (members in reverse order); each stops as it goes.
WindowTimers::~WindowTimers() = default;

void WindowTimers::SetTimer(int id, int ms) {
  std::unique_ptr<TimerClock::Timer>& timer = timers_[id];
  if (timer == nullptr) {
    timer = clock_->MakeTimer(owner_, [this, id] {
      if (on_timer_) on_timer_(id);
    });
  }
  timer->Start(ms < 0 ? 0 : ms);
}

bool WindowTimers::KillTimer(int id) {
  const auto it = timers_.find(id);
  if (it == timers_.end() || !it->second->IsActive()) return false;
  it->second->Stop();
  return true;
}

bool WindowTimers::IsTimerActive(int id) const {
  const auto it = timers_.find(id);
  return it != timers_.end() && it->second->IsActive();
}

void WindowTimers::KillAll() {
  for (auto& [id, timer] : timers_) timer->Stop();
}

}  // namespace mokta
