#include "platform/linux/bluez_gatt.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QLoggingCategory>
#include <QTime>
#include <span>
#include <utility>

#include "device/device_events.h"

namespace mokta {
namespace {

Q_LOGGING_CATEGORY(lcBle, "mokta.ble")

constexpr char kObjectManager[] = "org.freedesktop.DBus.ObjectManager";
constexpr char kProperties[] = "org.freedesktop.DBus.Properties";
constexpr std::size_t kMaxWriteLength = 996;

QDBusMessage BluezCall(const QString& path, const char* interface, const char* method) {
  QDBusMessage call = QDBusMessage::createMethodCall(
      QLatin1String(kBluezService), path, QLatin1String(interface), QLatin1String(method));
  // Never start the Bluetooth service just by asking: a stopped service is a diagnosis.
  call.setAutoStartService(false);
  return call;
}

QDBusArgument ArgumentAt(const QDBusMessage& message, int index) {
  return qvariant_cast<QDBusArgument>(message.arguments().at(index));
}

}  // namespace

BluezGatt::BluezGatt(Options options) : options_(options) {}

BluezGatt::~BluezGatt() {
  Stop();
}

bool BluezGatt::PresentNow() {
  QDBusConnection bus = QDBusConnection::systemBus();
  objects_.clear();
  service_up_ = false;
  if (bus.isConnected()) {
    const QDBusMessage reply =
        bus.call(BluezCall(QStringLiteral("/"), kObjectManager, "GetManagedObjects"), QDBus::Block,
                 options_.call_timeout_ms);
    if (reply.type() == QDBusMessage::ReplyMessage &&
        reply.signature() == QLatin1String("a{oa{sa{sv}}}")) {
      objects_ = ReadBluezObjects(ArgumentAt(reply, 0));
      service_up_ = true;
    } else {
      qCInfo(lcBle) << "BlueZ did not answer:" << reply.errorName() << reply.errorMessage();
    }
  } else {
    qCInfo(lcBle) << "no system bus:" << bus.lastError().message();
  }
  Evaluate();
  return present_;
}

void BluezGatt::Start(std::function<void(bool arrived)> changed) {
  if (started_) return;
  started_ = true;
  changed_ = std::move(changed);
  ConnectSignals();
  // Catches what changed since the start-up test.
  RefreshAsync();
}

void BluezGatt::Stop() {
  if (!started_) {
    SetLinkUp(false);
    return;
  }
  started_ = false;
  SetLinkUp(false);
  DisconnectSignals();
  changed_ = nullptr;
  observers_ = {};
}

void BluezGatt::SetObservers(Observers observers) {
  observers_ = std::move(observers);
}

void BluezGatt::ConnectSignals() {
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) return;
  const QString service = QLatin1String(kBluezService);
  bus.connect(service, QStringLiteral("/"), QLatin1String(kObjectManager),
              QStringLiteral("InterfacesAdded"), this, SLOT(OnInterfacesAdded(QDBusMessage)));
  bus.connect(service, QStringLiteral("/"), QLatin1String(kObjectManager),
              QStringLiteral("InterfacesRemoved"), this, SLOT(OnInterfacesRemoved(QDBusMessage)));
  // Every object of the service: devices, adapters and the subscribed characteristic.
  bus.connect(service, QString(), QLatin1String(kProperties), QStringLiteral("PropertiesChanged"),
              this, SLOT(OnPropertiesChanged(QDBusMessage)));
  service_watcher_ = new QDBusServiceWatcher(
      service, bus,
      QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration,
      this);
  connect(service_watcher_, &QDBusServiceWatcher::serviceRegistered, this, [this] {
    qCInfo(lcBle) << "BlueZ started";
    RefreshAsync();
  });
  connect(service_watcher_, &QDBusServiceWatcher::serviceUnregistered, this,
          [this] { OnServiceGone(); });
}

void BluezGatt::DisconnectSignals() {
  QDBusConnection bus = QDBusConnection::systemBus();
  const QString service = QLatin1String(kBluezService);
  bus.disconnect(service, QStringLiteral("/"), QLatin1String(kObjectManager),
                 QStringLiteral("InterfacesAdded"), this, SLOT(OnInterfacesAdded(QDBusMessage)));
  bus.disconnect(service, QStringLiteral("/"), QLatin1String(kObjectManager),
                 QStringLiteral("InterfacesRemoved"), this,
                 SLOT(OnInterfacesRemoved(QDBusMessage)));
  bus.disconnect(service, QString(), QLatin1String(kProperties),
                 QStringLiteral("PropertiesChanged"), this,
                 SLOT(OnPropertiesChanged(QDBusMessage)));
  delete service_watcher_;
  service_watcher_ = nullptr;
}

