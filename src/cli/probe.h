#pragma once

// `mokta-mousectl probe`: what the driver sees of a real mouse, for a bug report. Lists every
// hidraw node of the mouse's three identities (cable, receiver, Bluetooth LE) with what its
// report descriptor declares and whether this user may open it, says which node the driver
// would choose for each link (through the driver's own choice), and shows the mouse as BlueZ
// knows it. Plain text, or one JSON object with stable key names.

#include <QJsonObject>
#include <QString>
#include <QTextStream>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "feature_device.h"
#include "platform/linux/bluez_objects.h"
#include "platform/linux/hid_id.h"
#include "report_descriptor.h"

namespace mokta {

// One hidraw node of the mouse.
struct ProbeNode {
  std::string devnode;
  hidraw::HidId id;
  std::optional<int> usb_interface;  // bInterfaceNumber; empty off USB
  // The report descriptor's bytes; empty when it could not be read.
  std::optional<std::vector<std::uint8_t>> descriptor;
  hidraw::ReportDescriptorInfo info;  // parsed from `descriptor`
  bool readable = false;
  bool writable = false;
};

// The nodes of one identity, in the order libudev lists them.
struct ProbeLink {
  QString key;   // "cable", "receiver", "ble": stable, for the JSON
  QString name;  // for people
  hidraw::HidId id;
  std::vector<ProbeNode> nodes;
  // Only for the USB links, whose driver opens one of the nodes.
  std::optional<hidraw::InterfaceChoice> choice;
};

// The answer to one GetManagedObjects call on the system bus.
struct BluezAnswer {
  bool running = false;  // BlueZ answered
  QString problem;       // why not, for the user
  BluezObjects objects;
};

struct ProbeResult {
  std::vector<ProbeLink> links;  // cable, receiver, Bluetooth LE
  BluezAnswer bluez;
  QString problem;  // the hidraw nodes could not be listed; empty when they could
};

// What the probe asks of the system; tests replace parts of it.
struct ProbeSystem {
  // Whether this user may open `devnode` for reading (`write` false) or writing. Default:
  // access(2).
  std::function<bool(const std::string& devnode, bool write)> can_open;
  // One GetManagedObjects on the system bus. Default: QtDBus, never starting BlueZ, with a
  // short timeout.
  std::function<BluezAnswer()> ask_bluez;
};

// Lists the nodes through libudev and asks BlueZ.
ProbeResult RunProbeScan(const ProbeSystem& system = {});

QJsonObject ProbeToJson(const ProbeResult& result);
QString ProbeToText(const ProbeResult& result);

// `probe`, plain or (`json`) as JSON: writes the report to `out`. Returns 0, or 1 when the
// hidraw nodes could not be listed; the problem then also goes to `err`, and the rest of the
// report is still written.
int RunProbe(bool json, QTextStream& out, QTextStream& err, const ProbeSystem& system = {});

}  // namespace mokta
