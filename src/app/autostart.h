#pragma once

// Starting the program with the desktop session, hidden in the tray: an XDG autostart entry
// ("org.mokta.MoktaMouse.desktop" in the autostart folder of the user's config folder) whose
// command starts the program with MOKTA_START_HIDDEN=1. The program has no command-line
// options; the entry passes its wish through the environment. QtCore only.

#include <QString>

namespace mokta {

// The environment variable the autostart entry sets: "1" starts the program in the tray, its
// window hidden (shown as usual where there is no tray).
inline constexpr char kStartHiddenVariable[] = "MOKTA_START_HIDDEN";

// The entry's path: $XDG_CONFIG_HOME/autostart/... when XDG_CONFIG_HOME is absolute, else
// `home`/.config/autostart/...
QString AutostartEntryPathFor(const QString& xdg_config_home, const QString& home);
// The same for this process's environment.
QString AutostartEntryPath();

// The entry's text, starting `program` (an absolute path).
QString AutostartEntry(const QString& program);

// Whether the entry is there.
bool AutostartEnabled(const QString& entry_path);
// Writes the entry (atomically, creating the folder) or removes it; false when that failed.
bool SetAutostart(bool on, const QString& entry_path, const QString& program);

}  // namespace mokta
