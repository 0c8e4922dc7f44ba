#include "ui/select_list_dialog.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>
#include <QPushButton>
#include <algorithm>
#include <utility>

#include "data/text_filters.h"
#include "framework/control_text.h"
#include "framework/language_file.h"

namespace mokta {
namespace {

constexpr int kRowHeight = 22;
constexpr int kMinLoopCount = 1;
constexpr int kMaxLoopCount = 255;
constexpr int kModeCount = 3;

QString OptionName(int mode) {
  return QStringLiteral("repeat_%1").arg(mode + 1);
}

}  // namespace

int LoopCountFromText(const QString& text) {
  const QString digits = KeepDigits(text);
  if (digits.isEmpty()) return kMinLoopCount;
  // Leading zeros do not make a number large; more digits than three do.
  qsizetype first = 0;
  while (first < digits.size() - 1 && digits[first] == u'0') ++first;
  const QString significant = digits.mid(first);
  if (significant.size() > 3) return kMaxLoopCount;
  return std::clamp(significant.toInt(), kMinLoopCount, kMaxLoopCount);
}

SelectListDialog::SelectListDialog(QWidget* parent, const QString& window_class,
                                   const QString& skin_file, QList<PickListItem> items,
                                   RepeatChoice initial, MessageBox message_box)
    : SkinWindow(parent, Qt::Dialog),
      items_(std::move(items)),
      choice_(initial),
      message_box_(std::move(message_box)) {
  setObjectName(window_class);
  LoadSkin(skin_file);
  if (choice_.index < 0 || choice_.index >= items_.size()) choice_.index = -1;
  if (choice_.repeat_mode < 0 || choice_.repeat_mode >= kModeCount) choice_.repeat_mode = 0;
  choice_.loop_count = std::clamp(choice_.loop_count, kMinLoopCount, kMaxLoopCount);

  list_ = Find<QListWidget>(QStringLiteral("list_macro"));
  loop_edit_ = Find<QLineEdit>(QStringLiteral("edit_loop_time"));
  Find(QStringLiteral("hor_loop_time"));
  Find(QStringLiteral("label_refusal"));
  for (int mode = 0; mode < kModeCount; ++mode) Find<QAbstractButton>(OptionName(mode));
  if (auto* ok = Find<QPushButton>(QStringLiteral("btn_ok"))) ok->setDefault(true);
  Find(QStringLiteral("btn_cancel"));
  Find(QStringLiteral("btn_exit"));

  FillList();
  if (auto* option = FindOptional<QAbstractButton>(OptionName(choice_.repeat_mode))) {
    Quietly(option, [&] { option->setChecked(true); });
  }
  if (loop_edit_) {
    Quietly(loop_edit_, [&] { loop_edit_->setText(QString::number(choice_.loop_count)); });
  }
  ShowMode();
  ShowRefusal();
}

void SelectListDialog::FillList() {
  if (!list_) return;
  Quietly(list_, [&] {
    list_->clear();
    const QColor dimmed = list_->palette().color(QPalette::Disabled, QPalette::Text);
    for (const PickListItem& entry : items_) {
      auto* row = new QListWidgetItem(entry.name, list_);
      row->setSizeHint(QSize(0, kRowHeight));
      if (!entry.refusal_key.isEmpty()) {
        const QString reason = ProgramLanguage().Text(entry.refusal_key);
        row->setForeground(dimmed);
        row->setToolTip(reason);
        row->setData(Qt::AccessibleDescriptionRole, reason);
      }
    }
    list_->setCurrentRow(choice_.index);
  });
}

int SelectListDialog::Run() {
  if (list_) list_->setFocus();
  return ShowModal();
}

void SelectListDialog::ShowMode() {
  if (QWidget* loop = FindOptional(QStringLiteral("hor_loop_time"))) {
    loop->setVisible(choice_.repeat_mode == 0);
  }
}

void SelectListDialog::ShowRefusal() {
  auto* label = FindOptional(QStringLiteral("label_refusal"));
  if (!label) return;
  const bool refused = choice_.index >= 0 && !items_[choice_.index].refusal_key.isEmpty();
  if (refused) SetControlTextKey(label, items_[choice_.index].refusal_key);
  label->setVisible(refused);
}

void SelectListDialog::FilterLoopCount() {
  const QString text = loop_edit_->text();
  const QString digits = KeepDigits(text);
  if (digits == text) return;
  Quietly(loop_edit_, [&] {
    loop_edit_->setText(digits);
    loop_edit_->setCursorPosition(static_cast<int>(digits.size()));
  });
}

void SelectListDialog::CommitLoopCount() {
  if (!loop_edit_) return;
  choice_.loop_count = LoopCountFromText(loop_edit_->text());
  const QString shown = QString::number(choice_.loop_count);
  if (loop_edit_->text() != shown) Quietly(loop_edit_, [&] { loop_edit_->setText(shown); });
}

void SelectListDialog::TryAccept() {
  // OK may be reached with the field still focused (Enter, or a click on a button that takes
  // no focus): its text counts as if the field had been left.
  CommitLoopCount();
  if (choice_.index >= 0 && !items_[choice_.index].refusal_key.isEmpty()) {
    if (message_box_) message_box_(this, items_[choice_.index].refusal_key);
    return;
  }
  Close(1);
}

void SelectListDialog::Notify(const Notification& notification) {
  const QString& sender = notification.sender_name;
  if (notification.type == notify::kClick) {
    if (sender == QLatin1String("btn_ok")) {
      TryAccept();
    } else if (sender == QLatin1String("btn_cancel") || sender == QLatin1String("btn_exit")) {
      Close(0);
    }
  } else if (notification.type == notify::kItemSelect && sender == QLatin1String("list_macro")) {
    const auto row = static_cast<int>(static_cast<std::intptr_t>(notification.wparam));
    choice_.index = row >= 0 && row < items_.size() ? row : -1;
    ShowRefusal();
  } else if (notification.type == notify::kSelectChanged && notification.wparam != 0) {
    for (int mode = 0; mode < kModeCount; ++mode) {
      if (sender == OptionName(mode)) {
        choice_.repeat_mode = mode;
        ShowMode();
      }
    }
  } else if (sender == QLatin1String("edit_loop_time") && loop_edit_) {
    if (notification.type == notify::kTextChanged) FilterLoopCount();
    if (notification.type == notify::kKillFocus) CommitLoopCount();
  }
}

void SelectListDialog::keyPressEvent(QKeyEvent* event) {
  // Enter accepts from every control but Cancel: an option or the list takes it as OK rather
  // than as a click on itself.
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && is_modal_running() && !qobject_cast<QPushButton*>(focusWidget())) {
    TryAccept();
    return;
  }
  SkinWindow::keyPressEvent(event);
}

CMS_1_SelectMacro::CMS_1_SelectMacro(QWidget* parent, QList<PickListItem> items,
                                     RepeatChoice initial, MessageBox message_box)
    : SelectListDialog(parent, QStringLiteral("MS_1_SelectMacro"),
                       QStringLiteral("MS/MS_1/selectmacro.xml"), std::move(items), initial,
                       std::move(message_box)) {}

CMS_1_SelectGun::CMS_1_SelectGun(QWidget* parent, QList<PickListItem> items, RepeatChoice initial,
                                 MessageBox message_box)
    : SelectListDialog(parent, QStringLiteral("MS_1_SelectGun"),
                       QStringLiteral("MS/MS_1/selectgun.xml"), std::move(items), initial,
                       std::move(message_box)) {}

QList<PickListItem> MacroPickItems(const MacroList& macros) {
  QList<PickListItem> items;
  for (const auto& macro : macros) items.append({macro->name(), QString()});
  return items;
}

QList<PickListItem> GunPickItems(const GunList& guns,
                                 const std::function<QString(const GunData&)>& refusal) {
  QList<PickListItem> items;
  for (const auto& gun : guns) items.append({gun->name(), refusal ? refusal(*gun) : QString()});
  return items;
}

}  // namespace mokta
