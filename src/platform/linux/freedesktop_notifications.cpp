#include "platform/linux/freedesktop_notifications.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QLoggingCategory>
#include <QStringList>
#include <QVariantMap>
#include <utility>

#include "platform/system_services.h"

namespace mokta {
namespace {

Q_LOGGING_CATEGORY(lcNotify, "mokta.notify")

const QString kService = QStringLiteral("org.freedesktop.Notifications");

}  // namespace

FreedesktopNotifications::FreedesktopNotifications(QString app_name, QString icon)
    : app_name_(std::move(app_name)), icon_(std::move(icon)) {}

bool FreedesktopNotifications::Available() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || !bus.interface()) return false;
  // A service started on demand counts too.
  if (bus.interface()->isServiceRegistered(kService)) return true;
  const QStringList activatable = bus.interface()->activatableServiceNames();
  return activatable.contains(kService);
}

bool FreedesktopNotifications::Notify(const QString& title, const QString& text) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    qCWarning(lcNotify) << "no session bus for the notice:" << text;
    return false;
  }
  QDBusMessage call =
      QDBusMessage::createMethodCall(kService, QStringLiteral("/org/freedesktop/Notifications"),
                                     kService, QStringLiteral("Notify"));
  // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout (-1: the
  // desktop's own).
  call << app_name_ << 0u << icon_ << title << text << QStringList() << QVariantMap() << -1;
  if (!bus.send(call)) {
    qCWarning(lcNotify) << "the notice could not be sent:" << bus.lastError().message();
    return false;
  }
  return true;
}

std::unique_ptr<DesktopNotifications> MakeDesktopNotifications() {
  return std::make_unique<FreedesktopNotifications>(QStringLiteral("Mokta Gaming Mouse"),
                                                    QStringLiteral("mokta-mouse"));
}

}  // namespace mokta
