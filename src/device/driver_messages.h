#pragma once

// The messages the device side receives: those the driver libraries post from their monitors
// (numbers the program hands them when it opens a monitor), the Bluetooth LE link's, and the
// apply worker's, together with the codes the driver monitors' status messages fold into (their
// data messages are never folded: they carry the event word and value as they are). The values
// are the program's own message numbers and must not change.

#include <cstdint>

namespace mokta {

inline constexpr std::uint32_t WM_USER_BASE = 0x0400;

inline constexpr std::uint32_t MSG_WORKER_APPLY = WM_USER_BASE + 512;
inline constexpr std::uint32_t MSG_RECEIVER_EVENT = WM_USER_BASE + 513;
inline constexpr std::uint32_t MSG_RECEIVER_STATUS = WM_USER_BASE + 514;
inline constexpr std::uint32_t MSG_CABLE_EVENT = WM_USER_BASE + 515;
inline constexpr std::uint32_t MSG_CABLE_STATUS = WM_USER_BASE + 516;
// The Bluetooth LE link of a driver library (or of the system): presence and notifications.
inline constexpr std::uint32_t MSG_BLE_PRESENCE = WM_USER_BASE + 600;
inline constexpr std::uint32_t MSG_BLE_EVENT = WM_USER_BASE + 601;

// Status messages of the driver monitors fold into these codes (wParam 1, wParam 0, other).
inline constexpr std::uint32_t CODE_ARRIVED = 0x7F000001;
inline constexpr std::uint32_t CODE_REMOVED = 0x7F000002;
inline constexpr std::uint32_t CODE_STATUS_OTHER = 0x7F000000;

// Folds a status message of a driver monitor into CODE_ARRIVED, CODE_REMOVED or
// CODE_STATUS_OTHER.
constexpr std::uint32_t FoldStatusMessage(std::uintptr_t wparam) {
  return wparam == 1 ? CODE_ARRIVED : wparam == 0 ? CODE_REMOVED : CODE_STATUS_OTHER;
}

}  // namespace mokta
