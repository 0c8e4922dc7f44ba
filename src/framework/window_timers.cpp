#include "framework/window_timers.h"

#include <QTimer>
#include <utility>

namespace mokta {

WindowTimers::WindowTimers(QObject* owner, std::function<void(int id)> on_timer)
    : owner_(owner), on_timer_(std::move(on_timer)) {}

WindowTimers::~WindowTimers() {
  // Stop the timers and cut them off from the handler, whatever is left in the event queue.
  // They are not deleted here: this may run inside one of their own expiries.
  for (auto& [id, timer] : timers_) {
    timer->stop();
    QObject::disconnect(timer, nullptr, nullptr, nullptr);
    timer->deleteLater();
  }
}

void WindowTimers::SetTimer(int id, int ms) {
  QTimer*& timer = timers_[id];
  if (timer == nullptr) {
    timer = new QTimer(owner_);
    timer->setTimerType(Qt::PreciseTimer);  // never early: "2000 ms after" means at least that
    QObject::connect(timer, &QTimer::timeout, owner_, [this, id] {
      if (on_timer_) on_timer_(id);
    });
  }
  timer->start(ms < 0 ? 0 : ms);
}

bool WindowTimers::KillTimer(int id) {
  const auto it = timers_.find(id);
  if (it == timers_.end() || !it->second->isActive()) return false;
  it->second->stop();  // not deleted: KillTimer may run inside this timer's own expiry
  return true;
}

bool WindowTimers::IsTimerActive(int id) const {
  const auto it = timers_.find(id);
  return it != timers_.end() && it->second->isActive();
}

void WindowTimers::KillAll() {
  for (auto& [id, timer] : timers_) timer->stop();
}

}  // namespace mokta
