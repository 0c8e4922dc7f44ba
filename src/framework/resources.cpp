#include "framework/resources.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "data/paths.h"
#include "framework/framework_log.h"

namespace mokta {
namespace {

// Set on the application object once the sheet has been applied (or found missing).
constexpr char kSheetAppliedProperty[] = "_mokta_skin_qss_applied";

}  // namespace

QString ResourceFolder() {
  QString folder = qEnvironmentVariable("MOKTA_RES_DIR");
  if (folder.isEmpty()) return ExeFolder() + QStringLiteral("res/");
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  return folder;
}

QString ResourcePath(const QString& relative) {
  if (QDir::isAbsolutePath(relative)) return relative;
  return ResourceFolder() + relative;
}

QString ResolveStyleSheetUrls(const QString& sheet, const QString& folder) {
  // url( followed by an optional quote, then anything that is neither absolute, a Qt resource
  // (":/..."), nor a scheme ("file:", "data:").
  static const QRegularExpression relative_url(
      QStringLiteral(R"(url\(\s*(["']?)(?![/:]|[A-Za-z][A-Za-z0-9+.-]*:))"));
  QString out = sheet;
  out.replace(relative_url, QStringLiteral("url(\\1") + folder);
  return out;
}

void ApplySkinStyleSheet() {
  QCoreApplication* app = QCoreApplication::instance();
  auto* gui = qobject_cast<QApplication*>(app);
  if (gui == nullptr || gui->property(kSheetAppliedProperty).toBool()) return;
  gui->setProperty(kSheetAppliedProperty, true);
  const QString path = ResourcePath(QStringLiteral("skin.qss"));
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
    qCWarning(lcFramework) << "skin stylesheet not found:" << path;
    return;
  }
  const QString sheet = QString::fromUtf8(file.readAll());
  gui->setStyleSheet(ResolveStyleSheetUrls(sheet, QFileInfo(path).absolutePath() + u'/'));
}

}  // namespace mokta
