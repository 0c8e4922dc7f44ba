#include "data/paths.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace mokta {
namespace {

QString WithSlash(QString folder) {
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  return folder;
}

// Creates `folder` and its parents when it is not a folder yet; returns it unchanged.
QString Created(const QString& folder) {
  if (!QFileInfo(folder).isDir()) QDir().mkpath(folder);
  return folder;
}

// `path` made absolute with its existing part resolved: the longest existing ancestor is
// canonicalised and the rest appended, so a folder that does not exist yet still compares.
QString ResolvedPath(const QString& path) {
  QString rest;
  QString existing = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
  while (!QFileInfo::exists(existing) && existing != QStringLiteral("/")) {
    rest = QLatin1Char('/') + QFileInfo(existing).fileName() + rest;
    existing = QFileInfo(existing).path();
  }
  const QString canonical = QFileInfo(existing).canonicalFilePath();
  const QString base = canonical.isEmpty() ? existing : canonical;
  return QDir::cleanPath(base + rest);
}

}  // namespace

QString ExeFolder() {
  QString folder;
  if (QCoreApplication::instance() != nullptr) {
    folder = QCoreApplication::applicationDirPath();
  } else {
    // Without an application object (tools and tests), ask the system for the executable.
    folder = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    folder = folder.isEmpty() ? QDir::currentPath() : QFileInfo(folder).absolutePath();
  }
  return WithSlash(folder);
}

bool FolderIsWritable(const QString& folder) {
  return access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
}

QString UserDataLocationFor(const QString& xdg_data_home, const QString& home) {
  // A relative XDG_DATA_HOME is invalid and ignored, as the base directory rules say.
  const QString base = QDir::isAbsolutePath(xdg_data_home)
                           ? xdg_data_home
                           : WithSlash(home) + QStringLiteral(".local/share");
  return WithSlash(base) + QStringLiteral("mokta-mouse/");
}

QString UserDataLocation() {
  QString home = qEnvironmentVariable("HOME");
  if (home.isEmpty()) home = QDir::homePath();
  return UserDataLocationFor(qEnvironmentVariable("XDG_DATA_HOME"), home);
}

QString ChooseDataFolder(const QString& exe_folder, const QString& user_location,
                         const FolderWritableTest& writable) {
  if (QFileInfo::exists(exe_folder + QLatin1String(kInstalledMarker))) {
    return user_location + QStringLiteral("Data/");
  }
  const QString beside = exe_folder + QStringLiteral("Data/");
  const bool usable = QFileInfo(beside).isDir() ? writable(beside) : writable(exe_folder);
  return usable ? beside : user_location + QStringLiteral("Data/");
}

QString DataFolderIn(const QString& exe_folder) {
  return Created(ChooseDataFolder(exe_folder, UserDataLocation(), FolderIsWritable));
}

QString DataFolder() {
  const QString chosen = qEnvironmentVariable("MOKTA_DATA_DIR");
  if (chosen.isEmpty()) return DataFolderIn(ExeFolder());
  return Created(WithSlash(chosen));
}

bool PathIsInside(const QString& path, const QString& folder) {
  if (folder.isEmpty() || path.isEmpty()) return false;
  const QString inner = ResolvedPath(path);
  const QString outer = ResolvedPath(folder);
  return inner == outer || inner.startsWith(WithSlash(outer));
}

}  // namespace mokta
