// The mouse's options from the environment: links and power at start, battery period, write
// log and control socket.

#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "virtual_mouse.h"

namespace mokta {

namespace {

constexpr long kMaxBatteryPeriodMs = 3600 * 1000;

std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t");
  return s.substr(first, last - first + 1);
}

// The whole of `text` as a number within [low, high].
std::optional<long> ParseNumber(std::string_view text, long low, long high) {
  long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

// Sets one key of `start`; false for an unknown key or a bad value.
bool SetStartItem(std::string_view key, std::string_view value, VirtualStart& start) {
  if (key == "battery") {
    const auto level = ParseNumber(value, 0, 100);
    if (level) start.battery = static_cast<int>(*level);
    return level.has_value();
  }
  bool* flag = key == "cable"      ? &start.cable
               : key == "receiver" ? &start.receiver
               : key == "ble"      ? &start.ble
               : key == "asleep"   ? &start.asleep
               : key == "charging" ? &start.charging
               : key == "acks"     ? &start.acks
                                   : nullptr;
  const auto bit = ParseNumber(value, 0, 1);
  if (flag == nullptr || !bit) return false;
  *flag = *bit == 1;
  return true;
}

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

bool ParseVirtualStart(std::string_view text, VirtualStart& start, std::string* error) {
  bool ok = true;
  while (!text.empty()) {
    const auto comma = text.find(',');
    const std::string_view item = Trim(text.substr(0, comma));
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    if (item.empty()) continue;
    const auto equals = item.find('=');
    const bool understood =
        equals != std::string_view::npos &&
        SetStartItem(Trim(item.substr(0, equals)), Trim(item.substr(equals + 1)), start);
    if (!understood && ok && error != nullptr) *error = "not understood: " + std::string(item);
    ok = ok && understood;
  }
  return ok;
}

VirtualMouseOptions VirtualMouseOptions::FromEnvironment() {
  VirtualMouseOptions options;
  std::string error;
  if (!ParseVirtualStart(Variable("MOKTA_VIRTUAL_START"), options.start, &error)) {
    std::fprintf(stderr, "mokta-virtual-mouse: MOKTA_VIRTUAL_START: %s\n", error.c_str());
  }
  if (const std::string period = Variable("MOKTA_VIRTUAL_BATTERY_MS"); !period.empty()) {
    if (const auto ms = ParseNumber(Trim(period), 0, kMaxBatteryPeriodMs)) {
      options.battery_period = std::chrono::milliseconds(*ms);
    } else {
      std::fprintf(stderr, "mokta-virtual-mouse: MOKTA_VIRTUAL_BATTERY_MS: not a period 0..%ld\n",
                   kMaxBatteryPeriodMs);
    }
  }
  options.log_path = Variable("MOKTA_VIRTUAL_LOG");
  options.control_path = DefaultControlPath();
  return options;
}

}  // namespace mokta
