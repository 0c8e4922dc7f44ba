#include "app/autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace mokta {
namespace {

// A path as one argument of an Exec key: quoted, with the characters the desktop entry format
// reserves inside quotes escaped.
QString ExecArgument(const QString& path) {
  QString quoted;
  for (const QChar c : path) {
    if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') quoted += u'\\';
    quoted += c;
  }
  // A literal percent sign is doubled (field codes start with one).
  quoted.replace(QLatin1String("%"), QLatin1String("%%"));
  return u'"' + quoted + u'"';
}

}  // namespace

QString AutostartEntryPathFor(const QString& xdg_config_home, const QString& home) {
  const QString base =
      QDir::isAbsolutePath(xdg_config_home) ? xdg_config_home : home + QStringLiteral("/.config");
  return QDir::cleanPath(base + QStringLiteral("/autostart/org.mokta.MoktaMouse.desktop"));
}

QString AutostartEntryPath() {
  QString home = qEnvironmentVariable("HOME");
  if (home.isEmpty()) home = QDir::homePath();
  return AutostartEntryPathFor(qEnvironmentVariable("XDG_CONFIG_HOME"), home);
}

QString AutostartEntry(const QString& program) {
  return QStringLiteral(
             "[Desktop Entry]\n"
             "Type=Application\n"
             "Name=Mokta Gaming Mouse\n"
             "Comment=Starts the mouse's configuration tool in the notification area\n"
             "Exec=env %1=1 %2\n"
             "Icon=mokta-mouse\n"
             "Terminal=false\n"
             "X-GNOME-Autostart-enabled=true\n")
      .arg(QLatin1String(kStartHiddenVariable), ExecArgument(program));
}

bool AutostartEnabled(const QString& entry_path) {
  return QFileInfo(entry_path).isFile();
}

bool SetAutostart(bool on, const QString& entry_path, const QString& program) {
  if (!on) return !QFileInfo::exists(entry_path) || QFile::remove(entry_path);
  if (!QDir().mkpath(QFileInfo(entry_path).absolutePath())) return false;
  QSaveFile file(entry_path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  file.write(AutostartEntry(program).toUtf8());
  return file.commit();
}

}  // namespace mokta
