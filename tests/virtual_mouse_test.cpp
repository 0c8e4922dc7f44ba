// The virtual mouse: what it keeps from the program's messages, what it refuses, what it
// reports and on which road, the faults it takes on request, its write log, its control socket
// and its driver libraries. Messages come from the program's own encoders and report splitter,
// so a disagreement between the program and the mouse shows up here.

#include "virtual_mouse.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "data/profile_data.h"
#include "device/apply_pass.h"
#include "device/command_protocol.h"
#include "device/command_sender.h"
#include "device/driver_messages.h"
#include "profile_match.h"

namespace mokta {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;
using PerLink = std::array<int, kVirtualLinkCount>;

constexpr VirtualLink kCable = VirtualLink::kCable;
constexpr VirtualLink kReceiver = VirtualLink::kReceiver;
constexpr VirtualLink kBle = VirtualLink::kBle;

// The program's Bluetooth LE message numbers do not matter to the mouse.
constexpr std::uint32_t kBlePresence = 0x7001;
constexpr std::uint32_t kBleEvent = 0x7002;

struct Post {
  std::uint32_t message;
  std::uintptr_t wparam;
  std::intptr_t lparam;
  friend bool operator==(const Post&, const Post&) = default;
};
using Posts = std::vector<Post>;

void PrintTo(const Post& p, std::ostream* os) {
  char text[64];
  std::snprintf(text, sizeof(text), "{msg %u, %#lx, %#lx}", p.message,
                static_cast<unsigned long>(p.wparam), static_cast<unsigned long>(p.lparam));
  *os << text;
}

Post CableEvent(std::uint16_t word, std::uint16_t value) {
  return {MSG_CABLE_EVENT, word, value};
}
Post ReceiverEvent(std::uint16_t word, std::uint16_t value) {
  return {MSG_RECEIVER_EVENT, word, value};
}
Post BleEvent(std::uint16_t word, std::uint16_t value) {
  return {kBleEvent, word, value};
}
const Post kAck = ReceiverEvent(kVirtualAckEvent, 0);

// A program window that records every post; any thread.
class RecordingWindow {
 public:
  MoktaWindow window() { return {this, &RecordingWindow::Record}; }
  Posts Take() {
    std::lock_guard lock(mutex_);
    return std::exchange(posts_, {});
  }
  std::size_t Size() {
    std::lock_guard lock(mutex_);
    return posts_.size();
  }
  bool WaitForSize(std::size_t n) {
    std::unique_lock lock(mutex_);
    return grew_.wait_for(lock, 5s, [&] { return posts_.size() >= n; });
  }

 private:
  static void Record(void* context, std::uint32_t message, std::uintptr_t wparam,
                     std::intptr_t lparam) {
    auto* self = static_cast<RecordingWindow*>(context);
    {
      std::lock_guard lock(self->mutex_);
      self->posts_.push_back({message, wparam, lparam});
    }
    self->grew_.notify_all();
  }
  std::mutex mutex_;
  std::condition_variable grew_;
  Posts posts_;
};

VirtualMouseOptions QuietOptions() {
  VirtualMouseOptions options;
  options.battery_period = 0ms;
  return options;
}

void SetMacroStep(ButtonData& button, std::size_t i, MacroAction action) {
  action.Encode(button.macro_steps().data() + MacroAction::kSize * i);
}

// Differs from the defaults in every command; has a key combination, a macro, a 30-step
// recoil pattern that needs four slots, and a second macro behind it.
std::unique_ptr<ProfileData> CustomProfile() {
  auto p = NewProfile(u"Custom");
  p->set_dpi_x(0, 4);    // 200 DPI
  p->set_dpi_x(5, 250);  // 15000 DPI
  p->set_dpi_x(6, 201);  // 10100 DPI
  p->set_dpi_enabled(1, 0);
  p->set_dpi_enabled(6, 1);
  p->set_dpi_color(3, 0x00332211);
  p->set_dpi_step(6);
  p->set_angle_snap(0);
  p->set_ripple_control(0);
  p->set_light_effect(9);
  p->set_brightness(3);
  p->set_breathspeed(2);
  p->set_light_color(0x00C0B0A0);
  p->set_light_off(5);
  p->set_sleep_timer(0x5C);
  p->set_key_debounce(12);
  p->set_prate(1);
  ButtonData& combo = p->button(3);
  combo.set_function(kFunctionKeyCombo);
  combo.set_modifiers(0x05);
  combo.set_key(0x1D);
  for (std::size_t k : {4, 9}) {
    ButtonData& macro = p->button(k);
    macro.set_function(kFunctionMacro);
    macro.set_step_count(2);
    macro.set_repeat_count(static_cast<std::int32_t>(k));
    SetMacroStep(macro, 0, {0x04, MacroAction::kPress, 250});
    SetMacroStep(macro, 1, {static_cast<std::uint8_t>(k), MacroAction::kRelease, 20});
  }
  ButtonData& gun = p->button(5);
  gun.set_function(kFunctionGun);
  gun.set_step_count(30);
  for (int i = 0; i < 30; ++i) {
    GunStep{i - 15, 2 * i, 0, 60}.Encode(gun.gun_steps().data() + GunStep::kSize * i);
  }
  return p;
}

// A mouse with every monitor and device open, as the program leaves it after start-up.
class VirtualMouseTest : public ::testing::Test {
 protected:
  void SetUp() override { Start(QuietOptions()); }

  void Start(VirtualMouseOptions options) {
    mouse_.reset();
    mouse_ = std::make_unique<VirtualMouse>(std::move(options));
    const MoktaWindow w = window_.window();
    mouse_->SetVidPid(kCable, kVirtualVendorId, kVirtualCableProductId);
    mouse_->SetVidPid(kReceiver, kVirtualVendorId, kVirtualReceiverProductId);
    mouse_->OpenMonitor(kCable, &w, MSG_CABLE_EVENT, MSG_CABLE_STATUS);
    mouse_->OpenMonitor(kReceiver, &w, MSG_RECEIVER_EVENT, MSG_RECEIVER_STATUS);
    mouse_->BleOpen(&w, kBlePresence, kBleEvent);
    mouse_->OpenFeatureDevice(kCable);
    mouse_->OpenFeatureDevice(kReceiver);
  }

  std::int32_t Write(VirtualLink link, std::span<const std::uint8_t> bytes) {
    const auto length = static_cast<std::int32_t>(bytes.size());
    return link == kBle ? mouse_->BleWrite(bytes.data(), length)
                        : mouse_->SetFeature(link, bytes.data(), length);
  }

  // Sends a message as the program's sender does: a slot message as three reports on the
  // cable and the receiver, anything else whole. True when every write was taken.
  bool Send(VirtualLink link, const CommandMessage& message) {
    if (link == kBle || message.code() != kCommandSlot) return Write(link, message.view()) != 0;
    bool taken = true;
    for (int i = 0; i < 3; ++i) taken &= Write(link, Report(message, i, link)) != 0;
    return taken;
  }
  static DeviceReport Report(const CommandMessage& message, int index, VirtualLink link) {
    return SlotMessageReport(message, index, link == kReceiver);
  }

  VirtualMouseState State() const { return mouse_->State(); }

