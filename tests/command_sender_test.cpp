// Command sending: which link is written, in which order, with which waits in between, and
// when the sender gives up. Fakes record every driver call and every wait in one log, so the
// pacing is checked without waiting for it.

#include "device/command_sender.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace mokta {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Events = std::vector<std::string>;

Events Repeat(const Events& cycle, int times) {
  Events out;
  for (int i = 0; i < times; ++i) out.insert(out.end(), cycle.begin(), cycle.end());
  return out;
}

Events operator+(Events a, const Events& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A driver entry that logs its calls. `answer` gives the result of the n-th call (1-based) and
// may act on the world meanwhile, as the acknowledgement event does.
struct FakeWriter {
  FakeWriter(std::string name, Events& log) : name(std::move(name)), log(log) {}

  bool Record(std::span<const std::uint8_t> bytes) {
    log.push_back(name);
    writes.emplace_back(bytes.begin(), bytes.end());
    return answer(writes.size());
  }

  std::string name;
  Events& log;
  std::vector<Bytes> writes;
  std::function<bool(std::size_t)> answer = [](std::size_t) { return true; };
};

class FakeDevice : public FeatureDevice, public FakeWriter {
 public:
  using FakeWriter::FakeWriter;
  bool Open() override {
    ADD_FAILURE() << "the sender never opens a device";
    return false;
  }
  void Close() override { ADD_FAILURE() << "the sender never closes a device"; }
  bool SetFeature(std::span<const std::uint8_t> report) override { return Record(report); }
};

class FakeBle : public BleWriter, public FakeWriter {
 public:
  using FakeWriter::FakeWriter;
  bool WriteGatt(std::span<const std::uint8_t> message) override { return Record(message); }
};

// Logs each wait as "wait <ms>" and returns at once. `stop_at_wait` (1-based, 0 for never)
// stops the sleeper during that wait, which is then cut short.
class FakeSleeper : public Sleeper {
 public:
  explicit FakeSleeper(Events& log) : log_(log) {}
  bool Sleep(std::chrono::milliseconds ms) override {
    log_.push_back("wait " + std::to_string(ms.count()));
    if (++waits_ == stop_at_wait) stopped = true;
    return !stopped;
  }
  bool Stopped() const override { return stopped; }

  bool stopped = false;
  int stop_at_wait = 0;

 private:
  Events& log_;
  int waits_ = 0;
};

// A slot message whose 100 item bytes are all in use, so that its payload reaches into the
// second report.
CommandMessage FullSlotMessage() {
  ButtonData b;
  b.set_repeat_mode(1);
  b.set_repeat_count(2);
  b.set_step_count(25);
  for (std::size_t i = 0; i < 25; ++i) {
    MacroAction{static_cast<std::uint8_t>(4 + i), MacroAction::kPress, 250}.Encode(
        b.macro_steps().data() + MacroAction::kSize * i);
  }
  return EncodeMacroMessage(5, b);
}

// One report of a slot message laid out by hand: header, then `count` message bytes from
// `from`, then zeros.
Bytes ExpectedReport(std::uint8_t marker, std::uint8_t piece, const CommandMessage& m,
                     std::size_t from, std::size_t count) {
  Bytes r(64, 0);
  r[0] = 0x09;    // code
  r[1] = marker;  // 0x40, or 0x0C in the receiver's last piece
  r[2] = 0x05;    // slot
  r[3] = piece;   // piece number
  std::copy(m.bytes.begin() + from, m.bytes.begin() + from + count, r.begin() + 4);
  return r;
}

class SenderTest : public ::testing::Test {
 protected:
  Bytes Message(const CommandMessage& m) const { return Bytes(m.view().begin(), m.view().end()); }

  Events log;
  LinkFields links;
  FakeDevice cable{"cable", log};
  FakeDevice receiver{"receiver", log};
  FakeBle ble{"ble", log};
  FakeSleeper sleeper{log};
  LinkCommandSender sender{links, &cable, &receiver, &ble, sleeper};
  std::unique_ptr<ProfileData> profile = NewProfile(u"x");
  const CommandMessage lighting = EncodeLightingCommand(*profile);
  const CommandMessage slot_message = FullSlotMessage();
};

class CableLink : public SenderTest {
 protected:
  void SetUp() override {
    // Every link up: the cable must win and never fall back.
    links.wired_state = kLinkConnected;
    links.wireless_state = kLinkConnected;
    links.wireless_awake = 1;
    links.ble_state = 1;
  }
};

TEST_F(CableLink, ShortCommandTakesOneWriteAndOneWait) {
  EXPECT_TRUE(sender.SendCommand(lighting));
  EXPECT_EQ(log, (Events{"cable", "wait 300"}));
  ASSERT_EQ(cable.writes.size(), 1u);
  EXPECT_EQ(cable.writes[0], Message(lighting));
}

TEST_F(CableLink, ShortCommandIsRetriedUntilAccepted) {
  cable.answer = [](std::size_t n) { return n == 3; };
  EXPECT_TRUE(sender.SendCommand(lighting));
  EXPECT_EQ(log, Repeat({"cable", "wait 300"}, 3));
}

TEST_F(CableLink, FiveRefusalsFailWithoutTryingAnotherLink) {
  cable.answer = [](std::size_t) { return false; };
  EXPECT_FALSE(sender.SendCommand(lighting));
  EXPECT_EQ(log, Repeat({"cable", "wait 300"}, 5));
}

TEST_F(CableLink, SlotMessageGoesAsThreeReports) {
  EXPECT_TRUE(sender.SendCommand(slot_message));
  EXPECT_EQ(log, Repeat({"cable", "wait 200"}, 3));
  ASSERT_EQ(cable.writes.size(), 3u);
  EXPECT_EQ(cable.writes[0], ExpectedReport(0x40, 0, slot_message, 3, 60));   // bytes 3..62
  EXPECT_EQ(cable.writes[1], ExpectedReport(0x40, 1, slot_message, 63, 48));  // bytes 63..110
  EXPECT_EQ(cable.writes[2], ExpectedReport(0x40, 2, slot_message, 0, 0));    // zeros only
}

TEST_F(CableLink, SlotMessageFailsWhenAReportIsRefused) {
  cable.answer = [](std::size_t n) { return n != 2; };
  EXPECT_FALSE(sender.SendCommand(slot_message));
  // A refused report is not waited for and not sent again; the next one still goes.
  EXPECT_EQ(log, (Events{"cable", "wait 200", "cable", "cable", "wait 200"}));
}

class ReceiverLink : public SenderTest {
 protected:
  void SetUp() override {
    links.wireless_state = kLinkConnected;
    links.wireless_awake = 1;
    links.ble_state = 1;
    links.ack_received = 1;  // left over from an earlier command; must not count
  }
  // The acknowledgement arrives while the n-th write is under way.
  void AckOnWrite(std::size_t n) {
    receiver.answer = [this, n](std::size_t k) {
      if (k == n) links.ack_received = 1;
      return true;
    };
  }
};

TEST_F(ReceiverLink, TenTriesWithoutAcknowledgementThenBle) {
  ble.answer = [](std::size_t) { return false; };
  EXPECT_FALSE(sender.SendCommand(lighting));  // the BLE write's result
  EXPECT_EQ(log, Repeat({"receiver", "wait 500"}, 10) + Events{"ble"});
  ASSERT_EQ(receiver.writes.size(), 10u);
  EXPECT_EQ(receiver.writes[9], Message(lighting));
}

TEST_F(ReceiverLink, WithoutBleNothingFollowsTheTenTries) {
  links.ble_state = 0;
  EXPECT_FALSE(sender.SendCommand(lighting));
  EXPECT_EQ(log, Repeat({"receiver", "wait 500"}, 10));
}

TEST_F(ReceiverLink, AcknowledgementEndsTheSend) {
  AckOnWrite(3);
  EXPECT_TRUE(sender.SendCommand(lighting));
  EXPECT_EQ(log, Repeat({"receiver", "wait 500"}, 3));
}

TEST_F(ReceiverLink, AcknowledgementOfTheTenthTryStillCounts) {
  AckOnWrite(10);
  EXPECT_TRUE(sender.SendCommand(lighting));
  EXPECT_EQ(log, Repeat({"receiver", "wait 500"}, 10));
}

TEST_F(ReceiverLink, SlotMessageCyclesThirtyReportsThenBle) {
  EXPECT_TRUE(sender.SendCommand(slot_message));
  EXPECT_EQ(log, Repeat({"receiver", "wait 500"}, 30) + Events{"ble"});
  ASSERT_EQ(receiver.writes.size(), 30u);
  for (std::size_t cycle = 0; cycle < 10; ++cycle) {
    EXPECT_EQ(receiver.writes[3 * cycle], ExpectedReport(0x40, 0, slot_message, 3, 60));
    EXPECT_EQ(receiver.writes[3 * cycle + 1], ExpectedReport(0x40, 1, slot_message, 63, 48));
    EXPECT_EQ(receiver.writes[3 * cycle + 2], ExpectedReport(0x0C, 2, slot_message, 0, 0));
  }
  ASSERT_EQ(ble.writes.size(), 1u);
  EXPECT_EQ(ble.writes[0], Message(slot_message));  // all 111 bytes in one write
}

TEST_F(ReceiverLink, SlotMessageAcknowledgementIsCheckedAfterEachCycle) {
  AckOnWrite(4);
  EXPECT_TRUE(sender.SendCommand(slot_message));
  EXPECT_EQ(log, Repeat({"receiver", "wait 500"}, 6));
}

TEST_F(ReceiverLink, NotUsedWhileTheMouseBehindItSleeps) {
  links.wireless_awake = 0;
  EXPECT_TRUE(sender.SendCommand(lighting));
  EXPECT_EQ(log, (Events{"ble"}));
}

class BleLink : public SenderTest {
 protected:
  void SetUp() override { links.ble_state = 1; }
};

TEST_F(BleLink, WritesTheWholeMessageOnce) {
  EXPECT_TRUE(sender.SendCommand(lighting));
  EXPECT_EQ(log, (Events{"ble"}));
  EXPECT_EQ(ble.writes[0], Message(lighting));
}

TEST_F(BleLink, RefusesThePollingRate) {
  EXPECT_FALSE(sender.SendCommand(EncodePollingRateCommand(*profile)));
  EXPECT_TRUE(log.empty());
}

TEST_F(SenderTest, NoLinkUpSendsNothing) {
  EXPECT_FALSE(sender.SendCommand(lighting));
  EXPECT_TRUE(log.empty());
}

TEST_F(SenderTest, MissingDriverIsNeverWritten) {
  links.wired_state = kLinkConnected;
  links.wireless_state = kLinkConnected;
  links.wireless_awake = 1;
  links.ble_state = 1;
  LinkCommandSender no_cable(links, nullptr, &receiver, &ble, sleeper);
  EXPECT_FALSE(no_cable.SendCommand(lighting));  // the cable never falls back
  EXPECT_TRUE(log.empty());

  links.wired_state = kLinkRemoved;
  LinkCommandSender no_receiver(links, &cable, nullptr, &ble, sleeper);
  EXPECT_TRUE(no_receiver.SendCommand(lighting));
  EXPECT_EQ(log, (Events{"ble"}));
}

class Stopping : public SenderTest {
 protected:
  void SetUp() override {
    links.wireless_state = kLinkConnected;
    links.wireless_awake = 1;
    links.ble_state = 1;
  }
};

TEST_F(Stopping, StoppedSleeperMeansNoDriverCallOnAnyLink) {
  sleeper.stopped = true;
  for (int wired : {kLinkConnected, kLinkRemoved}) {
    links.wired_state = wired;
    EXPECT_FALSE(sender.SendCommand(lighting));
    EXPECT_FALSE(sender.SendCommand(slot_message));
  }
  links.wireless_awake = 0;  // BLE alone
  EXPECT_FALSE(sender.SendCommand(lighting));
  EXPECT_TRUE(log.empty());
}

TEST_F(Stopping, CutShortWaitEndsTheSend) {
  sleeper.stop_at_wait = 2;
  EXPECT_FALSE(sender.SendCommand(lighting));
  EXPECT_EQ(log, Repeat({"receiver", "wait 500"}, 2));  // and no BLE write
}

TEST_F(Stopping, CutShortWaitAfterAnAcceptedCableWriteIsAFailure) {
  links.wired_state = kLinkConnected;
  sleeper.stop_at_wait = 1;
  EXPECT_FALSE(sender.SendCommand(slot_message));
  EXPECT_EQ(log, (Events{"cable", "wait 200"}));
}

// A refused cable report is not waited for, so only the check before each write keeps a stop
// made during the refused write from reaching the driver again.
TEST_F(Stopping, StopDuringARefusedWriteEndsTheSend) {
  links.wired_state = kLinkConnected;
  cable.answer = [this](std::size_t) {
    sleeper.stopped = true;
    return false;
  };
  EXPECT_FALSE(sender.SendCommand(slot_message));
  EXPECT_EQ(log, (Events{"cable"}));
}

TEST(InterruptibleSleeperTest, StopFromAnotherThreadEndsALongSleep) {
  InterruptibleSleeper sleeper;
  EXPECT_TRUE(sleeper.Sleep(std::chrono::milliseconds(1)));
  EXPECT_EQ(sleeper.sleepers(), 0);
  std::future<bool> slept = std::async(
      std::launch::async, [&sleeper] { return sleeper.Sleep(std::chrono::seconds(60)); });
  // Stop once the other thread waits, so that there is a sleep to cut short.
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (sleeper.sleepers() == 0 && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::yield();
  }
  const bool was_sleeping = sleeper.sleepers() == 1;
  sleeper.Stop();
  EXPECT_TRUE(was_sleeping);
  ASSERT_EQ(slept.wait_for(std::chrono::seconds(30)), std::future_status::ready)
      << "the stop did not end the sleep";
  EXPECT_FALSE(slept.get());
  EXPECT_TRUE(sleeper.Stopped());
  EXPECT_EQ(sleeper.sleepers(), 0);
  EXPECT_FALSE(sleeper.Sleep(std::chrono::seconds(60)));  // a stopped sleeper returns at once
}

}  // namespace
}  // namespace mokta
