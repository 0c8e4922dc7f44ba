#pragma once

// When to tell the user about the mouse's battery: it fell to 15 % ("low") or to 5 %
// ("critical"), each once per discharge, or it finished charging ("full"). A threshold is armed
// again only when the mouse charges or the level climbs 5 points above it, so a level that jumps
// around a threshold gives one notice. Notices are at least five minutes apart: one that comes
// sooner is held and given when that time is up, unless the battery made it moot meanwhile
// (a held low notice once the mouse charges, a held full notice once it runs on its battery); a
// more urgent one replaces a held one. QtCore only; the caller tells the time.

#include <cstdint>
#include <optional>

#include "device/link_display.h"

namespace mokta {

enum class BatteryAlert { kLow, kCritical, kFull };

struct BatteryAlertRules {
  int low_percent = 15;
  int critical_percent = 5;
  int rearm_margin = 5;                          // points above a threshold that arm it again
  std::int64_t min_interval_ms = 5 * 60 * 1000;  // between two notices
};

class BatteryAlerts {
 public:
  explicit BatteryAlerts(BatteryAlertRules rules = {}) : rules_(rules) {}

  // A battery report at `now_ms` (a monotonic clock); the notice to give now, if any.
  std::optional<BatteryAlert> OnReport(const BatteryReport& report, std::int64_t now_ms);
  // The held notice, once its time has come (check at due_ms()).
  std::optional<BatteryAlert> TakeDue(std::int64_t now_ms);
  // When the held notice is due; nothing when none is held.
  std::optional<std::int64_t> due_ms() const;

 private:
  std::optional<BatteryAlert> Give(BatteryAlert alert, std::int64_t now_ms);

  BatteryAlertRules rules_;
  bool low_armed_ = true;
  bool critical_armed_ = true;
  bool charging_ = false;
  std::optional<std::int64_t> last_given_ms_;
  std::optional<BatteryAlert> held_;
};

}  // namespace mokta
