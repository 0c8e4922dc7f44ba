#include "ui/macro_editor.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QLoggingCategory>
#include <QPainter>
#include <QPixmap>
#include <QStackedWidget>
#include <QTableWidget>
#include <map>
#include <utility>

#include "app/mouse_core.h"
#include "data/key_tables.h"
#include "data/names.h"
#include "data/text_filters.h"
#include "framework/control_text.h"
#include "framework/language_file.h"
#include "ui/record_file_dialog.h"

namespace mokta {
namespace {

Q_LOGGING_CATEGORY(lcMacroEditor, "mokta.macro")

// The pages of the action editor.
constexpr int kNoActionPage = 0;
constexpr int kKeyActionPage = 1;
constexpr int kMouseActionPage = 2;

// The virtual-key code of Tab, which moves the focus out of the key field instead of being
// taken.
constexpr std::uintptr_t kTabKey = 0x09;

// The buttons of the mouse action combo, in item order.
constexpr std::uint8_t kComboCodes[5] = {kMouseLeft, kMouseRight, kMouseMiddle, kMouseForward,
                                         kMouseBack};

const QString kRecordButton = QStringLiteral("ms_1_macro_record_btn");

int ComboItemOf(std::uint8_t code) {
  for (int i = 0; i < 5; ++i) {
    if (kComboCodes[i] == code) return i;
  }
  return 0;
}

void SetEditText(QLineEdit* edit, const QString& text) {
  if (edit) Quietly(edit, [&] { edit->setText(text); });
}

// The small pictures of the action rows, drawn once in the list's text colour: a key or a
// mouse, and an arrow down (press) or up (release).
enum class RowIcon { kKey, kMouse, kPress, kRelease };

QIcon DrawRowIcon(RowIcon kind, const QColor& color) {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(color, 2.5));
  switch (kind) {
    case RowIcon::kKey:
      painter.drawRoundedRect(QRectF(5, 8, 22, 17), 3, 3);
      painter.drawLine(QPointF(11, 19), QPointF(21, 19));
      break;
    case RowIcon::kMouse:
      painter.drawRoundedRect(QRectF(9, 4, 14, 24), 7, 7);
      painter.drawLine(QPointF(16, 5), QPointF(16, 13));
      break;
    case RowIcon::kPress:
    case RowIcon::kRelease: {
      const bool down = kind == RowIcon::kPress;
      const qreal tip = down ? 26 : 6;
      const qreal back = down ? 17 : 15;
      painter.drawLine(QPointF(16, down ? 6 : 26), QPointF(16, tip));
      painter.drawLine(QPointF(9, back), QPointF(16, tip));
      painter.drawLine(QPointF(23, back), QPointF(16, tip));
      break;
    }
  }
  return QIcon(pixmap);
}

const QIcon& RowIconOf(RowIcon kind, const QColor& color) {
  static std::map<std::pair<int, QRgb>, QIcon> icons;
  QIcon& icon = icons[{static_cast<int>(kind), color.rgba()}];
  if (icon.isNull()) icon = DrawRowIcon(kind, color);
  return icon;
}

}  // namespace

