#include "framework/control_lookup.h"

#include <utility>

#include "framework/framework_log.h"

namespace mokta {
namespace {

MissingControlHandler& Handler() {
  static MissingControlHandler handler;
  return handler;
}

// The name a miss is reported under: the skin file of the nearest window that loaded one, or
// the root's own objectName.
QString OwnerName(const QWidget* root) {
  for (const QWidget* w = root; w != nullptr; w = w->parentWidget()) {
    const QVariant skin = w->property("_mokta_skin_file");
    if (skin.isValid()) return skin.toString();
  }
  return root != nullptr ? root->objectName() : QStringLiteral("(no window)");
}

}  // namespace

void SetMissingControlHandler(MissingControlHandler handler) {
  Handler() = std::move(handler);
}

QWidget* FindNamedWidget(const QWidget* root, const QString& name) {
  if (root->objectName() == name) return const_cast<QWidget*>(root);
  return root->findChild<QWidget*>(name);
}

void ReportMissingControl(const QWidget* root, const QString& name, const char* expected,
                          const QWidget* found) {
  MissingControl miss{
      OwnerName(root), name, QString::fromLatin1(expected),
      found != nullptr ? QString::fromLatin1(found->metaObject()->className()) : QString()};
  if (miss.found_class.isEmpty()) {
    qCWarning(lcFramework).noquote()
        << "layout" << miss.owner << "has no control" << name << "(" << miss.expected << ")";
  } else {
    qCWarning(lcFramework).noquote() << "layout" << miss.owner << "has control" << name << "as a"
                                     << miss.found_class << ", not a" << miss.expected;
  }
  if (Handler()) Handler()(miss);
}

}  // namespace mokta
