#include "cli/probe.h"

#include <libudev.h>
#include <unistd.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <algorithm>
#include <array>

#include "device/driver_library.h"
#include "platform/linux/udev_ble_presence.h"

namespace mokta {
namespace {

Q_LOGGING_CATEGORY(lcProbe, "mokta.probe")

constexpr int kBluezTimeoutMs = 3000;
constexpr char kRulesFix[] = "install packaging/71-mokta-mouse.rules (see README)";
constexpr char kBleNodeNote[] =
    "not opened: on Bluetooth LE the commands go through BlueZ (below); this node only tells "
    "the program that the mouse is connected";

QString Hex4(std::uint32_t value) {
  return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}

QString IdText(const hidraw::HidId& id) {
  return QStringLiteral("%1:%2:%3").arg(Hex4(id.bus), Hex4(id.vendor), Hex4(id.product));
}

QString BusName(std::uint16_t bus) {
  if (bus == hidraw::kBusUsb) return QStringLiteral("usb");
  if (bus == hidraw::kBusBluetooth) return QStringLiteral("bluetooth");
  return Hex4(bus);
}

QString HexBytes(const std::vector<std::uint8_t>& bytes, const QString& separator) {
  QStringList parts;
  parts.reserve(static_cast<qsizetype>(bytes.size()));
  for (const std::uint8_t b : bytes) parts << QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0'));
  return parts.join(separator);
}

std::vector<ProbeLink> EmptyLinks() {
  std::vector<ProbeLink> links(3);
  links[0].key = QStringLiteral("cable");
  links[0].name = QStringLiteral("Cable");
  links[0].id = {hidraw::kBusUsb, kMouseVendorId, kCableProductId};
  links[1].key = QStringLiteral("receiver");
  links[1].name = QStringLiteral("Receiver");
  links[1].id = {hidraw::kBusUsb, kMouseVendorId, kReceiverProductId};
  links[2].key = QStringLiteral("ble");
  links[2].name = QStringLiteral("Bluetooth LE");
  links[2].id = {hidraw::kBusBluetooth, kBleVendorId, kBleProductId};
  return links;
}

std::optional<int> UsbInterfaceNumber(udev_device* node) {
  udev_device* interface =
      udev_device_get_parent_with_subsystem_devtype(node, "usb", "usb_interface");
  if (!interface) return std::nullopt;
  const char* text = udev_device_get_sysattr_value(interface, "bInterfaceNumber");
  if (!text) return std::nullopt;
  bool ok = false;
  const int number = QString::fromLatin1(text).trimmed().toInt(&ok, 16);
  return ok ? std::optional<int>(number) : std::nullopt;
}

// Fills the links' nodes from libudev; returns the problem, empty when the nodes were listed.
QString ListNodes(std::vector<ProbeLink>& links, const ProbeSystem& system) {
  udev* context = udev_new();
  if (!context) return QStringLiteral("libudev could not be started: the hidraw nodes are unknown");
  QString problem;
  udev_enumerate* enumerate = udev_enumerate_new(context);
  if (!enumerate || udev_enumerate_add_match_subsystem(enumerate, "hidraw") < 0 ||
      udev_enumerate_scan_devices(enumerate) < 0) {
    problem = QStringLiteral("libudev could not list the hidraw nodes");
  } else {
    for (udev_list_entry* entry = udev_enumerate_get_list_entry(enumerate); entry;
         entry = udev_list_entry_get_next(entry)) {
      udev_device* node = udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
      if (!node) continue;
      const char* devnode = udev_device_get_devnode(node);
      udev_device* hid = udev_device_get_parent_with_subsystem_devtype(node, "hid", nullptr);
      const char* hid_id = hid ? udev_device_get_property_value(hid, "HID_ID") : nullptr;
      const auto id = hid_id ? hidraw::ParseHidId(hid_id) : std::nullopt;
      for (ProbeLink& link : links) {
        if (!devnode || !id || *id != link.id) continue;
        ProbeNode found;
        found.devnode = devnode;
        found.id = *id;
        found.usb_interface = UsbInterfaceNumber(node);
        found.descriptor = hidraw::ReadReportDescriptor(devnode);
        if (found.descriptor) found.info = hidraw::ParseReportDescriptor(*found.descriptor);
        found.readable = system.can_open(found.devnode, false);
        found.writable = system.can_open(found.devnode, true);
        link.nodes.push_back(std::move(found));
      }
      udev_device_unref(node);
    }
  }
  if (enumerate) udev_enumerate_unref(enumerate);
  udev_unref(context);
  return problem;
}

BluezAnswer AskBluez() {
  BluezAnswer answer;
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) {
    answer.problem =
        QStringLiteral("BlueZ is not running (no system D-Bus: %1)").arg(bus.lastError().message());
    return answer;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(
      QLatin1String(kBluezService), QStringLiteral("/"),
      QStringLiteral("org.freedesktop.DBus.ObjectManager"), QStringLiteral("GetManagedObjects"));
  // Asking must not start the Bluetooth service: a stopped service is part of the report.
  call.setAutoStartService(false);
  const QDBusMessage reply = bus.call(call, QDBus::Block, kBluezTimeoutMs);
  if (reply.type() == QDBusMessage::ReplyMessage &&
      reply.signature() == QLatin1String("a{oa{sa{sv}}}")) {
    answer.running = true;
    answer.objects = ReadBluezObjects(qvariant_cast<QDBusArgument>(reply.arguments().at(0)));
  } else if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
             reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")) {
    answer.problem = QStringLiteral("BlueZ is not running");
  } else {
    answer.problem = QStringLiteral("BlueZ did not answer: %1 %2")
                         .arg(reply.errorName(), reply.errorMessage())
                         .trimmed();
  }
  return answer;
}

// ---------------------------------------------------------------------------------------------
// The report's content, shared by the JSON and the text.

struct ReportSize {
  int id;
  std::size_t bytes;
};

std::vector<ReportSize> Sizes(const std::array<std::uint32_t, 256>& bits) {
  std::vector<ReportSize> sizes;
  for (int id = 0; id < 256; ++id) {
    if (bits[static_cast<std::size_t>(id)] != 0) {
      sizes.push_back({id, (bits[static_cast<std::size_t>(id)] + 7u) / 8u});
    }
  }
  return sizes;
}

// The rules hand the user only the USB nodes with a vendor-defined application collection
// (the nodes the driver may choose); a pointer, keyboard or Bluetooth LE node the user cannot
// open is as intended, and the rules would not change that.
QString NodeFix(const ProbeNode& node) {
  const bool handed_out =
      node.id.bus == hidraw::kBusUsb && node.descriptor && node.info.vendor_collection;
  return !handed_out || (node.readable && node.writable) ? QString() : QLatin1String(kRulesFix);
}

QString NodeDriverNote(const ProbeLink& link, std::size_t index) {
  if (!link.choice) return QLatin1String(kBleNodeNote);
  return QString::fromStdString(link.choice->reasons.at(index));
}

QJsonArray SizesJson(const std::array<std::uint32_t, 256>& bits) {
  QJsonArray array;
  for (const ReportSize& size : Sizes(bits)) {
    array.append(QJsonObject{{QStringLiteral("id"), size.id},
                             {QStringLiteral("bytes"), static_cast<qint64>(size.bytes)}});
  }
  return array;
}

QJsonObject NodeJson(const ProbeLink& link, std::size_t index) {
  const ProbeNode& node = link.nodes[index];
  QJsonObject json;
  json[QStringLiteral("node")] = QString::fromStdString(node.devnode);
  json[QStringLiteral("bus")] = BusName(node.id.bus);
  json[QStringLiteral("usb_interface")] =
      node.usb_interface ? QJsonValue(*node.usb_interface) : QJsonValue();
  json[QStringLiteral("readable")] = node.readable;
  json[QStringLiteral("writable")] = node.writable;
  json[QStringLiteral("access_fix")] = NodeFix(node);
  json[QStringLiteral("chosen_by_driver")] = link.choice && link.choice->chosen == index;
  json[QStringLiteral("driver")] = NodeDriverNote(link, index);
  if (!node.descriptor) {
    json[QStringLiteral("descriptor")] = QJsonValue();
    return json;
  }
  json[QStringLiteral("descriptor")] = HexBytes(*node.descriptor, QString());
  json[QStringLiteral("descriptor_complete")] = node.info.complete;
  json[QStringLiteral("numbered_reports")] = node.info.numbered;
  QJsonArray collections;
  for (const auto& top : node.info.collections) {
    collections.append(QJsonObject{{QStringLiteral("kind"), static_cast<qint64>(top.kind)},
                                   {QStringLiteral("usage_page"), Hex4(top.usage_page)},
                                   {QStringLiteral("usage"), Hex4(top.usage)}});
  }
  json[QStringLiteral("collections")] = collections;
  json[QStringLiteral("feature_reports")] = SizesJson(node.info.feature_bits);
  json[QStringLiteral("input_reports")] = SizesJson(node.info.input_bits);
  return json;
}

// The mouse's devices as BlueZ lists them, with their characteristics.
struct BluezCharacteristic {
  QString path;
  QString uuid;
  QStringList flags;
  QString use;  // "write", "notify" or empty: what the transport takes it for
};

struct BluezDeviceView {
  QString path;
  bool connected = false;
  bool paired = false;
  QString modalias;
  std::vector<BluezCharacteristic> characteristics;
};

struct BluezView {
  std::vector<BluezDeviceView> mice;
  std::vector<BluezDeviceView> others;  // path and Modalias only
  QString diagnosis;
};

BluezView ViewBluez(const BluezObjects& objects) {
  BluezView view;
  const BluezMouse mouse = FindBluezMouse(objects);
  if (mouse.device.isEmpty()) {
    view.diagnosis = QString::fromLatin1(BleDiagnosisDescription(mouse.diagnosis));
    if (view.diagnosis.isEmpty()) view.diagnosis = QStringLiteral("no mouse connected");
  }
  for (auto it = objects.constBegin(); it != objects.constEnd(); ++it) {
    const auto device = it.value().constFind(QLatin1String(kBluezDevice));
    if (device == it.value().constEnd()) continue;
    BluezDeviceView entry;
    entry.path = it.key();
    entry.modalias = device->value(QStringLiteral("Modalias")).toString();
    if (!ModaliasNamesMouse(entry.modalias)) {
      view.others.push_back(entry);
      continue;
    }
    entry.connected = device->value(QStringLiteral("Connected")).toBool();
    entry.paired = device->value(QStringLiteral("Paired")).toBool();
    const QString prefix = entry.path + QLatin1Char('/');
    for (auto child = objects.lowerBound(prefix);
         child != objects.constEnd() && child.key().startsWith(prefix); ++child) {
      const auto gatt = child.value().constFind(QLatin1String(kBluezCharacteristic));
      if (gatt == child.value().constEnd()) continue;
      BluezCharacteristic characteristic;
      characteristic.path = child.key();
      characteristic.uuid = gatt->value(QStringLiteral("UUID")).toString();
      characteristic.flags = gatt->value(QStringLiteral("Flags")).toStringList();
      if (child.key() == mouse.write_char) characteristic.use = QStringLiteral("write");
      if (child.key() == mouse.notify_char) {
        characteristic.use = characteristic.use.isEmpty() ? QStringLiteral("notify")
                                                          : QStringLiteral("write, notify");
      }
      entry.characteristics.push_back(std::move(characteristic));
    }
    view.mice.push_back(std::move(entry));
  }
  return view;
}

QJsonObject BluezJson(const BluezAnswer& answer) {
  QJsonObject json;
  json[QStringLiteral("running")] = answer.running;
  json[QStringLiteral("problem")] = answer.problem;
  if (!answer.running) return json;
  const BluezView view = ViewBluez(answer.objects);
  QJsonArray mice;
  for (const BluezDeviceView& mouse : view.mice) {
    QJsonArray characteristics;
    for (const BluezCharacteristic& c : mouse.characteristics) {
      characteristics.append(
          QJsonObject{{QStringLiteral("path"), c.path},
                      {QStringLiteral("uuid"), c.uuid},
                      {QStringLiteral("flags"), QJsonArray::fromStringList(c.flags)},
                      {QStringLiteral("used_for"), c.use}});
    }
    mice.append(QJsonObject{{QStringLiteral("path"), mouse.path},
                            {QStringLiteral("connected"), mouse.connected},
                            {QStringLiteral("paired"), mouse.paired},
                            {QStringLiteral("modalias"), mouse.modalias},
                            {QStringLiteral("characteristics"), characteristics}});
  }
  QJsonArray others;
  for (const BluezDeviceView& other : view.others) {
    others.append(QJsonObject{{QStringLiteral("path"), other.path},
                              {QStringLiteral("modalias"), other.modalias}});
  }
  json[QStringLiteral("mouse_devices")] = mice;
  json[QStringLiteral("other_devices")] = others;
  json[QStringLiteral("diagnosis")] = view.diagnosis;
  return json;
}

QString SizesText(const std::array<std::uint32_t, 256>& bits) {
  QStringList parts;
  for (const ReportSize& size : Sizes(bits)) {
    parts << QStringLiteral("id %1: %2 bytes").arg(size.id).arg(size.bytes);
  }
  return parts.isEmpty() ? QStringLiteral("none") : parts.join(QStringLiteral(", "));
}

void NodeText(const ProbeLink& link, std::size_t index, QString& text) {
  const ProbeNode& node = link.nodes[index];
  text += QStringLiteral("  %1  bus %2")
              .arg(QString::fromStdString(node.devnode), BusName(node.id.bus));
  if (node.usb_interface) text += QStringLiteral(", USB interface %1").arg(*node.usb_interface);
  text += QLatin1Char('\n');
  if (!node.descriptor) {
    text += QStringLiteral("    report descriptor: cannot be read\n");
  } else {
    QStringList collections;
    for (const auto& top : node.info.collections) {
      collections
          << QStringLiteral("usage page %1 usage %2").arg(Hex4(top.usage_page), Hex4(top.usage));
    }
    text += QStringLiteral("    collections: %1\n")
                .arg(collections.isEmpty() ? QStringLiteral("none")
                                           : collections.join(QStringLiteral("; ")));
    text += QStringLiteral("    report ids: %1\n")
                .arg(node.info.numbered ? QStringLiteral("yes") : QStringLiteral("no"));
    text += QStringLiteral("    feature reports: %1\n").arg(SizesText(node.info.feature_bits));
    text += QStringLiteral("    input reports: %1\n").arg(SizesText(node.info.input_bits));
    text += QStringLiteral("    report descriptor (%1 bytes%2):\n")
                .arg(node.descriptor->size())
                .arg(node.info.complete ? QString() : QStringLiteral(", cut short or broken"));
    for (std::size_t at = 0; at < node.descriptor->size(); at += 16) {
      const auto end = std::min(node.descriptor->size(), at + 16);
      const std::vector<std::uint8_t> line(node.descriptor->begin() + static_cast<long>(at),
                                           node.descriptor->begin() + static_cast<long>(end));
      text += QStringLiteral("      %1\n").arg(HexBytes(line, QStringLiteral(" ")));
    }
  }
  QString access = node.readable && node.writable ? QStringLiteral("read and write")
                   : node.readable                ? QStringLiteral("read only")
                   : node.writable                ? QStringLiteral("write only")
                                                  : QStringLiteral("none");
  if (!NodeFix(node).isEmpty()) access += QStringLiteral(": ") + NodeFix(node);
  text += QStringLiteral("    access: %1\n").arg(access);
  text += QStringLiteral("    driver: %1\n").arg(NodeDriverNote(link, index));
}

void BluezText(const BluezAnswer& answer, QString& text) {
  if (!answer.running) {
    text += answer.problem + QLatin1Char('\n');
    return;
  }
  text += QStringLiteral("BlueZ: running\n");
  const BluezView view = ViewBluez(answer.objects);
  for (const BluezDeviceView& mouse : view.mice) {
    text +=
        QStringLiteral("  %1  %2, %3, Modalias %4\n")
            .arg(mouse.path,
                 mouse.connected ? QStringLiteral("connected") : QStringLiteral("not connected"),
                 mouse.paired ? QStringLiteral("paired") : QStringLiteral("not paired"),
                 mouse.modalias);
    if (mouse.characteristics.empty()) text += QStringLiteral("    no characteristics\n");
    for (const BluezCharacteristic& c : mouse.characteristics) {
      text += QStringLiteral("    %1  %2  [%3]")
                  .arg(c.path, c.uuid, c.flags.join(QStringLiteral(", ")));
      if (!c.use.isEmpty()) text += QStringLiteral("  <- used for %1").arg(c.use);
      text += QLatin1Char('\n');
    }
  }
  if (view.mice.empty()) text += QStringLiteral("  no device with the mouse's Modalias\n");
  for (const BluezDeviceView& other : view.others) {
    text +=
        QStringLiteral("  other device %1  Modalias %2\n")
            .arg(other.path, other.modalias.isEmpty() ? QStringLiteral("(none)") : other.modalias);
  }
  if (!view.diagnosis.isEmpty()) text += QStringLiteral("  %1\n").arg(view.diagnosis);
}

}  // namespace

