#pragma once

// What the device side does to the window: the page's link indicators, battery display and
// settings that follow the mouse, the main window's messages and timers. The window binds
// this interface; tests record it. Every call is made on the UI thread.

#include <QString>
#include <cstdint>
#include <functional>
#include <string_view>

namespace mokta {

// Names of the page controls the device side shows and hides.
inline constexpr std::string_view kWiredIndicator = "ms_1_wired";
inline constexpr std::string_view kWirelessIndicator = "ms_1_wireless";
inline constexpr std::string_view kBleIndicator = "ms_1_BLE";
inline constexpr std::string_view kSleepLabel = "ms_1_sleep_label";
inline constexpr std::string_view kApplyRing = "apply_ring";  // shown while an apply pass runs
inline constexpr char kChargingTextKey[] = "charging_text";

class DeviceView {
 public:
  virtual ~DeviceView() = default;

  virtual void SetControlVisible(std::string_view control, bool visible) = 0;
  // "ms_1_label_power": plain text, or the language text of `key`.
  virtual void SetPowerLabelText(const QString& text) = 0;
  virtual void SetPowerLabelKey(const char* key) = 0;
  // "ms_1_progress_power", 0..100.
  virtual void SetPowerBar(int percent) = 0;
  // The polling-rate section: offer its check box "ms_1_check_prate"; or withdraw it (clear
  // its check mark, hide it and its body "ms_1_ver_prate").
  virtual void ShowPollingRateSection() = 0;
  virtual void WithdrawPollingRateSection() = 0;
  // Selects option "ms_1_option_dpi_step_%d", `stage` 1..8, without notification.
  virtual void SelectDpiStage(int stage) = 0;
  // Selects item `index` of "ms_1_combo_light" (when it exists) and shows the lighting rows
  // for it, without notification.
  virtual void SelectLightEffect(int index) = 0;
  // Posts MSG_SHOW_DPI (0, dpi_code) to the main window.
  virtual void ShowDpiPopup(std::int32_t dpi_code) = 0;
  // Posts MSG_LINK_CHANGED (0, 0) to the main window.
  virtual void PostLinkChanged() = 0;

  // Window timers by id: starting a running timer restarts it; a timer repeats until stopped.
  virtual void StartTimer(int id, int ms) = 0;
  virtual void StopTimer(int id) = 0;
  // Runs `step` once on the UI thread after `ms`, without blocking it meanwhile.
  virtual void RunLater(int ms, std::function<void()> step) = 0;
};

// The Bluetooth LE transport as the link state drives it. UI thread.
class BleLinkControl {
 public:
  virtual ~BleLinkControl() = default;
  // Up: the transport looks for the mouse from now on. Down: it forgets the mouse and drops
  // its notification subscription, if any.
  virtual void SetLinkUp(bool up) = 0;
  // Subscribes to the mouse's notifications (run a little after the mouse appeared).
  virtual void OpenGattLink() = 0;
};

}  // namespace mokta
