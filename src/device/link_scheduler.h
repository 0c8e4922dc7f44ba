#pragma once

// The timers of the link state and the device events: ids, periods, and the interface that
// runs them. The device host runs them on its own thread's event loop; tests run them by hand.

#include <functional>

namespace mokta {

inline constexpr int TIMER_RECEIVER_IDLE = 512;     // the receiver's mouse went quiet
inline constexpr int TIMER_CHARGE_ANIMATION = 515;  // one step of the battery sweep, repeating
inline constexpr int TIMER_BLE_OPEN = 516;          // subscribe to the mouse's notifications
inline constexpr int kReceiverIdleMs = 6000;
inline constexpr int kChargeAnimationMs = 30;
inline constexpr int kBleOpenMs = 2000;
// How long a cable or receiver that has just arrived is left to settle before it is opened.
inline constexpr int kArrivalSettleMs = 1000;

// Every call is made on the thread that owns the link state (the UI thread).
class LinkScheduler {
 public:
  virtual ~LinkScheduler() = default;
  // Timers by id: starting a running timer restarts it; a timer repeats until stopped.
  virtual void StartTimer(int id, int ms) = 0;
  virtual void StopTimer(int id) = 0;
  // Runs `step` once on the same thread after `ms`, without blocking it meanwhile; never after
  // the scheduler has shut down.
  virtual void RunLater(int ms, std::function<void()> step) = 0;
};

}  // namespace mokta
