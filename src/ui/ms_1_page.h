#pragma once

// The mouse settings page: everything the main window shows of the mouse. It is not a window
// of its own but the virtual window "MS_1_Page" inside the main window's layout, and it owns
// the program's data and device side: the stores, the profile session, the macro and recoil
// pattern lists, and the device host (driver libraries, link state, apply worker).
//
// UI thread only.

#include <QHash>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "data/gun_data.h"
#include "data/macro_data.h"
#include "data/store_files.h"
#include "device/device_host.h"
#include "device/device_view.h"
#include "device/profile_session.h"
#include "framework/notification.h"

namespace mokta {

class HookTable;
class SkinWindow;
class SystemBlePresence;

// The names of every control of the page, as the layout must hold them.
QStringList PageControlNames();

// Starts the desktop's own mouse settings, detached; false when no known one is installed.
bool OpenDesktopMouseSettings();

class CMS_1_Page : public DeviceView {
 public:
  CMS_1_Page();
  ~CMS_1_Page() override;

  CMS_1_Page(const CMS_1_Page&) = delete;
  CMS_1_Page& operator=(const CMS_1_Page&) = delete;

  // Set by the main window before Init: the window whose layout holds the page's controls
  // (its messages and timers are the page's too), and the input hook table.
  void set_window(SkinWindow* window) { window_ = window; }
  void set_hook_table(HookTable* hooks) { hooks_ = hooks; }
  // Shows the program's message box with a message key and returns its result (1 for OK).
  using MessageBox = std::function<int(const QString& message_key)>;
  void set_message_box(MessageBox message_box) { message_box_ = std::move(message_box); }
  // Where the stores live; the program's "Data" folder unless set before Init.
  void set_data_folder(const QString& folder) { data_folder_ = folder; }
  // Device host options; tests shorten the pacing. Set before Init.
  void set_host_options(const DeviceHostOptions& options) { host_options_ = options; }

  // Finds the page's controls, then starts the device side: worker, driver libraries, the
  // cable and receiver, the Bluetooth LE presence test.
  void Init();
  // Reads the stores, fills the profile list and chooses the current profile, then brings a
  // Bluetooth LE mouse present at start-up up as if it had just arrived.
  void StartUpLoad();
  // Shows the current profile on the page: stages, lighting, polling rate, options, timers,
  // debounce and the button texts, after the link view refresh.
  void Refresh();
  // Fills the profile list from the session and selects the current profile, quietly.
  void FillProfileList();
  // The text button `index` (0..17) shows for its assignment.
  QString AssignmentText(std::size_t index) const;
  // The page's notifications (the virtual window's handler).
  void Notify(const Notification& notification);
  // A menu item whose name belongs to the page.
  void OnMenuCommand(const QString& item_name);
  // TIMER_SETTINGS_FOLLOWUP: brings a newly opened section of the settings column into view.
  void SettingsFollowUp();
  // MSG_APPLY_REQUEST: one apply pass on the worker.
  void RequestApply();
  // Stops the device side (worker, drivers) and keeps what must be kept. Runs once.
  void Shutdown();

  int device_connected() const;
  ProfileSession& session() { return *session_; }
  DeviceHost* host() { return host_.get(); }
  const QStringList& problems() const { return problems_; }

 private:
  // DeviceView: the visible effects of the device side.
  void SetControlVisible(std::string_view control, bool visible) override;
  void SetPowerLabelText(const QString& text) override;
  void SetPowerLabelKey(const char* key) override;
  void SetPowerBar(int percent) override;
  void ShowPollingRateSection() override;
  void WithdrawPollingRateSection() override;
  void SelectDpiStage(int stage) override;
  void SelectLightEffect(int index) override;
  void ShowDpiPopup(std::int32_t dpi_code) override;
  void PostLinkChanged() override;
  void StartTimer(int id, int ms) override;
  void StopTimer(int id) override;
  void RunLater(int ms, std::function<void()> step) override;

  QWidget* Control(const QString& name) const;
  // The handlers, by notification type.
  void OnClick(const QString& sender);
  void OnSelectChanged(const QString& sender);
  void OnItemSelect(const QString& sender, int index);
  void OnValueChanged(const QString& sender, int value);
  void OnDpiEditDone(const QString& sender);
  void OnTextChanged(const QString& sender);
  void OnCheckClick(const QString& sender, bool checked);
  // Profile operations.
  void SelectProfile(int index);
  void DeleteProfile();
  void ResetProfile();
  void AddProfile();
  void RenameProfile();
  void ImportProfileFile();
  void ExportProfileFile();
  // Opens the colour dialog beside `button_name` for the lighting colour (stage -1) or a DPI
  // stage's colour (0..7); OK stores the colour, shows it on the button and applies it.
  void PickColor(const QString& button_name, int stage);
  // Asks for a ".pro" file to open or to save; empty when cancelled.
  QString ChooseProfileFile(bool save);
  int ShowMessage(const QString& message_key) const {
    return message_box_ ? message_box_(message_key) : 0;
  }
  // Posts MSG_APPLY_REQUEST now, or after `delay_ms` through TIMER_APPLY_DELAY (restarted by
  // each call).
  void RequestApplyNow();
  void RequestApplyAfter(int delay_ms);
  // The stage number (1..8) of a control named `prefix` followed by the number, or 0.
  static int NumberAfter(const QString& name, QLatin1String prefix, int count);
  // Selects option `index` (0-based) of the group whose names are `pattern` with 1..count;
  // an index outside the group selects nothing.
  void SelectOption(const char* pattern, int count, int index);
  void SetSlider(const QString& name, int value);
  void SetLabel(const QString& name, const QString& text);
  void SetColorButton(const QString& name, std::uint32_t stored_color);
  void ApplyLightingRows(int effect);

  SkinWindow* window_ = nullptr;
  HookTable* hooks_ = nullptr;
  MessageBox message_box_;
  QString data_folder_;
  DeviceHostOptions host_options_;
  QHash<QString, QPointer<QWidget>> controls_;
  QStringList problems_;

  std::unique_ptr<StoreFiles> stores_;
  std::unique_ptr<ProfileSession> session_;
  MacroList macros_;
  GunList guns_;
  std::unique_ptr<SystemBlePresence> system_ble_;
  std::unique_ptr<DeviceHost> host_;
  bool shut_down_ = false;
  QString followup_section_;
  // DPI edits the user has typed into since they were last set; leaving one that was only
  // passed through changes nothing.
  QSet<QString> edited_dpi_;  // the body to bring into view when TIMER_SETTINGS_FOLLOWUP ends
};

}  // namespace mokta
