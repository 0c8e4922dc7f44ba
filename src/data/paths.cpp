#include "data/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace mokta {

QString ExeFolder() {
  QString folder;
  if (QCoreApplication::instance() != nullptr) {
    folder = QCoreApplication::applicationDirPath();
  } else {
    // Without an application object (tools and tests), ask the system for the executable.
    folder = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    folder = folder.isEmpty() ? QDir::currentPath() : QFileInfo(folder).absolutePath();
  }
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  return folder;
}

QString DataFolderIn(const QString& exe_folder) {
  const QString folder = exe_folder + QStringLiteral("Data");
  if (!QFileInfo(folder).isDir()) {
    QDir().mkdir(folder);
  }
  return folder + QLatin1Char('/');
}

QString DataFolder() {
  QString folder = qEnvironmentVariable("MOKTA_DATA_DIR");
  if (folder.isEmpty()) return DataFolderIn(ExeFolder());
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  if (!QFileInfo(folder).isDir()) QDir().mkpath(folder);
  return folder;
}

}  // namespace mokta
