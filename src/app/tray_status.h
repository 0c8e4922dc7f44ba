#pragma once

// What the notification area tells of the mouse: the tray icon's tool tip (the links that are
// up, the battery level and whether it charges) and the battery notices (low, critical, fully
// charged; BatteryAlerts decides when). It follows the device side as a LinkDisplay beside the
// page's own. The notices go through `notify` (the desktop's notification service, or the
// tray's own message where there is none).
//
// UI thread.

#include <QString>
#include <QTimer>
#include <functional>
#include <optional>

#include "app/battery_alerts.h"
#include "device/link_display.h"

namespace mokta {

class TrayStatus : public NullLinkDisplay {
 public:
  // Shows a notice: its title and text. False when it could not be shown (logged by it).
  using Notify = std::function<bool(const QString& title, const QString& text)>;
  // Milliseconds of a monotonic clock.
  using Clock = std::function<std::int64_t()>;

  // `set_tool_tip` receives the tool tip whenever it changes.
  TrayStatus(std::function<void(const QString&)> set_tool_tip, Notify notify,
             BatteryAlertRules rules = {});

  // For tests: the clock the notices' spacing is measured with (default: a steady clock).
  void set_clock(Clock clock) { clock_ = std::move(clock); }
  // Gives a held notice whose time has come; the timer calls it, tests may too.
  void GiveDueNotice();
  const QString& tool_tip() const { return tool_tip_; }

  void ShowLinkUp(LinkKind link, bool up) override;
  void ShowConnected(bool connected) override;
  void ShowBatteryUnknown() override;
  void ShowBatteryReport(const BatteryReport& report) override;

 private:
  void UpdateToolTip();
  void Tell(BatteryAlert alert);
  void PlanDueNotice();
  std::int64_t Now() const;

  std::function<void(const QString&)> set_tool_tip_;
  Notify notify_;
  BatteryAlerts alerts_;
  Clock clock_;
  QTimer due_timer_;
  bool links_[3] = {false, false, false};  // cable, receiver, Bluetooth LE
  bool connected_ = false;
  std::optional<BatteryReport> battery_;
  int last_level_ = -1;  // the level of the last report that gave one
  QString tool_tip_;
};

// The text of a notice and of the tool tip's battery part, for `alert` at `level` percent.
QString BatteryAlertText(BatteryAlert alert, int level);

}  // namespace mokta
