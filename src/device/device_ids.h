#pragma once

// Numbers shared by the device side and the window that hosts it: window messages, timer ids
// and the folded status codes of the driver monitors. The values are the program's own
// message numbers and must not change: the driver libraries post some of them.

#include <cstdint>

namespace mokta {

inline constexpr std::uint32_t WM_USER_BASE = 0x0400;

inline constexpr std::uint32_t MSG_TRAY_ICON = WM_USER_BASE + 1;
inline constexpr std::uint32_t MSG_MENU_COMMAND = WM_USER_BASE + 3;
inline constexpr std::uint32_t MSG_HOOK_EVENT = WM_USER_BASE + 10;
inline constexpr std::uint32_t MSG_ACTIVATE = WM_USER_BASE + 13;
inline constexpr std::uint32_t MSG_LINK_CHANGED = WM_USER_BASE + 104;
inline constexpr std::uint32_t MSG_SHOW_DPI = WM_USER_BASE + 105;
inline constexpr std::uint32_t MSG_WORKER_APPLY = WM_USER_BASE + 512;
inline constexpr std::uint32_t MSG_RECEIVER_EVENT = WM_USER_BASE + 513;
inline constexpr std::uint32_t MSG_RECEIVER_STATUS = WM_USER_BASE + 514;
inline constexpr std::uint32_t MSG_CABLE_EVENT = WM_USER_BASE + 515;
inline constexpr std::uint32_t MSG_CABLE_STATUS = WM_USER_BASE + 516;
inline constexpr std::uint32_t MSG_APPLY_REQUEST = WM_USER_BASE + 517;

// Timers of the main window, with their periods in milliseconds.
inline constexpr int TIMER_DPI_POPUP = 52;
inline constexpr int TIMER_RECEIVER_IDLE = 512;
inline constexpr int TIMER_APPLY_DELAY = 513;
inline constexpr int TIMER_SETTINGS_FOLLOWUP = 514;
inline constexpr int TIMER_CHARGE_ANIMATION = 515;
inline constexpr int TIMER_BLE_OPEN = 516;
inline constexpr int kDpiPopupMs = 2000;
inline constexpr int kReceiverIdleMs = 6000;
inline constexpr int kChargeAnimationMs = 30;
inline constexpr int kBleOpenMs = 2000;
// How long a cable or receiver that has just arrived is left to settle before it is opened.
inline constexpr int kArrivalSettleMs = 1000;

// Status messages of the driver monitors fold into these codes (wParam 1, wParam 0, other).
inline constexpr std::uint32_t CODE_ARRIVED = 0x7F000001;
inline constexpr std::uint32_t CODE_REMOVED = 0x7F000002;
inline constexpr std::uint32_t CODE_STATUS_OTHER = 0x7F000000;

// Folds a data message of a driver monitor (event word in wparam, value in lparam) into one
// code: the word in the high half, the value's low 16 bits in the low half.
constexpr std::uint32_t FoldDataMessage(std::uintptr_t wparam, std::intptr_t lparam) {
  return static_cast<std::uint32_t>((static_cast<std::uint32_t>(wparam) << 16) ^
                                    (static_cast<std::uint32_t>(lparam) & 0xFFFFu));
}

// Folds a status message of a driver monitor into CODE_ARRIVED, CODE_REMOVED or
// CODE_STATUS_OTHER.
constexpr std::uint32_t FoldStatusMessage(std::uintptr_t wparam) {
  return wparam == 1 ? CODE_ARRIVED : wparam == 0 ? CODE_REMOVED : CODE_STATUS_OTHER;
}

}  // namespace mokta
