#pragma once

// BlueZ's object tree as its ObjectManager reports it, and what the program looks for in it:
// the connected mouse (an org.bluez.Device1 whose Modalias names the mouse's Bluetooth vendor
// and product), the two characteristics of its vendor service below it, and, when there is no
// connected mouse, why. Pure functions over plain Qt containers; no D-Bus traffic here.

#include <QDBusArgument>
#include <QMap>
#include <QString>
#include <QVariantMap>

#include "device/system_ble.h"

namespace mokta {

inline constexpr char kBluezService[] = "org.bluez";
inline constexpr char kBluezAdapter[] = "org.bluez.Adapter1";
inline constexpr char kBluezDevice[] = "org.bluez.Device1";
inline constexpr char kBluezCharacteristic[] = "org.bluez.GattCharacteristic1";
// The mouse's characteristics in the 128-bit form of the Bluetooth base UUID.
inline constexpr char kWriteCharacteristicUuid[] = "0000fee3-0000-1000-8000-00805f9b34fb";
inline constexpr char kNotifyCharacteristicUuid[] = "0000fee4-0000-1000-8000-00805f9b34fb";

// One object's interfaces and their properties; the whole tree by object path. QMap keeps the
// paths in order, which is the order "first found" refers to.
using BluezInterfaces = QMap<QString, QVariantMap>;
using BluezObjects = QMap<QString, BluezInterfaces>;

struct BluezMouse {
  QString device;       // the connected mouse's object path; empty when none is connected
  QString write_char;   // its 0xFEE3 characteristic; empty until BlueZ has resolved it
  QString notify_char;  // its 0xFEE4 characteristic
  BleDiagnosis diagnosis = BleDiagnosis::kNone;
};

// Whether a Device1 "Modalias" ("usb:v045Ep00CCd0001", "bluetooth:v045Ep00CC...") names the
// mouse's Bluetooth LE vendor and product. Letter case is ignored.
bool ModaliasNamesMouse(const QString& modalias);

// The first connected mouse in path order, its characteristics (the first of each kind below
// it that can be written to, or that notifies), and the diagnosis when none is connected.
BluezMouse FindBluezMouse(const BluezObjects& objects);

// Reads the value of an "a{sa{sv}}" argument (one object's interfaces) or of an
// "a{oa{sa{sv}}}" argument (GetManagedObjects' reply). Parts of another shape are skipped, so
// whatever a peer sends never reaches the tree half-read.
BluezInterfaces ReadBluezInterfaces(const QDBusArgument& argument);
BluezObjects ReadBluezObjects(const QDBusArgument& argument);

}  // namespace mokta