void BluezGatt::RefreshAsync() {
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) return;
  ++refreshes_pending_;
  auto* watcher = new QDBusPendingCallWatcher(
      bus.asyncCall(BluezCall(QStringLiteral("/"), kObjectManager, "GetManagedObjects"),
                    options_.call_timeout_ms),
      this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
    watcher->deleteLater();
    --refreshes_pending_;
    if (!started_) return;
    const QDBusMessage reply = watcher->reply();
    if (reply.type() == QDBusMessage::ReplyMessage &&
        reply.signature() == QLatin1String("a{oa{sa{sv}}}")) {
      objects_ = ReadBluezObjects(ArgumentAt(reply, 0));
      service_up_ = true;
      // The reply may reach us after signals that BlueZ sent later: those are applied again
      // on top of it, in order, so the tree ends as new as the newest of them.
      for (const QDBusMessage& signal : signals_since_refresh_) ApplySignal(signal);
    } else {
      objects_.clear();
      service_up_ = false;
    }
    if (refreshes_pending_ == 0) signals_since_refresh_.clear();
    Evaluate();
  });
}

void BluezGatt::OnServiceGone() {
  qCInfo(lcBle) << "BlueZ stopped";
  objects_.clear();
  service_up_ = false;
  subscribed_.clear();  // its subscriptions went with it
  Evaluate();
}

void BluezGatt::OnInterfacesAdded(const QDBusMessage& message) {
  OnTreeSignal(message);
}

void BluezGatt::OnInterfacesRemoved(const QDBusMessage& message) {
  OnTreeSignal(message);
}

void BluezGatt::OnPropertiesChanged(const QDBusMessage& message) {
  if (message.signature() != QLatin1String("sa{sv}as")) return;
  if (message.path() == subscribed_ &&
      message.arguments().at(0).toString() == QLatin1String(kBluezCharacteristic)) {
    const QVariantMap changed = qdbus_cast<QVariantMap>(ArgumentAt(message, 1));
    if (changed.contains(QStringLiteral("Value"))) {
      OnNotification(changed.value(QStringLiteral("Value")).toByteArray());
    }
  }
  OnTreeSignal(message);
}

void BluezGatt::OnTreeSignal(const QDBusMessage& message) {
  if (refreshes_pending_ > 0) signals_since_refresh_.push_back(message);
  if (ApplySignal(message)) Evaluate();
}

bool BluezGatt::ApplySignal(const QDBusMessage& message) {
  const QString signature = message.signature();
  const QList<QVariant> arguments = message.arguments();
  if (message.member() == QLatin1String("InterfacesAdded") &&
      signature == QLatin1String("oa{sa{sv}}")) {
    const QString path = qvariant_cast<QDBusObjectPath>(arguments.at(0)).path();
    const BluezInterfaces added = ReadBluezInterfaces(ArgumentAt(message, 1));
    BluezInterfaces& interfaces = objects_[path];
    for (auto it = added.constBegin(); it != added.constEnd(); ++it) interfaces[it.key()] = *it;
    service_up_ = true;
    return true;
  }
  if (message.member() == QLatin1String("InterfacesRemoved") && signature == QLatin1String("oas")) {
    const auto object = objects_.find(qvariant_cast<QDBusObjectPath>(arguments.at(0)).path());
    if (object == objects_.end()) return false;
    for (const QString& name : arguments.at(1).toStringList()) object->remove(name);
    if (object->isEmpty()) objects_.erase(object);
    return true;
  }
  if (message.member() != QLatin1String("PropertiesChanged") ||
      signature != QLatin1String("sa{sv}as")) {
    return false;
  }
  const QString interface = arguments.at(0).toString();
  const auto object = objects_.find(message.path());
  if (object == objects_.end()) return false;
  const auto properties = object->find(interface);
  if (properties == object->end()) return false;
  const QVariantMap changed = qdbus_cast<QVariantMap>(ArgumentAt(message, 1));
  for (auto it = changed.constBegin(); it != changed.constEnd(); ++it) {
    properties->insert(it.key(), *it);
  }
  for (const QString& name : arguments.at(2).toStringList()) properties->remove(name);
  // Only devices and adapters decide presence; characteristic values change all the time.
  return interface == QLatin1String(kBluezDevice) || interface == QLatin1String(kBluezAdapter);
}

