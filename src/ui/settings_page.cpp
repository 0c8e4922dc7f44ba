#include "ui/settings_page.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QListWidget>
#include <QLoggingCategory>
#include <QProcess>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardPaths>

#include "app/mouse_core.h"
#include "app/window_ids.h"
#include "data/colors.h"
#include "data/text_filters.h"
#include "framework/language_file.h"
#include "framework/skin_window.h"
#include "ui/color_dialog.h"
#include "ui/page_rules.h"

namespace mokta {
namespace {
Q_LOGGING_CATEGORY(lcPage, "mokta.page")
}  // namespace

CMS_1_Page::CMS_1_Page(MouseCore& core) : core_(core) {}

// The device side shows its states on this page: it stops before the page goes.
CMS_1_Page::~CMS_1_Page() {
  core_.Shutdown();
}

void CMS_1_Page::Init() {
  controls_.FindAll(window_, PageControlNames());
  // The tables hold the ranges the profile's fields may take.
  for (const SliderBinding& slider : SliderBindings()) {
    controls_.SetSliderRange(QString::fromLatin1(slider.name), slider.min, slider.max);
  }
  const DpiStageBinding& stages = DpiStages();
  QStringList wheel_free = NumberedNames(stages.slider, stages.count);
  for (const QString& name : wheel_free) controls_.SetSliderRange(name, stages.min, stages.max);
  for (const SliderBinding& slider : SliderBindings()) wheel_free << slider.name;
  for (const ComboBinding& combo : ComboBindings()) wheel_free << combo.name;
  controls_.LeaveWheelToScrolling(wheel_free);
  for (int n = 1; n <= kMenuButtons; ++n) {
    button_menu_.ClickOnEnter(controls_.Get<QAbstractButton>(NumberedName(kButtonKey, n)));
  }
  if (also_display_) {
    display_pair_ = std::make_unique<LinkDisplayPair>(link_display_, *also_display_);
    core_.StartLink(display_pair_.get());
  } else {
    core_.StartLink(&link_display_);
  }
}

void CMS_1_Page::StartUpLoad() {
  core_.LoadStores(ProgramLanguage());
  FillProfileList();
  Refresh();
  core_.BringUpBle();
}

void CMS_1_Page::FillProfileList() {
  auto* list = controls_.Get<QListWidget>(QStringLiteral("ms_1_list_profile"));
  if (!list) return;
  const ProfileSession& session = core_.session();
  Quietly(list, [&] {
    list->clear();
    for (const auto& profile : session.profiles()) list->addItem(profile->name());
    list->setCurrentRow(session.current_index());
  });
}

void CMS_1_Page::ShowStageDpi(int index, std::int32_t code) {
  const DpiStageBinding& stages = DpiStages();
  const QString dpi = QString::number(DpiCodeToValue(code));
  controls_.SetText(NumberedName(stages.label, index + 1), dpi);
  controls_.SetText(NumberedName(stages.edit, index + 1), dpi);
}

void CMS_1_Page::Refresh() {
  if (DeviceHost* host = core_.host()) host->link_state().RefreshLinkView();
  const ProfileData& p = core_.session().current();
  for (const OptionGroupBinding& group : OptionGroupBindings()) {
    controls_.ShowOptionGroup(group, group.field.get(p, 0));
  }
  edited_dpi_.clear();  // the edits show the profile's stages again
  const DpiStageBinding& stages = DpiStages();
  for (int i = 0; i < stages.count; ++i) {
    const std::int32_t code = stages.field.get(p, i);
    controls_.SetSlider(NumberedName(stages.slider, i + 1), code);
    ShowStageDpi(i, code);
  }
  ShowDpiStageSwitches();
  for (const ColorButtonBinding& button : ColorButtonBindings()) {
    const QStringList names = NumberedNames(button.pattern, button.count);
    for (int i = 0; i < names.size(); ++i) {
      controls_.SetColor(names[i], static_cast<std::uint32_t>(button.field.get(p, i)));
    }
  }
  for (const ComboBinding& combo : ComboBindings()) {
    controls_.SelectItem(QString::fromLatin1(combo.name), combo.field.get(p, 0));
  }
  controls_.ShowLightingRows(p.light_effect());
  for (const CheckBinding& check : CheckBindings()) {
    controls_.SetChecked(QString::fromLatin1(check.name), check.field.get(p, 0) != 0);
  }
  for (const SliderBinding& slider : SliderBindings()) {
    const std::int32_t value = slider.field.get(p, 0);
    controls_.SetSlider(QString::fromLatin1(slider.name), value);
    if (slider.label) {
      controls_.SetText(QString::fromLatin1(slider.label),
                        slider.label_text(value, ProgramLanguage()));
    }
  }
  for (int k = 0; k < static_cast<int>(kMouseButtons); ++k) ShowAssignment(k);
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

void CMS_1_Page::SetField(const ProfileField& field, int index, std::int32_t value) {
  core_.session().EditCurrent([&](ProfileData& p) { field.set(p, index, value); });
}

void CMS_1_Page::Apply(ApplyTiming timing) {
  if (!window_) return;
  switch (timing) {
    case ApplyTiming::kNow:
      window_->PostMessage(MSG_APPLY_REQUEST, 0, 0);
      break;
    case ApplyTiming::kAfter200Ms:
    case ApplyTiming::kAfter500Ms:
      window_->SetTimer(TIMER_APPLY_DELAY, ApplyDelayMs(timing));  // restarted by each edit
      break;
    case ApplyTiming::kWithApply:
      break;
  }
}

void CMS_1_Page::OnSelectChanged(const QString& sender) {
  for (const OptionGroupBinding& group : OptionGroupBindings()) {
    const int n = NumberIn(sender, group.pattern, group.count);
    if (n == 0) continue;
    SetField(group.field, 0, n - 1);
    if (group.label) {
      controls_.SetTextKey(QString::fromLatin1(group.label), NumberedName(group.label_key, n));
    }
    Apply(group.timing);
    return;
  }
}

void CMS_1_Page::OnItemSelect(const QString& sender, int index) {
  if (sender == QLatin1String("ms_1_list_profile")) {
    CommitDpiEdits();  // typed for the profile shown until now
    SelectProfile(index);
    return;
  }
  for (const ComboBinding& combo : ComboBindings()) {
    if (sender != QLatin1String(combo.name)) continue;
    SetField(combo.field, 0, index);
    if (combo.shows_lighting_rows) controls_.ShowLightingRows(index);
    Apply(combo.timing);
    return;
  }
}

void CMS_1_Page::OnValueChanged(const QString& sender, int value) {
  const DpiStageBinding& stages = DpiStages();
  if (const int n = NumberIn(sender, stages.slider, stages.count)) {
    SetField(stages.field, n - 1, value);
    ShowStageDpi(n - 1, value);
    Apply(stages.timing);
    return;
  }
  for (const SliderBinding& slider : SliderBindings()) {
    if (sender != QLatin1String(slider.name)) continue;
    SetField(slider.field, 0, value);
    if (slider.label) {
      controls_.SetText(QString::fromLatin1(slider.label),
                        slider.label_text(value, ProgramLanguage()));
    }
    Apply(slider.timing);
    return;
  }
}

void CMS_1_Page::OnDpiEditDone(const QString& sender) {
  const DpiStageBinding& stages = DpiStages();
  const int n = NumberIn(sender, stages.edit, stages.count);
  auto* edit = controls_.Get<QLineEdit>(sender);
  if (n == 0 || !edit || !edited_dpi_.remove(sender)) return;
  const std::int32_t code = DpiTextToCode(edit->text());
  SetField(stages.field, n - 1, code);
  controls_.SetSlider(NumberedName(stages.slider, n), code);
  Quietly(edit, [&] { edit->setText(QString::number(DpiCodeToValue(code))); });
}

void CMS_1_Page::CommitDpiEdits() {
  const QSet<QString> pending = edited_dpi_;
  for (const QString& name : pending) OnDpiEditDone(name);
}

void CMS_1_Page::OnTextChanged(const QString& sender) {
  const DpiStageBinding& stages = DpiStages();
  if (NumberIn(sender, stages.edit, stages.count) == 0) return;
  auto* edit = controls_.Get<QLineEdit>(sender);
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
  if (OnDpiStageSwitch(sender, checked)) return;
  for (const CheckBinding& check : CheckBindings()) {
    if (sender != QLatin1String(check.name)) continue;
    SetField(check.field, 0, checked ? 1 : 0);
    Apply(check.timing);
    return;
  }
  for (const SectionBinding& section : SectionBindings()) {
    if (sender != QLatin1String(section.check)) continue;
    const QString body = QString::fromLatin1(section.body);
    controls_.SetVisible(body, checked);
    if (checked && section.scrolls_into_view && window_) {
      followup_section_ = body;
      window_->SetTimer(TIMER_SETTINGS_FOLLOWUP, 10);
    }
    return;
  }
}

int CMS_1_Page::ShowMessageOver(QWidget* parent, const QString& message_key) const {
  if (!message_box_) return 0;
  return message_box_(parent ? parent : static_cast<QWidget*>(window_), message_key);
}

void CMS_1_Page::OnClick(const QString& sender) {
  if (const int n = NumberIn(sender, kButtonKey, static_cast<int>(kMouseButtons))) {
    if (n <= kMenuButtons) OpenButtonMenu(n);  // the others only show their function
  } else if (sender == QLatin1String("ms_1_profile_add_btn")) {
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
    Apply(ApplyTiming::kNow);
  } else if (sender == QLatin1String("ms_1_btn_reset_dpi")) {
    core_.session().EditCurrent([](ProfileData& p) { ResetDpiStages(p); });
    Refresh();
    Apply(ApplyTiming::kNow);
  } else if (sender == QLatin1String("ms_1_btn_mouse_attribute")) {
    OpenMouseSettings();
  } else if (sender == QLatin1String("ms_1_btn_macro")) {
    OpenMacroEditor();
  } else if (sender == QLatin1String("ms_1_btn_gun")) {
    OpenGunEditor();
  } else {
    for (const ColorButtonBinding& button : ColorButtonBindings()) {
      if (const int n = NumberIn(sender, button.pattern, button.count)) {
        PickColor(sender, button, n - 1);
        return;
      }
    }
  }
}

void CMS_1_Page::PickColor(const QString& name, const ColorButtonBinding& binding, int index) {
  QWidget* button = controls_.Get(name);
  if (!button) return;
  const auto stored =
      static_cast<std::uint32_t>(binding.field.get(core_.session().current(), index));
  CDpiColorWnd dialog(window_);
  dialog.set_color(StoredColorToArgb(stored));
  dialog.set_position(CDpiColorWnd::PositionBeside(*button));
  if (dialog.Run() != 1) return;
  const std::uint32_t picked = ArgbToStoredColor(dialog.color());
  SetField(binding.field, index, static_cast<std::int32_t>(picked));
  controls_.SetColor(name, picked);
  Apply(binding.timing);
}

void CMS_1_Page::SettingsFollowUp() {
  auto* scroll =
      window_ ? window_->FindOptional<QScrollArea>(QStringLiteral("ms_1_scroll_setting")) : nullptr;
  if (!scroll) return;
  if (QWidget* body = controls_.Get(followup_section_)) {
    scroll->ensureWidgetVisible(body);
  } else {
    scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
  }
}

bool CMS_1_Page::OnDpiStageSwitch(const QString& sender, bool checked) {
  const DpiStageBinding& stages = DpiStages();
  const int n = NumberIn(sender, stages.on_check, stages.count);
  if (n == 0) return false;
  ProfileData switched = core_.session().current();
  if (SwitchDpiStage(switched, n - 1, checked)) {
    core_.session().EditCurrent([&](ProfileData& p) { SwitchDpiStage(p, n - 1, checked); });
    const std::int32_t code = stages.field.get(switched, n - 1);  // a stage turned on gets a DPI
    controls_.SetSlider(NumberedName(stages.slider, n), code);
    ShowStageDpi(n - 1, code);
    controls_.SelectOption(stages.option, stages.count, switched.dpi_step());
    Apply(stages.on_timing);
  }
  ShowDpiStageSwitches();
  return true;
}

void CMS_1_Page::ShowDpiStageSwitches() {
  const DpiStageBinding& stages = DpiStages();
  const ProfileData& p = core_.session().current();
  const bool last_on = DpiStagesOn(p) == 1;
  for (int n = 1; n <= stages.count; ++n) {
    const bool on = DpiStageOn(p, n - 1);
    const QString check = NumberedName(stages.on_check, n);
    controls_.SetChecked(check, on);
    if (QWidget* box = controls_.Get(check)) box->setEnabled(!(on && last_on));
    for (const char* part : {stages.slider, stages.edit, stages.label, stages.option}) {
      if (QWidget* control = controls_.Get(NumberedName(part, n))) control->setEnabled(on);
    }
  }
}

void CMS_1_Page::OpenMouseSettings() {
  if (OpenDesktopMouseSettings()) return;
  qCWarning(lcPage) << "no desktop mouse settings program was found";
  ShowMessage(QStringLiteral("no_mouse_settings_text"));
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

}  // namespace mokta
