#include "platform/linux/bluez_objects.h"

#include <QDBusObjectPath>
#include <QRegularExpression>
#include <QStringList>

#include "platform/linux/udev_ble_presence.h"

namespace mokta {
namespace {

// The characteristic's UUID matches and its flags allow `use` ("write", "notify"). A
// characteristic that lists no flags at all is given the benefit of the doubt.
bool CharacteristicFits(const QVariantMap& properties, const char* uuid, const char* use) {
  if (properties.value(QStringLiteral("UUID"))
          .toString()
          .compare(QLatin1String(uuid), Qt::CaseInsensitive) != 0) {
    return false;
  }
  const QVariant flags = properties.value(QStringLiteral("Flags"));
  return !flags.isValid() || flags.toStringList().contains(QLatin1String(use));
}

void FindCharacteristics(const BluezObjects& objects, BluezMouse& mouse) {
  const QString prefix = mouse.device + QLatin1Char('/');
  for (auto it = objects.lowerBound(prefix); it != objects.end() && it.key().startsWith(prefix);
       ++it) {
    const auto characteristic = it.value().constFind(QLatin1String(kBluezCharacteristic));
    if (characteristic == it.value().constEnd()) continue;
    if (mouse.write_char.isEmpty() &&
        CharacteristicFits(*characteristic, kWriteCharacteristicUuid, "write")) {
      mouse.write_char = it.key();
    }
    if (mouse.notify_char.isEmpty() &&
        CharacteristicFits(*characteristic, kNotifyCharacteristicUuid, "notify")) {
      mouse.notify_char = it.key();
    }
  }
}

}  // namespace

bool ModaliasNamesMouse(const QString& modalias) {
  static const QRegularExpression pattern(
      QStringLiteral("^(usb|bluetooth):v([0-9a-f]{4})p([0-9a-f]{4})"),
      QRegularExpression::CaseInsensitiveOption);
  const QRegularExpressionMatch match = pattern.match(modalias);
  if (!match.hasMatch()) return false;
  return match.captured(2).toUShort(nullptr, 16) == kBleVendorId &&
         match.captured(3).toUShort(nullptr, 16) == kBleProductId;
}

BluezMouse FindBluezMouse(const BluezObjects& objects) {
  BluezMouse mouse;
  bool any_adapter = false;
  bool any_powered = false;
  bool paired = false;
  for (auto it = objects.constBegin(); it != objects.constEnd(); ++it) {
    const BluezInterfaces& interfaces = it.value();
    const auto adapter = interfaces.constFind(QLatin1String(kBluezAdapter));
    if (adapter != interfaces.constEnd()) {
      any_adapter = true;
      any_powered = any_powered || adapter->value(QStringLiteral("Powered")).toBool();
    }
    const auto device = interfaces.constFind(QLatin1String(kBluezDevice));
    if (device == interfaces.constEnd() ||
        !ModaliasNamesMouse(device->value(QStringLiteral("Modalias")).toString())) {
      continue;
    }
    if (device->value(QStringLiteral("Connected")).toBool()) {
      if (mouse.device.isEmpty()) mouse.device = it.key();
    } else if (device->value(QStringLiteral("Paired")).toBool()) {
      paired = true;
    }
  }
  if (!mouse.device.isEmpty()) {
    FindCharacteristics(objects, mouse);
  } else if (!any_adapter) {
    mouse.diagnosis = BleDiagnosis::kNoAdapter;
  } else if (!any_powered) {
    mouse.diagnosis = BleDiagnosis::kAdapterOff;
  } else if (paired) {
    mouse.diagnosis = BleDiagnosis::kPairedNotConnected;
  }
  return mouse;
}

BluezInterfaces ReadBluezInterfaces(const QDBusArgument& argument) {
  BluezInterfaces interfaces;
  if (argument.currentSignature() != QLatin1String("a{sa{sv}}")) return interfaces;
  argument.beginMap();
  while (!argument.atEnd()) {
    QString name;
    QVariantMap properties;
    argument.beginMapEntry();
    argument >> name >> properties;
    argument.endMapEntry();
    interfaces.insert(name, properties);
  }
  argument.endMap();
  return interfaces;
}

BluezObjects ReadBluezObjects(const QDBusArgument& argument) {
  BluezObjects objects;
  if (argument.currentSignature() != QLatin1String("a{oa{sa{sv}}}")) return objects;
  argument.beginMap();
  while (!argument.atEnd()) {
    QDBusObjectPath path;
    argument.beginMapEntry();
    argument >> path;
    objects.insert(path.path(), ReadBluezInterfaces(argument));
    argument.endMapEntry();
  }
  argument.endMap();
  return objects;
}

}  // namespace mokta
