#pragma once

// The platform's implementations of the core's interfaces, made for the program and the
// command-line tool. Each platform folder (src/platform/<name>/) defines these.

#include <memory>

#include "data/keyboard_layout.h"
#include "device/system_ble.h"
#include "platform/desktop_notifications.h"

namespace mokta {

// The system's Bluetooth LE road to the mouse: presence, GATT link and diagnosis. Made and
// used on the UI thread (its writes excepted).
std::unique_ptr<SystemBle> MakeSystemBle();

// The active keyboard layout: the window system's own where it can be followed, else the
// layout the environment or the system's keyboard settings name, else a fixed US layout.
// The result may be used from any thread.
std::unique_ptr<KeyboardLayout> MakeSystemKeyboardLayout();

// The desktop's notification service. UI thread.
std::unique_ptr<DesktopNotifications> MakeDesktopNotifications();

}  // namespace mokta
