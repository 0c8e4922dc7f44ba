// The fake BlueZ seen from a client the way the GATT transport sees BlueZ: over QtDBus, on the
// private bus of tests/with_system_bus.sh.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QMap>
#include <QObject>
#include <ostream>

#include "fake_bluez.h"
#include "qt_wait.h"

// Readable failures: Qt's strings and bytes as text and hex, not as raw objects.
void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}
void PrintTo(const QByteArray& bytes, std::ostream* out) {
  *out << (bytes.isEmpty() ? "(no bytes)" : bytes.toHex(' ').toStdString());
}

namespace mokta::test {
namespace {

using InterfaceMap = QMap<QString, QVariantMap>;
using ManagedObjects = QMap<QDBusObjectPath, InterfaceMap>;

// Keeps every signal it is connected to.
class SignalLog : public QObject {
  Q_OBJECT

 public:
  QList<QDBusMessage> messages;

 public slots:
  void Record(const QDBusMessage& message) { messages.append(message); }
};

QDBusMessage Call(const QString& path, const QString& interface, const QString& method,
                  const QVariantList& args = {}, int timeout_ms = 5000) {
  QDBusMessage call = QDBusMessage::createMethodCall("org.bluez", path, interface, method);
  call.setArguments(args);
  return FakeBluez::Bus().call(call, QDBus::Block, timeout_ms);
}

ManagedObjects GetManagedObjects() {
  const QDBusMessage reply = Call("/", "org.freedesktop.DBus.ObjectManager", "GetManagedObjects");
  ManagedObjects objects;
  if (reply.type() == QDBusMessage::ReplyMessage && reply.signature() == "a{oa{sa{sv}}}")
    reply.arguments().at(0).value<QDBusArgument>() >> objects;
  return objects;
}

// The UUIDs of the characteristics below `device_path`.
QStringList CharacteristicUuids(const ManagedObjects& objects, const QString& device_path) {
  QStringList uuids;
  for (auto it = objects.begin(); it != objects.end(); ++it) {
    const auto characteristic = it.value().find("org.bluez.GattCharacteristic1");
    if (it.key().path().startsWith(device_path + "/") && characteristic != it.value().end())
      uuids << characteristic->value("UUID").toString();
  }
  uuids.sort();
  return uuids;
}

QDBusMessage WriteValue(const QString& device, const QByteArray& value, const QVariantMap& options,
                        int timeout_ms = 5000) {
  return Call(FakeBluez::WriteCharacteristicPath(device), "org.bluez.GattCharacteristic1",
              "WriteValue", {value, options}, timeout_ms);
}

class FakeBluezTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(fake_.Start()) << fake_.LastError().toStdString(); }

  void Listen(const QString& path, const QString& interface, const QString& name) {
    ASSERT_TRUE(FakeBluez::Bus().connect("org.bluez", path, interface, name, &log_,
                                         SLOT(Record(QDBusMessage))));
  }

  FakeBluez fake_;
  SignalLog log_;
};

TEST_F(FakeBluezTest, ConnectedMouseServesItsCharacteristicsWritesAndNotifications) {
  const QString device = fake_.AddMouse();
  ASSERT_EQ(device, "/org/bluez/hci0/dev_AA_BB_CC_DD_EE_FF") << fake_.LastError().toStdString();

  const ManagedObjects objects = GetManagedObjects();
  EXPECT_EQ(objects.value(QDBusObjectPath(device))
                .value("org.bluez.Device1")
                .value("Modalias")
                .toString(),
            "usb:v045Ep00CCd0001");
  EXPECT_EQ(
      CharacteristicUuids(objects, device),
      (QStringList{"00002a19-0000-1000-8000-00805f9b34fb", "0000fee3-0000-1000-8000-00805f9b34fb",
                   "0000fee4-0000-1000-8000-00805f9b34fb"}));

  const QByteArray command("\x05\x01\x00\xff", 4);
  EXPECT_EQ(WriteValue(device, command, {{"type", "request"}}).type(), QDBusMessage::ReplyMessage);
  EXPECT_EQ(fake_.GetWrites(), (std::vector<FakeBluez::Write>{{command, "request"}}));

  const QString notify_path = FakeBluez::NotifyCharacteristicPath(device);
  EXPECT_FALSE(fake_.Notify(device, "\x01")) << "a notification nobody subscribed to";
  Listen(notify_path, "org.freedesktop.DBus.Properties", "PropertiesChanged");
  ASSERT_EQ(Call(notify_path, "org.bluez.GattCharacteristic1", "StartNotify").type(),
            QDBusMessage::ReplyMessage);
  ASSERT_TRUE(fake_.Notify(device, QByteArray("\x00\x10\x02\x00", 4)));
  // Notifying turning true, then the value.
  WAIT_EQ(log_.messages.size(), 2);
  const QDBusMessage notification = log_.messages.at(1);
  EXPECT_EQ(notification.arguments().at(0).toString(), "org.bluez.GattCharacteristic1");
  const auto changed = qdbus_cast<QVariantMap>(notification.arguments().at(1));
  EXPECT_EQ(changed.value("Value").toByteArray(), QByteArray("\x00\x10\x02\x00", 4));
  EXPECT_EQ(fake_.GetNotifyCalls(), (FakeBluez::NotifyCalls{1, 0}));
}

