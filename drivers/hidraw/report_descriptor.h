#pragma once

// What the driver needs to know from a HID report descriptor: whether the device numbers its
// reports, how long each feature report is, and which input reports belong to a
// vendor-defined application collection and how long they are. A pure function over bytes
// that came from sysfs: it trusts no length in them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace mokta::hidraw {

// A top-level collection: its kind (0x01 application, ...) and the usage named for it; page and
// usage are 0 when the descriptor named none.
struct TopCollection {
  std::uint32_t kind = 0;
  std::uint32_t usage_page = 0;
  std::uint32_t usage = 0;
  friend bool operator==(const TopCollection&, const TopCollection&) = default;
};

// Top-level collections beyond this many are not listed.
inline constexpr std::size_t kMaxTopCollections = 32;

struct ReportDescriptorInfo {
  // True when the descriptor has at least one Report ID item: every report then starts with
  // its id byte on the wire and in hidraw reads.
  bool numbered = false;
  // False when the descriptor ended inside an item or a Pop had no matching Push; what was
  // read up to there is kept.
  bool complete = true;
  // True when a top-level application collection is vendor-defined (usage page 0xFF00 and
  // up): the interface that takes the commands.
  bool vendor_collection = false;
  // Bits of data per report id (index 0 for an unnumbered device), summed over the Feature
  // main items declared for that id. Saturates at kMaxReportBits.
  std::array<std::uint32_t, 256> feature_bits{};
  // Bits of data per report id of the Input main items declared inside a vendor-defined
  // application collection (usage page 0xFF00 and up). Input reports of other collections,
  // such as a pointer or keyboard collection sharing the node, are not counted.
  std::array<std::uint32_t, 256> vendor_input_bits{};
  // Bits of data per report id of every Input main item, whatever its collection.
  std::array<std::uint32_t, 256> input_bits{};
  // The top-level collections in order, at most kMaxTopCollections.
  std::vector<TopCollection> collections;

  // Data bytes of feature report `id`, without the id byte; empty when the descriptor
  // declares no feature data for it.
  std::optional<std::size_t> FeatureReportBytes(std::uint8_t id) const;
  // Data bytes of vendor-defined input report `id`, without the id byte; empty when the
  // descriptor declares no such input report.
  std::optional<std::size_t> VendorInputReportBytes(std::uint8_t id) const;
  // Data bytes of input report `id` over all collections; empty when none is declared.
  std::optional<std::size_t> InputReportBytes(std::uint8_t id) const;
};

// Bits beyond this are not counted: hidraw moves at most 16 KiB per report.
inline constexpr std::uint32_t kMaxReportBits = 16384u * 8u;

ReportDescriptorInfo ParseReportDescriptor(std::span<const std::uint8_t> descriptor);

}  // namespace mokta::hidraw
