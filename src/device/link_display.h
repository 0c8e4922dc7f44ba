#pragma once

// What the device side shows of the mouse, in states: whether each link is up, whether the
// mouse sleeps, its battery and charging, whether it can take the polling rate, the settings it
// changed on its own, whether an apply pass runs, and whether it is reachable at all. The
// settings page maps these states to its controls; the command-line tool and tests record
// them. Every call is made on the UI thread.

#include <cstdint>

#include "device/ble_diagnosis.h"

namespace mokta {

enum class LinkKind { kCable, kReceiver, kBle };

// One battery report of the mouse as it stands: running on its battery at `level` percent
// (0..100), charging, or charged full. `level` is -1 where the report gives none (charging).
struct BatteryReport {
  enum class State { kOnBattery, kCharging, kFull };
  State state = State::kOnBattery;
  int level = -1;
  friend bool operator==(const BatteryReport&, const BatteryReport&) = default;
};

class LinkDisplay {
 public:
  virtual ~LinkDisplay() = default;

  // The mouse answers over `link` (its indicator is shown) or not.
  virtual void ShowLinkUp(LinkKind link, bool up) = 0;
  // The mouse sleeps or is out of reach (the sleep notice is shown), or is awake.
  virtual void ShowAsleep(bool asleep) = 0;
  // The battery's level, 0..100: the level text and the bar.
  virtual void ShowBatteryLevel(int percent) = 0;
  // The mouse charges: the charging text; the bar then sweeps by ShowChargeStep.
  virtual void ShowCharging() = 0;
  // One step of the charging sweep: the bar at `percent`, 0..100.
  virtual void ShowChargeStep(int percent) = 0;
  // Nothing is known of the battery (the cable that charged it is gone): no level text.
  virtual void ShowBatteryUnknown() = 0;
  // Each battery report, once the calls above that it caused are made: for a display that
  // follows the battery itself (the tray's tool tip, the low-battery notices).
  virtual void ShowBatteryReport(const BatteryReport& report) { (void)report; }
  // Whether the polling rate can be set over the links that are up (the cable, or the
  // receiver with an awake mouse: yes; Bluetooth LE alone: no). Withdrawing it also closes
  // its section.
  virtual void ShowPollingRateAvailable(bool available) = 0;
  // The mouse switched to DPI stage `stage` (1..8) on its own: select it, and pop up its DPI
  // (`dpi_code`, the stage's stored code).
  virtual void ShowDpiStage(int stage) = 0;
  virtual void ShowDpiChange(std::int32_t dpi_code) = 0;
  // The mouse switched its polling rate on its own: the rate's index 0..3 (125..1000 Hz).
  virtual void ShowPollingRate(int index) = 0;
  // The mouse switched its lighting effect on its own (over any link): the effect's index.
  virtual void ShowLightEffect(int index) = 0;
  // An apply pass is running, or has ended.
  virtual void ShowApplyRunning(bool running) = 0;
  // After each apply pass: whether some setting did not reach the mouse (a note for the user
  // until a pass delivers everything).
  virtual void ShowUndelivered(bool undelivered) = 0;
  // Whether the mouse is reachable over any link; told at start-up and on every change.
  virtual void ShowConnected(bool connected) = 0;
  // Why the mouse cannot be reached over Bluetooth LE (kNone: nothing to say); told at
  // start-up and on every change, for the display to show while the mouse is unreachable.
  virtual void ShowBleDiagnosis(BleDiagnosis diagnosis) = 0;
};

// Tells everything to two displays, `first` then `second`; both outlive it.
class LinkDisplayPair : public LinkDisplay {
 public:
  LinkDisplayPair(LinkDisplay& first, LinkDisplay& second) : first_(first), second_(second) {}
  void ShowLinkUp(LinkKind link, bool up) override { Both(&LinkDisplay::ShowLinkUp, link, up); }
  void ShowAsleep(bool asleep) override { Both(&LinkDisplay::ShowAsleep, asleep); }
  void ShowBatteryLevel(int percent) override { Both(&LinkDisplay::ShowBatteryLevel, percent); }
  void ShowCharging() override { Both(&LinkDisplay::ShowCharging); }
  void ShowChargeStep(int percent) override { Both(&LinkDisplay::ShowChargeStep, percent); }
  void ShowBatteryUnknown() override { Both(&LinkDisplay::ShowBatteryUnknown); }
  void ShowBatteryReport(const BatteryReport& report) override {
    Both(&LinkDisplay::ShowBatteryReport, report);
  }
  void ShowPollingRateAvailable(bool available) override {
    Both(&LinkDisplay::ShowPollingRateAvailable, available);
  }
  void ShowDpiStage(int stage) override { Both(&LinkDisplay::ShowDpiStage, stage); }
  void ShowDpiChange(std::int32_t dpi_code) override {
    Both(&LinkDisplay::ShowDpiChange, dpi_code);
  }
  void ShowPollingRate(int index) override { Both(&LinkDisplay::ShowPollingRate, index); }
  void ShowLightEffect(int index) override { Both(&LinkDisplay::ShowLightEffect, index); }
  void ShowApplyRunning(bool running) override { Both(&LinkDisplay::ShowApplyRunning, running); }
  void ShowUndelivered(bool undelivered) override {
    Both(&LinkDisplay::ShowUndelivered, undelivered);
  }
  void ShowConnected(bool connected) override { Both(&LinkDisplay::ShowConnected, connected); }
  void ShowBleDiagnosis(BleDiagnosis diagnosis) override {
    Both(&LinkDisplay::ShowBleDiagnosis, diagnosis);
  }

 private:
  template <typename... Params, typename... Args>
  void Both(void (LinkDisplay::*show)(Params...), Args&&... args) {
    (first_.*show)(args...);
    (second_.*show)(args...);
  }

  LinkDisplay& first_;
  LinkDisplay& second_;
};

// Shows nothing: for a host without a window.
class NullLinkDisplay : public LinkDisplay {
 public:
  void ShowLinkUp(LinkKind, bool) override {}
  void ShowAsleep(bool) override {}
  void ShowBatteryLevel(int) override {}
  void ShowCharging() override {}
  void ShowChargeStep(int) override {}
  void ShowBatteryUnknown() override {}
  void ShowPollingRateAvailable(bool) override {}
  void ShowDpiStage(int) override {}
  void ShowDpiChange(std::int32_t) override {}
  void ShowPollingRate(int) override {}
  void ShowLightEffect(int) override {}
  void ShowApplyRunning(bool) override {}
  void ShowUndelivered(bool) override {}
  void ShowConnected(bool) override {}
  void ShowBleDiagnosis(BleDiagnosis) override {}
};

}  // namespace mokta