CMS_1_Macro::CMS_1_Macro(QWidget* parent, MouseCore& core, MessageBox message_box)
    : SkinWindow(parent, Qt::Dialog),
      core_(core),
      message_box_(std::move(message_box)),
      editing_(core.macros(), [&core] { return core.SaveMacroStore(); }),
      hooks_(core.hooks()),
      target_(message_target()) {
  hook_window_.context = target_.get();
  hook_window_.post = &CMS_1_Macro::PostHookEvent;
  elapsed_.start();
  setObjectName(QStringLiteral("MS_1_Macro"));
  LoadSkin(QStringLiteral("MS/MS_1/ms_1_macropage.xml"));

  macro_list_ = Find<QListWidget>(QStringLiteral("ms_1_macro_list"));
  name_edit_ = Find<QLineEdit>(QStringLiteral("ms_1_macro_name_edit"));
  actions_ = Find<QTableWidget>(QStringLiteral("ms_1_macro_action_list"));
  record_ = Find<QAbstractButton>(kRecordButton);
  default_delay_ = Find<QLineEdit>(QStringLiteral("ms_1_default_delay_edit"));
  action_edit_check_ = Find<QAbstractButton>(QStringLiteral("ms_1_macro_action_edit_check"));
  action_tabs_ = Find<QStackedWidget>(QStringLiteral("ms_1_macro_action_edit_tab"));
  key_edit_ = Find<QLineEdit>(QStringLiteral("ms_1_macro_action_edit"));
  key_delay_ = Find<QLineEdit>(QStringLiteral("ms_1_macro_delay_edit"));
  mouse_combo_ = Find<QComboBox>(QStringLiteral("ms_1_macro_mouse_action_combo"));
  mouse_delay_ = Find<QLineEdit>(QStringLiteral("ms_1_macro_mouseaction_delay_edit"));
  for (const char* name :
       {"btn_exit", "ms_1_macro_add_btn", "ms_1_macro_delete_btn", "ms_1_macro_import_btn",
        "ms_1_macro_export_btn", "ms_1_macro_up_btn", "ms_1_macro_down_btn",
        "ms_1_macro_delete_action_btn", "ms_1_macro_clear_action_btn",
        "ms_1_macro_insert_mouse_btn", "ms_1_macro_save_btn", "ms_1_macro_cancel_btn"}) {
    Find(QString::fromLatin1(name));
  }

  if (actions_) {
    actions_->setColumnCount(3);
    actions_->setHorizontalHeaderLabels({LanguageText(QStringLiteral("key_text")),
                                         LanguageText(QStringLiteral("action_column_text")),
                                         LanguageText(QStringLiteral("delay_text"))});
    actions_->verticalHeader()->setVisible(false);
    actions_->horizontalHeader()->setStretchLastSection(true);
    actions_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    actions_->setSelectionBehavior(QAbstractItemView::SelectRows);
    actions_->setSelectionMode(QAbstractItemView::SingleSelection);
    actions_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    actions_->setTabKeyNavigation(false);
    // Drawn now rather than while the first recorded event waits for its row.
    const QColor ink = actions_->palette().color(QPalette::Text);
    for (const RowIcon kind :
         {RowIcon::kKey, RowIcon::kMouse, RowIcon::kPress, RowIcon::kRelease}) {
      RowIconOf(kind, ink);
    }
  }
  if (mouse_combo_) {
    Quietly(mouse_combo_, [&] {
      for (const std::uint8_t code : kComboCodes) {
        mouse_combo_->addItem(UsageToKeyText(code, core_.keyboard_layout(), ProgramLanguage()));
      }
    });
  }
  if (key_edit_) key_edit_->installEventFilter(this);
  if (auto* reason = Find(QStringLiteral("label_hook_reason"))) {
    auto* table = dynamic_cast<HookTable*>(hooks_);
    const QString reason_key = table ? table->InWindowReasonKey() : QString();
    if (!reason_key.isEmpty()) SetControlTextKey(reason, reason_key);
    reason->setVisible(!reason_key.isEmpty());
  }
  FillMacroList();
  ShowMacro();
}

CMS_1_Macro::~CMS_1_Macro() {
  ReleaseHooks();
}

int CMS_1_Macro::Run() {
  if (macro_list_) macro_list_->setFocus();
  return ShowModal();
}

// ---- Showing the macros

void CMS_1_Macro::FillMacroList() {
  if (!macro_list_) return;
  Quietly(macro_list_, [&] {
    macro_list_->clear();
    for (const auto& macro : editing_.macros()) {
      macro_list_->addItem(macro ? macro->name() : QString());
    }
    macro_list_->setCurrentRow(editing_.current_index());
  });
}

void CMS_1_Macro::SelectMacroRow(int row) {
  if (macro_list_) Quietly(macro_list_, [&] { macro_list_->setCurrentRow(row); });
}

void CMS_1_Macro::ShowMacro() {
  const MacroData* macro = editing_.current();
  SetEditText(name_edit_, macro ? macro->name() : QString());
  if (name_edit_) name_edit_->setEnabled(macro != nullptr);
  ShowActions();
}

