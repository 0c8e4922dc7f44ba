#include "app/tray_status.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QStringList>
#include <algorithm>
#include <utility>

#include "framework/language_file.h"

namespace mokta {
namespace {

Q_LOGGING_CATEGORY(lcTrayStatus, "mokta.tray")

QString Text(const char* key) {
  return LanguageText(QString::fromLatin1(key));
}

}  // namespace

QString BatteryAlertText(BatteryAlert alert, int level) {
  switch (alert) {
    case BatteryAlert::kLow:
    case BatteryAlert::kCritical:
      return Text(alert == BatteryAlert::kLow ? "battery_low_notice_text"
                                              : "battery_critical_notice_text")
          .arg(level);
    case BatteryAlert::kFull:
      break;
  }
  return Text("battery_full_notice_text");
}

TrayStatus::TrayStatus(std::function<void(const QString&)> set_tool_tip, Notify notify,
                       BatteryAlertRules rules)
    : set_tool_tip_(std::move(set_tool_tip)), notify_(std::move(notify)), alerts_(rules) {
  due_timer_.setSingleShot(true);
  QObject::connect(&due_timer_, &QTimer::timeout, [this] { GiveDueNotice(); });
  UpdateToolTip();
}

std::int64_t TrayStatus::Now() const {
  if (clock_) return clock_();
  static QElapsedTimer steady = [] {
    QElapsedTimer timer;
    timer.start();
    return timer;
  }();
  return steady.elapsed();
}

void TrayStatus::ShowLinkUp(LinkKind link, bool up) {
  links_[static_cast<int>(link)] = up;
  UpdateToolTip();
}

void TrayStatus::ShowConnected(bool connected) {
  connected_ = connected;
  if (!connected) battery_.reset();
  UpdateToolTip();
}

void TrayStatus::ShowBatteryUnknown() {
  battery_.reset();
  UpdateToolTip();
}

void TrayStatus::ShowBatteryReport(const BatteryReport& report) {
  battery_ = report;
  if (report.state == BatteryReport::State::kOnBattery) last_level_ = report.level;
  UpdateToolTip();
  if (const std::optional<BatteryAlert> alert = alerts_.OnReport(report, Now())) Tell(*alert);
  PlanDueNotice();
}

void TrayStatus::GiveDueNotice() {
  if (const std::optional<BatteryAlert> alert = alerts_.TakeDue(Now())) Tell(*alert);
  PlanDueNotice();
}

void TrayStatus::PlanDueNotice() {
  const std::optional<std::int64_t> due = alerts_.due_ms();
  if (!due) {
    due_timer_.stop();
    return;
  }
  const std::int64_t wait = std::max<std::int64_t>(0, *due - Now());
  due_timer_.start(static_cast<int>(std::min<std::int64_t>(wait, 24 * 3600 * 1000)));
}

void TrayStatus::Tell(BatteryAlert alert) {
  const QString text = BatteryAlertText(alert, last_level_);
  qCInfo(lcTrayStatus).noquote() << "battery notice:" << text;
  if (notify_ && !notify_(Text("mouse_name_text"), text)) {
    qCWarning(lcTrayStatus) << "the battery notice could not be shown";
  }
}

void TrayStatus::UpdateToolTip() {
  QString tip = Text("mouse_name_text");
  if (!connected_) {
    tip += QLatin1Char('\n') + Text("tray_no_mouse_text");
  } else {
    QStringList links;
    const char* names[3] = {"link_wired_text", "link_wireless_text", "link_ble_text"};
    for (int i = 0; i < 3; ++i) {
      if (links_[i]) links << Text(names[i]);
    }
    QString line = links.join(QStringLiteral(", "));
    if (battery_) {
      QString battery;
      if (battery_->state == BatteryReport::State::kCharging) {
        battery = Text("charging_text");
      } else if (battery_->state == BatteryReport::State::kFull) {
        battery = Text("tray_battery_full_text");
      } else {
        battery = Text("tray_battery_text").arg(battery_->level);
      }
      line = line.isEmpty() ? battery : line + QStringLiteral(" · ") + battery;
    }
    if (!line.isEmpty()) tip += QLatin1Char('\n') + line;
  }
  if (tip == tool_tip_) return;
  tool_tip_ = tip;
  if (set_tool_tip_) set_tool_tip_(tip);
}

}  // namespace mokta
