#include "framework/skin_loader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QUiLoader>
#include <QWidget>
#include <utility>

#include "framework/color_palette.h"
#include "framework/framework_log.h"

namespace mokta {
namespace {

QHash<QString, ControlFactory>& Factories() {
  // The framework's own controls are known from the start.
  static QHash<QString, ControlFactory> factories{
      {QStringLiteral("ColorPalette"), [](QWidget* parent) { return new ColorPalette(parent); }},
  };
  return factories;
}

class SkinLoader final : public QUiLoader {
 public:
  QWidget* createWidget(const QString& class_name, QWidget* parent, const QString& name) override {
    const auto it = Factories().constFind(class_name);
    if (it == Factories().cend()) return QUiLoader::createWidget(class_name, parent, name);
    QWidget* widget = (*it)(parent);
    if (widget != nullptr) widget->setObjectName(name);
    return widget;
  }
};

}  // namespace

void RegisterSkinControl(const QString& class_name, ControlFactory factory) {
  Factories().insert(class_name, std::move(factory));
}

QWidget* LoadSkinFile(const QString& path, QWidget* parent) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    qCWarning(lcFramework) << "layout" << path << "cannot be read:" << file.errorString();
    return nullptr;
  }
  SkinLoader loader;
  loader.setTranslationEnabled(false);  // texts are language keys, looked up by the program
  loader.setWorkingDirectory(QFileInfo(path).absoluteDir());
  QWidget* root = loader.load(&file, parent);
  if (root == nullptr) {
    qCWarning(lcFramework) << "layout" << path << "is no valid form:" << loader.errorString();
    return nullptr;
  }
  if (root->isWindow() && parent != nullptr) root->setWindowFlags(Qt::Widget);
  return root;
}

}  // namespace mokta
