// When the battery notices are given: thresholds once per discharge, the margin that arms them
// again, the full notice at the end of a charge, and the spacing between notices.

#include "app/battery_alerts.h"

#include <gtest/gtest.h>

namespace mokta {
namespace {

using State = BatteryReport::State;
constexpr std::int64_t kMinute = 60 * 1000;

BatteryReport Level(int percent) {
  return {State::kOnBattery, percent};
}

TEST(BatteryAlertsTest, EachThresholdOncePerDischargeAndNotWhileTheLevelJumpsAroundIt) {
  BatteryAlerts alerts;
  std::int64_t now = 0;
  EXPECT_EQ(alerts.OnReport(Level(40), now), std::nullopt);
  EXPECT_EQ(alerts.OnReport(Level(15), now += 10 * kMinute), BatteryAlert::kLow);
  // 14, 16, 15, 19: around the threshold, no second notice.
  for (int level : {14, 16, 15, 19, 15}) {
    EXPECT_EQ(alerts.OnReport(Level(level), now += 10 * kMinute), std::nullopt) << level;
  }
  EXPECT_EQ(alerts.OnReport(Level(5), now += 10 * kMinute), BatteryAlert::kCritical);
  EXPECT_EQ(alerts.OnReport(Level(4), now += 10 * kMinute), std::nullopt);
  EXPECT_EQ(alerts.OnReport(Level(6), now += 10 * kMinute), std::nullopt);
  // Climbing 5 points above a threshold arms it again (a level read high for a while).
  EXPECT_EQ(alerts.OnReport(Level(20), now += 10 * kMinute), std::nullopt);
  EXPECT_EQ(alerts.OnReport(Level(15), now += 10 * kMinute), BatteryAlert::kLow);

  // A charge starts a new discharge; its end is told once.
  EXPECT_EQ(alerts.OnReport({State::kCharging, -1}, now += 10 * kMinute), std::nullopt);
  EXPECT_EQ(alerts.OnReport({State::kFull, 100}, now += 10 * kMinute), BatteryAlert::kFull);
  EXPECT_EQ(alerts.OnReport({State::kFull, 100}, now += 10 * kMinute), std::nullopt);
  EXPECT_EQ(alerts.OnReport(Level(3), now += 10 * kMinute), BatteryAlert::kCritical);

  // A mouse found full, or falling straight to 5 %, gets no full notice and one low notice.
  BatteryAlerts fresh;
  EXPECT_EQ(fresh.OnReport({State::kFull, 100}, 0), std::nullopt);
  EXPECT_EQ(fresh.OnReport(Level(2), kMinute * 10), BatteryAlert::kCritical);
  EXPECT_EQ(fresh.OnReport(Level(10), kMinute * 20), std::nullopt);
}

TEST(BatteryAlertsTest, NoticesAreSpacedAndAHeldOneGoesWhenMootOrIsReplaced) {
  BatteryAlerts alerts;
  EXPECT_EQ(alerts.OnReport({State::kCharging, -1}, 0), std::nullopt);
  EXPECT_EQ(alerts.OnReport({State::kFull, 100}, kMinute), BatteryAlert::kFull);
  // Unplugged and soon low: held until five minutes after the full notice.
  EXPECT_EQ(alerts.OnReport(Level(15), 2 * kMinute), std::nullopt);
  ASSERT_EQ(alerts.due_ms(), 6 * kMinute);
  EXPECT_EQ(alerts.TakeDue(5 * kMinute), std::nullopt);
  // A more urgent notice replaces the held one.
  EXPECT_EQ(alerts.OnReport(Level(5), 3 * kMinute), std::nullopt);
  EXPECT_EQ(alerts.TakeDue(6 * kMinute), BatteryAlert::kCritical);
  EXPECT_EQ(alerts.due_ms(), std::nullopt);

  // A held low notice is dropped once the mouse charges; a held full one once it runs on its
  // battery again.
  EXPECT_EQ(alerts.OnReport({State::kCharging, -1}, 7 * kMinute), std::nullopt);
  EXPECT_EQ(alerts.OnReport({State::kFull, 100}, 8 * kMinute), std::nullopt);  // held
  EXPECT_EQ(alerts.OnReport(Level(99), 9 * kMinute), std::nullopt);
  EXPECT_EQ(alerts.due_ms(), std::nullopt);
}

}  // namespace
}  // namespace mokta