void CMS_1_Macro::ShowActions() {
  if (!actions_) return;
  const KeyboardLayout& layout = core_.keyboard_layout();
  const LanguageTexts& language = ProgramLanguage();
  const QString press = language.Text(QStringLiteral("key_down_action"));
  const QString release = language.Text(QStringLiteral("key_up_action"));
  const int count = editing_.action_count();
  const QColor ink = actions_->palette().color(QPalette::Text);
  Quietly(actions_, [&] {
    actions_->setRowCount(count);
    for (int row = 0; row < count; ++row) {
      const MacroAction action = editing_.action(row);
      const QString key = UsageToKeyText(action.code, layout, language);
      const QString texts[3] = {key, action.state == MacroAction::kRelease ? release : press,
                                QString::number(action.delay_ms)};
      for (int column = 0; column < 3; ++column) {
        QTableWidgetItem* item = actions_->item(row, column);
        if (!item) {
          item = new QTableWidgetItem;
          actions_->setItem(row, column, item);
        }
        item->setText(texts[column]);
      }
      actions_->item(row, 0)->setIcon(
          RowIconOf(IsMouseButtonCode(action.code) ? RowIcon::kMouse : RowIcon::kKey, ink));
      actions_->item(row, 1)->setIcon(RowIconOf(
          action.state == MacroAction::kRelease ? RowIcon::kRelease : RowIcon::kPress, ink));
    }
    const int selected = editing_.selected_action();
    if (selected >= 0) {
      actions_->setCurrentCell(selected, 0);
    } else {
      actions_->clearSelection();
      actions_->setCurrentCell(-1, -1);
    }
  });
  if (const int selected = editing_.selected_action(); selected >= 0) {
    actions_->scrollToItem(actions_->item(selected, 0));
  } else if (count > 0) {
    actions_->scrollToBottom();
  }
  ShowActionEditor();
}

void CMS_1_Macro::ShowActionEditor() {
  const int selected = editing_.selected_action();
  if (action_editor_ && selected < 0) {
    action_editor_ = false;
    if (action_edit_check_)
      Quietly(action_edit_check_, [&] { action_edit_check_->setChecked(false); });
  }
  int page = kNoActionPage;
  if (action_editor_) {
    const MacroAction action = editing_.action(selected);
    const bool last = selected == editing_.action_count() - 1;
    const QString delay = last ? QStringLiteral("1") : QString::number(action.delay_ms);
    if (IsMouseButtonCode(action.code)) {
      page = kMouseActionPage;
      if (mouse_combo_) {
        Quietly(mouse_combo_, [&] { mouse_combo_->setCurrentIndex(ComboItemOf(action.code)); });
      }
      SetEditText(mouse_delay_, delay);
      if (mouse_delay_) mouse_delay_->setEnabled(!last);
    } else {
      page = kKeyActionPage;
      SetEditText(key_edit_,
                  UsageToKeyText(action.code, core_.keyboard_layout(), ProgramLanguage()));
      SetEditText(key_delay_, delay);
      if (key_delay_) key_delay_->setEnabled(!last);
    }
  }
  if (action_tabs_) action_tabs_->setCurrentIndex(page);
  if (auto* buttons = FindOptional(QStringLiteral("ms_1_macro_action_edit_buttons"))) {
    buttons->setVisible(page != kNoActionPage);
  }
}

// ---- Notifications

void CMS_1_Macro::Notify(const Notification& notification) {
  const QString& sender = notification.sender_name;
  if (notification.type == notify::kClick) {
    OnClick(sender);
  } else if (notification.type == notify::kCheckClick) {
    OnCheckClick(sender, notification.wparam != 0);
  } else if (notification.type == notify::kItemSelect) {
    const int row = static_cast<int>(static_cast<std::intptr_t>(notification.wparam));
    if (sender == QLatin1String("ms_1_macro_list")) {
      editing_.SelectMacro(row);
      ShowMacro();
    } else if (sender == QLatin1String("ms_1_macro_action_list")) {
      editing_.SelectAction(row);
      ShowActionEditor();
    } else if (sender == QLatin1String("ms_1_macro_mouse_action_combo")) {
      if (row >= 0 && row < 5 && editing_.SetActionCode(kComboCodes[row])) ShowActions();
    }
  } else if (notification.type == notify::kSelectChanged && notification.wparam != 0) {
    if (sender == QLatin1String("ms_1_record_delay_btn")) delay_mode_ = DelayMode::kMeasured;
    if (sender == QLatin1String("ms_1_default_delay_btn")) delay_mode_ = DelayMode::kDefault;
    if (sender == QLatin1String("ms_1_no_delay_btn")) delay_mode_ = DelayMode::kNone;
  } else if (notification.type == notify::kTextChanged) {
    auto* edit = qobject_cast<QLineEdit*>(notification.sender);
    if (edit && edit != name_edit_) {
      const QString digits = KeepDigits(edit->text());
      if (digits != edit->text()) SetEditText(edit, digits);
    }
  } else if (notification.type == notify::kKillFocus || notification.type == notify::kReturn) {
    OnKillFocus(sender);
  } else if (notification.type == notify::kSetFocus) {
    if (sender == QLatin1String("ms_1_macro_action_edit")) StartKeyCapture();
  } else if (sender == kRecordButton && editing_.recording() && hooks_ && hooks_held_) {
    // The clicks that start and stop a recording are not recorded: mouse buttons are taken
    // only while the pointer is away from the record button.
    if (notification.type == notify::kMouseEnter) hooks_->EnableMouseHook(false);
    if (notification.type == notify::kMouseLeave) hooks_->EnableMouseHook(true);
  }
}

