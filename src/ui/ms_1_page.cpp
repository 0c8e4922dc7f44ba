#include "ui/ms_1_page.h"

#include <QAbstractButton>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

#include "app/paths.h"
#include "device/device_ids.h"
#include "device/system_ble.h"
#include "framework/control_lookup.h"
#include "framework/control_text.h"
#include "framework/language_file.h"
#include "framework/skin_window.h"

namespace mokta {
namespace {

void AddNumbered(QStringList& names, const char* pattern, int count) {
  for (int i = 1; i <= count; ++i) names << QString::fromLatin1(pattern).arg(i);
}

}  // namespace

QStringList PageControlNames() {
  QStringList names;
  AddNumbered(names, "ms_1_btn_key_%1", 18);
  names << "ms_1_btn_macro"
        << "ms_1_btn_gun";
  names << "ms_1_list_profile"
        << "ms_1_profile_add_btn"
        << "ms_1_profile_delete_btn"
        << "ms_1_profile_rename_btn"
        << "ms_1_profile_import_btn"
        << "ms_1_profile_export_btn"
        << "ms_1_profile_reset_btn";
  names << "ms_1_wired"
        << "ms_1_wireless"
        << "ms_1_BLE";
  names << "ms_1_check_button"
        << "ms_1_check_profile"
        << "ms_1_check_power";
  names << "ms_1_hor_button"
        << "ms_1_ver_profile"
        << "ms_1_ver_power";
  names << "ms_1_check_dpi"
        << "ms_1_check_light"
        << "ms_1_check_prate"
        << "ms_1_check_mouse_attribute"
        << "ms_1_check_power_setting"
        << "ms_1_check_lift_of_distance"
        << "ms_1_check_key_debounce"
        << "ms_1_check_ripple_control"
        << "ms_1_check_angle_snap"
        << "ms_1_check_motion_sync";
  names << "ms_1_ver_setting";
  names << "ms_1_ver_dpi"
        << "ms_1_ver_light"
        << "ms_1_ver_prate"
        << "ms_1_ver_mouse_attribute"
        << "ms_1_ver_power_setting"
        << "ms_1_hor_lift_of_distance"
        << "ms_1_hor_key_debounce"
        << "ms_1_hor_ripple_control"
        << "ms_1_hor_angle_snap"
        << "ms_1_hor_motion_sync";
  AddNumbered(names, "ms_1_slider_dpi_%1", 8);
  AddNumbered(names, "ms_1_label_dpi_%1", 8);
  AddNumbered(names, "ms_1_option_dpi_step_%1", 8);
  AddNumbered(names, "ms_1_btn_dpi_color_%1", 8);
  AddNumbered(names, "ms_1_edit_dpi_%1", 8);
  names << "ms_1_combo_light"
        << "ms_1_combo_light_ble";
  names << "ms_1_hor_brightness"
        << "ms_1_slider_brightness"
        << "ms_1_hor_breathspeed"
        << "ms_1_slider_breathspeed"
        << "ms_1_hor_light_color"
        << "ms_1_btn_light_color";
  AddNumbered(names, "ms_1_btn_prate_%1", 4);
  names << "ms_1_label_prate"
        << "ms_1_btn_mouse_attribute";
  names << "ms_1_slider_light_off"
        << "ms_1_label_light_off"
        << "ms_1_slider_sleep_timer"
        << "ms_1_label_sleep_timer";
  names << "ms_1_check_movemode"
        << "ms_1_apply_btn"
        << "ms_1_btn_apply_dpi"
        << "ms_1_btn_reset_dpi";
  names << "ms_1_progress_power"
        << "ms_1_label_power"
        << "ms_1_low_power_label"
        << "ms_1_sleep_label";
  AddNumbered(names, "ms_1_option_lift_of_distance_%1", 2);
  AddNumbered(names, "ms_1_option_ripple_control_%1", 2);
  AddNumbered(names, "ms_1_option_angle_snap_%1", 2);
  AddNumbered(names, "ms_1_option_motion_sync_%1", 2);
  names << "ms_1_slider_key_debounce"
        << "ms_1_label_key_debounce"
        << "ms_1_btn_reset";
  return names;
}

CMS_1_Page::CMS_1_Page() = default;

CMS_1_Page::~CMS_1_Page() {
  Shutdown();
}

QWidget* CMS_1_Page::Control(const QString& name) const {
  return controls_.value(name).data();
}

void CMS_1_Page::Init() {
  for (const QString& name : PageControlNames()) {
    controls_.insert(name, window_ ? window_->Find(name) : nullptr);
  }
  stores_ = std::make_unique<StoreFiles>(data_folder_.isEmpty() ? DataFolder() : data_folder_);
  session_ = std::make_unique<ProfileSession>(stores_.get());
  if (!host_options_.system_ble) {
    system_ble_ = std::make_unique<SystemBlePresence>();
    host_options_.system_ble = system_ble_.get();
  }
  host_ = std::make_unique<DeviceHost>(*session_, this, host_options_);
  host_->Start();
  problems_ = host_->problems();
}

void CMS_1_Page::StartUpLoad() {
  // The first pass that finds the mouse reachable sends everything.
  session_->RequestSendAll();
  ProfileStoreContents profiles = stores_->ReadProfileStore(ProgramLanguage());
  const int selected = profiles.header ? profiles.header->selected() : 0;
  session_->Load(std::move(profiles.profiles), std::move(profiles.header), selected);
  macros_ = stores_->ReadMacroStore().records;
  guns_ = stores_->ReadGunStore().records;
  host_->BringUpBle();
}

void CMS_1_Page::Notify(const Notification&) {
  // The page's controls get their handlers with the settings page itself.
}

void CMS_1_Page::OnMenuCommand(const QString&) {}

void CMS_1_Page::SettingsFollowUp() {}

void CMS_1_Page::RequestApply() {
  if (host_) host_->RequestApply();
}

void CMS_1_Page::Shutdown() {
  if (shut_down_) return;
  shut_down_ = true;
  if (host_) host_->Shutdown();
}

int CMS_1_Page::device_connected() const {
  return host_ ? host_->link_state().device_connected() : 0;
}

void CMS_1_Page::SetControlVisible(std::string_view control, bool visible) {
  const QString name = QString::fromLatin1(control.data(), static_cast<qsizetype>(control.size()));
  QWidget* widget = Control(name);
  if (!widget && window_) widget = window_->FindOptional(name);  // "apply_ring" is optional
  if (widget) widget->setVisible(visible);
}

void CMS_1_Page::SetPowerLabelText(const QString& text) {
  if (QWidget* label = Control(QStringLiteral("ms_1_label_power"))) SetControlText(label, text);
}

void CMS_1_Page::SetPowerLabelKey(const char* key) {
  if (QWidget* label = Control(QStringLiteral("ms_1_label_power"))) {
    SetControlTextKey(label, QString::fromLatin1(key));
  }
}

void CMS_1_Page::SetPowerBar(int percent) {
  if (auto* bar = qobject_cast<QProgressBar*>(Control(QStringLiteral("ms_1_progress_power")))) {
    bar->setValue(percent);
  }
}

void CMS_1_Page::ShowPollingRateSection() {
  if (QWidget* check = Control(QStringLiteral("ms_1_check_prate"))) check->setVisible(true);
}

void CMS_1_Page::WithdrawPollingRateSection() {
  if (auto* check = qobject_cast<QAbstractButton*>(Control(QStringLiteral("ms_1_check_prate")))) {
    if (check->isChecked()) Quietly(check, [&] { check->setChecked(false); });
    check->setVisible(false);
  }
  if (QWidget* body = Control(QStringLiteral("ms_1_ver_prate"))) body->setVisible(false);
}

void CMS_1_Page::SelectDpiStage(int stage) {
  auto* option =
      qobject_cast<QAbstractButton*>(Control(QStringLiteral("ms_1_option_dpi_step_%1").arg(stage)));
  if (option) Quietly(option, [&] { option->setChecked(true); });
}

void CMS_1_Page::SelectLightEffect(int) {
  // The lighting combo and its rows are the settings page's; they follow with it.
}

void CMS_1_Page::ShowDpiPopup(std::int32_t dpi_code) {
  if (window_) window_->PostMessage(MSG_SHOW_DPI, 0, dpi_code);
}

void CMS_1_Page::PostLinkChanged() {
  if (window_) window_->PostMessage(MSG_LINK_CHANGED, 0, 0);
}

// The device host runs the link timers itself; the page has none of its own yet.
void CMS_1_Page::StartTimer(int, int) {}
void CMS_1_Page::StopTimer(int) {}
void CMS_1_Page::RunLater(int ms, std::function<void()> step) {
  QTimer::singleShot(ms, std::move(step));
}

}  // namespace mokta
