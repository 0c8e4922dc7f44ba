#include "device/link_state.h"

#include <utility>

#include "device/driver_messages.h"
#include "device/event_words.h"

namespace mokta {

LinkState::LinkState(LinkFields& fields, LinkDisplay& display, LinkScheduler& scheduler,
                     FeatureDevice* cable, FeatureDevice* receiver, BleLinkControl* ble)
    : fields_(fields),
      display_(display),
      scheduler_(scheduler),
      cable_(cable),
      receiver_(receiver),
      ble_(ble) {}

void LinkState::StartUp(bool ble_present) {
  if (cable_ && cable_->Open()) {
    fields_.wired_state = kLinkConnected;
    fields_.device_asleep = 0;
    display_.ShowAsleep(false);
    display_.ShowCharging();
    scheduler_.StartTimer(TIMER_CHARGE_ANIMATION, kChargeAnimationMs);
    display_.ShowLinkUp(LinkKind::kCable, true);
  } else {
    fields_.wired_state = kLinkNeverFound;
    fields_.device_asleep = 1;
    display_.ShowAsleep(true);
    display_.ShowLinkUp(LinkKind::kCable, false);
  }

  if (receiver_ && receiver_->Open()) {
    scheduler_.StartTimer(TIMER_RECEIVER_IDLE, kReceiverIdleMs);
    fields_.wireless_state = kLinkConnected;
    display_.ShowLinkUp(LinkKind::kReceiver, true);
  } else {
    fields_.wireless_state = kLinkNeverFound;
    display_.ShowLinkUp(LinkKind::kReceiver, false);
  }

  fields_.ble_state = ble_present ? 1 : 0;
  device_connected_ = fields_.AnyLinkUp() ? 1 : 0;
  display_.ShowConnected(device_connected_ != 0);
}

void LinkState::OnCableStatus(std::uint32_t code) {
  OnStatus(Road::kCable, code);
}
void LinkState::OnReceiverStatus(std::uint32_t code) {
  OnStatus(Road::kReceiver, code);
}

void LinkState::OnCableEvent(std::uint16_t word, std::uint16_t value) {
  OnEvent(word, value);
}
void LinkState::OnReceiverEvent(std::uint16_t word, std::uint16_t value) {
  OnEvent(word, value);
}

void LinkState::OnEvent(std::uint16_t word, std::uint16_t value) {
  // An acknowledgement only answers the command being sent; it changes no link.
  if (!IsAcknowledgement(word) && HoldBack([this, word, value] { OnEvent(word, value); })) {
    return;
  }
  if (events_ && word >= 0x1000 && word <= 0x9000) events_->OnDeviceEvent(word, value);
}

void LinkState::OnStatus(Road road, std::uint32_t code) {
  if (HoldBack([this, road, code] { OnStatus(road, code); })) return;

  const bool cable = road == Road::kCable;
  std::atomic<int>& state = cable ? fields_.wired_state : fields_.wireless_state;
  if (code == CODE_ARRIVED && state.load() != kLinkConnected) {
    arrival_pending_ = true;
    auto arrived = cable ? &LinkState::CableArrived : &LinkState::ReceiverArrived;
    scheduler_.RunLater(kArrivalSettleMs, [this, arrived] { FinishArrival(arrived); });
  } else if (code == CODE_REMOVED && state.load() != kLinkRemoved) {
    cable ? CableRemoved() : ReceiverRemoved();
  }
}

bool LinkState::HoldBack(std::function<void()> step) {
  if (!arrival_pending_) return false;
  held_back_.push_back(std::move(step));
  return true;
}

void LinkState::FinishArrival(void (LinkState::*arrived)()) {
  (this->*arrived)();
  arrival_pending_ = false;
  // Replay what came in meanwhile, until one of those starts another arrival.
  while (!arrival_pending_ && !held_back_.empty()) {
    std::function<void()> step = std::move(held_back_.front());
    held_back_.pop_front();
    step();
  }
}

bool LinkState::OpenArrived(FeatureDevice* device, LinkKind link) {
  if (device && device->Open()) return true;
  display_.ShowLinkUp(link, false);
  if (open_failed_) open_failed_(link);
  return false;
}

// A device that cannot be opened would take every command and deliver none: its link stays
// as it was (not connected), so that the sender never picks it and the next arrival tries
// again.
void LinkState::CableArrived() {
  if (!OpenArrived(cable_, LinkKind::kCable)) return;
  fields_.wired_state = kLinkConnected;
  fields_.device_asleep = 0;
  display_.ShowAsleep(false);
  display_.ShowLinkUp(LinkKind::kCable, true);
  RefreshLinkView();
  charge_step_ = 0;
  display_.ShowCharging();
  scheduler_.StartTimer(TIMER_CHARGE_ANIMATION, kChargeAnimationMs);
  if (fields_.ble_state.load() == 1) SetBleLink(0);  // the cable takes over from Bluetooth LE
  if (fields_.wireless_state.load() != kLinkConnected && fields_.ble_state.load() == 0) {
    SetConnected(1);
  }
}

void LinkState::CableRemoved() {
  fields_.wired_state = kLinkRemoved;
  if (cable_) cable_->Close();
  // The mouse stays reachable over a link that is still up: Bluetooth LE, or the receiver
  // while the mouse reports through it.
  const bool reachable =
      fields_.ble_state.load() == 1 ||
      (fields_.wireless_state.load() == kLinkConnected && fields_.wireless_awake.load() == 1);
  fields_.device_asleep = reachable ? 0 : 1;
  display_.ShowAsleep(!reachable);
  display_.ShowLinkUp(LinkKind::kCable, false);
  RefreshLinkView();
  display_.ShowBatteryUnknown();
  scheduler_.StopTimer(TIMER_CHARGE_ANIMATION);
  if (fields_.wireless_state.load() != kLinkConnected && fields_.ble_state.load() == 0) {
    SetConnected(0);
  }
}

void LinkState::ReceiverArrived() {
  if (!OpenArrived(receiver_, LinkKind::kReceiver)) return;
  display_.ShowLinkUp(LinkKind::kReceiver, true);
  fields_.wireless_state = kLinkConnected;
  RefreshLinkView();
  scheduler_.StartTimer(TIMER_RECEIVER_IDLE, kReceiverIdleMs);
  if (fields_.wired_state.load() != kLinkConnected && fields_.ble_state.load() == 0) {
    SetConnected(1);
  }
}

void LinkState::ReceiverRemoved() {
  fields_.wireless_state = kLinkRemoved;
  // No mouse reports through a receiver that is gone; a receiver plugged in again waits for
  // the mouse's first report before commands go to it.
  fields_.wireless_awake = 0;
  display_.ShowLinkUp(LinkKind::kReceiver, false);
  if (receiver_) receiver_->Close();
  RefreshLinkView();
  scheduler_.StopTimer(TIMER_RECEIVER_IDLE);
  if (fields_.wired_state.load() != kLinkConnected && fields_.ble_state.load() == 0) {
    SetConnected(0);
  }
}

void LinkState::SetConnected(int connected) {
  device_connected_ = connected;
  display_.ShowConnected(device_connected_ != 0);
}

void LinkState::SetBleLink(int present) {
  fields_.ble_state = present;
  const bool others_down = fields_.wireless_state.load() != kLinkConnected &&
                           fields_.wired_state.load() != kLinkConnected;
  if (present) {
    if (ble_) ble_->SetLinkUp(true);
    scheduler_.StartTimer(TIMER_BLE_OPEN, kBleOpenMs);
    fields_.device_asleep = 0;
    display_.ShowAsleep(false);
    display_.ShowLinkUp(LinkKind::kBle, true);
    RefreshLinkView();
    if (others_down) SetConnected(1);
  } else {
    scheduler_.StopTimer(TIMER_BLE_OPEN);
    if (ble_) ble_->SetLinkUp(false);
    display_.ShowLinkUp(LinkKind::kBle, false);
    if (fields_.wireless_awake.load() == 0 && fields_.wired_state.load() != kLinkConnected) {
      display_.ShowAsleep(true);
    }
    if (others_down) SetConnected(0);
  }
}

void LinkState::OnBleDeviceChange(bool arrived) {
  if (HoldBack([this, arrived] { OnBleDeviceChange(arrived); })) return;
  if (!arrived) {
    SetBleLink(0);
  } else if (fields_.ble_state.load() == 0) {
    SetBleLink(1);
  }
}

void LinkState::OnReceiverIdleTimer() {
  scheduler_.StopTimer(TIMER_RECEIVER_IDLE);
  fields_.wireless_awake = 0;
  display_.ShowLinkUp(LinkKind::kReceiver, false);
  RefreshLinkView();
  if (fields_.ble_state.load() == 0 && fields_.wired_state.load() != kLinkConnected) {
    display_.ShowAsleep(true);
  }
}

void LinkState::OnChargeAnimationTimer() {
  display_.ShowChargeStep(charge_step_);
  charge_step_ += 2;
  if (charge_step_ > 100) charge_step_ = 0;
}

void LinkState::OnBleOpenTimer() {
  scheduler_.StopTimer(TIMER_BLE_OPEN);
  if (ble_) ble_->OpenGattLink();
}

void LinkState::RefreshLinkView() {
  if (fields_.wired_state.load() == kLinkConnected ||
      (fields_.wireless_state.load() == kLinkConnected && fields_.wireless_awake.load() == 1)) {
    display_.ShowPollingRateAvailable(true);
  } else if (fields_.ble_state.load() == 1) {
    display_.ShowPollingRateAvailable(false);
  }
}

void LinkState::CloseDevices() {
  if (receiver_) receiver_->Close();
  if (cable_) cable_->Close();
}

}  // namespace mokta
