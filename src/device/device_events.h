#pragma once

// What the mouse reports on its own: battery and charging, the acknowledgement the receiver
// link waits for, and changes made on the mouse (DPI stage, polling rate, lighting effect),
// which are kept in the current profile and saved without being sent back.
//
// An event is a 16-bit word and a 16-bit value. The word's low byte is the marker 0xCC (any
// other marker is dropped); its high byte the kind. Events of the driver roads and of
// Bluetooth LE run on the UI thread; a Bluetooth LE notification, which arrives on a thread of
// the Bluetooth stack, is handed over with `UiPoster` first.

#include <QLoggingCategory>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <utility>

#include "device/event_words.h"
#include "device/link_display.h"
#include "device/link_scheduler.h"
#include "device/link_state.h"
#include "device/profile_session.h"

Q_DECLARE_LOGGING_CATEGORY(lcDeviceEvents)

namespace mokta {

// Battery status in the low byte of a battery event's value; the high byte is the level.
inline constexpr int kBatteryFull = 2;
inline constexpr int kBatteryCharging = 3;

// A battery report's status and level as the state they stand for (any other status: on
// battery).
BatteryReport BatteryReportOf(int status, int level);

// The polling-rate index (0..3: 125, 250, 500, 1000 reports a second) for the value a mouse
// reports when its polling rate was changed on the mouse. The value reads as the report
// interval in milliseconds: 1 is index 3, 2 index 2, 4 index 1, 8 index 0; any other value
// takes the nearest of those intervals (a tie goes to the faster rate), so the index always
// stays within 0..3.
int PollingRateIndexFromInterval(int interval_ms);

// Hands work to the UI thread. Any thread.
class UiPoster {
 public:
  virtual ~UiPoster() = default;
  virtual void PostToUi(std::function<void()> work) = 0;
};

class DeviceEvents : public DeviceEventHandler {
 public:
  // Everything referenced outlives this object.
  DeviceEvents(LinkState& links, ProfileSession& session, LinkDisplay& display,
               LinkScheduler& scheduler);

  // An event of the cable's or the receiver's monitor. UI thread.
  void OnDeviceEvent(std::uint16_t word, std::uint16_t value) override;
  // An event from Bluetooth LE, already handed to the UI thread.
  void OnBleEvent(std::uint16_t word, std::uint16_t value);

 private:
  enum class Road { kDriver, kBle };
  void Handle(Road road, std::uint16_t word, std::uint16_t value);
  void OnDriverBattery(int status, int level);
  void OnBleBattery(int status, int level);
  void ShowBattery(int percent);
  void ShowCharging();

  LinkState& links_;
  ProfileSession& session_;
  LinkDisplay& display_;
  LinkScheduler& scheduler_;
};

// The event word and value of a Bluetooth LE notification: bytes 0..1 and 2..3, little-endian.
// Nothing for a value shorter than four bytes.
std::optional<std::pair<std::uint16_t, std::uint16_t>> DecodeBleNotification(
    std::span<const std::uint8_t> value);

// Called on the Bluetooth stack's thread for each notification: writes "datasize 0\n" for an
// empty value, otherwise "HR " to standard output and the trace line with the word, the value
// and the time, then hands the event to `events` on the UI thread through `poster`. A value of
// one to three bytes is dropped with a trace.
void OnGattValueChanged(std::span<const std::uint8_t> value, UiPoster& poster,
                        DeviceEvents& events);

}  // namespace mokta