void BluezGatt::Evaluate() {
  mouse_ = service_up_ ? FindBluezMouse(objects_) : BluezMouse{};
  const BleDiagnosis diagnosis = service_up_ ? mouse_.diagnosis : BleDiagnosis::kServiceNotRunning;
  if (diagnosis != diagnosis_) {
    diagnosis_ = diagnosis;
    if (diagnosis != BleDiagnosis::kNone) {
      qCInfo(lcBle) << "Bluetooth LE cannot reach the mouse:" << BleDiagnosisDescription(diagnosis);
    }
    if (observers_.diagnosis) observers_.diagnosis(diagnosis);
  }
  if (link_up_) SetWriteTarget(mouse_.write_char);
  // A characteristic that went away took its subscription with it.
  if (!subscribed_.isEmpty() && subscribed_ != mouse_.notify_char) subscribed_.clear();
  if (link_up_ && open_requested_ && subscribed_.isEmpty() && !mouse_.notify_char.isEmpty()) {
    Subscribe();
  }
  const bool present = !mouse_.device.isEmpty();
  if (present != present_) {
    present_ = present;
    qCInfo(lcBle) << (present ? "mouse connected:" : "mouse gone") << mouse_.device;
    if (changed_) changed_(present);
  }
}

void BluezGatt::SetLinkUp(bool up) {
  link_up_ = up;
  if (up) {
    SetWriteTarget(mouse_.write_char);
    return;
  }
  open_requested_ = false;
  Unsubscribe();
  SetWriteTarget(QString());
}

void BluezGatt::OpenGattLink() {
  if (!link_up_) return;
  open_requested_ = true;
  if (!subscribed_.isEmpty()) return;
  if (mouse_.notify_char.isEmpty()) {
    qCInfo(lcBle) << "the mouse's notifying characteristic is not known yet; subscribing when "
                     "BlueZ reports it";
    return;
  }
  Subscribe();
}

void BluezGatt::Subscribe() {
  subscribed_ = mouse_.notify_char;
  qCDebug(lcBle).noquote() << subscribed_;
  QDBusConnection bus = QDBusConnection::systemBus();
  auto* watcher = new QDBusPendingCallWatcher(
      bus.asyncCall(BluezCall(subscribed_, kBluezCharacteristic, "StartNotify"),
                    options_.call_timeout_ms),
      this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher] {
    watcher->deleteLater();
    // The Value changes are followed either way: another client's subscription brings them
    // too, and a characteristic that went away is noticed through the object tree.
    if (watcher->isError()) {
      qCWarning(lcBle) << "subscribing to the mouse's notifications failed:"
                       << watcher->error().name() << watcher->error().message();
    }
  });
}

void BluezGatt::Unsubscribe() {
  if (subscribed_.isEmpty()) return;
  if (service_up_) {
    QDBusConnection::systemBus().asyncCall(
        BluezCall(subscribed_, kBluezCharacteristic, "StopNotify"), options_.call_timeout_ms);
  }
  subscribed_.clear();
}

void BluezGatt::OnNotification(const QByteArray& value) {
  const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(value.constData()),
                               static_cast<std::size_t>(value.size()));
  const auto event = DecodeBleNotification(bytes);
  if (!event) {
    qCDebug(lcBle, "datasize %d", static_cast<int>(value.size()));
    qCWarning(lcBle) << "a notification of" << value.size()
                     << "bytes from the mouse was ignored (4 expected)";
    return;
  }
  const auto [left, right] = *event;
  const QTime now = QTime::currentTime();
  qCDebug(lcBle, "dwLeft = %04x, dwRight = %04x, %d:%d:%d", left, right, now.hour(), now.minute(),
          now.second());
  if (observers_.notification) observers_.notification(left, right);
}

void BluezGatt::SetWriteTarget(const QString& path) {
  std::lock_guard lock(target_mutex_);
  write_target_ = path;
}

bool BluezGatt::WriteGatt(std::span<const std::uint8_t> message) {
  std::lock_guard write_lock(write_mutex_);
  QString target;
  {
    std::lock_guard lock(target_mutex_);
    target = write_target_;
  }
  if (target.isEmpty() || message.empty() || message.size() > kMaxWriteLength) {
    if (target.isEmpty()) qCWarning(lcBle) << "no writable characteristic of the mouse is known";
    return false;
  }
  QDBusMessage call = BluezCall(target, kBluezCharacteristic, "WriteValue");
  call << QByteArray(reinterpret_cast<const char*>(message.data()),
                     static_cast<qsizetype>(message.size()))
       << QVariantMap{{QStringLiteral("type"), QStringLiteral("request")}};
  const QDBusMessage reply =
      QDBusConnection::systemBus().call(call, QDBus::Block, options_.write_timeout_ms);
  if (reply.type() != QDBusMessage::ReplyMessage) {
    qCDebug(lcBle, "Write fail!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!");
    qCWarning(lcBle) << "writing to the mouse over Bluetooth LE failed:" << reply.errorName()
                     << reply.errorMessage();
    return false;
  }
  qCDebug(lcBle, "Write Success!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!");
  return true;
}

}  // namespace mokta
