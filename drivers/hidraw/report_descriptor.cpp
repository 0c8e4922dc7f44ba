#include "report_descriptor.h"

#include <algorithm>

namespace mokta::hidraw {
namespace {

// Item prefixes with their size bits masked off (HID 1.11, 6.2.2).
constexpr std::uint8_t kFeature = 0xB0;
constexpr std::uint8_t kReportSize = 0x74;
constexpr std::uint8_t kReportId = 0x84;
constexpr std::uint8_t kReportCount = 0x94;
constexpr std::uint8_t kPush = 0xA4;
constexpr std::uint8_t kPop = 0xB4;
constexpr std::uint8_t kLongItem = 0xFE;

// Deeper Push nesting than this is treated as a broken descriptor.
constexpr std::size_t kMaxPushDepth = 16;

struct GlobalState {
  std::uint32_t report_size = 0;
  std::uint32_t report_count = 0;
  std::uint8_t report_id = 0;
};

std::uint32_t ReadData(std::span<const std::uint8_t> data) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < data.size(); ++i) value |= std::uint32_t{data[i]} << (8 * i);
  return value;
}

void AddBits(std::uint32_t& total, const GlobalState& state) {
  const std::uint64_t bits = std::uint64_t{state.report_size} * state.report_count;
  total = static_cast<std::uint32_t>(std::min<std::uint64_t>(total + bits, kMaxReportBits));
}

}  // namespace

std::optional<std::size_t> ReportDescriptorInfo::FeatureReportBytes(std::uint8_t id) const {
  if (feature_bits[id] == 0) return std::nullopt;
  return (feature_bits[id] + 7u) / 8u;
}

ReportDescriptorInfo ParseReportDescriptor(std::span<const std::uint8_t> descriptor) {
  ReportDescriptorInfo info;
  GlobalState state;
  GlobalState stack[kMaxPushDepth];
  std::size_t stack_depth = 0;

  std::size_t pos = 0;
  while (pos < descriptor.size()) {
    const std::uint8_t prefix = descriptor[pos];
    if (prefix == kLongItem) {
      // Long item: prefix, data size, tag, data. Nothing we need is ever a long item.
      if (descriptor.size() - pos < 3) {
        info.complete = false;
        break;
      }
      const std::size_t length = 3 + std::size_t{descriptor[pos + 1]};
      if (descriptor.size() - pos < length) {
        info.complete = false;
        break;
      }
      pos += length;
      continue;
    }
    const std::size_t data_size = (prefix & 0x03) == 3 ? 4 : (prefix & 0x03);
    if (descriptor.size() - pos - 1 < data_size) {
      info.complete = false;
      break;
    }
    const std::uint32_t value = ReadData(descriptor.subspan(pos + 1, data_size));
    pos += 1 + data_size;

    switch (prefix & 0xFC) {
      case kReportSize:
        state.report_size = value;
        break;
      case kReportCount:
        state.report_count = value;
        break;
      case kReportId:
        state.report_id = static_cast<std::uint8_t>(value);
        info.numbered = true;
        break;
      case kPush:
        if (stack_depth == kMaxPushDepth) {
          info.complete = false;
          return info;
        }
        stack[stack_depth++] = state;
        break;
      case kPop:
        if (stack_depth == 0) {
          info.complete = false;
          return info;
        }
        state = stack[--stack_depth];
        break;
      case kFeature:
        AddBits(info.feature_bits[state.report_id], state);
        break;
      default:
        break;
    }
  }
  return info;
}

}  // namespace mokta::hidraw
