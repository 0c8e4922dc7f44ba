#pragma once

// The device's feature-report side over hidapi: finds the vendor-defined interface of one
// vendor/product pair, learns from its report descriptor how reports are framed, and sends
// feature reports.
//
// Framing, decided from the report descriptor:
// - Numbered reports (the descriptor has a Report ID item): the command code in the message's
//   first byte is the report id, and the message goes out as it is.
// - Unnumbered reports: a 0x00 report-id byte is put in front, as hidraw requires.
// - When the descriptor declares the report's length, a shorter message is padded with zeros
//   to it, and a longer one is refused (the device would reject or cut it, and a cut command
//   is worse than a failed one: the sender's retries and the user see the failure). When the
//   length is unknown the message goes out unpadded.

#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "report_descriptor.h"

struct hid_device_;

namespace mokta::hidraw {

// The bytes handed to the kernel for `message` (message[0] the command code), or empty when
// the message cannot go out as one report of this device.
std::optional<std::vector<std::uint8_t>> FrameFeatureReport(std::span<const std::uint8_t> message,
                                                            const ReportDescriptorInfo& descriptor);

// "/sys/class/hidraw/hidrawN/device/report_descriptor" for the node "/dev/hidrawN"; empty when
// `devnode` is not of that shape.
std::optional<std::string> ReportDescriptorPath(const std::string& devnode);

class HidrawFeatureDevice {
 public:
  HidrawFeatureDevice() = default;
  HidrawFeatureDevice(const HidrawFeatureDevice&) = delete;
  HidrawFeatureDevice& operator=(const HidrawFeatureDevice&) = delete;
  ~HidrawFeatureDevice();

  void SetIds(std::uint16_t vendor, std::uint16_t product);

  // Opens the vendor-defined interface of the pair on the USB bus; true when it is open
  // (also when it already was). When the interface is there but its node refuses us for lack
  // of permission, LastOpenError says so until the next Open. UI thread.
  bool Open();

  // Harmless when not open. Waits for a SetFeature in progress. UI thread.
  void Close();

  // Sends one feature report; false when not open, when the message does not fit the report
  // or when the write failed. Worker thread; serialised with Open and Close.
  bool SetFeature(std::span<const std::uint8_t> message);

  bool IsOpen() const;
  // The open node and its framing; meaningful while open.
  std::string DevNode() const;
  bool Numbered() const;

  // One line for the user, empty when the last Open met no permission problem.
  std::string LastOpenError() const;

 private:
  bool OpenLocked();

  mutable std::mutex mutex_;
  std::uint16_t vendor_ = 0;
  std::uint16_t product_ = 0;
  hid_device_* handle_ = nullptr;
  std::string devnode_;
  ReportDescriptorInfo descriptor_;
  std::string last_open_error_;
};

}  // namespace mokta::hidraw
