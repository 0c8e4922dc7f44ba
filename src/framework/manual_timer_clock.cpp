#include "framework/manual_timer_clock.h"

#include <QPointer>
#include <algorithm>
#include <cstdint>
#include <map>
#include <utility>

namespace mokta {

struct ManualTimerClock::State {
  struct Entry {
    QPointer<QObject> owner;
    bool owned = false;  // an owner was given: the timer calls nothing once it is gone
    std::shared_ptr<const std::function<void()>> expired;  // kept alive while it runs
    bool active = false;
    qint64 period = 0;
    qint64 due = 0;
    std::uint64_t order = 0;  // when the timer was last started, for expiries due together
    std::optional<qint64> last_fired;
  };

  bool Alive(const Entry& entry) const { return !entry.owned || !entry.owner.isNull(); }

  // The running timer that fires first at or before `until`, or entries.end().
  std::map<std::uint64_t, Entry>::iterator NextDue(qint64 until) {
    auto best = entries.end();
    for (auto it = entries.begin(); it != entries.end(); ++it) {
      const Entry& e = it->second;
      if (!e.active || !Alive(e) || e.due > until) continue;
      if (best == entries.end() || e.due < best->second.due ||
          (e.due == best->second.due && e.order < best->second.order)) {
        best = it;
      }
    }
    return best;
  }

  qint64 now = 0;
  std::uint64_t next_id = 0;
  std::uint64_t next_order = 0;
  std::map<std::uint64_t, Entry> entries;  // by timer id
};

class ManualTimerClock::ManualTimer : public TimerClock::Timer {
 public:
  ManualTimer(std::shared_ptr<State> state, std::uint64_t id) : state_(std::move(state)), id_(id) {}
  ~ManualTimer() override { state_->entries.erase(id_); }

  void Start(int ms) override {
    State::Entry& e = entry();
    e.period = std::max(ms, 0);
    e.due = state_->now + e.period;
    if (e.last_fired && e.due <= *e.last_fired) e.due = *e.last_fired + 1;  // once per ms
    e.order = ++state_->next_order;
    e.active = true;
  }
  void Stop() override { entry().active = false; }
  bool IsActive() const override {
    const State::Entry& e = state_->entries.at(id_);
    return e.active && state_->Alive(e);
  }

 private:
  State::Entry& entry() { return state_->entries.at(id_); }

  std::shared_ptr<State> state_;
  std::uint64_t id_;
};

ManualTimerClock::ManualTimerClock() : state_(std::make_shared<State>()) {}

ManualTimerClock::~ManualTimerClock() = default;

std::unique_ptr<TimerClock::Timer> ManualTimerClock::MakeTimer(QObject* owner,
                                                               std::function<void()> expired) {
  const std::uint64_t id = ++state_->next_id;
  State::Entry& e = state_->entries[id];
  e.owner = owner;
  e.owned = owner != nullptr;
  e.expired = std::make_shared<const std::function<void()>>(std::move(expired));
  return std::make_unique<ManualTimer>(state_, id);
}

void ManualTimerClock::Advance(int ms) {
  // A callback may advance the clock itself; time never runs backwards for the caller.
  const qint64 until = state_->now + std::max(ms, 0);
  for (auto it = state_->NextDue(until); it != state_->entries.end(); it = state_->NextDue(until)) {
    State::Entry& e = it->second;
    state_->now = std::max(state_->now, e.due);
    e.last_fired = e.due;
    e.due += std::max<qint64>(e.period, 1);
    const auto expired = e.expired;  // the callback may destroy the timer
    if (*expired) (*expired)();
  }
  state_->now = std::max(state_->now, until);
}

qint64 ManualTimerClock::now() const {
  return state_->now;
}

std::optional<qint64> ManualTimerClock::TimeToNextExpiry() const {
  std::optional<qint64> next;
  for (const auto& [id, e] : state_->entries) {
    if (e.active && state_->Alive(e) && (!next || e.due < *next)) next = e.due;
  }
  if (!next) return std::nullopt;
  return std::max<qint64>(*next - state_->now, 0);
}

int ManualTimerClock::running_timers() const {
  return static_cast<int>(std::count_if(
      state_->entries.begin(), state_->entries.end(),
      [this](const auto& item) { return item.second.active && state_->Alive(item.second); }));
}

}  // namespace mokta
