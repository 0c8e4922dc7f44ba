// Finding the mouse in BlueZ's object tree: which device counts, which characteristics below
// it, and what the tree says when no mouse is connected.

#include "platform/linux/bluez_objects.h"

#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QStringList>

namespace mokta {
namespace {

const QString kAdapter = QStringLiteral("/org/bluez/hci0");

class BluezTree {
 public:
  BluezTree& Adapter(bool powered = true) {
    objects[kAdapter][kBluezAdapter] = {{"Powered", powered}};
    return *this;
  }
  BluezTree& Device(const QString& name, const QString& modalias, bool connected,
                    bool paired = true) {
    objects[kAdapter + "/" + name][kBluezDevice] = {
        {"Modalias", modalias}, {"Connected", connected}, {"Paired", paired}};
    return *this;
  }
  BluezTree& Characteristic(const QString& path, const char* uuid, const QStringList& flags) {
    objects[kAdapter + "/" + path][kBluezCharacteristic] = {{"UUID", QString::fromLatin1(uuid)},
                                                            {"Flags", flags}};
    return *this;
  }
  BluezMouse Find() const { return FindBluezMouse(objects); }

  BluezObjects objects;
};

constexpr char kMouse[] = "usb:v045Ep00CCd0001";

TEST(BluezObjects, ModaliasNamesTheMouseInEitherSourceFormAndAnyCase) {
  EXPECT_TRUE(ModaliasNamesMouse("usb:v045Ep00CCd0001"));
  EXPECT_TRUE(ModaliasNamesMouse("bluetooth:v045Ep00CCd0110"));
  EXPECT_TRUE(ModaliasNamesMouse("USB:v045ep00ccd0001"));
  EXPECT_FALSE(ModaliasNamesMouse("usb:v1D57p214Cd0001"));  // the cable's ids
  EXPECT_FALSE(ModaliasNamesMouse("usb:v045Ep00CDd0001"));
  EXPECT_FALSE(ModaliasNamesMouse("pci:v045Ep00CCd0001"));
  EXPECT_FALSE(ModaliasNamesMouse("usb:v045E"));
  EXPECT_FALSE(ModaliasNamesMouse(""));
}

// The first connected mouse in path order counts; characteristics are taken only below it, by
// UUID (any case) and by what they allow.
TEST(BluezObjects, FindsTheFirstConnectedMouseAndItsCharacteristics) {
  BluezTree tree;
  tree.Adapter()
      .Device("dev_00_00_00_00_00_01", kMouse, false)
      .Device("dev_00_00_00_00_00_02", "bluetooth:v045Ep00CCd0001", true)
      .Device("dev_00_00_00_00_00_03", kMouse, true)
      .Characteristic("dev_00_00_00_00_00_01/service0010/char0011",
                      "0000fee3-0000-1000-8000-00805f9b34fb", {"write"})
      .Characteristic("dev_00_00_00_00_00_02/service0010/char0011",
                      "0000FEE3-0000-1000-8000-00805F9B34FB", {"read"})  // cannot be written
      .Characteristic("dev_00_00_00_00_00_02/service0010/char0013",
                      "0000fee3-0000-1000-8000-00805f9b34fb", {"write", "write-without-response"})
      .Characteristic("dev_00_00_00_00_00_02/service0010/char0015",
                      "00002a19-0000-1000-8000-00805f9b34fb", {"read", "notify"})
      .Characteristic("dev_00_00_00_00_00_02/service0010/char0017",
                      "0000FEE4-0000-1000-8000-00805F9B34FB", {"notify"})
      .Characteristic("dev_00_00_00_00_00_03/service0010/char0019",
                      "0000fee4-0000-1000-8000-00805f9b34fb", {"notify"});
  const BluezMouse mouse = tree.Find();
  EXPECT_EQ(mouse.device, kAdapter + "/dev_00_00_00_00_00_02");
  EXPECT_EQ(mouse.write_char, mouse.device + "/service0010/char0013");
  EXPECT_EQ(mouse.notify_char, mouse.device + "/service0010/char0017");
  EXPECT_EQ(mouse.diagnosis, BleDiagnosis::kNone);

  // A path that merely starts with the device's name is not below it.
  BluezTree prefix;
  prefix.Adapter()
      .Device("dev_00_00_00_00_00_01", kMouse, true)
      .Characteristic("dev_00_00_00_00_00_010/service0010/char0011",
                      "0000fee3-0000-1000-8000-00805f9b34fb", {"write"});
  EXPECT_TRUE(prefix.Find().write_char.isEmpty());
}

TEST(BluezObjects, SaysWhyNoMouseIsConnected) {
  EXPECT_EQ(BluezTree().Find().diagnosis, BleDiagnosis::kNoAdapter);
  EXPECT_EQ(BluezTree().Adapter(false).Device("dev_1", kMouse, false).Find().diagnosis,
            BleDiagnosis::kAdapterOff);
  const BluezMouse paired = BluezTree().Adapter().Device("dev_1", kMouse, false).Find();
  EXPECT_TRUE(paired.device.isEmpty());
  EXPECT_EQ(paired.diagnosis, BleDiagnosis::kPairedNotConnected);
  // Seen nearby but never paired, or another device: nothing to say.
  EXPECT_EQ(BluezTree().Adapter().Device("dev_1", kMouse, false, false).Find().diagnosis,
            BleDiagnosis::kNone);
  EXPECT_EQ(BluezTree().Adapter().Device("dev_1", "usb:v1234p5678d0001", false).Find().diagnosis,
            BleDiagnosis::kNone);
}

TEST(BluezObjects, ArgumentsOfAnotherShapeGiveAnEmptyTree) {
  QDBusArgument wrong;
  wrong.beginMap(QMetaType::fromType<QString>(), QMetaType::fromType<int>());
  wrong.beginMapEntry();
  wrong << QStringLiteral("x") << 1;
  wrong.endMapEntry();
  wrong.endMap();
  EXPECT_TRUE(ReadBluezObjects(wrong).isEmpty());
  EXPECT_TRUE(ReadBluezInterfaces(wrong).isEmpty());
}

}  // namespace
}  // namespace mokta