  RecordingWindow window_;
  std::unique_ptr<VirtualMouse> mouse_;
};

// --- What the mouse keeps ---

TEST_F(VirtualMouseTest, FreshMouseHoldsTheDefaultProfile) {
  EXPECT_EQ(ProfileDifferences(State().settings, *NewProfile(u"Default")), Lines{});
}

TEST_F(VirtualMouseTest, SendAllOverEachLinkLeavesTheMouseHoldingTheProfile) {
  const auto custom = CustomProfile();
  const auto defaults = NewProfile(u"Default");
  ASSERT_FALSE(MatchesProfile(State().settings, *custom));
  mouse_->SetBleConnected(true);
  for (VirtualLink link : {kReceiver, kCable, kBle}) {
    SCOPED_TRACE(VirtualLinkName(link));
    for (const ProfileData* profile : {custom.get(), defaults.get()}) {
      ProfileData expected = *profile;
      for (const CommandMessage& m : SendAllPassMessages(*profile)) {
        if (link == kBle && m.code() == kCommandPollingRate) continue;  // never sent over BLE
        ASSERT_TRUE(Send(link, m)) << "command " << int{m.code()};
      }
      // Over Bluetooth LE the mouse keeps the polling rate the cable gave it (the default's).
      if (link == kBle) expected.set_prate(defaults->prate());
      EXPECT_EQ(ProfileDifferences(State().settings, expected), Lines{});
    }
  }
  const VirtualMouseCounters counters = State().counters;
  EXPECT_EQ(counters.malformed, (PerLink{0, 0, 0}));
  EXPECT_EQ(counters.open_commands, 3 * 2 * 2);  // a send-all pass opens twice
}

TEST_F(VirtualMouseTest, SlotNumbersAndSplitSleepTimerComeBackAsSent) {
  const auto custom = CustomProfile();
  for (const CommandMessage& m : SendAllPassMessages(*custom)) ASSERT_TRUE(Send(kReceiver, m));
  const VirtualMouseSettings s = State().settings;
  // Macro in slot 1, the pattern in slots 2..5 (each continued by the next), macro in slot 6.
  ASSERT_EQ(s.slot_messages.size(), 6u);
  for (std::uint8_t slot = 2; slot <= 4; ++slot) {
    const VirtualSlotMessage& m = s.slot_messages.at(slot);
    const std::size_t last_item = 9 + 2 * (m[8] - 1);
    EXPECT_EQ(m[last_item], slot + 1) << "slot " << int{slot};
    EXPECT_EQ(m[last_item + 1], 0xFE) << "slot " << int{slot};
  }
  EXPECT_EQ(s.buttons[5], (VirtualTriple{0x3A, 0x00, 0x02}));  // pattern button: first slot
  EXPECT_EQ(s.buttons[9], (VirtualTriple{0x12, 0x00, 0x06}));
  EXPECT_EQ(s.sleep_timer, 0x5C);
  EXPECT_EQ(s.breathing_speed(), 2);
  EXPECT_EQ(s.brightness, 3);
  EXPECT_EQ(s.polling_interval_ms(), 4);
}

// --- What the mouse refuses ---

CommandMessage Corrupt(CommandMessage m, std::size_t at, std::uint8_t value) {
  m.bytes[at] = value;
  return m;
}

TEST_F(VirtualMouseTest, RefusesCorruptedMessagesOnEveryLinkAndCountsThem) {
  const auto p = CustomProfile();
  const CommandMessage sensor = EncodeSensorCommand(*p);
  const CommandMessage lighting = EncodeLightingCommand(*p);
  const CommandMessage rate = EncodePollingRateCommand(*p);
  const CommandMessage buttons = EncodeButtonMapCommand(*p, SlotTable{});
  struct Case {
    const char* name;
    CommandMessage message;
  };
  const Case cases[] = {
      {"0x04 summed byte", Corrupt(sensor, 10, sensor.bytes[10] ^ 0x01)},
      {"0x04 checksum low byte", Corrupt(sensor, 51, sensor.bytes[51] ^ 0x01)},
      {"0x04 fixed byte 6", Corrupt(sensor, 6, 0x00)},
      {"0x05 checksum high byte", Corrupt(lighting, 11, lighting.bytes[11] ^ 0x80)},
      {"0x05 padding", Corrupt(lighting, 14, 0x01)},
      {"0x06 complement", Corrupt(rate, 4, 0x00)},
      {"0x06 rate beyond 0x44", Corrupt(Corrupt(rate, 3, 0x45), 4, 0xBA)},
      {"0x08 checksum", Corrupt(buttons, 58, buttons.bytes[58] + 1)},
      {"0x0C fixed byte", Corrupt(EncodeOpenCommand(), 3, 0xFF)},
      {"length byte", Corrupt(lighting, 1, 0x10)},
      {"byte 2", Corrupt(lighting, 2, 0x02)},
      {"unknown command", Corrupt(rate, 0, 0x07)},
  };
  mouse_->SetBleConnected(true);
  for (VirtualLink link : {kCable, kReceiver, kBle}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(VirtualLinkName(link)) + ": " + c.name);
      window_.Take();
      const VirtualMouseState before = State();
      EXPECT_EQ(Write(link, c.message.view()), 1);  // taken, as a device takes any transfer
      const VirtualMouseState after = State();
      EXPECT_EQ(after.counters.malformed[std::size_t(link)],
                before.counters.malformed[std::size_t(link)] + 1);
      EXPECT_EQ(after.counters.applied, before.counters.applied);
      EXPECT_TRUE(after.settings == before.settings);
      EXPECT_EQ(window_.Take(), Posts{});  // in particular no acknowledgement
    }
  }
  // A length that disagrees with the message's own.
  std::array<std::uint8_t, 16> longer{};
  std::copy_n(lighting.bytes.begin(), 15, longer.begin());
  EXPECT_EQ(Write(kCable, longer), 1);
  EXPECT_EQ(State().counters.last_malformed, "cable: wrong length");
}

TEST_F(VirtualMouseTest, WritesTooBrokenToReadFail) {
  std::array<std::uint8_t, 600> big{kCommandLighting};
  mouse_->SetBleConnected(true);
  EXPECT_EQ(mouse_->SetFeature(kCable, nullptr, 15), 0);
  EXPECT_EQ(mouse_->SetFeature(kCable, big.data(), 0), 0);
  EXPECT_EQ(mouse_->SetFeature(kCable, big.data(), -1), 0);
  EXPECT_EQ(mouse_->SetFeature(kReceiver, big.data(), 65), 0);
  EXPECT_EQ(mouse_->BleWrite(big.data(), 513), 0);
  const VirtualMouseCounters c = State().counters;
  EXPECT_EQ(c.malformed, (PerLink{3, 1, 1}));
  EXPECT_EQ(c.accepted, (PerLink{0, 0, 0}));
}

// --- Slot messages from three reports ---

CommandMessage MacroMessage(std::uint8_t slot) {
  return EncodeMacroMessage(slot, CustomProfile()->button(4));
}

