#include "device/device_events.h"

#include <QTime>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

Q_LOGGING_CATEGORY(lcDeviceEvents, "mokta.events")

namespace mokta {

int PollingRateIndexFromInterval(int interval_ms) {
  static constexpr int kIntervals[] = {8, 4, 2, 1};  // by index
  int best = 3;
  for (int index = 3; index >= 0; --index) {  // faster rates first, so they win a tie
    if (std::abs(interval_ms - kIntervals[index]) < std::abs(interval_ms - kIntervals[best])) {
      best = index;
    }
  }
  return best;
}

DeviceEvents::DeviceEvents(LinkState& links, ProfileSession& session, LinkDisplay& display,
                           LinkScheduler& scheduler)
    : links_(links), session_(session), display_(display), scheduler_(scheduler) {}

void DeviceEvents::OnDeviceEvent(std::uint16_t word, std::uint16_t value) {
  Handle(Road::kDriver, word, value);
}

void DeviceEvents::OnBleEvent(std::uint16_t word, std::uint16_t value) {
  Handle(Road::kBle, word, value);
}

void DeviceEvents::Handle(Road road, std::uint16_t word, std::uint16_t value) {
  if ((word & 0xFF) != kEventMarker) return;
  const int v = value;
  switch (word & 0xFF00) {
    case kEventDpiStage:
      if (v < 1 || v > 8) return;
      display_.ShowDpiStage(v);
      display_.ShowDpiChange(session_.current().dpi_x(static_cast<std::size_t>(v - 1)));
      session_.ApplyDeviceChange([v](ProfileData& current, ProfileData& applied) {
        current.set_dpi_step(v - 1);
        applied.set_dpi_step(v - 1);
      });
      return;
    case kEventPollingRate: {
      if (v < 1 || v > 8) return;
      const int index = PollingRateIndexFromInterval(v);
      session_.ApplyDeviceChange([index](ProfileData& current, ProfileData& applied) {
        current.set_prate(index);
        applied.set_prate(index);
      });
      display_.ShowPollingRate(index);
      return;
    }
    case kEventBattery:
      if (road == Road::kDriver) {
        OnDriverBattery(v & 0xFF, v >> 8);
      } else {
        OnBleBattery(v & 0xFF, v >> 8);
      }
      return;
    case kEventAck:
      links_.fields().ack_received = (v & 0xFF) == 0 ? 1 : 0;
      return;
    case kEventLighting: {
      int effect = v;
      if (road == Road::kBle) {
        effect = (v >> 4) & 0x0F;
      } else if (v > 7) {
        return;
      }
      session_.ApplyDeviceChange([effect](ProfileData& current, ProfileData& applied) {
        current.set_light_effect(effect);
        applied.set_light_effect(effect);
      });
      display_.ShowLightEffect(effect);
      return;
    }
    case kEventKind8:
      if (v >= 1 && v <= 5) session_.SaveStoreLater();
      return;
    default:  // kind 0x6000 has no effect; other kinds are unknown
      return;
  }
}

void DeviceEvents::ShowBattery(int percent) {
  display_.ShowBatteryLevel(percent);
}

void DeviceEvents::ShowCharging() {
  display_.ShowCharging();
  scheduler_.StartTimer(TIMER_CHARGE_ANIMATION, kChargeAnimationMs);
}

void DeviceEvents::OnDriverBattery(int status, int level) {
  LinkFields& fields = links_.fields();
  scheduler_.StopTimer(TIMER_RECEIVER_IDLE);
  scheduler_.StartTimer(TIMER_RECEIVER_IDLE, kReceiverIdleMs);
  if (fields.wired_state.load() == kLinkConnected) {
    fields.wireless_awake = 0;
    display_.ShowLinkUp(LinkKind::kReceiver, false);
    links_.RefreshLinkView();
    // The cable charges the mouse whatever it reports, until it reports a full battery.
    if (status == kBatteryFull) {
      scheduler_.StopTimer(TIMER_CHARGE_ANIMATION);
      ShowBattery(100);
    } else {
      ShowCharging();
    }
    display_.ShowBatteryReport(status == kBatteryFull
                                   ? BatteryReport{BatteryReport::State::kFull, 100}
                                   : BatteryReport{BatteryReport::State::kCharging, -1});
    return;
  }
  if (fields.wireless_awake.load() == 0) {
    display_.ShowLinkUp(LinkKind::kReceiver, true);
    fields.wireless_awake = 1;
    links_.RefreshLinkView();
  }
  if (status == kBatteryCharging) {
    ShowCharging();
  } else {
    scheduler_.StopTimer(TIMER_CHARGE_ANIMATION);
    ShowBattery(100);
    if (level <= 100) ShowBattery(level);
  }
  display_.ShowAsleep(false);
  fields.device_asleep = 0;
  display_.ShowBatteryReport(BatteryReportOf(status, level));
}

void DeviceEvents::OnBleBattery(int status, int level) {
  if (status == kBatteryFull) {
    scheduler_.StopTimer(TIMER_CHARGE_ANIMATION);
    ShowBattery(100);
  } else if (status == kBatteryCharging) {
    ShowCharging();
  } else {
    scheduler_.StopTimer(TIMER_CHARGE_ANIMATION);
    if (level <= 100) ShowBattery(level);
  }
  display_.ShowBatteryReport(BatteryReportOf(status, level));
}

BatteryReport BatteryReportOf(int status, int level) {
  if (status == kBatteryFull) return {BatteryReport::State::kFull, 100};
  if (status == kBatteryCharging) return {BatteryReport::State::kCharging, -1};
  // A level above 100 shows as 100.
  return {BatteryReport::State::kOnBattery, std::clamp(level, 0, 100)};
}

std::optional<std::pair<std::uint16_t, std::uint16_t>> DecodeBleNotification(
    std::span<const std::uint8_t> value) {
  if (value.size() < 4) return std::nullopt;
  return std::pair<std::uint16_t, std::uint16_t>(
      static_cast<std::uint16_t>(value[0] | value[1] << 8),
      static_cast<std::uint16_t>(value[2] | value[3] << 8));
}

void OnGattValueChanged(std::span<const std::uint8_t> value, UiPoster& poster,
                        DeviceEvents& events) {
  if (value.empty()) {
    std::fputs("datasize 0\n", stdout);
    std::fflush(stdout);
    return;
  }
  std::fputs("HR ", stdout);
  std::fflush(stdout);
  auto event = DecodeBleNotification(value);
  if (!event) {
    qCDebug(lcDeviceEvents, "notification of %d bytes dropped", static_cast<int>(value.size()));
    return;
  }
  const QTime now = QTime::currentTime();
  qCDebug(lcDeviceEvents, "dwLeft = %04x, dwRight = %04x, %d:%d:%d\r\n", event->first,
          event->second, now.hour(), now.minute(), now.second());
  poster.PostToUi(
      [&events, word = event->first, v = event->second] { events.OnBleEvent(word, v); });
}

}  // namespace mokta
