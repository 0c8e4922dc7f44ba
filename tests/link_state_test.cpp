// The link state machine: start-up, arrivals and removals, and when the window is told that
// the mouse became reachable or unreachable.

#include "device/link_state.h"

#include <gtest/gtest.h>

#include "device/driver_messages.h"
#include "device/link_scheduler.h"
#include "device_fakes.h"

namespace mokta {
namespace {

using Log = std::vector<std::string>;

class FakeDevice : public FeatureDevice {
 public:
  bool present = false;
  int opens = 0;
  int closes = 0;
  bool Open() override {
    ++opens;
    return present;
  }
  void Close() override { ++closes; }
  bool SetFeature(std::span<const std::uint8_t>) override { return present; }
};

class FakeBle : public BleLinkControl {
 public:
  std::vector<std::string> calls;
  void SetLinkUp(bool up) override { calls.push_back(up ? "up" : "down"); }
  void OpenGattLink() override { calls.push_back("open"); }
};

class EventLog : public DeviceEventHandler {
 public:
  std::vector<std::pair<int, int>> events;
  void OnDeviceEvent(std::uint16_t word, std::uint16_t value) override {
    events.emplace_back(word, value);
  }
};

class LinkStateTest : public ::testing::Test {
 protected:
  LinkStateTest() { links_.set_event_handler(&events_); }

  void StartWith(bool cable, bool receiver, bool ble) {
    cable_.present = cable;
    receiver_.present = receiver;
    links_.StartUp(ble);
    if (ble) links_.SetBleLink(1);
    view_.Take();
  }

