#pragma once

// The device's feature-report side over hidraw: finds the vendor-defined interface of one
// vendor/product pair through libudev, learns from its report descriptor how reports are framed,
// and sends feature reports with the hidraw ioctl on a descriptor of its own.
//
// hidapi is not used here although it would find and open the node just as well: its
// enumeration and open keep process-wide state without a lock, and this library opens from
// the worker thread too (a write to a closed device tries one open), while the other driver
// library in the same process opens on the UI thread.
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
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "report_descriptor.h"

namespace mokta::hidraw {

// The bytes handed to the kernel for `message` (message[0] the command code), or empty when
// the message cannot go out as one report of this device.
std::optional<std::vector<std::uint8_t>> FrameFeatureReport(std::span<const std::uint8_t> message,
                                                            const ReportDescriptorInfo& descriptor);

// "/sys/class/hidraw/hidrawN/device/report_descriptor" for the node "/dev/hidrawN"; empty when
// `devnode` is not of that shape.
std::optional<std::string> ReportDescriptorPath(const std::string& devnode);

// The report descriptor of the node "/dev/hidrawN" as sysfs gives it (at most 4096 bytes);
// empty when it cannot be read, as for a node that has just gone.
std::optional<std::vector<std::uint8_t>> ReadReportDescriptor(const std::string& devnode);

// One hidraw node of the wanted pair on the USB bus, as the driver sees it when choosing.
struct InterfaceCandidate {
  std::string devnode;
  std::optional<ReportDescriptorInfo> descriptor;  // empty when it could not be read
};

// Which node the driver opens and why each node is or is not the one, in words for a report.
struct InterfaceChoice {
  std::optional<std::size_t> chosen;  // index into the candidates
  std::vector<std::string> reasons;   // one per candidate
};

// The driver's choice among the nodes of its pair, given in the order libudev lists them: the
// first whose report descriptor has a vendor-defined application collection (the interface
// that takes the commands; the others are the pointer and keyboard interfaces). A node whose
// descriptor cannot be read is passed over. Pure: the driver and `mokta-mousectl probe` both
// decide through it, so they cannot disagree.
InterfaceChoice ChooseVendorInterface(std::span<const InterfaceCandidate> candidates);

// Thread rules: Open and Close come from the UI thread, SetFeature from the worker thread. The
// mutex guards only the state and the swap of the node; it is never held across a call that
// can block (the feature-report ioctl, the search, opening). A write works on its own
// reference to the open node: Close drops the device's reference at once, and the node is
// closed by whichever side lets go of it last, so the UI thread never waits for a write and a
// write never uses a closed descriptor.
class HidrawFeatureDevice {
 public:
  // Sends one framed feature report on the open descriptor `fd`; negative on failure. The
  // hidraw Set Feature ioctl unless a test puts a fake in its place.
  using Sender = std::function<int(int fd, const std::uint8_t* report, std::size_t length)>;

  explicit HidrawFeatureDevice(Sender sender = {});
  HidrawFeatureDevice(const HidrawFeatureDevice&) = delete;
  HidrawFeatureDevice& operator=(const HidrawFeatureDevice&) = delete;
  ~HidrawFeatureDevice();

  void SetIds(std::uint16_t vendor, std::uint16_t product);

  // Opens the vendor-defined interface of the pair on the USB bus; true when it is open
  // (also when it already was). Each attempt that finds the device closed records its
  // outcome: when the interface is there but its node refuses us for lack of permission,
  // LastOpenError says so until the next attempt. UI thread, and SetFeature's attempt on the
  // worker thread; when both open at once, the first to finish wins and the other's node is
  // closed.
  bool Open();

  // Harmless when not open. Returns at once, also while a write is in progress: that write
  // finishes on its own reference and closes the node. An Open in progress on another thread
  // gives up its result. UI thread.
  void Close();

  // Sends one feature report; false when the message does not fit the report, when the write
  // failed, or when the device is closed and one attempt to open it failed. Worker thread.
  bool SetFeature(std::span<const std::uint8_t> message);

  // Called on the worker thread after SetFeature has opened the closed device, outside the
  // mutex. Set before the device is used.
  void SetOpenedByWriteObserver(std::function<void()> observer);

  bool IsOpen() const;

  // A descriptor of its own on the open node, for reading its input reports, and the node's
  // report descriptor; empty while closed or when the descriptor cannot be duplicated. The
  // caller closes the descriptor. Reading the very node the writes go to, the reader cannot
  // pick up another interface or a device that has taken the node's place.
  struct InputSource {
    int fd = -1;
    ReportDescriptorInfo descriptor;
  };
  std::optional<InputSource> OpenInputSource() const;

  // One line for the user, empty when the last open attempt met no permission problem.
  std::string LastOpenError() const;

 private:
  struct Node;
  struct Opened;

  // Finds and opens the device; runs without the mutex.
  static Opened OpenNow(std::uint16_t vendor, std::uint16_t product);

  mutable std::mutex mutex_;
  Sender sender_;
  std::function<void()> opened_by_write_;
  std::uint16_t vendor_ = 0;
  std::uint16_t product_ = 0;
  std::shared_ptr<const Node> node_;  // the open node; closed when its last user lets go
  std::uint64_t closes_ = 0;          // Close calls so far: an open that saw fewer gives up
  std::string last_open_error_;
};

}  // namespace mokta::hidraw