TEST_F(VirtualMouseTest, SlotMessageNeedsItsThreePiecesInOrderForOneSlot) {
  const CommandMessage three = MacroMessage(3);
  const CommandMessage four = MacroMessage(4);
  const auto piece = [&](const CommandMessage& m, int i) { return Report(m, i, kCable); };
  auto held = [&] { return State().settings.slot_messages; };

  // A lost middle piece: the last one is out of order.
  Write(kCable, piece(three, 0));
  Write(kCable, piece(three, 2));
  // A piece that does not begin a message.
  Write(kCable, piece(three, 1));
  // A piece of another slot's message, and what follows it.
  Write(kCable, piece(three, 0));
  Write(kCable, piece(four, 1));
  Write(kCable, piece(three, 2));
  EXPECT_TRUE(held().empty());
  EXPECT_EQ(State().counters.malformed[0], 4);

  // Piece 0 starts over: the unfinished message is dropped, the new one kept.
  Write(kCable, piece(four, 0));
  Write(kCable, piece(four, 1));
  EXPECT_TRUE(Send(kCable, three));
  const auto kept = held();
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_TRUE(std::equal(kept.at(3).begin(), kept.at(3).end(), three.bytes.begin()));
  EXPECT_EQ(State().counters.malformed[0], 5);
  EXPECT_EQ(State().counters.applied[0], 1);
}

TEST_F(VirtualMouseTest, SlotReportsAreCheckedForTheirLinkAndAsAWhole) {
  const CommandMessage m = MacroMessage(2);
  // Each link's own marker on the last report: 0x40 on the cable, 0x0C on the receiver.
  for (VirtualLink link : {kCable, kReceiver}) {
    SCOPED_TRACE(VirtualLinkName(link));
    const VirtualLink other = link == kCable ? kReceiver : kCable;
    Write(link, Report(m, 0, link));
    Write(link, Report(m, 1, link));
    Write(link, Report(m, 2, other));
    EXPECT_EQ(State().counters.last_malformed,
              std::string(VirtualLinkName(link)) + ": report header");
  }
  // The reassembled message's checksum, and zeros beyond the message.
  Send(kCable, Corrupt(m, 110, m.bytes[110] ^ 0x01));
  EXPECT_EQ(State().counters.last_malformed, "cable: checksum");
  DeviceReport last = Report(m, 2, kCable);
  last[20] = 0x01;
  Write(kCable, Report(m, 0, kCable));
  Write(kCable, Report(m, 1, kCable));
  Write(kCable, last);
  EXPECT_EQ(State().counters.last_malformed, "cable: padding");
  EXPECT_TRUE(State().settings.slot_messages.empty());

  // Over Bluetooth LE a slot message comes whole, and pieces mean nothing there.
  mouse_->SetBleConnected(true);
  EXPECT_EQ(Write(kBle, Report(m, 0, kCable)), 1);
  EXPECT_EQ(State().counters.malformed[2], 1);
  EXPECT_TRUE(Send(kBle, m));
  EXPECT_EQ(State().settings.slot_messages.count(2), 1u);
}

// --- The mouse's own reading of slot messages and button functions ---

// Recomputes the checksum of a whole command message (slot message or button map): the 16-bit
// sum of bytes 3 up to it, high byte first.
CommandMessage Sealed(CommandMessage m) {
  const std::size_t at = m.length - 2;
  unsigned sum = 0;
  for (std::size_t i = 3; i < at; ++i) sum += m.bytes[i];
  m.bytes[at] = static_cast<std::uint8_t>(sum >> 8);
  m.bytes[at + 1] = static_cast<std::uint8_t>(sum);
  return m;
}

using Head = std::array<std::uint8_t, 5>;  // repeat mode, three extra bytes, repeat count
constexpr Head kMacroHead = {0x00, 0x00, 0x00, 0x00, 0x01};
constexpr Head kPatternHead = {0x02, 0x00, 0x00, 0x00, 0x01};
constexpr Head kContinuationHead = {};

// A slot message written out byte by byte.
CommandMessage HandSlot(std::uint8_t slot, Head head, const std::vector<std::uint8_t>& items) {
  CommandMessage m;
  m.length = 111;
  m.bytes[0] = 0x09;
  m.bytes[1] = 0x6F;
  m.bytes[2] = slot;
  std::copy(head.begin(), head.end(), m.bytes.begin() + 3);
  m.bytes[8] = static_cast<std::uint8_t>(items.size() / 2);
  std::copy(items.begin(), items.end(), m.bytes.begin() + 9);
  return Sealed(m);
}

// A button map written out triple by triple; `changes` replaces the triples of some buttons of
// the default profile's map.
CommandMessage HandButtonMap(const std::map<std::size_t, VirtualTriple>& changes) {
  std::array<VirtualTriple, 18> triples = {{{0x02, 0, 0},
                                            {0x03, 0, 0},
                                            {0x04, 0, 0},
                                            {0x0D, 0, 0},
                                            {0x0D, 0, 0},
                                            {0x3C, 0, 0},
                                            {0x05, 0, 0},
                                            {0x06, 0, 0}}};
  for (std::size_t k = 8; k < 16; ++k) triples[k] = {0x01, 0, 0};
  triples[16] = {0x0A, 0, 0};
  triples[17] = {0x09, 0, 0};
  for (const auto& [k, triple] : changes) triples[k] = triple;
  CommandMessage m;
  m.length = 59;
  m.bytes[0] = 0x08;
  m.bytes[1] = 0x3B;
  m.bytes[2] = 0x01;
  for (std::size_t k = 0; k < 18; ++k)
    std::copy_n(triples[k].begin(), 3, m.bytes.begin() + 3 + 3 * k);
  return Sealed(m);
}

CommandMessage WithItemCount(CommandMessage m, std::uint8_t count) {
  m.bytes[8] = count;
  return Sealed(m);
}

