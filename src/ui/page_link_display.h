#pragma once

// Shows the mouse's states on the settings page: the link indicators, the sleep notice, the
// battery, the polling-rate section, the stage and lighting the mouse chose itself, the apply
// ring; and tells the main window (by its messages) when the mouse becomes reachable or
// unreachable and when its DPI pop-up should show. UI thread.

#include <QString>

#include "device/link_display.h"

namespace mokta {

class PageControls;

class PageLinkDisplay : public LinkDisplay {
 public:
  // `controls` outlives this object.
  explicit PageLinkDisplay(PageControls& controls) : controls_(controls) {}

  void ShowLinkUp(LinkKind link, bool up) override;
  void ShowAsleep(bool asleep) override;
  void ShowBatteryLevel(int percent) override;
  void ShowCharging() override;
  void ShowChargeStep(int percent) override;
  void ShowBatteryUnknown() override;
  void ShowPollingRateAvailable(bool available) override;
  void ShowDpiStage(int stage) override;
  void ShowDpiChange(std::int32_t dpi_code) override;
  void ShowPollingRate(int index) override;
  void ShowLightEffect(int index) override;
  void ShowApplyRunning(bool running) override;
  void ShowConnected(bool connected) override;
  void ShowBleDiagnosis(BleDiagnosis diagnosis) override;
  void ShowUndelivered(bool undelivered) override;

 private:
  void ShowBleNote();

  PageControls& controls_;
  bool connected_ = false;
  BleDiagnosis diagnosis_ = BleDiagnosis::kNone;
};

// The language key of the sentence that tells a user what `diagnosis` means and what to do;
// empty for kNone.
QString BleDiagnosisTextKey(BleDiagnosis diagnosis);

}  // namespace mokta
