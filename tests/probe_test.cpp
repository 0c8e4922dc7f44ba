// `mokta-mousectl probe` against fake devices (umockdev: the test runs under umockdev-wrapper,
// like the hidraw driver's test) and against a hand-built BlueZ object tree.

#include "cli/probe.h"

#include <gtest/gtest.h>
#include <umockdev.h>

#include <QJsonArray>
#include <QJsonObject>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "report_descriptors.h"
#include "umockdev_test.h"

namespace mokta {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes& kMouseAndKeyboard = test::kMouseAndKeyboardDescriptor;

// The vendor interface with report ids: feature 5 (8 bytes), input 7 (4 bytes).
const Bytes kNumberedVendor = {
    0x06, 0x00, 0xFF,  // Usage Page (vendor 0xFF00)
    0x09, 0x01,        // Usage 1
    0xA1, 0x01,        // Collection (application)
    0x85, 0x05,        //   Report ID 5
    0x75, 0x08,        //   Report Size 8
    0x95, 0x08,        //   Report Count 8
    0xB1, 0x02,        //   Feature
    0x85, 0x07,        //   Report ID 7
    0x95, 0x04,        //   Report Count 4
    0x81, 0x02,        //   Input
    0xC0,              // End Collection
};

// The vendor interface without report ids: feature of 64 bytes.
const Bytes kUnnumberedVendor = {
    0x06, 0x01, 0xFF,  // Usage Page (vendor 0xFF01)
    0x09, 0x02,        // Usage 2
    0xA1, 0x01,        // Collection (application)
    0x75, 0x08,        //   Report Size 8
    0x95, 0x40,        //   Report Count 64
    0xB1, 0x02,        //   Feature
    0xC0,              // End Collection
};

std::string Hex(const Bytes& bytes) {
  std::string text;
  for (auto b : bytes) {
    static const char* digits = "0123456789abcdef";
    text += digits[b >> 4];
    text += digits[b & 15];
  }
  return text;
}

class Probe : public test::UmockdevTest {
 protected:
  // One hidraw node `node` of a "hid" device with `descriptor`; on USB under interface
  // `interface` of the USB device `usb`, on Bluetooth under the uhid device.
  void AddNode(std::uint16_t bus, std::uint16_t vendor, std::uint16_t product, int interface,
               int node, const Bytes& descriptor, const std::string& usb = "1-2") {
    std::string parent;
    std::string record;
    if (bus == 0x0003) {
      const std::string usb_path = "/devices/pci0000:00/0000:00:14.0/usb1/" + usb;
      parent = usb_path + "/" + usb + ":1." + std::to_string(interface);
      if (added_.insert(usb_path).second) {
        record += "P: " + usb_path + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n\n";
      }
      record += "P: " + parent + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\n" +
                "A: bInterfaceNumber=0" + std::to_string(interface) + "\n\n";
    } else {
      parent = "/devices/virtual/misc/uhid";
      if (added_.insert(parent).second) record += "P: " + parent + "\nE: SUBSYSTEM=misc\n\n";
    }
    char hid_name[32];
    char hid_id[32];
    std::snprintf(hid_name, sizeof hid_name, "%04X:%04X:%04X.%04X", bus, vendor, product, node + 1);
    std::snprintf(hid_id, sizeof hid_id, "%04X:%08X:%08X", bus, vendor, product);
    const std::string hid_path = parent + "/" + hid_name;
    const std::string name = "hidraw" + std::to_string(node);
    record += "P: " + hid_path + "\nE: SUBSYSTEM=hid\nE: HID_ID=" + hid_id +
              "\nH: report_descriptor=" + Hex(descriptor) + "\n\n";
    record += "P: " + hid_path + "/hidraw/" + name + "\nN: " + name +
              "\nE: SUBSYSTEM=hidraw\nE: DEVNAME=/dev/" + name +
              "\nA: dev=241:" + std::to_string(node) + "\nL: device=../../../" + hid_name + "\n";
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(bed_, record.c_str(), &error)) {
      ADD_FAILURE() << error->message;
      g_error_free(error);
    }
  }

