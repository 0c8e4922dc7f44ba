#include "fake_bluez.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDeadlineTimer>
#include <QThread>
#include <QtDebug>

#ifndef MOKTA_FAKE_BLUEZ_TEMPLATE
#error "MOKTA_FAKE_BLUEZ_TEMPLATE must name tests/fake_bluez_mouse.py"
#endif
#ifndef MOKTA_FAKE_BLUEZ_PYTHON
#define MOKTA_FAKE_BLUEZ_PYTHON "/usr/bin/python3"
#endif

namespace mokta::test {
namespace {

constexpr const char* kService = "org.bluez";
constexpr const char* kControlInterface = "org.mokta.FakeBluez";
// Long enough for a loaded machine, short enough that a hung fake fails the test quickly.
constexpr int kCallTimeoutMs = 5000;
// How often the bus is asked whether the fake's name has come or gone.
constexpr int kPollMs = 20;

}  // namespace

FakeBluez::~FakeBluez() {
  Stop();
}

bool FakeBluez::Start(int timeout_ms) {
  last_error_.clear();
  if (IsRunning()) return true;
  if (qEnvironmentVariableIsEmpty("DBUS_SYSTEM_BUS_ADDRESS")) {
    Fail("DBUS_SYSTEM_BUS_ADDRESS is not set: run the test under tests/with_system_bus.sh");
    return false;
  }
  if (!Bus().isConnected()) {
    Fail("cannot connect to the bus of DBUS_SYSTEM_BUS_ADDRESS: " + Bus().lastError().message());
    return false;
  }
  if (Bus().interface()->isServiceRegistered(kService)) {
    Fail("org.bluez is already on the bus: is this the real system bus?");
    return false;
  }
  QStringList arguments = {"-m", "dbusmock", "--system", "--template", MOKTA_FAKE_BLUEZ_TEMPLATE};
  const QString log = qEnvironmentVariable("MOKTA_FAKE_BLUEZ_LOG");
  if (!log.isEmpty()) arguments << "-l" << log;
  // The fake logs each call on its standard output unless told otherwise; nobody reads it, and
  // a full pipe would stop the fake.
  process_.setStandardOutputFile(QProcess::nullDevice());
  process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process_.start(MOKTA_FAKE_BLUEZ_PYTHON, arguments);
  if (!process_.waitForStarted(timeout_ms)) {
    Fail(QString("cannot start %1: %2").arg(MOKTA_FAKE_BLUEZ_PYTHON, process_.errorString()));
    return false;
  }
  if (!WaitForService(true, timeout_ms)) {
    Stop();
    return false;
  }
  return true;
}

bool FakeBluez::Stop(int timeout_ms) {
  if (!IsRunning()) return true;
  process_.kill();
  if (!process_.waitForFinished(timeout_ms)) {
    Fail("the fake did not end after being killed");
    return false;
  }
  return WaitForService(false, timeout_ms);
}

bool FakeBluez::WaitForService(bool present, int timeout_ms) {
  const QDeadlineTimer deadline(timeout_ms);
  QDBusConnectionInterface* bus = Bus().interface();
  while (bus->isServiceRegistered(kService).value() != present) {
    if (deadline.hasExpired()) {
      Fail(QString("org.bluez did not %1 the bus within %2 ms")
               .arg(present ? "come onto" : "leave")
               .arg(timeout_ms));
      return false;
    }
    if (present) {
      // Doubles as the pause between two looks: a fake that died (a broken template, no
      // python3-dbusmock) fails at once instead of at the deadline.
      if (process_.waitForFinished(kPollMs)) {
        Fail(QString("the fake ended before owning org.bluez (exit status %1; see its errors "
                     "above)")
                 .arg(process_.exitCode()));
        return false;
      }
    } else {
      QThread::msleep(kPollMs);
    }
  }
  return true;
}

bool FakeBluez::Call(const QString& method, const QVariantList& args, QDBusMessage* reply) {
  if (!IsRunning()) {
    Fail(method + ": the fake is not running");
    return false;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(kService, "/", kControlInterface, method);
  call.setArguments(args);
  // QDBus::Block: no event loop runs meanwhile, so no signal reaches the test inside a call.
  const QDBusMessage answer = Bus().call(call, QDBus::Block, kCallTimeoutMs);
  if (answer.type() != QDBusMessage::ReplyMessage) {
    Fail(QString("%1: %2: %3").arg(method, answer.errorName(), answer.errorMessage()));
    return false;
  }
  if (reply) *reply = answer;
  return true;
}

void FakeBluez::Fail(const QString& text) {
  last_error_ = text;
  qWarning().noquote() << "fake BlueZ:" << text;
}

QString FakeBluez::AddMouse(const QString& address, bool paired, bool connected,
                            const QString& modalias) {
  QDBusMessage reply;
  if (!Call("AddMouse", {address, paired, connected, modalias}, &reply)) return {};
  if (reply.signature() != "o") {
    Fail("AddMouse: unexpected answer " + reply.signature());
    return {};
  }
  return reply.arguments().at(0).value<QDBusObjectPath>().path();
}

bool FakeBluez::SetConnected(const QString& device_path, bool connected) {
  return Call("SetConnected",
              {QVariant::fromValue(QDBusObjectPath(device_path)), QVariant(connected)});
}

bool FakeBluez::SetPowered(bool powered) {
  return Call("SetPowered", {powered});
}

bool FakeBluez::Notify(const QString& device_path, const QByteArray& value) {
  return Call("Notify", {QVariant::fromValue(QDBusObjectPath(device_path)), value});
}

bool FakeBluez::SetWriteMode(WriteMode mode) {
  const char* name = mode == WriteMode::kReject   ? "reject"
                     : mode == WriteMode::kSilent ? "silent"
                                                  : "accept";
  return Call("SetWriteMode", {QString(name)});
}

bool FakeBluez::SetSilentSeconds(double seconds) {
  return Call("SetSilentSeconds", {seconds});
}

std::vector<FakeBluez::Write> FakeBluez::GetWrites() {
  QDBusMessage reply;
  if (!Call("GetWrites", {}, &reply)) return {};
  if (reply.signature() != "a(ays)") {
    Fail("GetWrites: unexpected answer " + reply.signature());
    return {};
  }
  std::vector<Write> writes;
  const auto list = reply.arguments().at(0).value<QDBusArgument>();
  list.beginArray();
  while (!list.atEnd()) {
    Write write;
    list.beginStructure();
    list >> write.first >> write.second;
    list.endStructure();
    writes.push_back(std::move(write));
  }
  list.endArray();
  return writes;
}

bool FakeBluez::ClearWrites() {
  return Call("ClearWrites", {});
}

bool FakeBluez::RemoveCharacteristics(const QString& device_path) {
  return Call("RemoveCharacteristics", {QVariant::fromValue(QDBusObjectPath(device_path))});
}

std::optional<FakeBluez::NotifyCalls> FakeBluez::GetNotifyCalls() {
  QDBusMessage reply;
  if (!Call("GetNotifyCalls", {}, &reply)) return std::nullopt;
  if (reply.signature() != "(ii)") {
    Fail("GetNotifyCalls: unexpected answer " + reply.signature());
    return std::nullopt;
  }
  NotifyCalls calls;
  const auto pair = reply.arguments().at(0).value<QDBusArgument>();
  pair.beginStructure();
  pair >> calls.start >> calls.stop;
  pair.endStructure();
  return calls;
}

QString FakeBluez::ServicePath(const QString& device_path) {
  return device_path + "/service0010";
}

QString FakeBluez::WriteCharacteristicPath(const QString& device_path) {
  return ServicePath(device_path) + "/char0011";
}

QString FakeBluez::NotifyCharacteristicPath(const QString& device_path) {
  return ServicePath(device_path) + "/char0013";
}

QString FakeBluez::DecoyCharacteristicPath(const QString& device_path) {
  return ServicePath(device_path) + "/char0016";
}

}  // namespace mokta::test
