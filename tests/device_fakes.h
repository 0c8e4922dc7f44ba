#pragma once

// Fakes for the device core's tests: a view that records every effect as a line of text, a
// sender that records messages, and a poster that queues work.

#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "device/apply_pass.h"
#include "device/command_sender.h"
#include "device/device_events.h"
#include "device/link_display.h"
#include "device/link_scheduler.h"

namespace mokta::test {

// A profile that exercises every group: changed lighting and DPI, a polling rate that is not
// the factory's, a macro on button 3 and on button 5 a recoil pattern long enough for two
// slots.
inline std::unique_ptr<ProfileData> ProfileUsingEveryGroup() {
  auto profile = NewProfile(u"Game");
  profile->set_brightness(5);
  profile->set_light_effect(1);
  profile->set_dpi_x(2, 250);
  profile->set_prate(1);
  ButtonData& macro = profile->button(2);
  macro.set_function(kFunctionMacro);
  macro.set_step_count(2);
  MacroAction{0x04, MacroAction::kPress, 30}.Encode(macro.macro_steps().data());
  MacroAction{0x04, MacroAction::kRelease, 200}.Encode(macro.macro_steps().data() + 4);
  ButtonData& gun = profile->button(4);
  gun.set_function(kFunctionGun);
  gun.set_repeat_mode(2);
  gun.set_step_count(12);
  for (std::size_t i = 0; i < 12; ++i) {
    GunStep{static_cast<std::int32_t>(i) - 3, 4, 0, 20}.Encode(gun.gun_steps().data() + 12 * i);
  }
  return profile;
}

// Records each state shown and each timer call as one line, e.g. "cable up", "battery 55",
// "start 515 30", "link changed". `RunLater` steps are kept until the test runs them with
// `RunPending`.
class RecordingView : public LinkDisplay, public LinkScheduler {
 public:
  std::vector<std::string> log;
  std::vector<std::pair<int, std::function<void()>>> pending;

  void ShowLinkUp(LinkKind link, bool up) override {
    static const char* const kNames[] = {"cable", "receiver", "ble"};
    log.push_back(std::string(kNames[static_cast<int>(link)]) + (up ? " up" : " down"));
  }
  void ShowAsleep(bool asleep) override { log.push_back(asleep ? "asleep" : "awake"); }
  void ShowBatteryLevel(int percent) override {
    log.push_back("battery " + std::to_string(percent));
  }
  void ShowCharging() override { log.push_back("charging"); }
  void ShowChargeStep(int percent) override {
    log.push_back("charge step " + std::to_string(percent));
  }
  void ShowBatteryUnknown() override { log.push_back("battery unknown"); }
  void ShowPollingRateAvailable(bool available) override {
    log.push_back(available ? "prate offered" : "prate withdrawn");
  }
  void ShowDpiStage(int stage) override { log.push_back("stage " + std::to_string(stage)); }
  void ShowDpiChange(std::int32_t code) override { log.push_back("dpi " + std::to_string(code)); }
  void ShowPollingRate(int index) override { log.push_back("prate " + std::to_string(index)); }
  void ShowLightEffect(int index) override {
    log.push_back("light effect " + std::to_string(index));
  }
  void ShowApplyRunning(bool running) override {
    log.push_back(running ? "apply running" : "apply ended");
  }
  void ShowConnected(bool) override { log.push_back("link changed"); }
  void ShowUndelivered(bool undelivered) override {
    if (undelivered) log.push_back("undelivered");
  }
  void ShowBleDiagnosis(BleDiagnosis diagnosis) override {
    if (diagnosis != BleDiagnosis::kNone) {
      log.push_back("ble diagnosis " + std::to_string(static_cast<int>(diagnosis)));
    }
  }
  void StartTimer(int id, int ms) override {
    log.push_back("start " + std::to_string(id) + " " + std::to_string(ms));
  }
  void StopTimer(int id) override { log.push_back("stop " + std::to_string(id)); }
  void RunLater(int ms, std::function<void()> step) override {
    log.push_back("wait " + std::to_string(ms));
    pending.emplace_back(ms, std::move(step));
  }

  // Runs the steps waiting now (not those they add).
  void RunPending() {
    auto steps = std::move(pending);
    pending.clear();
    for (auto& [ms, step] : steps) step();
  }
  std::vector<std::string> Take() { return std::exchange(log, {}); }
  int Count(const std::string& line) const {
    int n = 0;
    for (const auto& l : log) n += l == line;
    return n;
  }
};

// Records each message; fails the codes listed in `failing`; runs `during_send` (if set) after
// recording, to act while a pass is in the middle of sending.
class RecordingSender : public CommandSender {
 public:
  std::vector<CommandMessage> sent;
  std::vector<std::uint8_t> failing;
  std::function<void(const CommandMessage&)> during_send;

  bool SendCommand(const CommandMessage& message) override {
    sent.push_back(message);
    if (during_send) during_send(message);
    for (std::uint8_t code : failing) {
      if (code == message.code()) return false;
    }
    return true;
  }
  std::vector<int> Codes() const {
    std::vector<int> codes;
    for (const auto& m : sent) codes.push_back(m.code());
    return codes;
  }
};

class QueuedPoster : public UiPoster {
 public:
  std::vector<std::function<void()>> queue;
  void PostToUi(std::function<void()> work) override { queue.push_back(std::move(work)); }
  void RunAll() {
    auto work = std::move(queue);
    queue.clear();
    for (auto& w : work) w();
  }
};

}  // namespace mokta::test