// Each message is sound as far as its checksum goes, but reads as something the mouse cannot
// act on.
TEST_F(VirtualMouseTest, RefusesMessagesWhoseItemsOrFunctionsItCannotRead) {
  const std::vector<std::uint8_t> click = {0x03, 0xF1, 0x83, 0xF1};
  auto pattern = [&](std::vector<std::uint8_t> tail) {
    tail.insert(tail.begin(), click.begin(), click.end());
    return tail;
  };
  struct Case {
    const char* name;
    CommandMessage message;
    const char* reason;
  };
  const Case cases[] = {
      {"release with no time", HandSlot(1, kMacroHead, {0x80, 0x04}), "key time"},
      {"key code 0x02", HandSlot(1, kMacroHead, {0x05, 0x02}), "key code"},
      {"key code 0xF7", HandSlot(1, kMacroHead, {0x05, 0xF7}), "key code"},
      {"continuation skipping a slot",
       HandSlot(2, kPatternHead, pattern({0x14, 0xF6, 0, 1, 0, 2, 0x04, 0xFE})),
       "continuation to a wrong slot"},
      {"continuation to its own slot",
       HandSlot(2, kPatternHead, pattern({0x14, 0xF6, 0, 1, 0, 2, 0x02, 0xFE})),
       "continuation to a wrong slot"},
      {"continuation from slot 255", HandSlot(255, kPatternHead, pattern({0x00, 0xFE})),
       "continuation to a wrong slot"},
      {"continuation before other items", HandSlot(1, kPatternHead, {0x02, 0xFE, 0x03, 0xF1}),
       "continuation item before the end"},
      {"movement with one offset", HandSlot(1, kPatternHead, pattern({0x14, 0xF6, 0x00, 0x01})),
       "movement without its offsets"},
      {"movement after 4", HandSlot(1, kPatternHead, pattern({0x04, 0xF6, 0, 1, 0, 2})),
       "movement time"},
      {"movement after 128", HandSlot(1, kPatternHead, pattern({0x80, 0xF6, 0, 1, 0, 2})),
       "movement time"},
      {"long wait first", HandSlot(1, kMacroHead, {0x02, 0x03, 0x05, 0x04}),
       "long wait without an action"},
      {"wait before more items", HandSlot(1, kPatternHead, pattern({0x14, 0x00, 0x05, 0x04})),
       "wait item out of place"},
      {"item count one too high", WithItemCount(HandSlot(1, kMacroHead, {0x05, 0x04}), 2),
       "wait time"},
      {"item count one too low",
       WithItemCount(HandSlot(1, kMacroHead, {0x05, 0x04, 0x85, 0x04}), 1),
       "bytes behind the items"},
      {"item count beyond 50", WithItemCount(HandSlot(1, kMacroHead, {}), 51), "item count"},
      {"repeat mode 3", HandSlot(1, {0x03, 0, 0, 0, 1}, {0x05, 0x04}), "repeat mode"},
      {"continuation with a repeat mode", HandSlot(2, {0x02, 0, 0, 0, 0}, click),
       "continuation head not zero"},
      {"continuation in slot 1", HandSlot(1, kContinuationHead, click), "continuation in slot 1"},
      {"unknown function", HandButtonMap({{4, {0x27, 0, 0}}}), "unknown function"},
      {"macro without a slot", HandButtonMap({{4, {0x12, 0, 0}}}), "slot of a macro or pattern"},
      {"pattern with a second byte", HandButtonMap({{4, {0x3A, 1, 2}}}),
       "slot of a macro or pattern"},
      {"plain function with data", HandButtonMap({{0, {0x02, 0, 1}}}), "function data"},
      {"modifier beyond Win", HandButtonMap({{3, {0x11, 0x10, 0x04}}}), "modifier bits"},
      {"no function with data", HandButtonMap({{9, {0x00, 0x00, 0x05}}}), "no function with data"},
  };
  mouse_->SetBleConnected(true);
  for (VirtualLink link : {kCable, kBle}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(VirtualLinkName(link)) + ": " + c.name);
      const VirtualMouseState before = State();
      EXPECT_TRUE(Send(link, c.message));
      const VirtualMouseState after = State();
      EXPECT_EQ(after.counters.last_malformed,
                std::string(VirtualLinkName(link)) + ": " + c.reason);
      EXPECT_EQ(after.counters.malformed[std::size_t(link)],
                before.counters.malformed[std::size_t(link)] + 1);
      EXPECT_EQ(after.counters.applied, before.counters.applied);
      EXPECT_TRUE(after.settings == before.settings);
    }
  }
  // The same functions and items in their proper form are taken.
  const Case sound[] = {
      {"key combination Ctrl+Shift+Alt+Win", HandButtonMap({{3, {0x11, 0x0F, 0x04}}}), ""},
      {"macro and pattern slots", HandButtonMap({{4, {0x12, 0, 1}}, {5, {0x3A, 0, 2}}}), ""},
      {"back", HandButtonMap({{6, {0x29, 0, 3}}, {9, {0x00, 0, 0}}}), ""},
      {"continuation", HandSlot(3, kContinuationHead, pattern({0x05, 0xF6, 0, 1, 0, 2})), ""},
      {"no items", HandSlot(1, kMacroHead, {}), ""},
  };
  for (const Case& c : sound) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(Send(kCable, c.message));
    EXPECT_EQ(State().counters.malformed[0], std::size(cases));
  }
}

// A profile with a macro on button 0 and a ten-step pattern on button 1, and the bytes it puts
// on the mouse, written out by hand.
std::unique_ptr<ProfileData> HandProfile() {
  auto p = NewProfile(u"Hand");
  ButtonData& macro = p->button(0);
  macro.set_function(kFunctionMacro);
  macro.set_repeat_mode(1);
  macro.set_repeat_count(3);
  macro.set_step_count(3);
  SetMacroStep(macro, 0, {0x04, MacroAction::kRelease, 250});
  SetMacroStep(macro, 1, {0xF1, MacroAction::kPress, 0});
  SetMacroStep(macro, 2, {0x2C, MacroAction::kRelease, 3});
  ButtonData& gun = p->button(1);
  gun.set_function(kFunctionGun);
  gun.set_repeat_mode(2);
  gun.set_repeat_count(0);  // sent as 1
  gun.set_step_count(10);
  for (std::size_t i = 0; i < 9; ++i) {
    GunStep{-15, 300, 0, 20}.Encode(gun.gun_steps().data() + GunStep::kSize * i);
  }
  GunStep{0x12345, -1, 0, 212}.Encode(gun.gun_steps().data() + GunStep::kSize * 9);
  return p;
}

std::vector<CommandMessage> HandProfileMessages() {
  const std::vector<std::uint8_t> step = {
      0x03, 0xF1, 0x83, 0xF1,  // left button down and up
      0x14, 0xF6,              // move after 20
      0xFF, 0xF1, 0x01, 0x2C,  // by -15, 300
  };
  std::vector<std::uint8_t> first;
  for (int i = 0; i < 9; ++i) first.insert(first.end(), step.begin(), step.end());
  first.insert(first.end(), {0x03, 0xFE});  // the tenth step would not fit: on in slot 3
  return {
      HandSlot(1, {0x01, 0, 0, 0, 0x03},
               {0xB2, 0x04, 0x02, 0x03,    // 0x04 up after 50, then 2 x 100
                0x01, 0xF1, 0x83, 0x2C}),  // left down after 1, 0x2C up after 3
      HandSlot(2, {0x02, 0, 0, 0, 0x01}, first),
      HandSlot(3, kContinuationHead,
               {0x03, 0xF1, 0x83, 0xF1, 0x0C, 0xF6,    // click, move after 12
                0x23, 0x45, 0xFF, 0xFF,                // by 0x2345 (the low 16 bits), -1
                0x02, 0x03, 0x02, 0x03, 0x0C, 0x00}),  // 2 x 100, and after the pattern again
                                                       // 2 x 100 and 12
      HandButtonMap({{0, {0x12, 0x00, 0x01}}, {1, {0x3A, 0x00, 0x02}}}),
  };
}

