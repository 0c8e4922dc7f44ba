#include "framework/timer_clock.h"

#include <QPointer>
#include <QTimer>
#include <utility>

namespace mokta {
namespace {

class QtTimer : public TimerClock::Timer {
 public:
  QtTimer(QObject* owner, std::function<void()> expired) : timer_(new QTimer(owner)) {
    timer_->setTimerType(Qt::PreciseTimer);  // never early: "2000 ms after" means at least that
    QObject::connect(timer_, &QTimer::timeout, owner, std::move(expired));
  }
  ~QtTimer() override {
    if (timer_.isNull()) return;  // went with its owner
    // Cut off from the callback, whatever is left in the event queue. Not deleted here: this
    // may run inside the timer's own expiry.
    timer_->stop();
    QObject::disconnect(timer_, nullptr, nullptr, nullptr);
    timer_->deleteLater();
  }

  void Start(int ms) override {
    if (timer_) timer_->start(ms < 0 ? 0 : ms);
  }
  void Stop() override {
    if (timer_) timer_->stop();
  }
  bool IsActive() const override { return timer_ && timer_->isActive(); }

 private:
  QPointer<QTimer> timer_;  // a child of the owner
};

class QtClock : public TimerClock {
 public:
  std::unique_ptr<Timer> MakeTimer(QObject* owner, std::function<void()> expired) override {
    return std::make_unique<QtTimer>(owner, std::move(expired));
  }
};

std::shared_ptr<TimerClock>& Current() {
  static std::shared_ptr<TimerClock> clock;
  return clock;
}

}  // namespace

std::shared_ptr<TimerClock> QtTimerClock() {
  static const std::shared_ptr<TimerClock> clock = std::make_shared<QtClock>();
  return clock;
}

std::shared_ptr<TimerClock> CurrentTimerClock() {
  return Current() ? Current() : QtTimerClock();
}

ScopedTimerClock::ScopedTimerClock(std::shared_ptr<TimerClock> clock)
    : previous_(std::exchange(Current(), std::move(clock))) {}

ScopedTimerClock::~ScopedTimerClock() {
  Current() = std::move(previous_);
}

}  // namespace mokta
