#pragma once

// The platform's implementations of the core's interfaces, made for the program and the
// command-line tool. Each platform folder (src/platform/<name>/) defines these.

#include <memory>

#include "device/ble_presence.h"

namespace mokta {

// The system's Bluetooth LE presence test and monitor for the mouse.
std::unique_ptr<BlePresenceSource> MakeSystemBlePresence();

}  // namespace mokta