bool HasLine(const Lines& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST_F(VirtualMouseTest, ReadsHandWrittenSlotsAsTheProfileMeansThem) {
  for (const CommandMessage& m : HandProfileMessages()) ASSERT_TRUE(Send(kReceiver, m));
  ASSERT_EQ(State().counters.malformed[1], 0) << State().counters.last_malformed;
  using Kind = VirtualSlotItem::Kind;
  const VirtualMouseState state = State();  // a copy: State() returns one by value
  const VirtualSlot& macro = state.settings.slot_contents.at(1);
  EXPECT_EQ(macro.items, (std::vector<VirtualSlotItem>{{Kind::kKey, 50, 0x04, true},
                                                       {Kind::kLongWait, 2},
                                                       {Kind::kKey, 1, 0xF1, false},
                                                       {Kind::kKey, 3, 0x2C, true}}));
  const VirtualSlot& last = state.settings.slot_contents.at(3);
  EXPECT_TRUE(last.continuation);
  EXPECT_EQ(last.items.at(2), (VirtualSlotItem{Kind::kMove, 12, 0, false, 0x2345, -1}));
  EXPECT_EQ(state.settings.slot_contents.at(2).next_slot, 3);

  const auto profile = HandProfile();
  EXPECT_EQ(ProfileDifferences(State().settings, *profile), Lines{});

  // Each field the slots and the map carry is compared.
  auto differences = [&](auto change) {
    ProfileData changed = *profile;
    change(changed);
    return ProfileDifferences(State().settings, changed);
  };
  EXPECT_TRUE(HasLine(differences([](ProfileData& p) {
                        SetMacroStep(p.button(0), 1, {0xF1, MacroAction::kRelease, 0});
                      }),
                      "slot 1 item 2: mouse key 0xF1 down, 1, profile key 0xF1 up, 1"));
  EXPECT_TRUE(HasLine(differences([](ProfileData& p) {
                        SetMacroStep(p.button(0), 0, {0x04, MacroAction::kRelease, 350});
                      }),
                      "slot 1 item 1: mouse wait 2 x 100, profile wait 3 x 100"));
  EXPECT_TRUE(HasLine(differences([](ProfileData& p) { p.button(0).set_repeat_count(4); }),
                      "slot 1 repeat count: mouse 3, profile 4"));
  EXPECT_TRUE(HasLine(
      differences([](ProfileData& p) {
        GunStep{-15, 301, 0, 20}.Encode(p.button(1).gun_steps().data() + GunStep::kSize * 4);
      }),
      "slot 2 item 14: mouse move -15,300 after 20, profile move -15,301 after 20"));
  // Nine steps fit one message, which then ends with the wait after the pattern.
  const Lines nine = differences([](ProfileData& p) { p.button(1).set_step_count(9); });
  EXPECT_TRUE(HasLine(nine, "slot 2 next slot: mouse 3, profile 0"));
  EXPECT_TRUE(HasLine(nine, "slot 2 items: mouse 27, profile 28"));
  EXPECT_TRUE(HasLine(differences([](ProfileData& p) { p.button(2).set_function(0x20); }),
                      "button 2[0]: mouse 4, profile 17"));
  EXPECT_TRUE(HasLine(differences([](ProfileData& p) {
                        p.button(3).set_function(kFunctionKeyCombo);
                        p.button(3).set_modifiers(0x02);
                        p.button(3).set_key(0x04);
                      }),
                      "button 3[1]: mouse 0, profile 2"));
  // A macro in front of the pattern takes slot 1 and pushes the pattern on by one.
  EXPECT_TRUE(HasLine(differences([](ProfileData& p) { p.button(1).set_function(kFunctionMacro); }),
                      "button 1[0]: mouse 58, profile 18"));
}

// The encoder, the mouse's reading and the comparison each hold the table of function bytes on
// their own; every code of a button's function byte must pass all three alike.
TEST_F(VirtualMouseTest, EveryFunctionCodeReachesTheMouseAsTheProfileMeansIt) {
  auto profile = NewProfile(u"Functions");
  for (int code = 0; code < 256; ++code) {
    if (code == kFunctionMacro || code == kFunctionGun) continue;  // need their slots
    SCOPED_TRACE(code);
    profile->button(7).set_function(static_cast<std::uint8_t>(code));
    profile->button(7).set_modifiers(0x09);
    profile->button(7).set_key(0x2C);
    ASSERT_TRUE(Send(kCable, EncodeButtonMapCommand(*profile, SlotTable{})));
    EXPECT_EQ(State().counters.last_malformed, "");
    EXPECT_EQ(ProfileDifferences(State().settings, *profile), Lines{});
  }
}

// --- Acknowledgements ---

TEST_F(VirtualMouseTest, AcknowledgesEachReceiverCommandOnceWhileAwake) {
  const auto p = CustomProfile();
  window_.Take();
  Send(kReceiver, EncodeLightingCommand(*p));
  EXPECT_EQ(window_.Take(), Posts{kAck});

  const CommandMessage slot = MacroMessage(1);
  Write(kReceiver, Report(slot, 0, kReceiver));
  Write(kReceiver, Report(slot, 1, kReceiver));
  EXPECT_EQ(window_.Take(), Posts{});
  Write(kReceiver, Report(slot, 2, kReceiver));
  EXPECT_EQ(window_.Take(), Posts{kAck});

  Send(kCable, EncodeSensorCommand(*p));  // the cable needs none
  EXPECT_EQ(window_.Take(), Posts{});

  mouse_->SetAcks(false);
  Send(kReceiver, EncodePollingRateCommand(*p));
  EXPECT_EQ(window_.Take(), Posts{});
  EXPECT_EQ(State().settings.polling_rate, 1);
  mouse_->SetAcks(true);

  // Asleep: the receiver takes the write, but the mouse never hears it.
  mouse_->SetAsleep(true);
  EXPECT_TRUE(Send(kReceiver, EncodeButtonMapCommand(*p, SlotTable{})));
  EXPECT_EQ(window_.Take(), Posts{});
  EXPECT_EQ(State().settings.buttons[3], (VirtualTriple{0x0D, 0x00, 0x00}));
}

// --- Links ---

TEST_F(VirtualMouseTest, UnpluggedDeviceClosesAndAnnouncesItsComings) {
  const CommandMessage open = EncodeOpenCommand();
  window_.Take();
  mouse_->Plug(kCable, false);
  mouse_->Plug(kCable, false);
  EXPECT_EQ(window_.Take(), (Posts{{MSG_CABLE_STATUS, MOKTA_DEVICE_REMOVED, 0}}));
  EXPECT_EQ(Write(kCable, open.view()), 0);
  EXPECT_EQ(mouse_->OpenFeatureDevice(kCable), 0);

  mouse_->Plug(kCable, true);
  EXPECT_EQ(window_.Take(), (Posts{{MSG_CABLE_STATUS, MOKTA_DEVICE_ARRIVED, 0}}));
  EXPECT_EQ(Write(kCable, open.view()), 0) << "a device that arrives is opened first";
  EXPECT_EQ(mouse_->OpenFeatureDevice(kCable), 1);
  EXPECT_EQ(Write(kCable, open.view()), 1);

  mouse_->Plug(kReceiver, false);
  EXPECT_EQ(window_.Take(), (Posts{{MSG_RECEIVER_STATUS, MOKTA_DEVICE_REMOVED, 0}}));
  EXPECT_EQ(Write(kReceiver, open.view()), 0);

  mouse_->SetBleConnected(true);
  mouse_->SetBleConnected(false);
  EXPECT_EQ(window_.Take(), (Posts{{kBlePresence, 1, 0}, {kBlePresence, 0, 0}}));
  EXPECT_EQ(Write(kBle, open.view()), 0);
}

TEST(VirtualMouseLinks, OpensOnlyForItsOwnPairAndStartsAsTold) {
  VirtualMouseOptions options = QuietOptions();
  ASSERT_TRUE(ParseVirtualStart("cable=0,ble=1", options.start, nullptr));
  VirtualMouse mouse(options);
  RecordingWindow window;
  const MoktaWindow w = window.window();
  // The receiver's pair given to the cable library, and the other way round.
  mouse.SetVidPid(kCable, kVirtualVendorId, kVirtualReceiverProductId);
  mouse.SetVidPid(kReceiver, kVirtualVendorId, kVirtualCableProductId);
  EXPECT_EQ(mouse.OpenMonitor(kReceiver, &w, MSG_RECEIVER_EVENT, MSG_RECEIVER_STATUS), 1);
  EXPECT_EQ(mouse.OpenFeatureDevice(kReceiver), 0);
  mouse.SetVidPid(kReceiver, kVirtualVendorId, kVirtualReceiverProductId);
  EXPECT_EQ(mouse.OpenFeatureDevice(kReceiver), 1);
  // Plugged as started: the cable is not, Bluetooth LE is connected.
  mouse.SetVidPid(kCable, kVirtualVendorId, kVirtualCableProductId);
  EXPECT_EQ(mouse.OpenFeatureDevice(kCable), 0);
  EXPECT_EQ(mouse.BleOpen(&w, kBlePresence, kBleEvent), 1);
  // Devices present when the monitors start are not announced.
  EXPECT_EQ(window.Take(), Posts{});
  mouse.CloseMonitor(kReceiver);
  mouse.BleClose();
}

// --- Reports of the mouse ---

TEST_F(VirtualMouseTest, ChangesMadeOnTheMouseReportOnTheRoadInUse) {
  window_.Take();  // factory stages: 1..6 enabled, stage 2 active
  ASSERT_TRUE(mouse_->PressDpiButton());
  EXPECT_EQ(window_.Take(), Posts{CableEvent(kVirtualStageEvent, 3)});
  mouse_->Plug(kCable, false);
  window_.Take();
  mouse_->PressDpiButton();
  EXPECT_EQ(window_.Take(), Posts{ReceiverEvent(kVirtualStageEvent, 4)});
  mouse_->SetAsleep(true);
  mouse_->PressDpiButton();  // no road
  EXPECT_EQ(window_.Take(), Posts{});
  mouse_->SetBleConnected(true);
  window_.Take();
  mouse_->PressDpiButton();
  mouse_->PressDpiButton();  // stages 7 and 8 are off: back to 1
  mouse_->ChangeLighting(3);
  mouse_->ChangePollingRate(2);
  EXPECT_EQ(window_.Take(),
            (Posts{BleEvent(kVirtualStageEvent, 6), BleEvent(kVirtualStageEvent, 1),
                   BleEvent(kVirtualLightingEvent, 0x30), BleEvent(kVirtualPollingRateEvent, 2)}));
  mouse_->SetAsleep(false);
  window_.Take();
  mouse_->ChangeLighting(3);
  mouse_->ChangePollingRate(0);
  EXPECT_EQ(window_.Take(), (Posts{ReceiverEvent(kVirtualLightingEvent, 3),
                                   ReceiverEvent(kVirtualPollingRateEvent, 8)}));
  const VirtualMouseSettings s = State().settings;
  EXPECT_EQ(s.active_stage, 1);
  EXPECT_EQ(s.light_effect, 3);
  EXPECT_EQ(s.polling_rate, 0);
  EXPECT_FALSE(mouse_->ChangePollingRate(4));
  EXPECT_FALSE(mouse_->ChangeLighting(16));
}

TEST_F(VirtualMouseTest, DpiButtonSkipsStagesTheProfileTurnedOff) {
  auto p = NewProfile(u"Two stages");
  for (std::size_t i = 0; i < kDpiStages; ++i) p->set_dpi_enabled(i, i == 1 || i == 4);
  p->set_dpi_step(4);
  Send(kCable, EncodeSensorCommand(*p));
  window_.Take();
  mouse_->PressDpiButton();
  mouse_->PressDpiButton();
  EXPECT_EQ(window_.Take(),
            (Posts{CableEvent(kVirtualStageEvent, 2), CableEvent(kVirtualStageEvent, 5)}));
  for (std::size_t i = 0; i < kDpiStages; ++i) p->set_dpi_enabled(i, 0);
  Send(kCable, EncodeSensorCommand(*p));
  window_.Take();
  EXPECT_FALSE(mouse_->PressDpiButton());
  EXPECT_EQ(window_.Take(), Posts{});
}

TEST_F(VirtualMouseTest, BatteryReportsFollowTheLinkAndThePower) {
  window_.Take();
  mouse_->ReportBattery();  // on the cable it charges
  mouse_->SetBattery(100);
  EXPECT_EQ(window_.Take(), (Posts{CableEvent(kVirtualBatteryEvent, 0x5003),
                                   CableEvent(kVirtualBatteryEvent, 0x6402)}));
  mouse_->Plug(kCable, false);
  window_.Take();
  mouse_->SetBattery(57);
  mouse_->SetCharging(true);
  mouse_->SetBattery(100);
  EXPECT_EQ(window_.Take(), (Posts{ReceiverEvent(kVirtualBatteryEvent, 0x3901),
                                   ReceiverEvent(kVirtualBatteryEvent, 0x3903),
                                   ReceiverEvent(kVirtualBatteryEvent, 0x6402)}));
  mouse_->SetCharging(false);
  mouse_->SetAsleep(true);
  mouse_->SetBleConnected(true);
  window_.Take();
  mouse_->ReportBattery();  // asleep: silent, even with Bluetooth LE connected
  EXPECT_EQ(window_.Take(), Posts{});
  mouse_->SetAsleep(false);  // waking reports at once
  mouse_->Plug(kReceiver, false);
  mouse_->ReportBattery();
  EXPECT_EQ(window_.Take(), (Posts{ReceiverEvent(kVirtualBatteryEvent, 0x6401),
                                   {MSG_RECEIVER_STATUS, MOKTA_DEVICE_REMOVED, 0},
                                   BleEvent(kVirtualBatteryEvent, 0x6401)}));
}

TEST(VirtualMouseThreads, BatteryReportsRunOnlyWhileAMonitorIsOpen) {
  VirtualMouseOptions options;
  options.battery_period = 2ms;
  options.start.cable = false;
  VirtualMouse mouse(options);
  RecordingWindow window;
  const MoktaWindow w = window.window();
  mouse.OpenMonitor(kReceiver, &w, MSG_RECEIVER_EVENT, MSG_RECEIVER_STATUS);
  ASSERT_TRUE(window.WaitForSize(3));
  EXPECT_EQ(mouse.RunningThreads(), 1);
  mouse.CloseMonitor(kReceiver);
  // No thread of the mouse is left that could post; what came before the close is all there.
  EXPECT_EQ(mouse.RunningThreads(), 0);
  const Posts posts = window.Take();
  for (const Post& p : posts) EXPECT_EQ(p, ReceiverEvent(kVirtualBatteryEvent, 0x5001));
}

// --- Faults on request ---

TEST_F(VirtualMouseTest, FailsTheNextWritesThatWouldReachIt) {
  const CommandMessage lighting = EncodeLightingCommand(*CustomProfile());
  mouse_->SetBleConnected(true);
  mouse_->Plug(kReceiver, false);
  ASSERT_TRUE(mouse_->FailNextWrites(2));
  EXPECT_EQ(Write(kReceiver, lighting.view()), 0);  // unplugged: not one of the two
  EXPECT_EQ(Write(kCable, lighting.view()), 0);
  EXPECT_EQ(Write(kBle, lighting.view()), 0);
  EXPECT_EQ(State().settings.light_effect, 0);
  EXPECT_EQ(Write(kCable, lighting.view()), 1);
  const VirtualMouseState s = State();
  EXPECT_EQ(s.counters.failed, 2);
  EXPECT_EQ(s.counters.accepted, (PerLink{1, 0, 0}));
  EXPECT_EQ(s.settings.light_effect, 9);
  EXPECT_FALSE(mouse_->FailNextWrites(-1));
}

// --- Reset, for tests that share one mouse ---

TEST_F(VirtualMouseTest, ResetBringsBackTheFactorySettingsAndLeavesTheLinks) {
  const VirtualMouseSettings factory = State().settings;
  for (const CommandMessage& m : SendAllPassMessages(*CustomProfile())) {
    ASSERT_TRUE(Send(kCable, m));
  }
  const CommandMessage three = MacroMessage(3);
  Write(kCable, Report(three, 0, kCable));  // a slot message half received
  mouse_->Plug(kReceiver, false);
  mouse_->SetBattery(33);
  mouse_->SetAcks(false);
  window_.Take();
  const VirtualMouseCounters counters = State().counters;
  ASSERT_NE(State().settings, factory);

  mouse_->ResetSettings();
  VirtualMouseState s = State();
  EXPECT_EQ(s.settings, factory);
  EXPECT_FALSE(s.links.receiver_plugged);
  EXPECT_TRUE(s.links.cable_open);
  EXPECT_EQ(s.links.battery, 33);
  EXPECT_FALSE(s.links.acks);
  EXPECT_TRUE(s.counters == counters);
  EXPECT_EQ(window_.Take(), Posts{});
  // The half-received message went too: a new one is not taken for its cut-short end.
  EXPECT_TRUE(Send(kCable, three));
  s = State();
  EXPECT_EQ(s.counters.malformed, (PerLink{0, 0, 0})) << s.counters.last_malformed;
  EXPECT_EQ(s.settings.slot_messages.size(), 1u);

  mouse_->ResetCounters();
  EXPECT_TRUE(State().counters == VirtualMouseCounters());
  EXPECT_EQ(State().settings.slot_messages.size(), 1u);
}

// --- The write log ---

TEST(VirtualMouseLog, AppendsOneLinePerWriteTaken) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("writes.log").toStdString();
  std::ofstream(path) << "earlier\n";
  VirtualMouseOptions options = QuietOptions();
  options.log_path = path;
  options.start.ble = true;
  {
    VirtualMouse mouse(options);
    mouse.SetVidPid(kReceiver, kVirtualVendorId, kVirtualReceiverProductId);
    mouse.OpenFeatureDevice(kReceiver);
    const CommandMessage slot = MacroMessage(5);
    for (int i = 0; i < 3; ++i) {
      const DeviceReport r = SlotMessageReport(slot, i, true);
      mouse.SetFeature(kReceiver, r.data(), 64);
    }
    const CommandMessage rate = EncodePollingRateCommand(*NewProfile(u""));
    mouse.FailNextWrites(1);
    mouse.BleWrite(rate.bytes.data(), 9);  // failed: not taken
    const CommandMessage bad = Corrupt(rate, 4, 0);
    mouse.BleWrite(bad.bytes.data(), 9);  // taken, though malformed
  }
  std::ifstream in(path);
  Lines lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "earlier");
  // Header, then the message from its byte 3: repeat mode, bind bytes, repeat count, 3 items.
  EXPECT_EQ(lines[1].substr(0, 39), "receiver 09 40 05 00 00 00 00 00 04 03 ");
  EXPECT_EQ(lines[3].substr(0, 21), "receiver 09 0C 05 02 ");
  for (int i = 1; i <= 3; ++i) EXPECT_EQ(lines[i].size(), 8 + 3 * 64u);
  EXPECT_EQ(lines[4], "ble 06 09 01 44 00 00 00 00 00");
}