void CMS_1_Macro::OnClick(const QString& sender) {
  if (sender == QLatin1String("btn_exit")) {
    Close(1);
  } else if (sender == QLatin1String("ms_1_macro_add_btn")) {
    AddMacro();
  } else if (sender == QLatin1String("ms_1_macro_delete_btn")) {
    DeleteMacro();
  } else if (sender == QLatin1String("ms_1_macro_import_btn")) {
    ImportMacro();
  } else if (sender == QLatin1String("ms_1_macro_export_btn")) {
    ExportMacro();
  } else if (sender == QLatin1String("ms_1_macro_up_btn")) {
    if (editing_.MoveUp()) ShowActions();
  } else if (sender == QLatin1String("ms_1_macro_down_btn")) {
    if (editing_.MoveDown()) ShowActions();
  } else if (sender == QLatin1String("ms_1_macro_delete_action_btn")) {
    if (editing_.DeleteAction()) ShowActions();
  } else if (sender == QLatin1String("ms_1_macro_clear_action_btn")) {
    if (editing_.Clear()) ShowActions();
  } else if (sender == QLatin1String("ms_1_macro_save_btn")) {
    editing_.SaveOrRevert();
    action_editor_ = false;
    if (action_edit_check_)
      Quietly(action_edit_check_, [&] { action_edit_check_->setChecked(false); });
    ShowActions();
  } else if (sender == QLatin1String("ms_1_macro_cancel_btn")) {
    action_editor_ = false;
    if (action_edit_check_)
      Quietly(action_edit_check_, [&] { action_edit_check_->setChecked(false); });
    editing_.Revert();
    ShowActions();
  } else {
    for (int n = 1; n <= 5; ++n) {
      if (sender == QStringLiteral("ms_1_macro_key%1_btn").arg(n)) InsertClick(n);
    }
  }
}

void CMS_1_Macro::OnCheckClick(const QString& sender, bool checked) {
  if (sender == kRecordButton) {
    if (checked && !editing_.recording()) {
      StartRecording();
    } else if (!checked && editing_.recording()) {
      // Stopped with Space on the record button: its press was recorded first.
      constexpr std::uint8_t kSpace = 0x2C;
      const std::optional<MacroAction> last = editing_.LastTaken();
      if (record_ && record_->hasFocus() && last && last->code == kSpace &&
          last->state == MacroAction::kPress) {
        editing_.ForgetLastTaken();
      }
      editing_.StopRecording();
      EndRecording();
      ShowActions();
    }
  } else if (sender == QLatin1String("ms_1_macro_insert_mouse_btn")) {
    if (auto* mouse = FindOptional(QStringLiteral("ms_1_macro_mouse_event_tab"))) {
      mouse->setVisible(checked);
    }
    if (auto* name = FindOptional(QStringLiteral("ms_1_macro_name_tab")))
      name->setVisible(!checked);
  } else if (sender == QLatin1String("ms_1_macro_action_edit_check")) {
    action_editor_ = checked;
    ShowActionEditor();
  }
}

void CMS_1_Macro::OnKillFocus(const QString& sender) {
  if (sender == QLatin1String("ms_1_macro_name_edit")) {
    TakeName();
  } else if (sender == QLatin1String("ms_1_default_delay_edit")) {
    TakeDefaultDelay();
  } else if (sender == QLatin1String("ms_1_macro_delay_edit") ||
             sender == QLatin1String("ms_1_macro_mouseaction_delay_edit")) {
    TakeActionDelay(sender);
  } else if (sender == QLatin1String("ms_1_macro_action_edit")) {
    StopKeyCapture();
  }
}

// ---- The macro list

void CMS_1_Macro::AddMacro() {
  const QString name = DefaultRecordName(editing_.macros(), ProgramLanguage(), kAddMacroTextKey);
  const int index = editing_.AddMacro(name);
  if (macro_list_) {
    Quietly(macro_list_, [&] { macro_list_->addItem(name); });
    SelectMacroRow(index);
    macro_list_->scrollToBottom();
  }
  ShowMacro();
}

