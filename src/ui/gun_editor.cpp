#include "ui/gun_editor.h"

#include <QComboBox>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <utility>

#include "app/mouse_core.h"
#include "data/text_filters.h"
#include "framework/control_text.h"
#include "framework/language_file.h"
#include "ui/pattern_path_view.h"
#include "ui/profile_name_dialog.h"
#include "ui/record_file_dialog.h"

namespace mokta {
namespace {

constexpr int kItemHeight = 30;
constexpr int kRows = static_cast<int>(kMaxGunSteps);

QLatin1String FieldName(GunField field) {
  switch (field) {
    case GunField::kX:
      return QLatin1String("x");
    case GunField::kY:
      return QLatin1String("y");
    case GunField::kDelay:
      break;
  }
  return QLatin1String("delay");
}

std::int32_t FieldValue(const GunStep& step, GunField field) {
  switch (field) {
    case GunField::kX:
      return step.x;
    case GunField::kY:
      return step.y;
    case GunField::kDelay:
      break;
  }
  return step.delay;
}

constexpr GunField kFields[] = {GunField::kX, GunField::kY, GunField::kDelay};

QString RowName(const char* prefix, int row) {
  return QStringLiteral("%1%2").arg(QLatin1String(prefix)).arg(row + 1);
}

}  // namespace

CMS_1_Gun::CMS_1_Gun(QWidget* parent, MouseCore& core, MessageBox message_box)
    : SkinWindow(parent, Qt::Dialog),
      core_(core),
      message_box_(std::move(message_box)),
      editing_(core.guns(), [&core] { core.SaveGunStore(); }) {
  setObjectName(QStringLiteral("MS_1_Gun"));
  LoadSkin(QStringLiteral("MS/MS_1/gunpage.xml"));
  list_ = Find<QListWidget>(QStringLiteral("gun_list"));
  combo_ = Find<QComboBox>(QStringLiteral("combo_gun"));
  for (const char* name :
       {"btn_exit", "add_btn", "delete_btn", "rename_btn", "import_btn", "export_btn"}) {
    Find(QLatin1String(name));
  }
  for (int row = 0; row < kRows; ++row) {
    Find(RowName("ver_zidan_", row));
    for (GunField field : kFields) {
      if (QLineEdit* edit = RowEdit(row, field)) edit->installEventFilter(this);
    }
    for (const char* button :
         {"zidan_x_down_btn_", "zidan_x_up_btn_", "zidan_y_up_btn_", "zidan_y_down_btn_",
          "zidan_delay_up_btn_", "zidan_delay_down_btn_"}) {
      Find(RowName(button, row));
    }
  }
  if (QWidget* holder = Find(QStringLiteral("gun_path")); holder && holder->layout()) {
    path_view_ = new PatternPathView(holder);
    holder->layout()->addWidget(path_view_);
  }
  FillList();
  SelectRow(-1);
}

int CMS_1_Gun::Run() {
  if (list_) list_->setFocus();
  const int result = ShowModal();
  CommitPendingEdits();
  return result;
}

QLineEdit* CMS_1_Gun::RowEdit(int row, GunField field) const {
  return Find<QLineEdit>(QStringLiteral("edit_zidan_%1_%2").arg(FieldName(field)).arg(row + 1));
}

void CMS_1_Gun::FillList() {
  if (!list_) return;
  Quietly(list_, [&] {
    list_->clear();
    for (const auto& gun : core_.guns()) {
      auto* item = new QListWidgetItem(gun ? gun->name() : QString(), list_);
      item->setSizeHint(QSize(0, kItemHeight));
    }
  });
}

void CMS_1_Gun::SelectRow(int position) {
  if (list_) Quietly(list_, [&] { list_->setCurrentRow(position); });
  editing_.Select(position);
  ShowSelection();
}

void CMS_1_Gun::ShowSelection() {
  typed_.clear();
  for (int row = 0; row < kRows; ++row) {
    for (GunField field : kFields) {
      ShowValue(row, field, FieldValue(editing_.steps()[static_cast<std::size_t>(row)], field));
    }
  }
  if (combo_) Quietly(combo_, [&] { combo_->setCurrentIndex(editing_.steps_shown() - 1); });
  ShowRows();
  ShowPath();
}

void CMS_1_Gun::ShowRows() {
  const bool enabled = editing_.has_current();
  if (combo_) combo_->setEnabled(enabled);
  for (const char* name : {"delete_btn", "rename_btn", "export_btn"}) {
    if (QWidget* button = FindOptional(QLatin1String(name))) button->setEnabled(enabled);
  }
  for (int row = 0; row < kRows; ++row) {
    if (QWidget* container = FindOptional(RowName("ver_zidan_", row))) {
      container->setEnabled(enabled);
      container->setVisible(row < editing_.steps_shown());
    }
  }
}

void CMS_1_Gun::ShowPath() {
  if (!path_view_) return;
  path_view_->SetSteps(editing_.used_steps());
  if (QWidget* totals = FindOptional(QStringLiteral("gun_path_totals"))) {
    SetControlText(totals, path_view_->accessibleDescription());
  }
}

void CMS_1_Gun::ShowValue(int row, GunField field, std::int32_t value) {
  if (QLineEdit* edit = RowEdit(row, field)) {
    Quietly(edit, [&] { edit->setText(QString::number(value)); });
  }
}

void CMS_1_Gun::Notify(const Notification& notification) {
  const QString& sender = notification.sender_name;
  if (const std::optional<GunRowControl> control = ParseGunRowControl(sender)) {
    OnRowControl(notification, *control);
    return;
  }
  const auto index = static_cast<int>(static_cast<std::intptr_t>(notification.wparam));
  if (notification.type == notify::kSetFocus) {
    if (path_view_) path_view_->SetCurrentStep(-1);
  } else if (notification.type == notify::kItemSelect && sender == QLatin1String("gun_list")) {
    CommitPendingEdits();
    SelectRow(index);
  } else if (notification.type == notify::kItemSelect && sender == QLatin1String("combo_gun")) {
    CommitPendingEdits();
    editing_.SetStepCount(index + 1);
    ShowRows();
    ShowPath();
  } else {
    SkinWindow::Notify(notification);
  }
}

void CMS_1_Gun::OnRowControl(const Notification& notification, const GunRowControl& control) {
  QLineEdit* edit = RowEdit(control.row, control.field);
  if (!edit) return;
  if (notification.type == notify::kClick && control.delta != 0) {
    StepValue(control.row, control.field, control.delta);
  } else if (control.delta != 0) {
    if (notification.type == notify::kSetFocus && path_view_) {
      path_view_->SetCurrentStep(control.row);
    }
  } else if (notification.type == notify::kTextChanged) {
    FilterEdit(edit, control.field);
    typed_.insert(edit->objectName());
  } else if (notification.type == notify::kKillFocus || notification.type == notify::kReturn) {
    if (typed_.contains(edit->objectName())) CommitEdit(control);
  } else if (notification.type == notify::kSetFocus && path_view_) {
    path_view_->SetCurrentStep(control.row);
  }
}

void CMS_1_Gun::StepValue(int row, GunField field, int delta) {
  QLineEdit* edit = RowEdit(row, field);
  if (!edit || !editing_.has_current()) return;
  // The step counts from the text the edit shows, typed or not.
  typed_.remove(edit->objectName());
  CommitPendingEdits();
  ShowValue(row, field, editing_.Step(row, field, delta, edit->text()));
  ShowPath();
  if (path_view_) path_view_->SetCurrentStep(row);
}

bool CMS_1_Gun::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
      if (const std::optional<GunRowControl> control = ParseGunRowControl(watched->objectName())) {
        StepValue(control->row, control->field, key == Qt::Key_Up ? 1 : -1);
        return true;
      }
    }
  }
  return SkinWindow::eventFilter(watched, event);
}