TEST_F(FakeBluezTest, DisconnectingRemovesTheGattObjects) {
  const QString device = fake_.AddMouse();
  Listen("/", "org.freedesktop.DBus.ObjectManager", "InterfacesRemoved");
  ASSERT_TRUE(fake_.SetConnected(device, false));
  WAIT_EQ(log_.messages.size(), 5);  // the service, three characteristics, a descriptor
  QStringList removed;
  for (const QDBusMessage& message : log_.messages)
    removed << message.arguments().at(0).value<QDBusObjectPath>().path();
  EXPECT_TRUE(removed.contains(FakeBluez::WriteCharacteristicPath(device)));
  EXPECT_TRUE(removed.contains(FakeBluez::NotifyCharacteristicPath(device)));
  EXPECT_EQ(removed.last(), FakeBluez::ServicePath(device)) << "children go first";

  const ManagedObjects objects = GetManagedObjects();
  EXPECT_TRUE(CharacteristicUuids(objects, device).isEmpty());
  EXPECT_FALSE(objects.value(QDBusObjectPath(device))
                   .value("org.bluez.Device1")
                   .value("Connected")
                   .toBool());
}

TEST_F(FakeBluezTest, AdapterSwitchedOffDisconnectsAndKeepsMiceAwayUntilOn) {
  const QString device = fake_.AddMouse();
  ASSERT_TRUE(fake_.SetPowered(false));
  EXPECT_TRUE(CharacteristicUuids(GetManagedObjects(), device).isEmpty());
  EXPECT_FALSE(fake_.SetConnected(device, true));
  EXPECT_TRUE(fake_.AddMouse("11:22:33:44:55:66").isEmpty());
  EXPECT_FALSE(
      GetManagedObjects().contains(QDBusObjectPath("/org/bluez/hci0/dev_11_22_33_44_55_66")));

  ASSERT_TRUE(fake_.SetPowered(true));
  EXPECT_TRUE(CharacteristicUuids(GetManagedObjects(), device).isEmpty()) << "no reconnection";
  ASSERT_TRUE(fake_.SetConnected(device, true));
  EXPECT_EQ(CharacteristicUuids(GetManagedObjects(), device).size(), 3);
}

TEST_F(FakeBluezTest, RejectedWriteFailsAndSilentWriteTimesOut) {
  const QString device = fake_.AddMouse();
  ASSERT_TRUE(fake_.SetWriteMode(FakeBluez::WriteMode::kReject));
  const QDBusMessage rejected = WriteValue(device, "\x01", {});
  EXPECT_EQ(rejected.errorName(), "org.bluez.Error.Failed");

  ASSERT_TRUE(fake_.SetWriteMode(FakeBluez::WriteMode::kSilent));
  const QDBusMessage unanswered = WriteValue(device, "\x02", {{"type", "request"}}, 500);
  EXPECT_EQ(unanswered.errorName(), "org.freedesktop.DBus.Error.NoReply");
  // The fake goes on answering while that write hangs.
  EXPECT_EQ(fake_.GetWrites(), (std::vector<FakeBluez::Write>{{"\x01", ""}, {"\x02", "request"}}));
}

TEST_F(FakeBluezTest, StoppedFakeLeavesTheBusAndComesBackEmpty) {
  ASSERT_FALSE(fake_.AddMouse().isEmpty());
  ASSERT_TRUE(fake_.Stop()) << fake_.LastError().toStdString();
  EXPECT_FALSE(FakeBluez::Bus().interface()->isServiceRegistered("org.bluez").value());
  EXPECT_TRUE(fake_.GetWrites().empty());
  EXPECT_FALSE(fake_.LastError().isEmpty()) << "a call to a stopped fake reports it";

  ASSERT_TRUE(fake_.Start()) << fake_.LastError().toStdString();
  const ManagedObjects objects = GetManagedObjects();
  EXPECT_FALSE(objects.isEmpty()) << "the bluez5 template's /org/bluez";
  EXPECT_FALSE(objects.contains(QDBusObjectPath("/org/bluez/hci0")));
}

}  // namespace
}  // namespace mokta::test

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  qDBusRegisterMetaType<mokta::test::InterfaceMap>();
  qDBusRegisterMetaType<mokta::test::ManagedObjects>();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

#include "fake_bluez_smoke_test.moc"