void CMS_1_Macro::DeleteMacro() {
  const int row = macro_list_ ? macro_list_->currentRow() : -1;
  if (row < 0 || row >= static_cast<int>(editing_.macros().size())) return;
  if (!message_box_ || message_box_(this, QStringLiteral("delete_macro_text")) != 1) return;
  const int next = editing_.DeleteMacro(row);
  if (macro_list_) {
    Quietly(macro_list_, [&] { delete macro_list_->takeItem(row); });
    SelectMacroRow(next);
  }
  ShowMacro();
}

QString CMS_1_Macro::ChooseMacroFile(bool save) {
  // The data folder, the parent of the stores' own folder.
  return ChooseRecordFile(this, RecordFileKind::kMacro, save,
                          QFileInfo(core_.stores().StoreFolder()).absolutePath());
}

void CMS_1_Macro::ImportMacro() {
  const QString path = ChooseMacroFile(false);
  if (path.isEmpty()) return;
  const ImportResult result = core_.ImportMacroFile(path);
  if (result.status != FileStatus::kOk) return;  // the core told the user why
  editing_.SelectMacro(result.index);
  FillMacroList();
  ShowMacro();
}

void CMS_1_Macro::ExportMacro() {
  const MacroData* macro = editing_.current();
  if (!macro) return;
  const QString path = ChooseMacroFile(true);
  if (path.isEmpty()) return;
  core_.ExportMacro(*macro, path);  // the core tells the user about a failure
}

void CMS_1_Macro::TakeName() {
  if (!name_edit_ || !editing_.current()) return;
  const QString shown = editing_.Rename(name_edit_->text());
  SetEditText(name_edit_, shown);
  if (macro_list_) {
    if (QListWidgetItem* item = macro_list_->item(editing_.current_index())) item->setText(shown);
  }
}

// ---- The actions

int CMS_1_Macro::DefaultDelay() const {
  return ClampMacroDelay(default_delay_ ? default_delay_->text().toLongLong() : 0);
}

void CMS_1_Macro::TakeDefaultDelay() {
  if (!default_delay_) return;
  const QString text = QString::number(DefaultDelay());
  if (text != default_delay_->text()) SetEditText(default_delay_, text);
}

void CMS_1_Macro::InsertClick(int n) {
  const int delay = delay_mode_ == DelayMode::kDefault ? DefaultDelay() : 1;
  if (editing_.InsertClick(kClickInsertCodes[n - 1], delay)) ShowActions();
}

void CMS_1_Macro::TakeActionDelay(const QString& sender) {
  QLineEdit* edit = sender == QLatin1String("ms_1_macro_delay_edit") ? key_delay_ : mouse_delay_;
  if (!edit || !edit->isEnabled()) return;
  if (editing_.SetActionDelay(edit->text().toLongLong()) == 0) return;
  ShowActions();  // the edit shows the stored (clamped) wait
}

// ---- Recording

void CMS_1_Macro::StartRecording() {
  if (!editing_.current()) AddMacro();
  editing_.StartRecording(delay_mode_, DefaultDelay(), clock_ ? clock_() : elapsed_.elapsed());
  if (record_) SetControlTextKey(record_, QStringLiteral("stop_recording_text"));
  StopKeyCapture();
  route_ = Route::kRecorder;
  if (hooks_) {
    hooks_->InstallHook(&hook_window_);
    hooks_->EnableHook(true);
    hooks_->MouseWheelEnable(false);
    // Started from the keyboard, the pointer may be anywhere: mouse buttons count from now,
    // unless the pointer rests on the record button.
    hooks_->EnableMouseHook(!(record_ && record_->underMouse()));
    hooks_held_ = true;
  }
  qCInfo(lcMacroEditor) << "recording into" << editing_.current()->name();
  ShowActions();
}

void CMS_1_Macro::EndRecording() {
  if (record_) {
    SetControlTextKey(record_, QStringLiteral("start_recording_text"));
    Quietly(record_, [&] { record_->setChecked(false); });
  }
  if (hooks_ && hooks_held_ && route_ == Route::kRecorder) {
    hooks_->RemoveHook();
    hooks_->RemoveMouseHook();
    hooks_->EnableMouseHook(false);
    hooks_->EnableHook(false);
    hooks_->MouseWheelEnable(false);
    hooks_held_ = false;
  }
}

