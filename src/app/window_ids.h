#pragma once

// The main window's messages and timers, shared by the window and the settings page it hosts.
// The values are the program's own message numbers and must not change: a second program start
// sends MSG_ACTIVATE, and the input hook library posts MSG_HOOK_EVENT.

#include <cstdint>

#include "device/driver_messages.h"

namespace mokta {

inline constexpr std::uint32_t MSG_TRAY_ICON = WM_USER_BASE + 1;
inline constexpr std::uint32_t MSG_MENU_COMMAND = WM_USER_BASE + 3;
inline constexpr std::uint32_t MSG_HOOK_EVENT = WM_USER_BASE + 10;
inline constexpr std::uint32_t MSG_ACTIVATE = WM_USER_BASE + 13;
inline constexpr std::uint32_t MSG_LINK_CHANGED = WM_USER_BASE + 104;
inline constexpr std::uint32_t MSG_SHOW_DPI = WM_USER_BASE + 105;
inline constexpr std::uint32_t MSG_APPLY_REQUEST = WM_USER_BASE + 517;

inline constexpr int TIMER_DPI_POPUP = 52;
inline constexpr int TIMER_APPLY_DELAY = 513;
inline constexpr int TIMER_SETTINGS_FOLLOWUP = 514;
inline constexpr int kDpiPopupMs = 2000;

}  // namespace mokta