 private:
  std::set<std::string> added_;
};

QJsonObject Link(const QJsonObject& report, const char* key) {
  for (const auto& link : report.value("links").toArray()) {
    if (link.toObject().value("link").toString() == QLatin1String(key)) return link.toObject();
  }
  ADD_FAILURE() << "no link " << key;
  return {};
}

QJsonObject Node(const QJsonObject& link, const char* devnode) {
  for (const auto& node : link.value("nodes").toArray()) {
    if (node.toObject().value("node").toString() == QLatin1String(devnode)) {
      return node.toObject();
    }
  }
  ADD_FAILURE() << "no node " << devnode;
  return {};
}

QJsonArray Sizes(std::initializer_list<std::pair<int, int>> sizes) {
  QJsonArray array;
  for (const auto& [id, bytes] : sizes) array.append(QJsonObject{{"id", id}, {"bytes", bytes}});
  return array;
}

BluezAnswer NotRunning() {
  return {false, QStringLiteral("BlueZ is not running"), {}};
}

// The cable as a composite device (its pointer/keyboard interface listed before the vendor
// interface), the receiver without report ids and the Bluetooth LE node, plus nodes that are
// not the mouse; the receiver's node refuses writing to this user.
TEST_F(Probe, ListsEachNodeOfTheMouseAndTheOneTheDriverChooses) {
  AddNode(0x0003, 0x1D57, 0x214C, 0, 0, kMouseAndKeyboard);
  AddNode(0x0003, 0x1D57, 0x214C, 1, 1, kNumberedVendor);
  AddNode(0x0003, 0x1D57, 0xFA60, 0, 2, kUnnumberedVendor, "1-3");
  AddNode(0x0005, 0x045E, 0x00CC, 0, 3, kMouseAndKeyboard);
  AddNode(0x0003, 0x045E, 0x00CC, 0, 4, kNumberedVendor, "1-4");  // Bluetooth ids over USB
  AddNode(0x0005, 0x1D57, 0x214C, 0, 5, kNumberedVendor);         // cable ids over Bluetooth

  ProbeSystem system;
  // The pointer and Bluetooth LE nodes are kept from the user, as the rules intend.
  system.can_open = [](const std::string& devnode, bool write) {
    return !(write && devnode == "/dev/hidraw2") && devnode != "/dev/hidraw0" &&
           devnode != "/dev/hidraw3";
  };
  system.ask_bluez = NotRunning;
  const ProbeResult result = RunProbeScan(system);
  ASSERT_EQ(result.problem, QString());
  const QJsonObject report = ProbeToJson(result);

  const QJsonObject cable = Link(report, "cable");
  EXPECT_EQ(cable.value("nodes").toArray().size(), 2);
  EXPECT_EQ(cable.value("driver_node").toString(), "/dev/hidraw1");
  const QJsonObject pointer = Node(cable, "/dev/hidraw0");
  EXPECT_EQ(pointer.value("usb_interface").toInt(-1), 0);
  EXPECT_EQ(pointer.value("collections").toArray(),
            (QJsonArray{QJsonObject{{"kind", 1}, {"usage_page", "0001"}, {"usage", "0002"}},
                        QJsonObject{{"kind", 1}, {"usage_page", "0001"}, {"usage", "0006"}}}));
  EXPECT_EQ(pointer.value("input_reports").toArray(), Sizes({{1, 4}, {2, 8}}));
  EXPECT_EQ(pointer.value("feature_reports").toArray(), QJsonArray());
  EXPECT_FALSE(pointer.value("chosen_by_driver").toBool());
  EXPECT_TRUE(pointer.value("driver").toString().contains("no vendor-defined"));
  EXPECT_FALSE(pointer.value("readable").toBool());
  EXPECT_EQ(pointer.value("access_fix").toString(), QString());
  const QJsonObject vendor = Node(cable, "/dev/hidraw1");
  EXPECT_EQ(vendor.value("bus").toString(), "usb");
  EXPECT_EQ(vendor.value("usb_interface").toInt(-1), 1);
  EXPECT_TRUE(vendor.value("numbered_reports").toBool());
  EXPECT_EQ(vendor.value("feature_reports").toArray(), Sizes({{5, 8}}));
  EXPECT_EQ(vendor.value("input_reports").toArray(), Sizes({{7, 4}}));
  EXPECT_EQ(vendor.value("descriptor").toString().toStdString(), Hex(kNumberedVendor));
  EXPECT_TRUE(vendor.value("chosen_by_driver").toBool());
  EXPECT_EQ(vendor.value("access_fix").toString(), QString());

  const QJsonObject receiver = Node(Link(report, "receiver"), "/dev/hidraw2");
  EXPECT_FALSE(receiver.value("numbered_reports").toBool());
  EXPECT_EQ(receiver.value("feature_reports").toArray(), Sizes({{0, 64}}));
  EXPECT_EQ(receiver.value("collections").toArray().at(0).toObject().value("usage_page"), "FF01");
  EXPECT_TRUE(receiver.value("chosen_by_driver").toBool());
  EXPECT_TRUE(receiver.value("readable").toBool());
  EXPECT_FALSE(receiver.value("writable").toBool());
  EXPECT_TRUE(receiver.value("access_fix").toString().contains("packaging/71-mokta-mouse.rules"));

  // The Bluetooth LE node: listed, off USB, and never the driver's.
  const QJsonObject ble = Link(report, "ble");
  EXPECT_EQ(ble.value("nodes").toArray().size(), 1);
  EXPECT_TRUE(ble.value("driver_node").isNull());
  const QJsonObject ble_node = Node(ble, "/dev/hidraw3");
  EXPECT_TRUE(ble_node.value("usb_interface").isNull());
  EXPECT_EQ(ble_node.value("bus").toString(), "bluetooth");
  EXPECT_FALSE(ble_node.value("chosen_by_driver").toBool());
  EXPECT_EQ(ble_node.value("access_fix").toString(), QString());

  // The same in words.
  const QString text = ProbeToText(result);
  EXPECT_TRUE(text.contains("/dev/hidraw1  bus usb, USB interface 1\n")) << text.toStdString();
  EXPECT_TRUE(text.contains("  The driver opens /dev/hidraw1.\n"));
  EXPECT_TRUE(text.contains("      06 00 ff 09 01 a1 01 85 05 75 08 95 08 b1 02 85\n"));
  EXPECT_TRUE(text.contains("    feature reports: id 5: 8 bytes\n"));
  EXPECT_TRUE(text.contains(
      "    access: read only: install packaging/71-mokta-mouse.rules (see README)\n"));
  EXPECT_TRUE(
      text.contains("  The driver chooses /dev/hidraw2 but may not open it: install "
                    "packaging/71-mokta-mouse.rules (see README).\n"));
  EXPECT_EQ(text.count("packaging/71-mokta-mouse.rules"), 2);
  EXPECT_FALSE(text.contains("hidraw4"));
  EXPECT_FALSE(text.contains("hidraw5"));
  EXPECT_TRUE(text.endsWith("BlueZ is not running\n"));
}