void CMS_1_Macro::OnRecordedInput(std::uintptr_t wparam, std::intptr_t lparam) {
  const std::int64_t now = clock_ ? clock_() : elapsed_.elapsed();
  const MacroEditing::Taken taken = editing_.Record(wparam, lparam, now, core_.keyboard_layout());
  if (taken == MacroEditing::Taken::kIgnored) return;
  if (!editing_.recording()) EndRecording();
  ShowActions();
}

// ---- The key field of the action editor

void CMS_1_Macro::StartKeyCapture() {
  if (editing_.recording()) return;
  route_ = Route::kKeyCapture;
  if (hooks_ && !hooks_held_) {
    hooks_->InstallHook(&hook_window_);
    hooks_->EnableHook(true);
    hooks_held_ = true;
  }
}

void CMS_1_Macro::StopKeyCapture() {
  if (route_ != Route::kKeyCapture) return;
  route_ = Route::kNone;
  if (hooks_ && hooks_held_) {
    hooks_->RemoveHook();
    hooks_->EnableHook(false);
    hooks_held_ = false;
  }
}

void CMS_1_Macro::OnCapturedKey(std::uintptr_t wparam) {
  if (wparam == kTabKey) return;
  const UsageLookup lookup =
      wparam <= 0xFFFFFFFFu
          ? VirtualKeyToUsage(static_cast<std::uint32_t>(wparam), core_.keyboard_layout())
          : UsageLookup{false, 0};
  const auto code = static_cast<std::uint8_t>(lookup.usage & 0xFF);
  SetEditText(key_edit_, UsageToKeyText(code, core_.keyboard_layout(), ProgramLanguage()));
  code_before_last_capture_ = editing_.action(editing_.selected_action()).code;
  if (editing_.SetActionCode(code)) ShowActions();
}

void CMS_1_Macro::ForgetShiftOfBacktab() {
  // Shift+Tab leaves the field; the Shift press that began it was captured just before.
  constexpr std::uint8_t kLeftShift = 0xE1;
  constexpr std::uint8_t kRightShift = 0xE5;
  const std::uint8_t code = editing_.action(editing_.selected_action()).code;
  if (code != kLeftShift && code != kRightShift) return;
  if (editing_.SetActionCode(code_before_last_capture_)) ShowActions();
}

bool CMS_1_Macro::eventFilter(QObject* watched, QEvent* event) {
  // The key field's own key events are the captured keys: none edits, accepts or closes.
  // Tab and Shift+Tab pass on and move the focus.
  if (watched == key_edit_ &&
      (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Backtab && event->type() == QEvent::KeyPress) ForgetShiftOfBacktab();
    return key != Qt::Key_Tab && key != Qt::Key_Backtab;
  }
  return SkinWindow::eventFilter(watched, event);
}

// ---- The hooks

void CMS_1_Macro::PostHookEvent(void* context, std::uint32_t message, std::uintptr_t wparam,
                                std::intptr_t lparam) {
  static_cast<MessageTarget*>(context)->Post(message, wparam, lparam);
}

std::intptr_t CMS_1_Macro::HandleCustomMessage(std::uint32_t message, std::uintptr_t wparam,
                                               std::intptr_t lparam, bool& handled) {
  if (message != MOKTA_HOOK_EVENT_MESSAGE) return 0;
  handled = true;
  // An event posted before the hooks were released may still arrive: it changes nothing.
  if (route_ == Route::kRecorder && editing_.recording()) {
    OnRecordedInput(wparam, lparam);
  } else if (route_ == Route::kKeyCapture && hooks_held_) {
    OnCapturedKey(wparam);
  }
  return 0;
}

void CMS_1_Macro::ReleaseHooks() {
  if (editing_.recording()) {
    editing_.StopRecording();
    EndRecording();
  }
  StopKeyCapture();
  route_ = Route::kNone;
}

void CMS_1_Macro::hideEvent(QHideEvent* event) {
  // A value typed into the field that has the focus counts, as if the field had been left.
  if (QWidget* focus = focusWidget()) {
    if (focus == name_edit_) TakeName();
    if (focus == default_delay_) TakeDefaultDelay();
    if (focus == key_delay_) TakeActionDelay(QStringLiteral("ms_1_macro_delay_edit"));
    if (focus == mouse_delay_) TakeActionDelay(QStringLiteral("ms_1_macro_mouseaction_delay_edit"));
  }
  // Closing the window in any way ends a recording or a key capture: no hook outlives it.
  ReleaseHooks();
  SkinWindow::hideEvent(event);
}

}  // namespace mokta
