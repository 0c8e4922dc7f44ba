#pragma once

// The state of the three links (cable, receiver, Bluetooth LE): start-up detection, arrivals
// and removals, the receiver-idle expiry, the charging animation, and whether any mouse is
// reachable (`device_connected`, told to the display on every change).
//
// Everything here runs on the UI thread. The apply worker reads the shared `LinkFields`.

#include <cstdint>
#include <deque>
#include <functional>

#include "device/ble_link_control.h"
#include "device/command_sender.h"
#include "device/link_display.h"
#include "device/link_fields.h"
#include "device/link_scheduler.h"

namespace mokta {

// Receives the data events of the driver roads (event word and value).
class DeviceEventHandler {
 public:
  virtual ~DeviceEventHandler() = default;
  virtual void OnDeviceEvent(std::uint16_t word, std::uint16_t value) = 0;
};

class LinkState {
 public:
  // Any device pointer may be null: that link then never opens. Everything referenced
  // outlives the link state; the scheduler must not run a `RunLater` step after it is
  // destroyed.
  LinkState(LinkFields& fields, LinkDisplay& display, LinkScheduler& scheduler,
            FeatureDevice* cable, FeatureDevice* receiver, BleLinkControl* ble);

  // Where the events of the driver roads go; may be null (events are then dropped).
  void set_event_handler(DeviceEventHandler* handler) { events_ = handler; }
  // Told when a link's device arrived but could not be opened: the link then stays down and
  // is never written. May be empty.
  void set_open_failure_handler(std::function<void(LinkKind)> handler) {
    open_failed_ = std::move(handler);
  }

  // Start-up, once the drivers' monitors are open: opens the cable, then the receiver, takes
  // the presence of a Bluetooth LE mouse, then sets `device_connected` and tells the
  // display. The Bluetooth LE link itself is brought up later with
  // `SetBleLink(fields().ble_state)`, once the profiles are loaded.
  void StartUp(bool ble_present);

  // A status code from the cable's or the receiver's monitor: CODE_ARRIVED, CODE_REMOVED or
  // any other code (ignored). Only the monitors' status messages give these codes.
  //
  // A link that arrives is opened after it has settled for a second, without blocking the UI
  // thread: until then every further code and event of either link and every Bluetooth LE
  // change is held back and handled afterwards in its order, as if the thread had waited. A
  // second arrival for a link that is connected or arriving is thus ignored. A device that
  // does not open leaves its link down (and tells the open-failure handler).
  void OnCableStatus(std::uint32_t code);
  void OnReceiverStatus(std::uint32_t code);

  // An event from the cable's or the receiver's monitor (its data message): event words
  // 0x1000..0x9000 go to the event handler, others are dropped. Whatever its word and value,
  // an event never reads as a status. Acknowledgements are never held back by an arrival:
  // the command sender waits for them, and one held back would make it write the command
  // again or take it for the next one.
  void OnCableEvent(std::uint16_t word, std::uint16_t value);
  void OnReceiverEvent(std::uint16_t word, std::uint16_t value);

  // The only way `ble_state` changes: 1 brings the Bluetooth LE link up, 0 takes it down.
  void SetBleLink(int present);
  // The system reports the Bluetooth LE mouse's device arriving or leaving.
  void OnBleDeviceChange(bool arrived);

  // Timer expiries, by id.
  void OnReceiverIdleTimer();     // TIMER_RECEIVER_IDLE: the receiver's mouse went quiet
  void OnChargeAnimationTimer();  // TIMER_CHARGE_ANIMATION: one step of the battery sweep
  void OnBleOpenTimer();          // TIMER_BLE_OPEN: subscribe to the mouse's notifications

  // Offers the polling-rate section while the cable, or the receiver with an awake mouse, is
  // up, and withdraws it while only Bluetooth LE is (it cannot carry the polling rate).
  void RefreshLinkView();

  // Shutdown, after the apply worker has stopped: closes the receiver, then the cable.
  void CloseDevices();

  LinkFields& fields() { return fields_; }
  const LinkFields& fields() const { return fields_; }
  int device_connected() const { return device_connected_; }
  int charge_step() const { return charge_step_; }
  bool arrival_pending() const { return arrival_pending_; }

 private:
  enum class Road { kCable, kReceiver };
  void OnStatus(Road road, std::uint32_t code);
  void OnEvent(std::uint16_t word, std::uint16_t value);
  // Opens the device of a link that arrived; false (and the handler told) when it did not.
  bool OpenArrived(FeatureDevice* device, LinkKind link);
  void CableArrived();
  void CableRemoved();
  void ReceiverArrived();
  void ReceiverRemoved();
  void SetConnected(int connected);
  // Runs `step` now, or after the pending arrival when one is settling.
  bool HoldBack(std::function<void()> step);
  void FinishArrival(void (LinkState::*arrived)());

  LinkFields& fields_;
  LinkDisplay& display_;
  LinkScheduler& scheduler_;
  FeatureDevice* cable_;
  FeatureDevice* receiver_;
  BleLinkControl* ble_;
  DeviceEventHandler* events_ = nullptr;
  std::function<void(LinkKind)> open_failed_;
  int device_connected_ = 0;
  int charge_step_ = 0;
  bool arrival_pending_ = false;
  std::deque<std::function<void()>> held_back_;
};

}  // namespace mokta