// A cable whose only node is a pointer interface: listed, but the driver opens nothing.
TEST_F(Probe, SaysWhenTheDriverFindsNoVendorInterface) {
  AddNode(0x0003, 0x1D57, 0x214C, 0, 0, kMouseAndKeyboard);
  ProbeSystem system;
  system.ask_bluez = NotRunning;
  const ProbeResult result = RunProbeScan(system);
  EXPECT_TRUE(Link(ProbeToJson(result), "cable").value("driver_node").isNull());
  EXPECT_TRUE(ProbeToText(result).contains("  The driver opens none of these nodes.\n"));
}

// The BlueZ part from a hand-built object tree: the mouse's device and every characteristic
// below it, the two the transport uses marked; another device with its Modalias only.
TEST(ProbeReport, ShowsTheMouseAsBluezListsItAndMarksTheTransportsCharacteristics) {
  const QString mouse = QStringLiteral("/org/bluez/hci0/dev_AA_BB_CC_DD_EE_FF");
  const auto characteristic = [](const char* uuid, QStringList flags) {
    return BluezInterfaces{{QLatin1String(kBluezCharacteristic),
                            QVariantMap{{"UUID", QString::fromLatin1(uuid)}, {"Flags", flags}}}};
  };
  ProbeResult result;
  result.bluez.running = true;
  result.bluez.objects = {
      {"/org/bluez/hci0", {{QLatin1String(kBluezAdapter), QVariantMap{{"Powered", true}}}}},
      {mouse,
       {{QLatin1String(kBluezDevice),
         QVariantMap{{"Modalias", "usb:v045Ep00CCd0001"}, {"Connected", true}, {"Paired", true}}}}},
      {mouse + "/service0010/char0011",
       characteristic("00002a19-0000-1000-8000-00805f9b34fb", {"read", "notify"})},
      {mouse + "/service0020/char0021",
       characteristic(kWriteCharacteristicUuid, {"write", "write-without-response"})},
      {mouse + "/service0020/char0023", characteristic(kNotifyCharacteristicUuid, {"notify"})},
      {"/org/bluez/hci0/dev_11_22_33_44_55_66",
       {{QLatin1String(kBluezDevice),
         QVariantMap{{"Modalias", "usb:v046Dp4082d0001"}, {"Connected", true}}}}},
      {"/org/bluez/hci0/dev_11_22_33_44_55_66/service0010/char0011",
       characteristic(kWriteCharacteristicUuid, {"write"})},
  };

  const QJsonObject bluez = ProbeToJson(result).value("bluez").toObject();
  EXPECT_TRUE(bluez.value("running").toBool());
  EXPECT_EQ(bluez.value("diagnosis").toString(), QString());
  const QJsonArray mice = bluez.value("mouse_devices").toArray();
  ASSERT_EQ(mice.size(), 1);
  EXPECT_EQ(mice[0].toObject().value("path").toString(), mouse);
  EXPECT_TRUE(mice[0].toObject().value("connected").toBool());
  EXPECT_EQ(mice[0].toObject().value("modalias").toString(), "usb:v045Ep00CCd0001");
  const QJsonArray characteristics = mice[0].toObject().value("characteristics").toArray();
  ASSERT_EQ(characteristics.size(), 3);
  EXPECT_EQ(characteristics[0].toObject().value("used_for").toString(), "");
  EXPECT_EQ(characteristics[1].toObject().value("used_for").toString(), "write");
  EXPECT_EQ(characteristics[1].toObject().value("flags").toArray(),
            (QJsonArray{"write", "write-without-response"}));
  EXPECT_EQ(characteristics[2].toObject().value("used_for").toString(), "notify");
  EXPECT_EQ(bluez.value("other_devices").toArray(),
            (QJsonArray{QJsonObject{{"path", "/org/bluez/hci0/dev_11_22_33_44_55_66"},
                                    {"modalias", "usb:v046Dp4082d0001"}}}));

  const QString text = ProbeToText(result);
  EXPECT_TRUE(text.contains(mouse + "  connected, paired, Modalias usb:v045Ep00CCd0001\n"))
      << text.toStdString();
  EXPECT_TRUE(text.contains(mouse + "/service0020/char0023  " + kNotifyCharacteristicUuid +
                            "  [notify]  <- used for notify\n"));
  EXPECT_FALSE(text.contains("dev_11_22_33_44_55_66/service0010"));

  // Not connected: no characteristic is marked, and the reason is given.
  result.bluez.objects[mouse][QLatin1String(kBluezDevice)]["Connected"] = false;
  const QJsonObject absent = ProbeToJson(result).value("bluez").toObject();
  EXPECT_EQ(absent.value("diagnosis").toString(), "the mouse is paired but not connected");
  for (const auto& c :
       absent.value("mouse_devices").toArray()[0].toObject().value("characteristics").toArray()) {
    EXPECT_EQ(c.toObject().value("used_for").toString(), "");
  }
}

}  // namespace
}  // namespace mokta