// --- Control ---

TEST_F(VirtualMouseTest, ControlCommandsDriveTheMouse) {
  window_.Take();
  const std::pair<const char*, const char*> exchanges[] = {
      {"unplug cable", "ok cable unplugged"},
      {"  dpi-button ", "ok stage 3"},
      {"sleep", "ok asleep"},
      {"ble connect", "ok ble connected"},
      {"battery 42", "ok battery 42"},
      {"charging on", "ok charging on"},
      {"lighting 16", "error usage: lighting 0..15"},
      {"prate 2", "ok prate 2"},
      {"acks off", "ok acks off"},
      {"fail 3", "ok fail 3"},
      {"plug", "error usage: plug cable|receiver"},
      {"plug ble", "error usage: plug cable|receiver"},
      {"sleep now", "error sleep takes no argument"},
      {"battery 1 2", "error too many words"},
      {"fly", "error unknown command 'fly' (try help)"},
      {"", "error empty command (try help)"},
  };
  for (const auto& [command, answer] : exchanges) EXPECT_EQ(mouse_->Control(command), answer);
  const VirtualMouseState s = State();
  EXPECT_FALSE(s.links.cable_plugged);
  EXPECT_TRUE(s.links.asleep);
  EXPECT_TRUE(s.links.ble_connected);
  EXPECT_EQ(s.links.battery, 42);
  EXPECT_TRUE(s.links.charging);
  EXPECT_FALSE(s.links.acks);
  EXPECT_EQ(s.links.fail_next, 3);
  EXPECT_EQ(s.settings.polling_rate, 2);
  EXPECT_EQ(window_.Take(), (Posts{{MSG_CABLE_STATUS, MOKTA_DEVICE_REMOVED, 0},
                                   ReceiverEvent(kVirtualStageEvent, 3),
                                   {kBlePresence, 1, 0},
                                   BleEvent(kVirtualPollingRateEvent, 2)}));
  EXPECT_EQ(mouse_->Control("help").rfind("ok commands: plug", 0), 0u);
}

