#include "app/battery_alerts.h"

namespace mokta {
namespace {

int Urgency(BatteryAlert alert) {
  switch (alert) {
    case BatteryAlert::kCritical:
      return 2;
    case BatteryAlert::kLow:
      return 1;
    case BatteryAlert::kFull:
      break;
  }
  return 0;
}

}  // namespace

std::optional<BatteryAlert> BatteryAlerts::OnReport(const BatteryReport& report,
                                                    std::int64_t now_ms) {
  using State = BatteryReport::State;
  std::optional<BatteryAlert> alert;
  if (report.state == State::kCharging) {
    charging_ = true;
    low_armed_ = critical_armed_ = true;  // a new discharge follows
    if (held_ && *held_ != BatteryAlert::kFull) held_.reset();
  } else if (report.state == State::kFull) {
    low_armed_ = critical_armed_ = true;
    if (held_ && *held_ != BatteryAlert::kFull) held_.reset();
    // Only the end of a charge is news: a mouse found full at start is not.
    if (charging_) alert = BatteryAlert::kFull;
    charging_ = false;
  } else {
    charging_ = false;
    if (held_ && *held_ == BatteryAlert::kFull) held_.reset();
    const int level = report.level;
    if (level >= rules_.low_percent + rules_.rearm_margin) low_armed_ = true;
    if (level >= rules_.critical_percent + rules_.rearm_margin) critical_armed_ = true;
    if (level >= 0 && level <= rules_.critical_percent && critical_armed_) {
      critical_armed_ = low_armed_ = false;
      alert = BatteryAlert::kCritical;
    } else if (level >= 0 && level <= rules_.low_percent && low_armed_) {
      low_armed_ = false;
      alert = BatteryAlert::kLow;
    }
  }
  if (!alert) return std::nullopt;
  return Give(*alert, now_ms);
}

std::optional<BatteryAlert> BatteryAlerts::Give(BatteryAlert alert, std::int64_t now_ms) {
  if (last_given_ms_ && now_ms - *last_given_ms_ < rules_.min_interval_ms) {
    if (!held_ || Urgency(alert) >= Urgency(*held_)) held_ = alert;
    return std::nullopt;
  }
  last_given_ms_ = now_ms;
  held_.reset();
  return alert;
}

std::optional<std::int64_t> BatteryAlerts::due_ms() const {
  if (!held_) return std::nullopt;
  return last_given_ms_ ? *last_given_ms_ + rules_.min_interval_ms : 0;
}

std::optional<BatteryAlert> BatteryAlerts::TakeDue(std::int64_t now_ms) {
  const std::optional<std::int64_t> due = due_ms();
  if (!due || now_ms < *due) return std::nullopt;
  const BatteryAlert alert = *held_;
  held_.reset();
  last_given_ms_ = now_ms;
  return alert;
}

}  // namespace mokta