  LinkFields fields_;
  test::RecordingView view_;
  FakeDevice cable_;
  FakeDevice receiver_;
  FakeBle ble_;
  EventLog events_;
  LinkState links_{fields_, view_, view_, &cable_, &receiver_, &ble_};
};

TEST_F(LinkStateTest, StartUpWithCableAndReceiver) {
  cable_.present = true;
  receiver_.present = true;
  links_.StartUp(false);
  EXPECT_EQ(view_.Take(), (Log{"awake", "charging", "start 515 30", "cable up", "start 512 6000",
                               "receiver up", "link changed"}));
  EXPECT_EQ(links_.device_connected(), 1);
  EXPECT_EQ(fields_.wired_state, kLinkConnected);
  EXPECT_EQ(fields_.wireless_state, kLinkConnected);
  EXPECT_EQ(fields_.device_asleep, 0);
}

TEST_F(LinkStateTest, StartUpWithNothing) {
  links_.StartUp(false);
  EXPECT_EQ(view_.Take(), (Log{"asleep", "cable down", "receiver down", "link changed"}));
  EXPECT_EQ(links_.device_connected(), 0);
  EXPECT_EQ(fields_.device_asleep, 1);
  EXPECT_FALSE(fields_.AnyLinkUp());
}

TEST_F(LinkStateTest, StartUpWithOnlyBluetoothWithdrawsThePollingRate) {
  links_.StartUp(true);
  EXPECT_EQ(links_.device_connected(), 1);
  view_.Take();
  links_.SetBleLink(1);
  EXPECT_EQ(view_.Take(),
            (Log{"start 516 2000", "awake", "ble up", "prate withdrawn", "link changed"}));
  EXPECT_EQ(ble_.calls, (std::vector<std::string>{"up"}));
  EXPECT_EQ(fields_.device_asleep, 0);
  links_.OnBleOpenTimer();
  EXPECT_EQ(ble_.calls.back(), "open");
}

TEST_F(LinkStateTest, CableArrivalSettlesWithoutBlockingAndTakesOverFromBluetooth) {
  StartWith(false, false, true);
  cable_.present = true;
  links_.OnCableStatus(CODE_ARRIVED);
  EXPECT_EQ(view_.Take(), (Log{"wait 1000"}));  // nothing happens before it has settled
  EXPECT_EQ(fields_.wired_state, kLinkNeverFound);

  view_.RunPending();
  EXPECT_EQ(view_.Take(), (Log{"awake", "cable up", "prate offered", "charging", "start 515 30",
                               // Bluetooth LE dropped; no message, the cable is already connected
                               "stop 516", "ble down",
                               // then the cable makes the mouse reachable once more
                               "link changed"}));
  EXPECT_EQ(ble_.calls.back(), "down");
  EXPECT_EQ(fields_.ble_state, 0);
  EXPECT_EQ(fields_.wired_state, kLinkConnected);
  EXPECT_EQ(cable_.opens, 2);
  EXPECT_EQ(links_.device_connected(), 1);
}

TEST_F(LinkStateTest, SecondArrivalIsIgnoredAndRemovalWaitsForTheArrival) {
  StartWith(false, false, false);
  cable_.present = true;
  receiver_.present = true;
  links_.OnCableStatus(CODE_ARRIVED);
  links_.OnCableStatus(CODE_ARRIVED);   // while settling
  links_.OnCableEvent(0x40CC, 0x0002);  // a battery report, held back
  links_.OnCableStatus(CODE_REMOVED);   // held back too
  links_.OnReceiverStatus(CODE_ARRIVED);
  EXPECT_EQ(view_.Count("wait 1000"), 1);
  EXPECT_TRUE(events_.events.empty());

  view_.RunPending();  // the cable arrives, then the held-back codes run in order
  EXPECT_EQ(events_.events, (std::vector<std::pair<int, int>>{{0x40CC, 0x0002}}));
  EXPECT_EQ(fields_.wired_state, kLinkRemoved);
  EXPECT_EQ(cable_.closes, 1);
  EXPECT_TRUE(links_.arrival_pending());  // the receiver's arrival is settling now
  EXPECT_EQ(fields_.wireless_state, kLinkNeverFound);

  view_.RunPending();
  EXPECT_EQ(fields_.wireless_state, kLinkConnected);
  EXPECT_FALSE(links_.arrival_pending());

  view_.Take();
  links_.OnReceiverStatus(CODE_ARRIVED);  // already connected: no second wait
  EXPECT_TRUE(view_.Take().empty());
}

TEST_F(LinkStateTest, RemovalOnlyChangesReachabilityWhenNoOtherLinkIsUp) {
  StartWith(true, true, false);
  links_.OnReceiverStatus(CODE_REMOVED);
  EXPECT_EQ(fields_.wireless_state, kLinkRemoved);
  EXPECT_EQ(links_.device_connected(), 1);
  EXPECT_EQ(view_.Count("link changed"), 0);
  links_.OnReceiverStatus(CODE_REMOVED);  // repeated removal: ignored
  EXPECT_EQ(receiver_.closes, 1);

  view_.Take();
  links_.OnCableStatus(CODE_REMOVED);
  EXPECT_EQ(view_.Take(),
            (Log{"asleep", "cable down", "battery unknown", "stop 515", "link changed"}));
  EXPECT_EQ(links_.device_connected(), 0);
  EXPECT_EQ(fields_.device_asleep, 1);
}

TEST_F(LinkStateTest, CableRemovalKeepsTheMouseReachableOverALinkStillUp) {
  StartWith(true, false, false);
  links_.SetBleLink(1);  // Bluetooth LE came up while the cable was in
  view_.Take();
  links_.OnCableStatus(CODE_REMOVED);
  EXPECT_EQ(fields_.device_asleep, 0);
  EXPECT_EQ(view_.Count("asleep"), 0);
  EXPECT_EQ(links_.device_connected(), 1);

  StartWith(true, true, false);  // the receiver's mouse reports: it stays reachable too
  fields_.wireless_awake = 1;
  view_.Take();
  links_.OnCableStatus(CODE_REMOVED);
  EXPECT_EQ(fields_.device_asleep, 0);
  EXPECT_EQ(view_.Count("asleep"), 0);

  StartWith(true, true, false);  // a receiver whose mouse has not reported: asleep
  fields_.wireless_awake = 0;
  links_.OnCableStatus(CODE_REMOVED);
  EXPECT_EQ(fields_.device_asleep, 1);
}

TEST_F(LinkStateTest, ReceiverRemovalForgetsTheAwakeMouse) {
  StartWith(false, true, false);
  fields_.wireless_awake = 1;
  links_.OnReceiverStatus(CODE_REMOVED);
  EXPECT_EQ(fields_.wireless_awake, 0);
  EXPECT_EQ(links_.device_connected(), 0);
}

TEST_F(LinkStateTest, ReceiverIdleExpiryShowsTheSleepLabel) {
  StartWith(false, true, false);
  fields_.wireless_awake = 1;
  links_.OnReceiverIdleTimer();
  EXPECT_EQ(view_.Take(), (Log{"stop 512", "receiver down", "asleep"}));
  EXPECT_EQ(fields_.wireless_awake, 0);

  StartWith(true, true, false);  // with the cable up the label stays hidden
  links_.OnReceiverIdleTimer();
  EXPECT_EQ(view_.Count("asleep"), 0);
}

TEST_F(LinkStateTest, BluetoothDeviceChanges) {
  StartWith(false, false, false);
  links_.OnBleDeviceChange(true);
  EXPECT_EQ(fields_.ble_state, 1);
  EXPECT_EQ(links_.device_connected(), 1);
  view_.Take();
  links_.OnBleDeviceChange(true);  // already present: nothing
  EXPECT_TRUE(view_.Take().empty());
  links_.OnBleDeviceChange(false);
  EXPECT_EQ(view_.Take(), (Log{"stop 516", "ble down", "asleep", "link changed"}));
  EXPECT_EQ(links_.device_connected(), 0);
}

TEST_F(LinkStateTest, ChargeAnimationSweepsAndWraps) {
  std::vector<int> bars;
  for (int i = 0; i < 52; ++i) links_.OnChargeAnimationTimer();
  for (const auto& line : view_.Take())
    bars.push_back(std::stoi(line.substr(std::string("charge step ").size())));
  EXPECT_EQ(bars.front(), 0);
  EXPECT_EQ(bars[50], 100);
  EXPECT_EQ(bars[51], 0);
}

TEST_F(LinkStateTest, EventsGoToTheEventHandlerAndOtherStatusCodesAreIgnored) {
  StartWith(true, false, false);
  links_.OnReceiverEvent(0x10CC, 3);
  links_.OnCableEvent(0x80CC, 1);
  links_.OnCableEvent(0x0FFF, 1);  // outside the event words 0x1000..0x9000
  links_.OnCableEvent(0x90CC, 1);
  links_.OnCableStatus(CODE_STATUS_OTHER);
  EXPECT_EQ(events_.events, (std::vector<std::pair<int, int>>{{0x10CC, 3}, {0x80CC, 1}}));
  EXPECT_TRUE(view_.Take().empty());
}

// A device that arrives but does not open must not leave a link that reads as up while every
// command to it fails: it stays down, is reported, and the next arrival tries again.
TEST_F(LinkStateTest, ArrivalWhoseDeviceDoesNotOpenLeavesTheLinkDown) {
  std::vector<LinkKind> failed;
  links_.set_open_failure_handler([&](LinkKind link) { failed.push_back(link); });
  StartWith(false, false, false);
  links_.OnCableStatus(CODE_ARRIVED);
  view_.RunPending();
  links_.OnReceiverStatus(CODE_ARRIVED);
  view_.RunPending();
  EXPECT_EQ(failed, (std::vector<LinkKind>{LinkKind::kCable, LinkKind::kReceiver}));
  EXPECT_EQ(view_.Take(), (Log{"wait 1000", "cable down", "wait 1000", "receiver down"}));
  EXPECT_FALSE(fields_.AnyLinkUp());
  EXPECT_EQ(fields_.device_asleep, 1);
  EXPECT_EQ(links_.device_connected(), 0);

  cable_.present = true;  // plugged in again, it opens
  links_.OnCableStatus(CODE_ARRIVED);
  view_.RunPending();
  EXPECT_EQ(fields_.wired_state, kLinkConnected);
  EXPECT_EQ(links_.device_connected(), 1);
}

// While an arrival settles, the receiver's acknowledgements still reach the sender at once;
// everything else waits for the arrival.
TEST_F(LinkStateTest, AcknowledgementsAreNotHeldBackByAnArrival) {
  StartWith(false, true, false);
  cable_.present = true;
  links_.OnCableStatus(CODE_ARRIVED);
  links_.OnReceiverEvent(0x40CC, 0x3201);
  links_.OnReceiverEvent(0x50CC, 0x0000);
  EXPECT_EQ(events_.events, (std::vector<std::pair<int, int>>{{0x50CC, 0}}));
  view_.RunPending();
  EXPECT_EQ(events_.events, (std::vector<std::pair<int, int>>{{0x50CC, 0}, {0x40CC, 0x3201}}));
}

TEST(FoldMessages, StatusCodes) {
  EXPECT_EQ(FoldStatusMessage(1), CODE_ARRIVED);
  EXPECT_EQ(FoldStatusMessage(0), CODE_REMOVED);
  EXPECT_EQ(FoldStatusMessage(7), CODE_STATUS_OTHER);
}

}  // namespace
}  // namespace mokta