ProbeResult RunProbeScan(const ProbeSystem& given) {
  ProbeSystem system = given;
  if (!system.can_open) {
    system.can_open = [](const std::string& devnode, bool write) {
      return access(devnode.c_str(), write ? W_OK : R_OK) == 0;
    };
  }
  if (!system.ask_bluez) system.ask_bluez = AskBluez;
  ProbeResult result;
  result.links = EmptyLinks();
  result.problem = ListNodes(result.links, system);
  if (!result.problem.isEmpty()) qCWarning(lcProbe) << result.problem;
  for (ProbeLink& link : result.links) {
    if (link.id.bus != hidraw::kBusUsb) continue;
    std::vector<hidraw::InterfaceCandidate> candidates;
    for (const ProbeNode& node : link.nodes) {
      candidates.push_back(
          {node.devnode, node.descriptor ? std::optional(node.info) : std::nullopt});
    }
    link.choice = hidraw::ChooseVendorInterface(candidates);
  }
  result.bluez = system.ask_bluez();
  if (!result.bluez.running) qCDebug(lcProbe) << result.bluez.problem;
  return result;
}

QJsonObject ProbeToJson(const ProbeResult& result) {
  QJsonArray links;
  for (const ProbeLink& link : result.links) {
    QJsonArray nodes;
    for (std::size_t i = 0; i < link.nodes.size(); ++i) nodes.append(NodeJson(link, i));
    QJsonObject json{{QStringLiteral("link"), link.key},
                     {QStringLiteral("id"), IdText(link.id)},
                     {QStringLiteral("nodes"), nodes}};
    if (link.choice && link.choice->chosen) {
      json[QStringLiteral("driver_node")] =
          QString::fromStdString(link.nodes.at(*link.choice->chosen).devnode);
    } else {
      json[QStringLiteral("driver_node")] = QJsonValue();
    }
    links.append(json);
  }
  return QJsonObject{{QStringLiteral("links"), links},
                     {QStringLiteral("problem"), result.problem},
                     {QStringLiteral("bluez"), BluezJson(result.bluez)}};
}

