#include "app/file_message.h"

#include <QDir>
#include <QVariant>

#include "app/message_box.h"
#include "framework/control_text.h"
#include "framework/language_file.h"

namespace mokta {

namespace {

bool IsExport(FileOperation operation) {
  return operation == FileOperation::kExportProfile || operation == FileOperation::kExportMacro ||
         operation == FileOperation::kExportGun;
}

bool IsImport(FileOperation operation) {
  return operation == FileOperation::kImportProfile || operation == FileOperation::kImportMacro ||
         operation == FileOperation::kImportGun;
}

// Why a file the user chose could not be used: the second part of the message.
QString ReasonKey(FileProblem problem) {
  switch (problem) {
    case FileProblem::kNotRegularFile:
      return QStringLiteral("file_not_regular_reason_text");
    case FileProblem::kWrongSize:
      return QStringLiteral("file_wrong_size_reason_text");
    case FileProblem::kWriteFailed:
      return QStringLiteral("file_write_reason_text");
    default:
      return QStringLiteral("file_read_reason_text");
  }
}

QString StoreKey(FileProblem problem) {
  switch (problem) {
    case FileProblem::kSetAside:
      return QStringLiteral("store_damaged_text");
    case FileProblem::kCannotOpen:
      return QStringLiteral("store_cannot_open_text");
    case FileProblem::kNotRegularFile:
      return QStringLiteral("store_not_file_text");
    case FileProblem::kNotSaved:
      return QStringLiteral("store_not_saved_text");
    default:
      return QStringLiteral("store_write_failed_text");
  }
}

}  // namespace

FileMessage FileResultMessage(const FileResult& result) {
  if (result.ok) return {};
  const QString path = QDir::toNativeSeparators(result.path);
  if (IsExport(result.operation) || IsImport(result.operation)) {
    const QString key = IsExport(result.operation) ? QStringLiteral("file_export_failed_text")
                                                   : QStringLiteral("file_import_failed_text");
    return {key, LanguageText(key).arg(path, LanguageText(ReasonKey(result.problem)))};
  }
  const QString key = StoreKey(result.problem);
  if (result.problem == FileProblem::kSetAside) {
    return {key, LanguageText(key).arg(path, QDir::toNativeSeparators(result.other_path))};
  }
  return {key, LanguageText(key).arg(path)};
}

void ShowFileResultMessage(QWidget* parent, const FileResult& result) {
  const FileMessage message = FileResultMessage(result);
  if (message.key.isEmpty()) return;
  CMsgWnd box(parent, kWarningTitleKey, message.key);
  if (QWidget* label = box.FindOptional(QStringLiteral("warning"))) {
    SetControlText(label, message.text);
    label->setProperty("textKey", message.key);  // the key it came from, as for a plain key
  }
  box.Run();
}

}  // namespace mokta
