// The apply pass and its worker: which commands a pass sends, what it records as applied, and
// how it meets edits made while it runs.

#include "device/apply_pass.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <thread>

#include "data/store_files.h"
#include "device/apply_worker.h"
#include "device/driver_messages.h"
#include "device/profile_session.h"
#include "device_fakes.h"

namespace mokta {
namespace {

using test::RecordingSender;

class NoLanguage : public LanguageTexts {
 public:
  QString Text(const QString& key) const override { return key; }
};

void AssignMacro(ButtonData& button, std::uint16_t steps) {
  button.set_function(kFunctionMacro);
  button.set_step_count(steps);
  for (std::size_t i = 0; i < steps; ++i) {
    MacroAction{0x04, static_cast<std::uint8_t>(i % 2 ? 2 : 1), 20}.Encode(
        button.macro_steps().data() + 4 * i);
  }
}

void AssignGun(ButtonData& button, std::uint16_t steps, std::uint16_t delay) {
  button.set_function(kFunctionGun);
  button.set_repeat_mode(2);
  button.set_step_count(steps);
  for (std::size_t i = 0; i < steps; ++i) {
    GunStep{1, 2, 0, delay}.Encode(button.gun_steps().data() + GunStep::kSize * i);
  }
}

// A session with one default profile whose last-applied copy equals it, a link that is up and
// awake, and a recording sender.
class ApplyPassTest : public ::testing::Test {
 protected:
  ApplyPassTest() : stores_(dir_.path() + "/"), session_(&stores_) {
    links_.wired_state = kLinkConnected;
    links_.device_asleep = 0;
    ProfileList list;
    list.push_back(NewProfile(u"One"));
    list.push_back(NewProfile(u"Two"));
    session_.Load(std::move(list), nullptr, 0);
    session_.RecordApplied(session_.current());
  }

  std::vector<int> RunPass() {
    sender_.sent.clear();
    pass_.Run();
    return sender_.Codes();
  }