QString ProbeToText(const ProbeResult& result) {
  QString text;
  if (!result.problem.isEmpty()) text += result.problem + QLatin1Char('\n');
  for (const ProbeLink& link : result.links) {
    text += QStringLiteral("%1 (bus %2, %3:%4): ")
                .arg(link.name, BusName(link.id.bus), Hex4(link.id.vendor), Hex4(link.id.product));
    if (link.nodes.empty()) {
      text += QStringLiteral("no hidraw node\n");
      continue;
    }
    text += QStringLiteral("%1 hidraw node%2\n")
                .arg(link.nodes.size())
                .arg(link.nodes.size() == 1 ? QString() : QStringLiteral("s"));
    for (std::size_t i = 0; i < link.nodes.size(); ++i) NodeText(link, i, text);
    if (link.choice && link.choice->chosen) {
      const ProbeNode& chosen = link.nodes.at(*link.choice->chosen);
      const QString devnode = QString::fromStdString(chosen.devnode);
      text += NodeFix(chosen).isEmpty()
                  ? QStringLiteral("  The driver opens %1.\n").arg(devnode)
                  : QStringLiteral("  The driver chooses %1 but may not open it: %2.\n")
                        .arg(devnode, NodeFix(chosen));
    } else if (link.choice) {
      text += QStringLiteral("  The driver opens none of these nodes.\n");
    }
  }
  BluezText(result.bluez, text);
  return text;
}

int RunProbe(bool json, QTextStream& out, QTextStream& err, const ProbeSystem& system) {
  const ProbeResult result = RunProbeScan(system);
  if (json) {
    out << QString::fromUtf8(QJsonDocument(ProbeToJson(result)).toJson(QJsonDocument::Indented));
  } else {
    out << ProbeToText(result);
  }
  if (result.problem.isEmpty()) return 0;
  err << "mokta-mousectl: " << result.problem << "\n";
  return 1;
}

}  // namespace mokta
