// Events the mouse reports: what they change in the profile, the store and the window, and
// what they leave alone.

#include "device/device_events.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "data/store_files.h"
#include "device/apply_pass.h"
#include "device_fakes.h"

namespace mokta {
namespace {

using Log = std::vector<std::string>;

class NoLanguage : public LanguageTexts {
 public:
  QString Text(const QString& key) const override { return key; }
};

class DeviceEventsTest : public ::testing::Test {
 protected:
  DeviceEventsTest() : stores_(dir_.path() + "/"), session_(&stores_) {
    ProfileList list;
    list.push_back(NewProfile(u"One"));
    session_.Load(std::move(list), nullptr, 0);
    session_.RecordApplied(session_.current());
  }

  // The mouse behind the receiver (cable state 0) or on the cable.
  void OnReceiver() { fields_.wireless_state = kLinkConnected; }
  void OnCable() { fields_.wired_state = kLinkConnected; }

  std::unique_ptr<ProfileData> StoredProfile() {
    session_.FlushStore();  // the writer thread writes it
    NoLanguage language;
    ProfileStoreContents stored = stores_.ReadProfileStore(language);
    return std::move(stored.profiles.at(0));
  }

  QTemporaryDir dir_;
  StoreFiles stores_;
  ProfileSession session_;
  LinkFields fields_;
  test::RecordingView view_;
  LinkState links_{fields_, view_, view_, nullptr, nullptr, nullptr};
  DeviceEvents events_{links_, session_, view_, view_};
};

TEST_F(DeviceEventsTest, DpiStageIsSelectedShownSavedAndNotSentBack) {
  events_.OnDeviceEvent(0x10CC, 3);
  EXPECT_EQ(session_.current().dpi_step(), 2);
  EXPECT_EQ(view_.Take(), (Log{"stage 3", "dpi 48"}));  // entry 2 of the default stages
  EXPECT_EQ(StoredProfile()->dpi_step(), 2);

  test::RecordingSender sender;
  fields_.wired_state = kLinkConnected;
  fields_.device_asleep = 0;
  ApplyPass(session_, fields_, sender, nullptr).Run();
  EXPECT_EQ(sender.Codes(), (std::vector<int>{0x0C}));
}

TEST_F(DeviceEventsTest, EventDoesNotMarkAPendingEditAsApplied) {
  // The user moved a slider; its apply is still waiting when the mouse reports a stage.
  session_.EditCurrent([](ProfileData& p) { p.set_brightness(2); });
  events_.OnDeviceEvent(0x10CC, 5);
  test::RecordingSender sender;
  fields_.wired_state = kLinkConnected;
  fields_.device_asleep = 0;
  ApplyPass(session_, fields_, sender, nullptr).Run();
  EXPECT_EQ(sender.Codes(), (std::vector<int>{0x0C, 0x05}));
}

TEST_F(DeviceEventsTest, WrongMarkerUnknownKindsAndOutOfRangeValuesAreDropped) {
  const auto before = session_.current();
  events_.OnDeviceEvent(0x10CD, 3);  // wrong marker
  events_.OnDeviceEvent(0x10CC, 0);  // stage out of range
  events_.OnDeviceEvent(0x10CC, 9);
  events_.OnDeviceEvent(0x20CC, 9);     // polling rate out of range
  events_.OnDeviceEvent(0x70CC, 0x30);  // lighting above 7 on a driver road
  events_.OnDeviceEvent(0x60CC, 5);     // no effect
  events_.OnDeviceEvent(0x30CC, 1);     // unknown kind
  events_.OnDeviceEvent(0x80CC, 6);     // out of range: not even saved
  EXPECT_EQ(session_.current(), before);
  EXPECT_TRUE(view_.Take().empty());
  EXPECT_FALSE(QFile::exists(stores_.ProfileStorePath()));
}

TEST_F(DeviceEventsTest, BatteryThroughTheReceiverWakesTheMouse) {
  OnReceiver();
  events_.OnDeviceEvent(0x40CC, 0x3201);
  EXPECT_EQ(view_.Take(), (Log{"stop 512", "start 512 6000", "receiver up", "prate offered",
                               "stop 515", "battery 100", "battery 50", "awake"}));
  EXPECT_EQ(fields_.wireless_awake, 1);
  EXPECT_EQ(fields_.device_asleep, 0);

  events_.OnDeviceEvent(0x40CC, 0x9901);  // a level above 100 leaves 100%
  EXPECT_EQ(view_.Count("battery 100"), 1);
  EXPECT_EQ(view_.Count("receiver up"), 0);  // already awake

  view_.Take();
  events_.OnDeviceEvent(0x40CC, 0x3203);  // charging
  EXPECT_EQ(view_.Take(), (Log{"stop 512", "start 512 6000", "charging", "start 515 30", "awake"}));
}

TEST_F(DeviceEventsTest, BatteryOnTheCableShowsChargingOrFull) {
  OnCable();
  events_.OnDeviceEvent(0x40CC, 0x3201);
  EXPECT_EQ(view_.Take(), (Log{"stop 512", "start 512 6000", "receiver down", "prate offered",
                               "charging", "start 515 30"}));
  EXPECT_EQ(fields_.wireless_awake, 0);

  events_.OnDeviceEvent(0x40CC, 0x0002);
  EXPECT_EQ(view_.Take(), (Log{"stop 512", "start 512 6000", "receiver down", "prate offered",
                               "stop 515", "battery 100"}));
}

TEST_F(DeviceEventsTest, BatteryOverBluetoothTouchesNoLinkOrTimer) {
  fields_.ble_state = 1;
  events_.OnBleEvent(0x40CC, 0x4001);
  EXPECT_EQ(view_.Take(), (Log{"stop 515", "battery 64"}));
  events_.OnBleEvent(0x40CC, 0x6501);  // above 100: the display keeps what it had
  EXPECT_EQ(view_.Take(), (Log{"stop 515"}));
  EXPECT_EQ(fields_.device_asleep, 1);
}

TEST_F(DeviceEventsTest, AcknowledgementLooksAtTheLowByteOnly) {
  events_.OnDeviceEvent(0x50CC, 0x0100);
  EXPECT_EQ(fields_.ack_received, 1);
  events_.OnDeviceEvent(0x50CC, 0x0001);
  EXPECT_EQ(fields_.ack_received, 0);
}

TEST_F(DeviceEventsTest, LightingEffectDiffersByRoad) {
  events_.OnBleEvent(0x70CC, 0x0030);
  EXPECT_EQ(session_.current().light_effect(), 3);
  EXPECT_EQ(session_.AppliedCopy()->light_effect(), 3);
  EXPECT_EQ(view_.Take(), (Log{"light effect 3"}));

  events_.OnDeviceEvent(0x70CC, 5);
  EXPECT_EQ(session_.current().light_effect(), 5);
  EXPECT_EQ(view_.Take(), (Log{"light effect 5"}));  // shown whichever road reported it
  EXPECT_EQ(StoredProfile()->light_effect(), 5);
}

TEST_F(DeviceEventsTest, PollingRateIsStoredAsAnIndex) {
  events_.OnDeviceEvent(0x20CC, 2);
  EXPECT_EQ(session_.current().prate(), 2);
  EXPECT_EQ(session_.AppliedCopy()->prate(), 2);
  EXPECT_EQ(view_.Take(), (Log{"prate 2"}));  // the page shows what the mouse chose

  const int expected[] = {3, 2, 2, 1, 1, 1, 0, 0};  // reported 1..8
  for (int v = 1; v <= 8; ++v) EXPECT_EQ(PollingRateIndexFromInterval(v), expected[v - 1]) << v;
  EXPECT_EQ(PollingRateIndexFromInterval(-5), 3);
  EXPECT_EQ(PollingRateIndexFromInterval(1000), 0);
}

TEST_F(DeviceEventsTest, BluetoothNotificationsAreHandedToTheUiThread) {
  test::QueuedPoster poster;
  const std::uint8_t stage[] = {0xCC, 0x10, 0x04, 0x00, 0x99};
  OnGattValueChanged(stage, poster, events_);
  EXPECT_EQ(session_.current().dpi_step(), 1);  // not yet: waits for the UI thread
  ASSERT_EQ(poster.queue.size(), 1u);
  poster.RunAll();
  EXPECT_EQ(session_.current().dpi_step(), 3);

  const std::uint8_t short_value[] = {0xCC, 0x10, 0x04};
  OnGattValueChanged(short_value, poster, events_);
  OnGattValueChanged({}, poster, events_);
  EXPECT_TRUE(poster.queue.empty());
  EXPECT_FALSE(DecodeBleNotification(short_value).has_value());
}

}  // namespace
}  // namespace mokta