void CMS_1_Gun::FilterEdit(QLineEdit* edit, GunField field) {
  const QString text = edit->text();
  const QString kept = field == GunField::kDelay ? KeepDigits(text) : KeepSignedDigits(text);
  if (kept == text) return;
  Quietly(edit, [&] {
    edit->setText(kept);
    edit->setCursorPosition(static_cast<int>(kept.size()));
  });
}

void CMS_1_Gun::CommitEdit(const GunRowControl& control) {
  QLineEdit* edit = RowEdit(control.row, control.field);
  if (!edit) return;
  typed_.remove(edit->objectName());
  ShowValue(control.row, control.field, editing_.Type(control.row, control.field, edit->text()));
  ShowPath();
}

void CMS_1_Gun::CommitPendingEdits() {
  const QSet<QString> pending = std::exchange(typed_, {});
  for (const QString& name : pending) {
    if (const std::optional<GunRowControl> control = ParseGunRowControl(name)) {
      CommitEdit(*control);
    }
  }
}

void CMS_1_Gun::OnClick(const Notification& notification) {
  const QString& sender = notification.sender_name;
  CommitPendingEdits();
  if (sender == QLatin1String("btn_exit")) {
    Close(1);
  } else if (sender == QLatin1String("add_btn")) {
    AddGun();
  } else if (sender == QLatin1String("delete_btn")) {
    DeleteGun();
  } else if (sender == QLatin1String("rename_btn")) {
    RenameGun();
  } else if (sender == QLatin1String("import_btn")) {
    ImportGun();
  } else if (sender == QLatin1String("export_btn")) {
    ExportGun();
  }
}

void CMS_1_Gun::AddGun() {
  const int position = editing_.Add(ProgramLanguage());
  FillList();
  SelectRow(position);
}

void CMS_1_Gun::DeleteGun() {
  const int position = list_ ? list_->currentRow() : -1;
  if (position < 0 || !editing_.has_current()) return;
  if (!message_box_ || message_box_(this, QStringLiteral("delete_gun_text")) != 1) return;
  const int next = editing_.Delete(position);
  FillList();
  SelectRow(next);
}

void CMS_1_Gun::RenameGun() {
  if (!editing_.has_current()) return;
  CMS_1_GunName dialog(this, QStringLiteral("profile_name_2_text"), core_.guns(), message_box_);
  if (dialog.Run() != 1) return;
  editing_.Rename(dialog.name());
  if (QListWidgetItem* item = list_ ? list_->item(editing_.selected()) : nullptr) {
    item->setText(editing_.current()->name());
  }
}

QString CMS_1_Gun::ChooseGunFile(bool save) {
  // The data folder, the parent of the stores' own folder.
  return ChooseRecordFile(this, RecordFileKind::kGun, save,
                          QFileInfo(core_.stores().StoreFolder()).absolutePath());
}

void CMS_1_Gun::ImportGun() {
  const QString path = ChooseGunFile(false);
  if (path.isEmpty()) return;
  const ImportResult result = core_.ImportGunFile(path);
  if (result.status != FileStatus::kOk) return;  // the core told the user why
  FillList();
  SelectRow(result.index);
}

void CMS_1_Gun::ExportGun() {
  const GunData* gun = editing_.current();
  if (!gun) return;
  const QString path = ChooseGunFile(true);
  if (path.isEmpty()) return;
  core_.ExportGun(*gun, path);  // a failure is told by the core
}

}  // namespace mokta
