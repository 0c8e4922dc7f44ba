#include "ui/ms_1_page.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QStandardPaths>
#include <QTimer>
#include <map>

#include "app/paths.h"
#include "data/colors.h"
#include "data/import_export.h"
#include "data/key_tables.h"
#include "data/keyboard_layout.h"
#include "data/text_filters.h"
#include "device/device_ids.h"
#include "device/system_ble.h"
#include "framework/control_lookup.h"
#include "framework/control_text.h"
#include "framework/language_file.h"
#include "framework/modal_test_hook.h"
#include "framework/skin_window.h"
#include "ui/dpi_color_wnd.h"
#include "ui/page_rules.h"
#include "ui/profile_name_dialog.h"

namespace mokta {
namespace {

void AddNumbered(QStringList& names, const char* pattern, int count) {
  for (int i = 1; i <= count; ++i) names << QString::fromLatin1(pattern).arg(i);
}

// The language key a button shows for each plain function code; codes not listed show nothing.
const std::map<int, const char*>& FunctionTextKeys() {
  static const std::map<int, const char*> keys = {
      {0x00, "button_off_text"},
      {0x01, "left_click_text"},
      {0x02, "right_click_text"},
      {0x03, "wheel_click_text"},
      {0x04, "forward_text"},
      {0x05, "backward_text"},
      {0x06, "dpi_cycle_text"},
      {0x07, "dpi_up_text"},
      {0x08, "dpi_down_text"},
      {0x09, "double_click_text"},
      {0x0A, "fire_button_text"},
      {0x0B, "scroll_up_text"},
      {0x0C, "scroll_down_text"},
      {0x0D, "titl_left_text"},
      {0x0E, "titl_right_text"},
      {0x16, "easy_aim_text"},
      {0x17, "led_loop_text"},
      {0x20, "cut_text"},
      {0x21, "copy_text"},
      {0x22, "paste_text"},
      {0x23, "open_text"},
      {0x24, "save_text"},
      {0x25, "find_text"},
      {0x26, "redo_text"},
      {0x27, "undo_text"},
      {0x28, "select_all_text"},
      {0x29, "print_text"},
      {0x2A, "close_window_text"},
      {0x2B, "swap_windows_text"},
      {0x2C, "show_desktop_text"},
      {0x2D, "run_command_text"},
      {0x2E, "lock_pc_text"},
      {0x32, "screen_capture_text"},
      {0x33, "task_view_text"},
      {0x36, "profile_cycle_text"},
      {0x37, "profile_up_text"},
      {0x38, "profile_down_text"},
      {0x40, "media_player_text"},
      {0x41, "play_pause_text"},
      {0x42, "media_stop_text"},
      {0x43, "previous_track_text"},
      {0x44, "next_track_text"},
      {0x45, "volume_up_text"},
      {0x46, "volume_down_text"},
      {0x47, "mute_text"},
      {0x50, "browser_home_text"},
      {0x51, "browser_favorites_text"},
      {0x52, "browser_forward_text"},
      {0x53, "browser_backward_text"},
      {0x54, "browser_stop_text"},
      {0x55, "browser_refresh_text"},
      {0x56, "browser_search_text"},
      {0x57, "email_text"},
      {0x58, "calculator_text"},
      {0x59, "my_computer_text"},
  };
  return keys;
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
  session_->RecordApplied(session_->current());
  FillProfileList();
  Refresh();
  ApplyLightingRows(session_->current().light_effect());
  host_->BringUpBle();
}

void CMS_1_Page::FillProfileList() {
  auto* list = qobject_cast<QListWidget*>(Control(QStringLiteral("ms_1_list_profile")));
  if (!list || !session_) return;
  Quietly(list, [&] {
    list->clear();
    for (const auto& profile : session_->profiles()) list->addItem(profile->name());
    list->setCurrentRow(session_->current_index());
  });
}

QString CMS_1_Page::AssignmentText(std::size_t index) const {
  const ButtonData& button = session_->current().button(index);
  const int function = button.function();
  if (function == kFunctionKeyCombo) {
    static const char* const kModifierKeys[] = {"keyboard_ctrl_text", "keyboard_shift_text",
                                                "keyboard_alt_text", "keyboard_win_text"};
    QString text;
    for (int bit = 0; bit < 4; ++bit) {
      if (button.modifiers() & (1 << bit)) text += LanguageText(kModifierKeys[bit]) + "+";
    }
    static const FixedUsLayout layout;
    return text + UsageToKeyText(button.key(), layout, ProgramLanguage());
  }
  if (function == kFunctionMacro) return LanguageText("assign_macro_text") + button.bind_name();
  if (function == kFunctionGun) return LanguageText("assign_gun_text") + button.bind_name();
  const auto& keys = FunctionTextKeys();
  const auto it = keys.find(function);
  return it == keys.end() ? QString() : LanguageText(it->second);
}

void CMS_1_Page::SelectOption(const char* pattern, int count, int index) {
  if (index < 0 || index >= count) return;  // never past the options there are
  auto* option =
      qobject_cast<QAbstractButton*>(Control(QString::fromLatin1(pattern).arg(index + 1)));
  if (option) Quietly(option, [&] { option->setChecked(true); });
}

void CMS_1_Page::SetSlider(const QString& name, int value) {
  if (auto* slider = qobject_cast<QSlider*>(Control(name))) {
    Quietly(slider, [&] { slider->setValue(value); });
  }
}

void CMS_1_Page::SetLabel(const QString& name, const QString& text) {
  if (QWidget* label = Control(name)) SetControlText(label, text);
}

void CMS_1_Page::SetColorButton(const QString& name, std::uint32_t stored_color) {
  if (QWidget* button = Control(name)) {
    const std::uint32_t argb = StoredColorToArgb(stored_color);
    button->setStyleSheet(
        QStringLiteral("background-color: #%1;").arg(argb & 0xFFFFFFu, 6, 16, QLatin1Char('0')));
  }
}

void CMS_1_Page::ApplyLightingRows(int effect) {
  const LightingRows rows = LightingRowsFor(effect);
  if (QWidget* row = Control(QStringLiteral("ms_1_hor_brightness"))) {
    row->setVisible(rows.brightness);
  }
  if (QWidget* row = Control(QStringLiteral("ms_1_hor_breathspeed"))) {
    row->setVisible(rows.breathing_speed);
  }
  if (QWidget* row = Control(QStringLiteral("ms_1_hor_light_color"))) row->setVisible(rows.color);
}

void CMS_1_Page::Refresh() {
  if (host_) host_->link_state().RefreshLinkView();
  if (!session_) return;
  const ProfileData& p = session_->current();
  SelectOption("ms_1_option_dpi_step_%1", kDpiStages, p.dpi_step());
  for (std::size_t i = 0; i < kDpiStages; ++i) {
    const int n = static_cast<int>(i) + 1;
    const QString dpi = QString::number(DpiCodeToValue(p.dpi_x(i)));
    SetSlider(QStringLiteral("ms_1_slider_dpi_%1").arg(n), p.dpi_x(i));
    SetLabel(QStringLiteral("ms_1_label_dpi_%1").arg(n), dpi);
    SetLabel(QStringLiteral("ms_1_edit_dpi_%1").arg(n), dpi);
    SetColorButton(QStringLiteral("ms_1_btn_dpi_color_%1").arg(n),
                   static_cast<std::uint32_t>(p.dpi_color(i)));
  }
  for (const auto& [name, value] : {std::pair{"ms_1_combo_light", p.light_effect()},
                                    std::pair{"ms_1_combo_light_ble", p.light_effect_ble()}}) {
    auto* combo = qobject_cast<QComboBox*>(Control(QString::fromLatin1(name)));
    if (combo && value >= 0 && value < combo->count()) {
      Quietly(combo, [&] { combo->setCurrentIndex(value); });
    }
  }
  SetSlider(QStringLiteral("ms_1_slider_brightness"), p.brightness());
  SetSlider(QStringLiteral("ms_1_slider_breathspeed"), p.breathspeed());
  SetColorButton(QStringLiteral("ms_1_btn_light_color"), p.light_color());
  SelectOption("ms_1_btn_prate_%1", 4, p.prate());
  if (p.prate() >= 0 && p.prate() <= 3) {
    if (QWidget* label = Control(QStringLiteral("ms_1_label_prate"))) {
      SetControlTextKey(label, QStringLiteral("prate_%1_text").arg(p.prate() + 1));
    }
  }
  SelectOption("ms_1_option_lift_of_distance_%1", 2, p.lift_of_distance());
  SelectOption("ms_1_option_ripple_control_%1", 2, p.ripple_control());
  SelectOption("ms_1_option_angle_snap_%1", 2, p.angle_snap());
  SelectOption("ms_1_option_motion_sync_%1", 2, p.motion_sync());
  SetSlider(QStringLiteral("ms_1_slider_light_off"), p.light_off());
  SetLabel(QStringLiteral("ms_1_label_light_off"), LightOffText(p.light_off(), ProgramLanguage()));
  SetSlider(QStringLiteral("ms_1_slider_sleep_timer"), p.sleep_timer());
  SetLabel(QStringLiteral("ms_1_label_sleep_timer"),
           SleepTimerText(p.sleep_timer(), ProgramLanguage()));
  SetSlider(QStringLiteral("ms_1_slider_key_debounce"), p.key_debounce());
  SetLabel(QStringLiteral("ms_1_label_key_debounce"), KeyDebounceText(p.key_debounce()));
  for (std::size_t k = 0; k < kMouseButtons; ++k) {
    SetLabel(QStringLiteral("ms_1_btn_key_%1").arg(k + 1), AssignmentText(k));
  }
}

void CMS_1_Page::Notify(const Notification& n) {
  const QString& sender = n.sender_name;
  if (n.type == notify::kClick) {
    OnClick(sender);
  } else if (n.type == notify::kSelectChanged) {
    OnSelectChanged(sender);
  } else if (n.type == notify::kItemSelect) {
    OnItemSelect(sender, static_cast<int>(static_cast<std::intptr_t>(n.wparam)));
  } else if (n.type == notify::kValueChanged) {
    OnValueChanged(sender, static_cast<int>(static_cast<std::intptr_t>(n.wparam)));
  } else if (n.type == notify::kKillFocus || n.type == notify::kReturn) {
    OnDpiEditDone(sender);
  } else if (n.type == notify::kTextChanged) {
    OnTextChanged(sender);
  } else if (n.type == notify::kCheckClick) {
    OnCheckClick(sender, n.wparam != 0);
  }
}

int CMS_1_Page::NumberAfter(const QString& name, QLatin1String prefix, int count) {
  if (!name.startsWith(prefix)) return 0;
  bool ok = false;
  const int n = name.mid(prefix.size()).toInt(&ok);
  return ok && n >= 1 && n <= count ? n : 0;
}

void CMS_1_Page::RequestApplyNow() {
  if (window_) window_->PostMessage(MSG_APPLY_REQUEST, 0, 0);
}

void CMS_1_Page::RequestApplyAfter(int delay_ms) {
  if (window_) window_->SetTimer(TIMER_APPLY_DELAY, delay_ms);
}

void CMS_1_Page::OnSelectChanged(const QString& sender) {
  struct Group {
    QLatin1String prefix;
    int count;
    void (ProfileData::*set)(std::int32_t);
  };
  static const Group kGroups[] = {
      {QLatin1String("ms_1_option_dpi_step_"), 8, &ProfileData::set_dpi_step},
      {QLatin1String("ms_1_btn_prate_"), 4, &ProfileData::set_prate},
      {QLatin1String("ms_1_option_lift_of_distance_"), 2, &ProfileData::set_lift_of_distance},
      {QLatin1String("ms_1_option_ripple_control_"), 2, &ProfileData::set_ripple_control},
      {QLatin1String("ms_1_option_angle_snap_"), 2, &ProfileData::set_angle_snap},
      {QLatin1String("ms_1_option_motion_sync_"), 2, &ProfileData::set_motion_sync},
  };
  for (const Group& group : kGroups) {
    const int n = NumberAfter(sender, group.prefix, group.count);
    if (n == 0) continue;
    session_->EditCurrent([&](ProfileData& p) { (p.*group.set)(n - 1); });
    if (group.prefix == QLatin1String("ms_1_btn_prate_")) {
      if (QWidget* label = Control(QStringLiteral("ms_1_label_prate"))) {
        SetControlTextKey(label, QStringLiteral("prate_%1_text").arg(n));
      }
    }
    RequestApplyNow();
    return;
  }
}

void CMS_1_Page::OnItemSelect(const QString& sender, int index) {
  if (sender == QLatin1String("ms_1_list_profile")) {
    SelectProfile(index);
  } else if (sender == QLatin1String("ms_1_combo_light")) {
    session_->EditCurrent([&](ProfileData& p) { p.set_light_effect(index); });
    ApplyLightingRows(index);
    RequestApplyAfter(200);
  } else if (sender == QLatin1String("ms_1_combo_light_ble")) {
    session_->EditCurrent([&](ProfileData& p) { p.set_light_effect_ble(index); });
    ApplyLightingRows(index);
    RequestApplyAfter(200);
  }
}

void CMS_1_Page::OnValueChanged(const QString& sender, int value) {
  if (const int n = NumberAfter(sender, QLatin1String("ms_1_slider_dpi_"), 8)) {
    session_->EditCurrent([&](ProfileData& p) { p.set_dpi_x(n - 1, value); });
    const QString dpi = QString::number(DpiCodeToValue(value));
    SetLabel(QStringLiteral("ms_1_label_dpi_%1").arg(n), dpi);
    SetLabel(QStringLiteral("ms_1_edit_dpi_%1").arg(n), dpi);
    return;  // DPI goes out with an apply button
  }
  if (sender == QLatin1String("ms_1_slider_brightness")) {
    session_->EditCurrent([&](ProfileData& p) { p.set_brightness(value); });
  } else if (sender == QLatin1String("ms_1_slider_breathspeed")) {
    session_->EditCurrent([&](ProfileData& p) { p.set_breathspeed(value); });
  } else if (sender == QLatin1String("ms_1_slider_sleep_timer")) {
    session_->EditCurrent([&](ProfileData& p) { p.set_sleep_timer(value); });
    SetLabel(QStringLiteral("ms_1_label_sleep_timer"), SleepTimerText(value, ProgramLanguage()));
  } else if (sender == QLatin1String("ms_1_slider_light_off")) {
    session_->EditCurrent([&](ProfileData& p) { p.set_light_off(value); });
    SetLabel(QStringLiteral("ms_1_label_light_off"), LightOffText(value, ProgramLanguage()));
  } else if (sender == QLatin1String("ms_1_slider_key_debounce")) {
    session_->EditCurrent([&](ProfileData& p) { p.set_key_debounce(value); });
    SetLabel(QStringLiteral("ms_1_label_key_debounce"), KeyDebounceText(value));
  } else {
    return;
  }
  RequestApplyAfter(500);
}

void CMS_1_Page::OnDpiEditDone(const QString& sender) {
  const int n = NumberAfter(sender, QLatin1String("ms_1_edit_dpi_"), 8);
  auto* edit = qobject_cast<QLineEdit*>(Control(sender));
  if (n == 0 || !edit || !edited_dpi_.remove(sender)) return;
  const std::int32_t code = DpiTextToCode(edit->text());
  session_->EditCurrent([&](ProfileData& p) { p.set_dpi_x(n - 1, code); });
  SetSlider(QStringLiteral("ms_1_slider_dpi_%1").arg(n), code);
  Quietly(edit, [&] { edit->setText(QString::number(DpiCodeToValue(code))); });
}

void CMS_1_Page::OnTextChanged(const QString& sender) {
  if (NumberAfter(sender, QLatin1String("ms_1_edit_dpi_"), 8) == 0) return;
  auto* edit = qobject_cast<QLineEdit*>(Control(sender));
  if (!edit) return;
  edited_dpi_.insert(sender);
  const QString digits = KeepDigits(edit->text());
  if (digits != edit->text()) {
    Quietly(edit, [&] {
      edit->setText(digits);
      edit->setCursorPosition(static_cast<int>(digits.size()));
    });
  }
}

void CMS_1_Page::OnCheckClick(const QString& sender, bool checked) {
  static const std::pair<const char*, const char*> kSections[] = {
      {"ms_1_check_button", "ms_1_hor_button"},
      {"ms_1_check_profile", "ms_1_ver_profile"},
      {"ms_1_check_power", "ms_1_ver_power"},
      {"ms_1_check_dpi", "ms_1_ver_dpi"},
      {"ms_1_check_light", "ms_1_ver_light"},
      {"ms_1_check_prate", "ms_1_ver_prate"},
      {"ms_1_check_mouse_attribute", "ms_1_ver_mouse_attribute"},
      // From here on the sections sit at the end of the settings column: opening one scrolls
      // it into view.
      {"ms_1_check_power_setting", "ms_1_ver_power_setting"},
      {"ms_1_check_lift_of_distance", "ms_1_hor_lift_of_distance"},
      {"ms_1_check_key_debounce", "ms_1_hor_key_debounce"},
      {"ms_1_check_ripple_control", "ms_1_hor_ripple_control"},
      {"ms_1_check_angle_snap", "ms_1_hor_angle_snap"},
      {"ms_1_check_motion_sync", "ms_1_hor_motion_sync"},
  };
  if (sender == QLatin1String("ms_1_check_movemode")) {
    session_->EditCurrent([&](ProfileData& p) { p.set_movemode(checked ? 1 : 0); });
    RequestApplyNow();
    return;
  }
  for (std::size_t i = 0; i < std::size(kSections); ++i) {
    if (sender != QLatin1String(kSections[i].first)) continue;
    const QString body = QString::fromLatin1(kSections[i].second);
    if (QWidget* widget = Control(body)) widget->setVisible(checked);
    if (checked && i >= 7 && window_) {
      followup_section_ = body;
      window_->SetTimer(TIMER_SETTINGS_FOLLOWUP, 10);
    }
    return;
  }
}

void CMS_1_Page::SelectProfile(int index) {
  if (index < 0 || index >= static_cast<int>(session_->profiles().size())) return;
  session_->EditList([&](ProfileList&, ProfileStoreHeader& header, int& current) {
    current = index;
    header.set_selected(index);
  });
  Refresh();
  session_->RequestSendAll();
  RequestApplyNow();
  // The pass writes the store too, but only when it reaches the mouse: a profile added,
  // imported or deleted while the mouse sleeps must not wait for that.
  session_->SaveStoreLater();
}

void CMS_1_Page::DeleteProfile() {
  if (session_->profiles().size() < 2) {
    ShowMessage(QStringLiteral("one_profile_text"));
    return;
  }
  if (ShowMessage(QStringLiteral("delete_profile_text")) != 1) return;
  const int removed = session_->current_index();
  int next = removed;
  session_->EditList([&](ProfileList& profiles, ProfileStoreHeader& header, int& current) {
    profiles.erase(profiles.begin() + removed);
    next = std::min(removed, static_cast<int>(profiles.size()) - 1);
    current = next;
    header.set_selected(next);
  });
  if (auto* list = qobject_cast<QListWidget*>(Control(QStringLiteral("ms_1_list_profile")))) {
    Quietly(list, [&] {
      delete list->takeItem(removed);
      list->setCurrentRow(next);
    });
  }
  SelectProfile(next);
}

void CMS_1_Page::ResetProfile() {
  if (ShowMessage(QStringLiteral("restore_text")) != 1) return;
  session_->EditCurrent([](ProfileData& p) { ResetProfileDefaults(p); });
  Refresh();
  ApplyLightingRows(session_->current().light_effect());
  session_->RequestSendAll();
  RequestApplyNow();
  session_->SaveStoreLater();
}

void CMS_1_Page::AddProfile() {
  CMS_1_ProfileName dialog(window_, QStringLiteral("profile_name_1_text"), session_->profiles(),
                           [this](QWidget*, const QString& key) { return ShowMessage(key); });
  if (dialog.Run() != 1) return;
  int index = 0;
  session_->EditList([&](ProfileList& profiles, ProfileStoreHeader&, int&) {
    profiles.push_back(NewProfile(dialog.name()));
    index = static_cast<int>(profiles.size()) - 1;
  });
  SelectProfile(index);
  FillProfileList();
}

void CMS_1_Page::RenameProfile() {
  CMS_1_ProfileName dialog(window_, QStringLiteral("profile_name_2_text"), session_->profiles(),
                           [this](QWidget*, const QString& key) { return ShowMessage(key); });
  if (dialog.Run() != 1) return;
  session_->EditCurrent([&](ProfileData& p) { p.set_name(dialog.name()); });
  if (auto* list = qobject_cast<QListWidget*>(Control(QStringLiteral("ms_1_list_profile")))) {
    if (QListWidgetItem* item = list->item(session_->current_index())) {
      item->setText(session_->current().name());
    }
  }
  session_->SaveStoreLater();
}

QString CMS_1_Page::ChooseProfileFile(bool save) {
  QFileDialog dialog(window_);
  dialog.setNameFilter(QStringLiteral("Profile Flie (*.pro *.PRO)"));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::ReadOnly, false);
  if (save) dialog.setDefaultSuffix(QStringLiteral("pro"));
  const std::optional<int> answer = AskModalTestHook(dialog);
  const int result = answer ? *answer : dialog.exec();
  if (result != QDialog::Accepted) return {};
  return dialog.selectedFiles().value(0);
}

void CMS_1_Page::ImportProfileFile() {
  const QString path = ChooseProfileFile(false);
  if (path.isEmpty()) return;
  ImportResult result;
  session_->EditList([&](ProfileList& profiles, ProfileStoreHeader&, int&) {
    result = ImportProfile(path, profiles, macros_, *stores_);
  });
  if (result.status == FileStatus::kWrongSize) {
    ShowMessage(QStringLiteral("import_wrong_size_text"));
    return;
  }
  if (result.status != FileStatus::kOk) {
    ShowMessage(QStringLiteral("import_failed_text"));
    return;
  }
  SelectProfile(result.index);
  FillProfileList();
}

void CMS_1_Page::ExportProfileFile() {
  const QString path = ChooseProfileFile(true);
  if (path.isEmpty()) return;
  if (ExportProfile(session_->current(), path) != FileStatus::kOk) {
    ShowMessage(QStringLiteral("export_failed_text"));
  }
}

void CMS_1_Page::OnClick(const QString& sender) {
  if (sender == QLatin1String("ms_1_profile_add_btn")) {
    AddProfile();
  } else if (sender == QLatin1String("ms_1_profile_rename_btn")) {
    RenameProfile();
  } else if (sender == QLatin1String("ms_1_profile_import_btn")) {
    ImportProfileFile();
  } else if (sender == QLatin1String("ms_1_profile_export_btn")) {
    ExportProfileFile();
  } else if (sender == QLatin1String("ms_1_profile_delete_btn")) {
    DeleteProfile();
  } else if (sender == QLatin1String("ms_1_profile_reset_btn") ||
             sender == QLatin1String("ms_1_btn_reset")) {
    ResetProfile();
  } else if (sender == QLatin1String("ms_1_apply_btn") ||
             sender == QLatin1String("ms_1_btn_apply_dpi")) {
    RequestApplyNow();
  } else if (sender == QLatin1String("ms_1_btn_reset_dpi")) {
    session_->EditCurrent([](ProfileData& p) { ResetDpiStages(p); });
    Refresh();
    RequestApplyNow();
  } else if (sender == QLatin1String("ms_1_btn_mouse_attribute")) {
    OpenDesktopMouseSettings();
  } else if (sender == QLatin1String("ms_1_btn_light_color")) {
    PickColor(sender, -1);
  } else if (const int stage = NumberAfter(sender, QLatin1String("ms_1_btn_dpi_color_"), 8)) {
    PickColor(sender, stage - 1);
  }
}

void CMS_1_Page::PickColor(const QString& button_name, int stage) {
  QWidget* button = Control(button_name);
  if (!button || !session_) return;
  const ProfileData& p = session_->current();
  const std::uint32_t stored =
      stage < 0 ? p.light_color()
                : static_cast<std::uint32_t>(p.dpi_color(static_cast<std::size_t>(stage)));
  CDpiColorWnd dialog(window_);
  dialog.set_color(StoredColorToArgb(stored));
  dialog.set_position(CDpiColorWnd::PositionBeside(*button));
  if (dialog.Run() != 1) return;
  const std::uint32_t picked = ArgbToStoredColor(dialog.color());
  session_->EditCurrent([&](ProfileData& profile) {
    if (stage < 0) {
      profile.set_light_color(picked);
    } else {
      profile.set_dpi_color(static_cast<std::size_t>(stage), static_cast<std::int32_t>(picked));
    }
  });
  SetColorButton(button_name, picked);
  RequestApplyNow();
}

void CMS_1_Page::OnMenuCommand(const QString&) {}

void CMS_1_Page::SettingsFollowUp() {
  auto* scroll =
      window_ ? window_->FindOptional<QScrollArea>(QStringLiteral("ms_1_scroll_setting")) : nullptr;
  if (!scroll) return;
  if (QWidget* body = Control(followup_section_)) {
    scroll->ensureWidgetVisible(body);
  } else {
    scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
  }
}

bool OpenDesktopMouseSettings() {
  // The desktops' own mouse settings, the first one installed.
  static const std::pair<const char*, QStringList> kTools[] = {
      {"gnome-control-center", {"mouse"}}, {"systemsettings", {"kcm_mouse"}},
      {"systemsettings5", {"kcm_mouse"}},  {"xfce4-mouse-settings", {}},
      {"mate-mouse-properties", {}},       {"cinnamon-settings", {"mouse"}},
      {"lxqt-config-input", {}},
  };
  for (const auto& [program, arguments] : kTools) {
    const QString path = QStandardPaths::findExecutable(QString::fromLatin1(program));
    if (!path.isEmpty() && QProcess::startDetached(path, arguments)) return true;
  }
  return false;
}

void CMS_1_Page::RequestApply() {
  if (host_) host_->RequestApply();
}

void CMS_1_Page::Shutdown() {
  if (shut_down_) return;
  shut_down_ = true;
  if (host_) host_->Shutdown();
  if (session_) session_->FlushStore();  // the mouse's last changes are on disk before exit
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

void CMS_1_Page::SelectLightEffect(int index) {
  auto* combo = qobject_cast<QComboBox*>(Control(QStringLiteral("ms_1_combo_light")));
  if (combo && index >= 0 && index < combo->count()) {
    Quietly(combo, [&] { combo->setCurrentIndex(index); });
  }
  ApplyLightingRows(index);
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
