#pragma once

// The state of the three links as the apply worker and the command sender read it. The UI
// thread writes these fields (link changes, device events); the worker reads each one at the
// moment it needs it. Atomics, because the two threads meet here without a lock: a field may
// change between two reads, and every reader is written to cope with that.

#include <atomic>

namespace mokta {

// Values of `wired_state` and `wireless_state`.
inline constexpr int kLinkNeverFound = 0;  // not found at start-up
inline constexpr int kLinkConnected = 1;
inline constexpr int kLinkRemoved = 2;

struct LinkFields {
  std::atomic<int> wired_state{kLinkNeverFound};     // cable link
  std::atomic<int> wireless_state{kLinkNeverFound};  // receiver link
  std::atomic<int> ble_state{0};                     // 1 while a Bluetooth LE mouse is present
  // 1 while no cable or Bluetooth LE link is up and the mouse behind the receiver has not yet
  // reported; an apply pass sends nothing while it is 1.
  std::atomic<int> device_asleep{1};
  std::atomic<int> wireless_awake{0};  // 1 while the mouse reports through the receiver
  // The receiver's acknowledgement of the last command: cleared by the sender before it writes
  // to the receiver, set by the acknowledgement event.
  std::atomic<int> ack_received{0};

  bool AnyLinkUp() const {
    return wired_state.load() == kLinkConnected || wireless_state.load() == kLinkConnected ||
           ble_state.load() == 1;
  }
};

}  // namespace mokta
