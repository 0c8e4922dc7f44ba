#include "framework/menu_builder.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QXmlStreamReader>
#include <utility>

#include "framework/control_text.h"
#include "framework/framework_log.h"
#include "framework/language_file.h"
#include "framework/resources.h"

namespace mokta {
namespace {

// Real menus nest a level or two; the limit keeps a hostile file from exhausting the stack.
constexpr int kMaxMenuDepth = 16;

QString MenuText(const QXmlStreamAttributes& attributes) {
  const QString text = attributes.value(QLatin1String("text")).toString();
  if (text.isEmpty()) return attributes.value(QLatin1String("name")).toString();
  return IsTextKey(text) ? LanguageText(text) : text;
}

// Fills `menu`, `depth` levels below the file's top menu, with the children of the current
// <Menu> element. On return the reader stands on that element's end (or on an error).
void ReadMenu(QXmlStreamReader& xml, QMenu* menu, const MenuCommandHandler& on_command, int depth) {
  while (xml.readNextStartElement()) {
    const QXmlStreamAttributes attributes = xml.attributes();
    if (xml.name() == u"Item") {
      QAction* action = menu->addAction(MenuText(attributes));
      const QString name = attributes.value(QLatin1String("name")).toString();
      action->setObjectName(name);
      action->setEnabled(attributes.value(QLatin1String("enabled")) != u"false");
      action->setCheckable(attributes.value(QLatin1String("checkable")) == u"true");
      QObject::connect(action, &QAction::triggered, menu, [on_command, name] { on_command(name); });
      xml.skipCurrentElement();
    } else if (xml.name() == u"Separator") {
      menu->addSeparator();
      xml.skipCurrentElement();
    } else if (xml.name() == u"Menu") {
      if (depth == kMaxMenuDepth) {
        xml.raiseError(QStringLiteral("menus nest deeper than %1 levels").arg(kMaxMenuDepth));
        return;
      }
      QMenu* sub = menu->addMenu(MenuText(attributes));
      sub->setObjectName(attributes.value(QLatin1String("name")).toString());
      ReadMenu(xml, sub, on_command, depth + 1);
    } else {
      xml.skipCurrentElement();
    }
  }
}

}  // namespace

QMenu* BuildMenu(const QString& menu_file, QWidget* parent, MenuCommandHandler on_command) {
  auto* menu = new QMenu(parent);
  menu->setObjectName(menu_file);
  const QString path = ResourcePath(menu_file);
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    qCWarning(lcFramework) << "menu file" << path << "cannot be read:" << file.errorString();
    return menu;
  }
  QXmlStreamReader xml(&file);
  if (xml.readNextStartElement() && xml.name() == u"Menu") {
    ReadMenu(
        xml, menu, on_command ? on_command : [](const QString&) {}, 0);
  } else if (!xml.hasError()) {
    xml.raiseError(QStringLiteral("the root element is not <Menu>"));
  }
  if (xml.hasError()) {
    qCWarning(lcFramework).noquote() << "menu file" << path << "is damaged:" << xml.errorString()
                                     << "at line" << xml.lineNumber() << "; the menu is empty";
    menu->clear();
    qDeleteAll(menu->findChildren<QMenu*>(Qt::FindDirectChildrenOnly));
  }
  return menu;
}

}  // namespace mokta
