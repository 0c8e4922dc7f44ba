#include "report_descriptor.h"

#include <algorithm>

namespace mokta::hidraw {
namespace {

// Item prefixes with their size bits masked off (HID 1.11, 6.2.2).
constexpr std::uint8_t kInput = 0x80;
constexpr std::uint8_t kFeature = 0xB0;
constexpr std::uint8_t kCollection = 0xA0;
constexpr std::uint8_t kEndCollection = 0xC0;
constexpr std::uint8_t kUsagePage = 0x04;
constexpr std::uint8_t kUsage = 0x08;
constexpr std::uint8_t kReportSize = 0x74;
constexpr std::uint8_t kReportId = 0x84;
constexpr std::uint8_t kReportCount = 0x94;
constexpr std::uint8_t kPush = 0xA4;
constexpr std::uint8_t kPop = 0xB4;
constexpr std::uint8_t kLongItem = 0xFE;

// Deeper Push nesting than this is treated as a broken descriptor.
constexpr std::size_t kMaxPushDepth = 16;

// Usage pages from here up are vendor-defined.
constexpr std::uint32_t kVendorUsagePage = 0xFF00;
constexpr std::uint32_t kApplicationCollection = 0x01;

struct GlobalState {
  std::uint32_t report_size = 0;
  std::uint32_t report_count = 0;
  std::uint8_t report_id = 0;
  std::uint32_t usage_page = 0;
};

// Where the parser stands among the collections.
struct CollectionState {
  std::size_t depth = 0;
  bool in_vendor_application = false;  // inside a top-level vendor-defined collection
  std::uint32_t usage_page = 0;        // page of the last Usage item (explicit or global)
  std::uint32_t usage = 0;             // the last Usage item's id on that page
  bool have_usage = false;             // a Usage item since the last main item
};

// Tracks Collection and End Collection; a top-level application collection is vendor-defined
// when its usage is on a vendor page.
void EnterCollection(CollectionState& collections, std::uint32_t kind, ReportDescriptorInfo& info) {
  if (collections.depth == 0) {
    collections.in_vendor_application = kind == kApplicationCollection && collections.have_usage &&
                                        collections.usage_page >= kVendorUsagePage;
    if (collections.in_vendor_application) info.vendor_collection = true;
    if (info.collections.size() < kMaxTopCollections) {
      TopCollection top;
      top.kind = kind;
      if (collections.have_usage) {
        top.usage_page = collections.usage_page;
        top.usage = collections.usage;
      }
      info.collections.push_back(top);
    }
  }
  ++collections.depth;
}

void LeaveCollection(CollectionState& collections) {
  if (collections.depth > 0) --collections.depth;
  if (collections.depth == 0) collections.in_vendor_application = false;
}

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

std::optional<std::size_t> ReportDescriptorInfo::VendorInputReportBytes(std::uint8_t id) const {
  if (vendor_input_bits[id] == 0) return std::nullopt;
  return (vendor_input_bits[id] + 7u) / 8u;
}

std::optional<std::size_t> ReportDescriptorInfo::InputReportBytes(std::uint8_t id) const {
  if (input_bits[id] == 0) return std::nullopt;
  return (input_bits[id] + 7u) / 8u;
}

ReportDescriptorInfo ParseReportDescriptor(std::span<const std::uint8_t> descriptor) {
  ReportDescriptorInfo info;
  GlobalState state;
  GlobalState stack[kMaxPushDepth];
  std::size_t stack_depth = 0;
  CollectionState collections;

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
      case kUsagePage:
        state.usage_page = value;
        break;
      case kUsage:
        // A four-byte usage names its own page in the high half.
        collections.usage_page = data_size == 4 ? value >> 16 : state.usage_page;
        collections.usage = value & 0xFFFFu;
        collections.have_usage = true;
        break;
      case kFeature:
        AddBits(info.feature_bits[state.report_id], state);
        break;
      case kInput:
        AddBits(info.input_bits[state.report_id], state);
        if (collections.in_vendor_application) {
          AddBits(info.vendor_input_bits[state.report_id], state);
        }
        break;
      case kCollection:
        EnterCollection(collections, value, info);
        break;
      case kEndCollection:
        LeaveCollection(collections);
        break;
      default:
        break;
    }
    // Local items (usages) belong to the next main item only.
    if ((prefix & 0x0C) == 0x00) collections.have_usage = false;
  }
  return info;
}

}  // namespace mokta::hidraw
