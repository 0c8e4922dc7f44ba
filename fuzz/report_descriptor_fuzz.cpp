// The hidraw driver's reading of what a device gives it: the report-descriptor parser, then
// the framing of a feature report and the decoding of an input report with its result.
// Input: byte 0 is the descriptor's length in units of 4 bytes, the descriptor follows, and
// the rest is one report, framed as a command and decoded as an input report.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "feature_device.h"
#include "input_reader.h"
#include "report_descriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mokta::hidraw;
  if (size == 0) return 0;
  const std::size_t length = std::min<std::size_t>(size - 1, data[0] * 4u);
  const std::span<const std::uint8_t> descriptor(data + 1, length);
  const std::span<const std::uint8_t> report(data + 1 + length, size - 1 - length);
  const ReportDescriptorInfo info = ParseReportDescriptor(descriptor);
  for (int id = 0; id < 256; ++id) {
    (void)info.FeatureReportBytes(static_cast<std::uint8_t>(id));
    (void)info.VendorInputReportBytes(static_cast<std::uint8_t>(id));
  }
  (void)FrameFeatureReport(report, info);
  (void)DecodeInputReport(report, info);
  return 0;
}