TEST(VirtualMouseControl, SocketAnswersWhileAMonitorIsOpen) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("control.sock").toStdString();
  VirtualMouseOptions options = QuietOptions();
  options.control_path = path;
  VirtualMouse mouse(options);
  RecordingWindow window;
  const MoktaWindow w = window.window();
  std::string error;
  EXPECT_FALSE(SendControlCommand(path, "state", &error)) << "listening before any monitor";

  mouse.OpenMonitor(kCable, &w, MSG_CABLE_EVENT, MSG_CABLE_STATUS);
  EXPECT_EQ(mouse.ControlSocketPath(), path);
  const auto state = SendControlCommand(path, "state", &error);
  ASSERT_TRUE(state) << error;
  EXPECT_EQ(state->rfind("ok cable=1 receiver=1 ble=0 asleep=0 ", 0), 0u) << *state;
  EXPECT_NE(state->find(" dpi=800,1600,2400,3200,4000,22000,0,0 "), std::string::npos);
  EXPECT_EQ(SendControlCommand(path, "unplug cable", &error), "ok cable unplugged");
  EXPECT_EQ(window.Take(), (Posts{{MSG_CABLE_STATUS, MOKTA_DEVICE_REMOVED, 0}}));
  EXPECT_EQ(SendControlCommand(path, "prate 9", &error), "error usage: prate 0..3");

  mouse.CloseMonitor(kCable);
  EXPECT_EQ(access(path.c_str(), F_OK), -1) << "socket file left behind";
  EXPECT_FALSE(SendControlCommand(path, "state", &error));
}

TEST(VirtualMouseControl, ReplacesAStaleSocketButNotALiveOne) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("control.sock").toStdString();
  {  // What a crashed mouse leaves: a socket file nobody listens on.
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    close(fd);
  }
  VirtualMouseOptions options = QuietOptions();
  options.control_path = path;
  VirtualMouse first(options);
  VirtualMouse second(options);
  RecordingWindow window;
  const MoktaWindow w = window.window();
  first.OpenMonitor(kReceiver, &w, MSG_RECEIVER_EVENT, MSG_RECEIVER_STATUS);
  second.OpenMonitor(kReceiver, &w, MSG_RECEIVER_EVENT, MSG_RECEIVER_STATUS);
  EXPECT_EQ(first.ControlSocketPath(), path);
  EXPECT_EQ(second.ControlSocketPath(), "");
  std::string error;
  EXPECT_EQ(SendControlCommand(path, "sleep", &error), "ok asleep") << error;
  EXPECT_TRUE(first.State().links.asleep);
  second.CloseMonitor(kReceiver);
  EXPECT_EQ(SendControlCommand(path, "wake", &error), "ok awake") << "the second took it away";
  first.CloseMonitor(kReceiver);
}

