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
