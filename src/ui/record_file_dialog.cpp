#include "ui/record_file_dialog.h"

#include <QFileDialog>

#include "framework/modal_test_hook.h"

namespace mokta {

QString ChooseRecordFile(QWidget* parent, RecordFileKind kind, bool save, const QString& folder) {
  // The descriptions are the ones users of the mouse know, spelling included.
  QString filter = QStringLiteral("Profile Flie (*.pro *.PRO)");
  QString suffix = QStringLiteral("pro");
  if (kind == RecordFileKind::kMacro) {
    filter = QStringLiteral("Macro Flie (*.macro *.MACRO)");
    suffix = QStringLiteral("macro");
  } else if (kind == RecordFileKind::kGun) {
    filter = QStringLiteral("Gun Flie (*.gun *.GUN)");
    suffix = QStringLiteral("gun");
  }
  QFileDialog dialog(parent);
  dialog.setNameFilter(filter);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::ReadOnly, false);
  if (!folder.isEmpty()) dialog.setDirectory(folder);
  if (save) dialog.setDefaultSuffix(suffix);
  const std::optional<int> answer = AskModalTestHook(dialog);
  const int result = answer ? *answer : dialog.exec();
  if (result != QDialog::Accepted) return {};
  return dialog.selectedFiles().value(0);
}

}  // namespace mokta
