#include "mouse_messages.h"

#include <algorithm>

#include "slot_reading.h"

namespace mokta::virtual_detail {

namespace {

constexpr std::uint8_t kSensorCode = 0x04;
constexpr std::uint8_t kLightingCode = 0x05;
constexpr std::uint8_t kPollingRateCode = 0x06;
constexpr std::uint8_t kButtonMapCode = 0x08;
constexpr std::size_t kMouseButtonCount = 18;

constexpr std::size_t kSumStart = 3;  // every checksum sums from byte 3
constexpr std::uint8_t kReportMarker = 0x40;
constexpr std::uint8_t kReceiverLastMarker = 0x0C;
constexpr std::uint8_t kFirstPollingRate = 0x41;
constexpr std::uint8_t kLastPollingRate = 0x44;

// The length each command always has; 0 for an unknown code.
std::size_t CommandLength(std::uint8_t code) {
  switch (code) {
    case kOpenCode:
      return 10;
    case kSensorCode:
      return 56;
    case kLightingCode:
      return 15;
    case kPollingRateCode:
      return 9;
    case kButtonMapCode:
      return 59;
    case kSlotCode:
      return kVirtualSlotMessageSize;
    default:
      return 0;
  }
}

// True when the 16-bit sum of bytes 3..at-1 is stored at `at`, high byte first. The caller
// guarantees at + 1 < m.size().
bool ChecksumAt(std::span<const std::uint8_t> m, std::size_t at) {
  unsigned sum = 0;
  for (std::size_t i = kSumStart; i < at; ++i) sum += m[i];
  return (sum & 0xFFFFu) == ((static_cast<unsigned>(m[at]) << 8) | m[at + 1]);
}

bool ZeroFrom(std::span<const std::uint8_t> m, std::size_t from) {
  return std::all_of(m.begin() + static_cast<std::ptrdiff_t>(from), m.end(),
                     [](std::uint8_t b) { return b == 0; });
}

constexpr std::array<std::uint8_t, 10> kOpenMessage = {0x0C, 0x0A, 0x01, 0xFE, 0x01,
                                                       0xFE, 0x00, 0x00, 0x00, 0x00};

const char* CheckSensor(std::span<const std::uint8_t> m) {
  if (m[6] != 0x05 || m[7] != 0x00 || m[49] != 0x01) return "fixed bytes";
  if (!ChecksumAt(m, 50)) return "checksum";
  return ZeroFrom(m, 52) ? nullptr : "padding";
}

const char* CheckLighting(std::span<const std::uint8_t> m) {
  if (!ChecksumAt(m, 11)) return "checksum";
  return ZeroFrom(m, 13) ? nullptr : "padding";
}

const char* CheckPollingRate(std::span<const std::uint8_t> m) {
  if (m[4] != static_cast<std::uint8_t>(~m[3])) return "complement";
  if (m[3] < kFirstPollingRate || m[3] > kLastPollingRate) return "polling rate";
  return ZeroFrom(m, 5) ? nullptr : "padding";
}

std::span<const std::uint8_t, kVirtualSlotMessageSize> WholeSlot(std::span<const std::uint8_t> m) {
  return m.first<kVirtualSlotMessageSize>();
}

// The checksum first: a message damaged on the way is told as such, not by what it reads as.
const char* CheckSlot(std::span<const std::uint8_t> m) {
  if (!ChecksumAt(m, 109)) return "checksum";
  VirtualSlot slot;
  return ReadSlotMessage(WholeSlot(m), slot);
}

const char* CheckButtonMap(std::span<const std::uint8_t> m) {
  if (!ChecksumAt(m, 57)) return "checksum";
  for (std::size_t k = 0; k < kMouseButtonCount; ++k) {
    const VirtualTriple triple = {m[3 + 3 * k], m[4 + 3 * k], m[5 + 3 * k]};
    if (const char* reason = CheckButtonTriple(triple)) return reason;
  }
  return nullptr;
}

void ApplySensor(VirtualMouseSettings& s, std::span<const std::uint8_t> m) {
  s.angle_snap = m[3];
  s.ripple = m[4];
  s.stage_mask = m[5];
  for (std::size_t i = 0; i < s.dpi.size(); ++i) {
    s.dpi[i] = static_cast<std::uint16_t>(m[8 + i] | (m[16 + i] << 8));
    std::copy_n(m.begin() + static_cast<std::ptrdiff_t>(25 + 3 * i), 3, s.stage_colors[i].begin());
  }
  s.active_stage = m[24];
}

// The sleep timer travels split: its high nibble in the high nibble of byte 4, its low nibble
// in the high nibble of byte 5.
void ApplyLighting(VirtualMouseSettings& s, std::span<const std::uint8_t> m) {
  s.light_effect = static_cast<std::uint8_t>(m[3] >> 4);
  s.breath_code = m[4] & 0x0F;
  s.sleep_timer = static_cast<std::uint8_t>((m[4] & 0xF0) | (m[5] >> 4));
  s.brightness = m[5] & 0x0F;
  std::copy_n(m.begin() + 6, 3, s.light_color.begin());
  s.light_off = m[9];
  s.debounce = m[10];
}

void ApplyButtonMap(VirtualMouseSettings& s, std::span<const std::uint8_t> m) {
  for (std::size_t k = 0; k < s.buttons.size(); ++k) {
    std::copy_n(m.begin() + static_cast<std::ptrdiff_t>(3 + 3 * k), 3, s.buttons[k].begin());
  }
}

// The default profile's messages: what the mouse holds when it leaves the factory.
constexpr std::uint8_t kFactorySensor[] = {
    0x04, 0x38, 0x01, 0x01, 0x01, 0x3F, 0x05, 0x00,                    // head, snap, ripple, mask
    0x20, 0x40, 0x60, 0x80, 0xA0, 0xF0, 0x00, 0x00,                    // DPI low bytes
    0x03, 0x06, 0x09, 0x0C, 0x0F, 0x55, 0x00, 0x00,                    // DPI high bytes
    0x02,                                                              // active stage
    0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF,  // stage colours 1..4
    0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0x40, 0x00, 0xFF,  // stage colours 4..8
    0xFF, 0xFF, 0x01, 0x10, 0xCE, 0x00, 0x00, 0x00, 0x00};
constexpr std::uint8_t kFactoryLighting[] = {0x05, 0x0F, 0x01, 0x00, 0x03, 0xA8, 0x00, 0xFF,
                                             0x00, 0x01, 0x04, 0x01, 0xAF, 0x00, 0x00};
constexpr std::uint8_t kFactoryPollingRate[] = {0x06, 0x09, 0x01, 0x44, 0xBB,
                                                0x00, 0x00, 0x00, 0x00};
constexpr std::uint8_t kFactoryButtons[] = {
    0x08, 0x3B, 0x01, 0x02, 0x00, 0x00, 0x03, 0x00, 0x00, 0x04, 0x00, 0x00,  // buttons 0..2
    0x0D, 0x00, 0x00, 0x0D, 0x00, 0x00, 0x3C, 0x00, 0x00, 0x05, 0x00, 0x00,  // buttons 3..6
    0x06, 0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00,  // buttons 7..10
    0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00,  // buttons 11..14
    0x01, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x09, 0x00, 0x00, 0x00, 0x85};       // 15..17, sum
static_assert(sizeof(kFactorySensor) == 56 && sizeof(kFactoryButtons) == 59);

}  // namespace

const char* CheckMessage(std::span<const std::uint8_t> m) {
  if (m.size() < 3) return "too short";
  const std::size_t length = CommandLength(m[0]);
  if (length == 0) return "unknown command";
  if (m.size() != length) return "wrong length";
  if (m[1] != length) return "length byte";
  if (m[0] == kSlotCode ? m[2] == 0 : m[2] != 0x01) return "byte 2";
  switch (m[0]) {
    case kOpenCode:
      return std::equal(m.begin(), m.end(), kOpenMessage.begin()) ? nullptr : "fixed bytes";
    case kSensorCode:
      return CheckSensor(m);
    case kLightingCode:
      return CheckLighting(m);
    case kPollingRateCode:
      return CheckPollingRate(m);
    case kButtonMapCode:
      return CheckButtonMap(m);
    default:
      return CheckSlot(m);
  }
}

void ApplyMessage(VirtualMouseSettings& settings, std::span<const std::uint8_t> m) {
  switch (m[0]) {
    case kSensorCode:
      ApplySensor(settings, m);
      break;
    case kLightingCode:
      ApplyLighting(settings, m);
      break;
    case kPollingRateCode:
      settings.polling_rate = static_cast<std::uint8_t>(m[3] - kFirstPollingRate);
      break;
    case kButtonMapCode:
      ApplyButtonMap(settings, m);
      break;
    case kSlotCode: {
      VirtualSlotMessage& slot = settings.slot_messages[m[2]];
      std::copy_n(m.begin(), slot.size(), slot.begin());
      ReadSlotMessage(WholeSlot(m), settings.slot_contents[m[2]]);
      break;
    }
    default:
      break;
  }
}

VirtualMouseSettings FactorySettings() {
  VirtualMouseSettings settings;
  ApplyMessage(settings, kFactorySensor);
  ApplyMessage(settings, kFactoryLighting);
  ApplyMessage(settings, kFactoryPollingRate);
  ApplyMessage(settings, kFactoryButtons);
  return settings;
}

SlotReassembly::Result SlotReassembly::Feed(std::span<const std::uint8_t, kReportSize> report,
                                            bool receiver) {
  Result result;
  const int piece = report[3];
  if (piece == 0 && next_piece_ != 0) {
    result.abandoned = true;
    next_piece_ = 0;
  }
  const std::uint8_t marker = receiver && piece == 2 ? kReceiverLastMarker : kReportMarker;
  const char* reason = nullptr;
  if (report[0] != kSlotCode || report[1] != marker) {
    reason = "report header";
  } else if (piece > 2 || report[2] == 0) {
    reason = "piece or slot number";
  } else if (piece != next_piece_) {
    reason = "piece out of order";
  } else if (piece > 0 && report[2] != slot_) {
    reason = "piece for another slot";
  }
  if (reason != nullptr) {
    next_piece_ = 0;
    result.outcome = Outcome::kMalformed;
    result.reason = reason;
    return result;
  }
  slot_ = report[2];
  std::copy(report.begin() + 4, report.end(),
            payload_.begin() + static_cast<std::ptrdiff_t>(kPiecePayload * piece));
  if (++next_piece_ < 3) return result;

  // All three pieces: the message is bytes 0..2 and the first 108 payload bytes; the rest of
  // the payload must be zero.
  next_piece_ = 0;
  constexpr std::size_t kBody = kVirtualSlotMessageSize - 3;
  VirtualSlotMessage& m = result.message;
  m[0] = kSlotCode;
  m[1] = static_cast<std::uint8_t>(kVirtualSlotMessageSize);
  m[2] = slot_;
  std::copy_n(payload_.begin(), kBody, m.begin() + 3);
  const bool padded =
      std::all_of(payload_.begin() + kBody, payload_.end(), [](std::uint8_t b) { return b == 0; });
  result.reason = padded ? CheckMessage(m) : "padding";
  result.outcome = result.reason == nullptr ? Outcome::kComplete : Outcome::kMalformed;
  return result;
}

}  // namespace mokta::virtual_detail