  QTemporaryDir dir_;
  StoreFiles stores_;
  ProfileSession session_;
  LinkFields links_;
  RecordingSender sender_;
  ApplyPass pass_{session_, links_, sender_, nullptr};
};

TEST_F(ApplyPassTest, SendsOnlyTheGroupsThatChanged) {
  EXPECT_EQ(RunPass(), (std::vector<int>{0x0C}));  // nothing changed

  session_.EditCurrent([](ProfileData& p) { p.set_brightness(3); });
  EXPECT_EQ(RunPass(), (std::vector<int>{0x0C, 0x05}));
  EXPECT_EQ(RunPass(), (std::vector<int>{0x0C}));  // now applied

  // Fields no command carries still re-send the group they belong to.
  session_.EditCurrent([](ProfileData& p) { p.set_lift_of_distance(1); });
  EXPECT_EQ(RunPass(), (std::vector<int>{0x0C, 0x04}));
  session_.EditCurrent([](ProfileData& p) { p.set_light_effect_ble(2); });
  EXPECT_EQ(RunPass(), (std::vector<int>{0x0C, 0x05}));
  session_.EditCurrent([](ProfileData& p) { p.set_prate(0); });
  EXPECT_EQ(RunPass(), (std::vector<int>{0x0C, 0x06}));
  session_.EditCurrent([](ProfileData& p) { p.button(17).set_function(0); });
  EXPECT_EQ(RunPass(), (std::vector<int>{0x0C, 0x08}));

  // Fields outside every group lead to a pass that sends 0x0C only.
  session_.EditCurrent([](ProfileData& p) {
    p.set_movemode(1);
    p.set_name(u"Renamed");
  });
  EXPECT_EQ(RunPass(), (std::vector<int>{0x0C}));
}

TEST_F(ApplyPassTest, SendAllSendsEveryGroupOnceAndIsTakenByOnePass) {
  session_.EditList([](ProfileList&, ProfileStoreHeader&, int& current) { current = 1; });
  session_.RequestSendAll();
  EXPECT_EQ(RunPass(), (std::vector<int>{0x0C, 0x0C, 0x04, 0x05, 0x06, 0x08}));
  EXPECT_FALSE(session_.send_all_requested());
  EXPECT_EQ(RunPass(), (std::vector<int>{0x0C}));
}

TEST_F(ApplyPassTest, SlotsAreNumberedAcrossButtonsInButtonOrder) {
  session_.EditCurrent([](ProfileData& p) {
    AssignMacro(p.button(2), 4);
    AssignGun(p.button(4), 30, 20);  // short delays: nine steps per message, four messages
    AssignMacro(p.button(9), 2);
  });
  RunPass();
  ASSERT_EQ(sender_.Codes(), (std::vector<int>{0x0C, 0x09, 0x09, 0x09, 0x09, 0x09, 0x09, 0x08}));
  std::vector<int> slot_numbers;
  for (const auto& m : sender_.sent) {
    if (m.code() == kCommandSlot) slot_numbers.push_back(m.bytes[2]);
  }
  EXPECT_EQ(slot_numbers, (std::vector<int>{1, 2, 3, 4, 5, 6}));

  SlotTable expected{};
  expected[2] = 1;
  expected[4] = 2;
  expected[9] = 6;
  EXPECT_EQ(pass_.slot_table(), expected);
  const CommandMessage& map = sender_.sent.back();
  EXPECT_EQ(map.bytes[3 + 3 * 2 + 2], 1);  // button 2: macro in slot 1
  EXPECT_EQ(map.bytes[3 + 3 * 4 + 2], 2);  // button 4: pattern from slot 2
  EXPECT_EQ(map.bytes[3 + 3 * 9 + 2], 6);  // button 9: macro in slot 6
}

TEST_F(ApplyPassTest, AsleepMouseGetsNothingAndKeepsTheRequest) {
  links_.device_asleep = 1;
  session_.EditCurrent([](ProfileData& p) { p.set_brightness(1); });
  session_.RequestSendAll();
  auto before = session_.AppliedCopy();
  EXPECT_TRUE(RunPass().empty());
  EXPECT_EQ(*session_.AppliedCopy(), *before);
  EXPECT_TRUE(session_.send_all_requested());
  EXPECT_FALSE(QFile::exists(stores_.ProfileStorePath()));

  links_.device_asleep = 0;  // the mouse reported: the kept edit and request go out now
  EXPECT_EQ(RunPass(), (std::vector<int>{0x0C, 0x0C, 0x04, 0x05, 0x06, 0x08}));
}

TEST_F(ApplyPassTest, RecordsWhatItSentAndSavesTheStore) {
  session_.EditCurrent([](ProfileData& p) { p.set_breathspeed(2); });
  RunPass();
  EXPECT_EQ(*session_.AppliedCopy(), session_.current());

  NoLanguage language;
  ProfileStoreContents stored = stores_.ReadProfileStore(language);
  ASSERT_EQ(stored.profiles.size(), 2u);
  EXPECT_EQ(stored.profiles[0]->breathspeed(), 2);
}

TEST_F(ApplyPassTest, EditDuringPassGoesOutWithTheNextPass) {
  session_.EditCurrent([](ProfileData& p) { p.set_dpi_x(0, 40); });
  // While the pass sends 0x04, the user moves the brightness slider.
  sender_.during_send = [this](const CommandMessage& m) {
    if (m.code() == kCommandSensor)
      session_.EditCurrent([](ProfileData& p) { p.set_brightness(5); });
  };
  EXPECT_EQ(RunPass(), (std::vector<int>{0x0C, 0x04}));
  sender_.during_send = nullptr;
  EXPECT_EQ(session_.AppliedCopy()->brightness(), 8);  // recorded as the copy that was sent

  EXPECT_EQ(RunPass(), (std::vector<int>{0x0C, 0x05}));
  EXPECT_EQ(sender_.sent[1].bytes[5] & 0x0F, 8);  // effect 0 sends 8 whatever the brightness
  EXPECT_EQ(session_.AppliedCopy()->brightness(), 5);
}

TEST_F(ApplyPassTest, GroupThatDidNotGetThroughIsSentAgain) {
  session_.EditCurrent([](ProfileData& p) {
    p.set_brightness(2);
    p.set_dpi_step(4);
  });
  sender_.failing = {kCommandLighting};
  EXPECT_EQ(RunPass(), (std::vector<int>{0x0C, 0x04, 0x05}));
  EXPECT_EQ(session_.AppliedCopy()->dpi_step(), 4);
  EXPECT_EQ(session_.AppliedCopy()->brightness(), 8);

  sender_.failing.clear();
  EXPECT_EQ(RunPass(), (std::vector<int>{0x0C, 0x05}));
  EXPECT_EQ(RunPass(), (std::vector<int>{0x0C}));
}

// At start-up the snapshot is a copy of the profile, so a group the send-all pass failed to
// deliver does not differ from it; it must go out again all the same, until it gets through.
TEST_F(ApplyPassTest, GroupThatFailedInASendAllPassIsSentAgain) {
  session_.RequestSendAll();
  sender_.failing = {kCommandLighting, kCommandPollingRate};
  EXPECT_EQ(RunPass(), (std::vector<int>{0x0C, 0x0C, 0x04, 0x05, 0x06, 0x08}));

  sender_.failing = {kCommandPollingRate};  // refused on every pass, as over Bluetooth LE alone
  EXPECT_EQ(RunPass(), (std::vector<int>{0x0C, 0x05, 0x06}));
  EXPECT_EQ(RunPass(), (std::vector<int>{0x0C, 0x06}));
  sender_.failing.clear();
  EXPECT_EQ(RunPass(), (std::vector<int>{0x0C, 0x06}));
  EXPECT_EQ(RunPass(), (std::vector<int>{0x0C}));
}

// What a pass tells the window about settings that did not reach the mouse.
class UndeliveredEffects : public ApplyPassEffects {
 public:
  void ShowApplyRing(bool) override {}
  void StopReceiverIdleTimer() override {}
  void StartReceiverIdleTimer() override {}
  void ShowUndelivered(bool undelivered) override { told.push_back(undelivered); }
  std::vector<bool> told;
};

TEST_F(ApplyPassTest, TellsWhetherSomeSettingDidNotReachTheMouse) {
  UndeliveredEffects effects;
  ApplyPass pass{session_, links_, sender_, &effects};
  session_.RequestSendAll();
  sender_.failing = {kCommandLighting};
  pass.Run();
  sender_.failing.clear();
  pass.Run();  // sends the lighting again
  // Over Bluetooth LE alone the polling rate never goes, and that is no failure to tell.
  links_.wired_state = kLinkRemoved;
  links_.ble_state = 1;
  session_.EditCurrent([](ProfileData& p) { p.set_prate(p.prate() == 1 ? 2 : 1); });
  sender_.failing = {kCommandPollingRate};
  pass.Run();
  EXPECT_EQ(effects.told, (std::vector<bool>{true, false, false}));
}

TEST(SendAllPassMessages, DefaultProfileGivesTheGoldenSequence) {
  auto profile = NewProfile(u"x");
  std::vector<CommandMessage> messages = SendAllPassMessages(*profile);
  ASSERT_EQ(messages.size(), 6u);
  const std::vector<std::uint8_t> lighting = {0x05, 0x0F, 0x01, 0x00, 0x03, 0xA8, 0x00, 0xFF,
                                              0x00, 0x01, 0x04, 0x01, 0xAF, 0x00, 0x00};
  EXPECT_EQ(messages[0].code(), 0x0C);
  EXPECT_EQ(messages[1].code(), 0x0C);
  EXPECT_EQ(std::vector<std::uint8_t>(messages[3].view().begin(), messages[3].view().end()),
            lighting);
  EXPECT_EQ(messages[5].code(), 0x08);
  EXPECT_EQ(messages[5].length, 59u);
}

// The worker: passes run on their own thread, one after another, only while a link is up.
class CountingPass {
 public:
  std::atomic<int> runs{0};
  std::promise<void> first_started;
  std::promise<void> release_promise;
  std::shared_future<void> release = release_promise.get_future().share();