TEST(VirtualMouseStart, ReadsItemsAndNamesTheFirstItDoesNotUnderstand) {
  VirtualStart start;
  std::string error;
  EXPECT_TRUE(
      ParseVirtualStart(" cable=0, receiver=1,ble=1 ,asleep=1,battery=35,charging=1,"
                        "acks=0,",
                        start, &error));
  EXPECT_FALSE(start.cable);
  EXPECT_TRUE(start.ble && start.asleep && start.charging && start.receiver);
  EXPECT_FALSE(start.acks);
  EXPECT_EQ(start.battery, 35);

  VirtualStart partly;
  EXPECT_FALSE(ParseVirtualStart("cable=2,mouse=1,battery=101,ble=1,asleep", partly, &error));
  EXPECT_EQ(error, "not understood: cable=2");
  EXPECT_TRUE(partly.cable);
  EXPECT_EQ(partly.battery, 80);
  EXPECT_TRUE(partly.ble);
}

// --- Threads ---

TEST_F(VirtualMouseTest, EntryPointsMayRunOnDifferentThreads) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("control.sock").toStdString();
  VirtualMouseOptions options;
  options.battery_period = 1ms;
  options.control_path = path;
  Start(options);
  const auto p = CustomProfile();
  const CommandMessage lighting = EncodeLightingCommand(*p);
  const CommandMessage slot = MacroMessage(1);
  constexpr int kRounds = 100;

  std::thread worker([&] {
    for (int i = 0; i < kRounds; ++i) {
      Send(kReceiver, lighting);
      Send(kReceiver, slot);
    }
  });
  std::thread ui([&] {
    for (int i = 0; i < kRounds; ++i) {
      mouse_->Control("dpi-button");
      mouse_->Plug(kCable, i % 2 == 1);
      mouse_->OpenFeatureDevice(kCable);
      mouse_->SetBleConnected(i % 3 == 0);
    }
  });
  std::thread shell([&] {
    for (int i = 0; i < 20; ++i) {
      std::string error;
      EXPECT_TRUE(SendControlCommand(path, i % 2 ? "state" : "battery 30", &error)) << error;
    }
  });
  worker.join();
  ui.join();
  shell.join();

  mouse_->CloseMonitor(kCable);
  mouse_->CloseMonitor(kReceiver);
  mouse_->BleClose();
  const Posts posts = window_.Take();
  const auto acks = std::count(posts.begin(), posts.end(), kAck);
  const VirtualMouseCounters c = State().counters;
  EXPECT_EQ(c.applied[1], 2 * kRounds);
  EXPECT_EQ(c.malformed[1], 0);
  EXPECT_EQ(acks, 2 * kRounds);
  EXPECT_EQ(mouse_->RunningThreads(), 0) << "a thread outlived every monitor";
}

// --- The driver libraries ---

template <typename Fn>
Fn Export(void* library, const char* name) {
  return reinterpret_cast<Fn>(dlsym(library, name));
}

TEST(VirtualDriverLibraries, ExportTheDriverInterfaceAndShareOneMouse) {
  QTemporaryDir dir;
  const std::string control = dir.filePath("control.sock").toStdString();
  // Read once, when the shared mouse is first used.
  setenv("MOKTA_VIRTUAL_START", "cable=0", 1);
  setenv("MOKTA_VIRTUAL_BATTERY_MS", "0", 1);
  setenv("MOKTA_VIRTUAL_CONTROL", control.c_str(), 1);
  void* cable = dlopen(MOKTA_VIRTUAL_DRIVER_DIR "/libhiddriver_2.so", RTLD_NOW | RTLD_LOCAL);
  void* receiver = dlopen(MOKTA_VIRTUAL_DRIVER_DIR "/libhiddriver_1.so", RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(cable, nullptr) << dlerror();
  ASSERT_NE(receiver, nullptr) << dlerror();
  for (const char* name : {"Set_VIDPID", "Open_DevMonitor", "Open_FeatureDevice",
                           "Close_FeatureDevice", "SetFeature", "Close_DevMonitor", "GetFeature"}) {
    EXPECT_NE(dlsym(cable, name), nullptr) << name;
    EXPECT_NE(dlsym(receiver, name), nullptr) << name;
  }
  for (const char* name : {"MoktaBle_Open", "MoktaBle_Write", "MoktaBle_Close"}) {
    EXPECT_NE(dlsym(cable, name), nullptr) << name;
    EXPECT_EQ(dlsym(receiver, name), nullptr) << name << " only in the cable library";
  }
  EXPECT_NE(dlsym(cable, "SetFeature"), dlsym(receiver, "SetFeature"));

  RecordingWindow window;
  const MoktaWindow w = window.window();
  struct Library {
    void* handle;
    std::int32_t pid;
    std::uint32_t data, status;
  };
  for (const Library& l :
       {Library{cable, kVirtualCableProductId, MSG_CABLE_EVENT, MSG_CABLE_STATUS},
        Library{receiver, kVirtualReceiverProductId, MSG_RECEIVER_EVENT, MSG_RECEIVER_STATUS}}) {
    Export<MoktaSetVidPidFn>(l.handle, "Set_VIDPID")(kVirtualVendorId, l.pid);
    Export<MoktaOpenDevMonitorFn>(l.handle, "Open_DevMonitor")(&w, l.data, l.status);
  }
  EXPECT_EQ(Export<MoktaOpenFeatureDeviceFn>(cable, "Open_FeatureDevice")(), 0);  // unplugged
  EXPECT_EQ(Export<MoktaOpenFeatureDeviceFn>(receiver, "Open_FeatureDevice")(), 1);
  const CommandMessage lighting = EncodeLightingCommand(*CustomProfile());
  EXPECT_EQ(Export<MoktaSetFeatureFn>(receiver, "SetFeature")(lighting.bytes.data(), 15), 1);
  EXPECT_EQ(window.Take(), Posts{kAck});
  EXPECT_EQ(VirtualMouse::Shared().State().settings.light_effect, 9);

  std::string error;
  EXPECT_EQ(SendControlCommand(control, "plug cable", &error), "ok cable plugged") << error;
  EXPECT_EQ(window.Take(), (Posts{{MSG_CABLE_STATUS, MOKTA_DEVICE_ARRIVED, 0}}));
  EXPECT_EQ(Export<MoktaOpenFeatureDeviceFn>(cable, "Open_FeatureDevice")(), 1);

  for (void* l : {cable, receiver}) {
    Export<MoktaCloseFeatureDeviceFn>(l, "Close_FeatureDevice")();
    Export<MoktaCloseDevMonitorFn>(l, "Close_DevMonitor")();
  }
  EXPECT_EQ(access(control.c_str(), F_OK), -1) << "control socket outlived the monitors";
  dlclose(receiver);
  dlclose(cable);
}

}  // namespace
}  // namespace mokta
