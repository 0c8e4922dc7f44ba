// The desktop notices through the freedesktop notification service, against python-dbusmock's
// notification daemon on a private session bus. Built into fake_bluez_smoke_test, whose cases
// each run on a bus of their own.

#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>

#include "platform/linux/freedesktop_notifications.h"
#include "qt_wait.h"

namespace mokta {
namespace {

TEST(FreedesktopNotificationsTest, ANoticeReachesTheServiceWithItsTitleTextAndIcon) {
  FreedesktopNotifications notices(QStringLiteral("Mokta Gaming Mouse"),
                                   QStringLiteral("mokta-mouse"));
  EXPECT_FALSE(notices.Available());  // nothing on the bus yet

  QProcess daemon;
  daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  daemon.start(QStringLiteral("/usr/bin/python3"),
               {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"),
                QStringLiteral("notification_daemon")});
  ASSERT_TRUE(daemon.waitForStarted());
  QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
  ASSERT_NE(bus, nullptr);
  WAIT_UNTIL(bus->isServiceRegistered(QStringLiteral("org.freedesktop.Notifications")));
  EXPECT_TRUE(notices.Available());

  ASSERT_TRUE(notices.Notify(QStringLiteral("Mokta Gaming Mouse"),
                             QStringLiteral("The mouse's battery is down to 15%.")));
  // The mock's own record of the calls it took: (time, method, arguments).
  QDBusMessage get_calls = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"),
      QStringLiteral("/org/freedesktop/Notifications"), QStringLiteral("org.freedesktop.DBus.Mock"),
      QStringLiteral("GetMethodCalls"));
  get_calls << QStringLiteral("Notify");
  WAIT_UNTIL([&] {
    const QDBusMessage reply = QDBusConnection::sessionBus().call(get_calls);
    if (reply.type() != QDBusMessage::ReplyMessage) return false;
    const QDBusArgument calls = reply.arguments().value(0).value<QDBusArgument>();
    int count = 0;
    calls.beginArray();
    while (!calls.atEnd()) {
      qulonglong time = 0;
      QVariantList args;
      calls.beginStructure();
      calls >> time >> args;
      calls.endStructure();
      if (args.size() >= 5 && args[0].toString() == "Mokta Gaming Mouse" &&
          args[2].toString() == "mokta-mouse" && args[3].toString() == "Mokta Gaming Mouse" &&
          args[4].toString() == "The mouse's battery is down to 15%.") {
        ++count;
      }
    }
    calls.endArray();
    return count == 1;
  }());
  daemon.terminate();
  daemon.waitForFinished();
}

}  // namespace
}  // namespace mokta