  void Run() {
    if (runs.fetch_add(1) == 0) {
      first_started.set_value();
      release.wait();
    }
  }
};

TEST(ApplyWorker, RunsRequestsOnlyWhileALinkIsUp) {
  LinkFields links;
  std::atomic<int> runs{0};
  ApplyWorker worker(links, [&] { ++runs; });
  worker.Start();
  worker.Post(MSG_WORKER_APPLY);
  worker.Post(MSG_WORKER_APPLY);
  worker.WaitUntilIdle();  // both handled, without a link
  EXPECT_EQ(runs.load(), 0);

  links.ble_state = 1;
  worker.Post(MSG_WORKER_APPLY + 5);  // not a worker message: dropped
  worker.Post(MSG_WORKER_APPLY);
  worker.Post(MSG_WORKER_APPLY);
  worker.WaitUntilIdle();
  EXPECT_EQ(runs.load(), 2);
  worker.Stop();
  EXPECT_EQ(runs.load(), 2);
}

TEST(ApplyWorker, StopEndsAfterTheRunningPassAndDropsTheRest) {
  LinkFields links;
  links.wired_state = kLinkConnected;
  CountingPass pass;
  ApplyWorker worker(links, [&] { pass.Run(); });
  worker.Start();
  worker.Post(MSG_WORKER_APPLY);
  worker.Post(MSG_WORKER_APPLY);
  worker.Post(MSG_WORKER_APPLY);
  pass.first_started.get_future().wait();
  std::thread stopper([&] { worker.Stop(); });
  worker.WaitUntilIdle();  // returns once the stop has begun, the first pass still running
  pass.release_promise.set_value();
  stopper.join();
  EXPECT_EQ(pass.runs.load(), 1);
}

// A device that fails the test if it is written once shutdown has begun.
class GuardedDevice : public FeatureDevice {
 public:
  std::atomic<bool> shutting_down{false};
  std::atomic<int> writes{0};
  std::atomic<int> writes_after_shutdown{0};
  std::promise<void> first_write;
  bool Open() override { return true; }
  void Close() override {}
  bool SetFeature(std::span<const std::uint8_t>) override {
    if (shutting_down) ++writes_after_shutdown;
    if (writes.fetch_add(1) == 0) first_write.set_value();
    return false;  // keep the sender retrying, so the pass is still busy at shutdown
  }
};

TEST(ApplyWorker, NoDriverCallOnceShutdownHasBegun) {
  LinkFields links;
  links.wired_state = kLinkConnected;
  links.device_asleep = 0;
  ProfileSession session(nullptr);
  session.RequestSendAll();
  GuardedDevice cable;
  InterruptibleSleeper sleeper;
  LinkCommandSender sender(links, &cable, nullptr, nullptr, sleeper);
  ApplyPass pass(session, links, sender, nullptr);
  ApplyWorker worker(links, [&] { pass.Run(); });
  worker.Start();
  worker.Post(MSG_WORKER_APPLY);
  cable.first_write.get_future().wait();

  const auto start = std::chrono::steady_clock::now();
  cable.shutting_down = true;
  sleeper.Stop();
  worker.Stop();
  EXPECT_EQ(cable.writes_after_shutdown.load(), 0);
  // A send-all pass over a failing cable would take many seconds; shutdown cuts it short.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  // Nothing was delivered, so no group is recorded as applied.
  EXPECT_EQ(FindChangedGroups(*session.AppliedCopy(), ProfileData()), GroupFlags());
}

}  // namespace
}  // namespace mokta
