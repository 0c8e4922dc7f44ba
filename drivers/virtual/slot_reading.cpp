#include "slot_reading.h"

#include <algorithm>
#include <array>

namespace mokta::virtual_detail {

namespace {

constexpr std::size_t kItemCountAt = 8;
constexpr std::size_t kItemsAt = 9;
constexpr std::size_t kItemAreaEnd = 109;  // the checksum follows the item area
constexpr std::size_t kMaxItems = (kItemAreaEnd - kItemsAt) / 2;
constexpr std::uint8_t kLastRepeatMode = 2;

// Second byte of the items that are not key items.
constexpr std::uint8_t kWaitTag = 0x00;
constexpr std::uint8_t kLongWaitTag = 0x03;
constexpr std::uint8_t kMoveTag = 0xF6;
constexpr std::uint8_t kNextSlotTag = 0xFE;

constexpr std::uint8_t kReleaseBit = 0x80;
constexpr std::uint8_t kLongestTime = 0x7F;
constexpr std::uint8_t kShortestMove = 5;

bool IsKeyCode(std::uint8_t code) {
  return (code >= 0x04 && code <= 0xE7) || (code >= 0xF1 && code <= 0xF5);
}

// The items of bytes 9.. as pairs; `count` was checked against the area.
class ItemReader {
 public:
  ItemReader(std::span<const std::uint8_t, kVirtualSlotMessageSize> m, std::size_t count)
      : m_(m), count_(count) {}
  bool more() const { return next_ < count_; }
  bool last() const { return next_ + 1 == count_; }
  std::size_t left() const { return count_ - next_; }
  std::array<std::uint8_t, 2> Take() {
    const std::size_t at = kItemsAt + 2 * next_++;
    return {m_[at], m_[at + 1]};
  }
  std::int16_t TakeOffset() {
    const auto [high, low] = Take();
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(high << 8 | low));
  }

 private:
  std::span<const std::uint8_t, kVirtualSlotMessageSize> m_;
  std::size_t count_;
  std::size_t next_ = 0;
};

const char* ReadHead(std::span<const std::uint8_t, kVirtualSlotMessageSize> m, VirtualSlot& out) {
  out.repeat_count = m[7];
  out.continuation = out.repeat_count == 0;
  if (out.continuation) {
    // Nothing comes before slot 1, and a continuation repeats nothing.
    if (m[2] < 2) return "continuation in slot 1";
    return std::all_of(m.begin() + 3, m.begin() + 7, [](std::uint8_t b) { return b == 0; })
               ? nullptr
               : "continuation head not zero";
  }
  out.repeat_mode = m[3];
  std::copy_n(m.begin() + 4, 3, out.extra.begin());
  return out.repeat_mode <= kLastRepeatMode ? nullptr : "repeat mode";
}

using Kind = VirtualSlotItem::Kind;

// Reads one item, with the two offset items behind a movement; nullptr or a reason.
const char* ReadItem(ItemReader& items, std::uint8_t slot, VirtualSlot& out) {
  const bool first = out.items.empty();
  const bool last = items.last();
  const auto [p, q] = items.Take();
  VirtualSlotItem item;
  item.time = p;
  switch (q) {
    case kNextSlotTag:
      if (!last) return "continuation item before the end";
      // The pattern goes on in the next slot up, and only there.
      if (slot == 0xFF || p != slot + 1) return "continuation to a wrong slot";
      out.next_slot = p;
      return nullptr;
    case kMoveTag:
      if (items.left() < 2) return "movement without its offsets";
      if (p < kShortestMove || p > kLongestTime) return "movement time";
      item.kind = Kind::kMove;
      item.x = items.TakeOffset();
      item.y = items.TakeOffset();
      break;
    case kLongWaitTag:
      // It lengthens the wait of the action before it.
      if (first) return "long wait without an action";
      item.kind = Kind::kLongWait;
      break;
    case kWaitTag:
      // Only the end of a recoil pattern has one.
      if (!last || first) return "wait item out of place";
      if (p == 0 || p > kLongestTime) return "wait time";
      item.kind = Kind::kWait;
      break;
    default:
      if (!IsKeyCode(q)) return "key code";
      item.kind = Kind::kKey;
      item.code = q;
      item.release = (p & kReleaseBit) != 0;
      item.time = p & kLongestTime;
      if (item.time == 0) return "key time";
      break;
  }
  out.items.push_back(item);
  return nullptr;
}

}  // namespace

const char* ReadSlotMessage(std::span<const std::uint8_t, kVirtualSlotMessageSize> m,
                            VirtualSlot& out) {
  out = VirtualSlot{};
  const std::size_t count = m[kItemCountAt];
  if (count > kMaxItems) return "item count";
  if (!std::all_of(m.begin() + static_cast<std::ptrdiff_t>(kItemsAt + 2 * count),
                   m.begin() + kItemAreaEnd, [](std::uint8_t b) { return b == 0; })) {
    return "bytes behind the items";
  }
  if (const char* reason = ReadHead(m, out)) return reason;
  ItemReader items(m, count);
  while (items.more()) {
    if (const char* reason = ReadItem(items, m[2], out)) return reason;
  }
  return nullptr;
}

const char* CheckButtonTriple(const VirtualTriple& t) {
  // Functions that carry nothing but their first byte.
  static constexpr std::uint8_t kPlain[] = {
      0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D,
      0x0E, 0x0F, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D,
      0x1E, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x2B, 0x34, 0x35, 0x36, 0x3C};
  constexpr std::uint8_t kNone = 0x00;
  constexpr std::uint8_t kKeyCombination = 0x11;
  constexpr std::uint8_t kMacro = 0x12;
  constexpr std::uint8_t kPattern = 0x3A;
  constexpr std::uint8_t kModifierBits = 0x0F;
  switch (t[0]) {
    case kNone:
      return t[1] == 0 && t[2] == 0 ? nullptr : "no function with data";
    case kKeyCombination:
      return (t[1] & ~kModifierBits) == 0 ? nullptr : "modifier bits";
    case kMacro:
    case kPattern:
      return t[1] == 0 && t[2] != 0 ? nullptr : "slot of a macro or pattern";
    case 0x10:
    case 0x29:
      return t[1] == 0 && t[2] == 0x03 ? nullptr : "function data";
    default:
      if (std::find(std::begin(kPlain), std::end(kPlain), t[0]) == std::end(kPlain)) {
        return "unknown function";
      }
      return t[1] == 0 && t[2] == 0 ? nullptr : "function data";
  }
}

}  // namespace mokta::virtual_detail
