#include "platform/linux/hid_id.h"

namespace mokta::hidraw {
namespace {

// Reads one hexadecimal field up to the next ':' or the end; advances `text` past it and its
// separator.
std::optional<std::uint16_t> TakeField(std::string_view& text, bool last) {
  const std::size_t end = last ? text.size() : text.find(':');
  if (end == std::string_view::npos || end == 0 || end > 8) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : text.substr(0, end)) {
    std::uint32_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<std::uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<std::uint32_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<std::uint32_t>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    value = (value << 4) | digit;  // at most 8 digits: no overflow
  }
  if (value > 0xFFFF) return std::nullopt;
  text.remove_prefix(last ? end : end + 1);
  return static_cast<std::uint16_t>(value);
}

}  // namespace

std::optional<HidId> ParseHidId(std::string_view text) {
  const auto bus = TakeField(text, false);
  if (!bus) return std::nullopt;
  const auto vendor = TakeField(text, false);
  if (!vendor) return std::nullopt;
  const auto product = TakeField(text, true);
  if (!product) return std::nullopt;
  return HidId{*bus, *vendor, *product};
}

}  // namespace mokta::hidraw
