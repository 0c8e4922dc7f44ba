#include "control_commands.h"

#include <charconv>
#include <cstdio>
#include <vector>

namespace mokta::virtual_detail {

namespace {

constexpr std::size_t kMaxWords = 3;

constexpr const char* kHelp =
    "ok commands: plug cable|receiver, unplug cable|receiver, sleep, wake, ble connect|drop, "
    "dpi-button, prate 0..3, lighting 0..15, battery 0..100, charging on|off, acks on|off, "
    "fail N, state, help";

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  while (words.size() <= kMaxWords) {
    const auto first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos) break;
    line.remove_prefix(first);
    const auto end = line.find_first_of(" \t");
    words.push_back(line.substr(0, end));
    line.remove_prefix(end == std::string_view::npos ? line.size() : end);
  }
  return words;
}

std::optional<int> Number(std::string_view text) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<bool> OnOff(std::string_view text) {
  if (text == "on") return true;
  if (text == "off") return false;
  return std::nullopt;
}

std::optional<VirtualLink> FeatureLinkNamed(std::string_view text) {
  if (text == "cable") return VirtualLink::kCable;
  if (text == "receiver") return VirtualLink::kReceiver;
  return std::nullopt;
}

std::string Usage(std::string_view command, const char* arguments) {
  return "error usage: " + std::string(command) + " " + arguments;
}

std::string Hex(const std::uint8_t* bytes, std::size_t n) {
  std::string out;
  char two[3];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(two, sizeof(two), "%02X", bytes[i]);
    out += two;
  }
  return out;
}

template <typename T, std::size_t N>
std::string PerLink(const std::array<T, N>& values) {
  std::string out;
  for (std::size_t i = 0; i < N; ++i) {
    if (i > 0) out += ',';
    out += VirtualLinkName(static_cast<VirtualLink>(i));
    out += ':' + std::to_string(values[i]);
  }
  return out;
}

}  // namespace

std::string RunControlCommand(VirtualMouse& mouse, std::string_view line) {
  const std::vector<std::string_view> words = Words(line);
  if (words.empty()) return "error empty command (try help)";
  if (words.size() > 2) return "error too many words";
  const std::string_view command = words[0];
  const bool has_argument = words.size() == 2;
  const std::string_view argument = has_argument ? words[1] : std::string_view();

  if (command == "plug" || command == "unplug") {
    const auto link = FeatureLinkNamed(argument);
    if (!link) return Usage(command, "cable|receiver");
    mouse.Plug(*link, command == "plug");
    return "ok " + std::string(argument) + (command == "plug" ? " plugged" : " unplugged");
  }
  if (command == "ble") {
    if (argument != "connect" && argument != "drop") return Usage(command, "connect|drop");
    mouse.SetBleConnected(argument == "connect");
    return argument == "connect" ? "ok ble connected" : "ok ble dropped";
  }
  if (command == "charging" || command == "acks") {
    const auto on = OnOff(argument);
    if (!on) return Usage(command, "on|off");
    command == "charging" ? mouse.SetCharging(*on) : mouse.SetAcks(*on);
    return "ok " + std::string(command) + (*on ? " on" : " off");
  }
  if (command == "prate" || command == "lighting" || command == "battery" || command == "fail") {
    const std::optional<int> n = Number(argument);
    const bool done = n && (command == "prate"      ? mouse.ChangePollingRate(*n)
                            : command == "lighting" ? mouse.ChangeLighting(*n)
                            : command == "battery"  ? mouse.SetBattery(*n)
                                                    : mouse.FailNextWrites(*n));
    if (!done) {
      return Usage(command, command == "prate"      ? "0..3"
                            : command == "lighting" ? "0..15"
                            : command == "battery"  ? "0..100"
                                                    : "N (0..1000000)");
    }
    return "ok " + std::string(command) + " " + std::to_string(*n);
  }
  if (has_argument) return "error " + std::string(command) + " takes no argument";
  if (command == "sleep" || command == "wake") {
    mouse.SetAsleep(command == "sleep");
    return command == "sleep" ? "ok asleep" : "ok awake";
  }
  if (command == "dpi-button") {
    if (!mouse.PressDpiButton()) return "error no stage enabled";
    return "ok stage " + std::to_string(mouse.State().settings.active_stage);
  }
  if (command == "state") return "ok " + DescribeState(mouse.State());
  if (command == "help") return kHelp;
  return "error unknown command '" + std::string(command) + "' (try help)";
}

std::string DescribeState(const VirtualMouseState& state) {
  const VirtualMouseLinks& l = state.links;
  const VirtualMouseSettings& s = state.settings;
  const VirtualMouseCounters& c = state.counters;
  auto flag = [](bool b) { return b ? "1" : "0"; };
  std::string out;
  out += std::string("cable=") + flag(l.cable_plugged) + " receiver=" + flag(l.receiver_plugged) +
         " ble=" + flag(l.ble_connected) + " asleep=" + flag(l.asleep) +
         " cable_open=" + flag(l.cable_open) + " receiver_open=" + flag(l.receiver_open) +
         " battery=" + std::to_string(l.battery) + " charging=" + flag(l.charging) +
         " acks=" + flag(l.acks) + " fail_next=" + std::to_string(l.fail_next);
  out += " dpi=";
  for (std::size_t i = 0; i < s.dpi.size(); ++i) {
    out += (i > 0 ? "," : "") + std::to_string(s.dpi[i]);
  }
  out +=
      " stage_mask=" + Hex(&s.stage_mask, 1) + " stage=" + std::to_string(s.active_stage) +
      " angle_snap=" + std::to_string(s.angle_snap) + " ripple=" + std::to_string(s.ripple) +
      " light_effect=" + std::to_string(s.light_effect) +
      " brightness=" + std::to_string(s.brightness) +
      " breathing_speed=" + std::to_string(s.breathing_speed()) +
      " light_color=" + Hex(s.light_color.data(), 3) + " light_off=" + std::to_string(s.light_off) +
      " sleep_timer=" + std::to_string(s.sleep_timer) + " debounce=" + std::to_string(s.debounce) +
      " polling_rate=" + std::to_string(s.polling_rate);
  out += " stage_colors=";
  for (std::size_t i = 0; i < s.stage_colors.size(); ++i) {
    out += (i > 0 ? "," : "") + Hex(s.stage_colors[i].data(), 3);
  }
  out += " buttons=";
  for (std::size_t k = 0; k < s.buttons.size(); ++k) {
    out += (k > 0 ? "," : "") + Hex(s.buttons[k].data(), 3);
  }
  out += " slots=";
  for (const auto& [slot, message] : s.slot_messages) {
    out += (slot == s.slot_messages.begin()->first ? "" : ",") + std::to_string(slot);
  }
  out += " accepted=" + PerLink(c.accepted) + " malformed=" + PerLink(c.malformed) +
         " applied=" + PerLink(c.applied) + " failed=" + std::to_string(c.failed) +
         " open_commands=" + std::to_string(c.open_commands) + " last_malformed=\"" +
         c.last_malformed + "\"";
  return out;
}

}  // namespace mokta::virtual_detail
