#include "ui/page_link_display.h"

#include <QAbstractButton>
#include <QProgressBar>

#include "app/window_ids.h"
#include "framework/skin_window.h"
#include "ui/page_bindings.h"
#include "ui/page_controls.h"

namespace mokta {
namespace {

const QString kPowerLabel = QStringLiteral("ms_1_label_power");

void SetBar(PageControls& controls, int percent) {
  if (auto* bar = controls.Get<QProgressBar>(QStringLiteral("ms_1_progress_power"))) {
    bar->setValue(percent);
  }
}

}  // namespace

void PageLinkDisplay::ShowLinkUp(LinkKind link, bool up) {
  switch (link) {
    case LinkKind::kCable:
      controls_.SetVisible(QStringLiteral("ms_1_wired"), up);
      break;
    case LinkKind::kReceiver:
      controls_.SetVisible(QStringLiteral("ms_1_wireless"), up);
      break;
    case LinkKind::kBle:
      controls_.SetVisible(QStringLiteral("ms_1_BLE"), up);
      break;
  }
}

void PageLinkDisplay::ShowAsleep(bool asleep) {
  controls_.SetVisible(QStringLiteral("ms_1_sleep_label"), asleep);
}

void PageLinkDisplay::ShowBatteryLevel(int percent) {
  SetBar(controls_, percent);
  controls_.SetText(kPowerLabel, QString::number(percent) + QLatin1Char('%'));
}

void PageLinkDisplay::ShowCharging() {
  controls_.SetTextKey(kPowerLabel, QStringLiteral("charging_text"));
}

void PageLinkDisplay::ShowChargeStep(int percent) {
  SetBar(controls_, percent);
}

void PageLinkDisplay::ShowBatteryUnknown() {
  controls_.SetText(kPowerLabel, QString());
}

void PageLinkDisplay::ShowPollingRateAvailable(bool available) {
  // The whole card goes, header and readout included: an empty frame with a rate that cannot
  // be set would only mislead.
  controls_.SetVisible(QStringLiteral("ms_1_card_prate"), available);
  if (available) return;
  // Withdrawn: the section closes, so it comes back closed.
  const QString check = QStringLiteral("ms_1_check_prate");
  if (auto* box = controls_.Get<QAbstractButton>(check); box && box->isChecked()) {
    controls_.SetChecked(check, false);
  }
  controls_.SetVisible(QStringLiteral("ms_1_ver_prate"), false);
}

void PageLinkDisplay::ShowDpiStage(int stage) {
  controls_.SelectOption("ms_1_option_dpi_step_%1", 8, stage - 1);
}

void PageLinkDisplay::ShowDpiChange(std::int32_t dpi_code) {
  if (SkinWindow* window = controls_.window()) window->PostMessage(MSG_SHOW_DPI, 0, dpi_code);
}

void PageLinkDisplay::ShowPollingRate(int index) {
  for (const OptionGroupBinding& group : OptionGroupBindings()) {
    if (qstrcmp(group.field.name, "prate") == 0) controls_.ShowOptionGroup(group, index);
  }
}

void PageLinkDisplay::ShowLightEffect(int index) {
  controls_.SelectItem(QStringLiteral("ms_1_combo_light"), index);
  controls_.ShowLightingRows(index);
}

void PageLinkDisplay::ShowApplyRunning(bool running) {
  // The layout may leave the apply ring out.
  if (SkinWindow* window = controls_.window()) {
    if (QWidget* ring = window->FindOptional(QStringLiteral("apply_ring"))) {
      ring->setVisible(running);
    }
  }
}

void PageLinkDisplay::ShowConnected(bool connected) {
  connected_ = connected;
  ShowBleNote();
  // The main window reads the state itself when the message arrives.
  if (SkinWindow* window = controls_.window()) window->PostMessage(MSG_LINK_CHANGED, 0, 0);
}

void PageLinkDisplay::ShowUndelivered(bool undelivered) {
  controls_.SetVisible(QStringLiteral("ms_1_send_note"), undelivered);
}

void PageLinkDisplay::ShowBleDiagnosis(BleDiagnosis diagnosis) {
  diagnosis_ = diagnosis;
  ShowBleNote();
}

// The note says why Bluetooth cannot reach the mouse, only while nothing else does.
void PageLinkDisplay::ShowBleNote() {
  const QString key = BleDiagnosisTextKey(diagnosis_);
  const QString note = QStringLiteral("ms_1_ble_note");
  if (!key.isEmpty()) controls_.SetTextKey(note, key);
  controls_.SetVisible(note, !connected_ && !key.isEmpty());
}

QString BleDiagnosisTextKey(BleDiagnosis diagnosis) {
  switch (diagnosis) {
    case BleDiagnosis::kNone:
      return {};
    case BleDiagnosis::kServiceNotRunning:
      return QStringLiteral("ble_service_off_text");
    case BleDiagnosis::kNoAdapter:
      return QStringLiteral("ble_no_adapter_text");
    case BleDiagnosis::kAdapterOff:
      return QStringLiteral("ble_adapter_off_text");
    case BleDiagnosis::kPairedNotConnected:
      return QStringLiteral("ble_not_connected_text");
  }
  return {};
}

}  // namespace mokta
