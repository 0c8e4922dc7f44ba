// The hidraw driver libraries and the Bluetooth LE presence monitor against fake devices.
//
// The fakes come from umockdev: its preload library (the test runs under umockdev-wrapper)
// redirects /sys, /dev and libudev's monitor to a test bed, where each test builds the sysfs
// tree of a mouse (USB device, interfaces, "hid" devices with their report descriptors,
// hidraw nodes) and sends uevents. Feature reports are caught by an ioctl handler on the
// node; input reports are written into the node's pseudo-terminal.
//
// The suites ReportDescriptor, FeatureReport, HidId and InputReport are pure and need no fake
// (the sanitizer build runs them alone); HidrawDriver and BlePresence need the test bed and
// refuse to run without the preload, so that they never reach real hardware.

#include <dlfcn.h>
#include <fcntl.h>
#include <glib-unix.h>
#include <gtest/gtest.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <umockdev.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "feature_device.h"
#include "hidraw_link.h"
#include "input_reader.h"
#include "mokta_driver.h"
#include "platform/linux/hid_id.h"
#include "platform/linux/udev_ble_presence.h"
#include "report_descriptor.h"

namespace mokta::hidraw {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

// A vendor-defined interface with numbered reports: feature 5 (8 data bytes), feature 9
// (63 data bytes), input 7 (4 data bytes).
const Bytes kNumberedVendor = {
    0x06, 0x00, 0xFF,  // Usage Page (vendor 0xFF00)
    0x09, 0x01,        // Usage 1
    0xA1, 0x01,        // Collection (application)
    0x85, 0x05,        //   Report ID 5
    0x75, 0x08,        //   Report Size 8
    0x95, 0x08,        //   Report Count 8
    0x09, 0x01,        //   Usage 1
    0xB1, 0x02,        //   Feature
    0x85, 0x09,        //   Report ID 9
    0x95, 0x3F,        //   Report Count 63
    0x09, 0x01,        //   Usage 1
    0xB1, 0x02,        //   Feature
    0x85, 0x07,        //   Report ID 7
    0x95, 0x04,        //   Report Count 4
    0x09, 0x01,        //   Usage 1
    0x81, 0x02,        //   Input
    0xC0,              // End Collection
};

// A vendor-defined interface without report ids: feature 64 bytes, input 4 bytes.
const Bytes kUnnumberedVendor = {
    0x06, 0x00, 0xFF,  // Usage Page (vendor 0xFF00)
    0x09, 0x01,        // Usage 1
    0xA1, 0x01,        // Collection (application)
    0x75, 0x08,        //   Report Size 8
    0x95, 0x40,        //   Report Count 64
    0x09, 0x01,        //   Usage 1
    0xB1, 0x02,        //   Feature
    0x95, 0x04,        //   Report Count 4
    0x09, 0x01,        //   Usage 1
    0x81, 0x02,        //   Input
    0xC0,              // End Collection
};

// The mouse's pointer interface: generic desktop page, no feature reports.
const Bytes kBootMouse = {
    0x05, 0x01,  // Usage Page (generic desktop)
    0x09, 0x02,  // Usage (mouse)
    0xA1, 0x01,  // Collection (application)
    0x75, 0x08,  //   Report Size 8
    0x95, 0x03,  //   Report Count 3
    0x81, 0x02,  //   Input
    0xC0,        // End Collection
};

// ---------------------------------------------------------------------------------------------
// Pure parts.

TEST(ReportDescriptor, NumberedVendorDescriptorGivesEachIdItsLength) {
  const auto info = ParseReportDescriptor(kNumberedVendor);
  EXPECT_TRUE(info.complete);
  EXPECT_TRUE(info.numbered);
  EXPECT_EQ(info.FeatureReportBytes(5), 8u);
  EXPECT_EQ(info.FeatureReportBytes(9), 63u);
  EXPECT_EQ(info.FeatureReportBytes(7), std::nullopt);  // input only
}

TEST(ReportDescriptor, UnnumberedDescriptorUsesIdZero) {
  const auto info = ParseReportDescriptor(kUnnumberedVendor);
  EXPECT_TRUE(info.complete);
  EXPECT_FALSE(info.numbered);
  EXPECT_EQ(info.FeatureReportBytes(0), 64u);
  EXPECT_EQ(ParseReportDescriptor(kBootMouse).FeatureReportBytes(0), std::nullopt);
}

TEST(ReportDescriptor, PopRestoresTheReportSizeAndIdOfPush) {
  const Bytes descriptor = {
      0x85, 0x02,  // Report ID 2
      0x75, 0x08,  // Report Size 8
      0x95, 0x02,  // Report Count 2
      0xA4,        // Push
      0x85, 0x03,  // Report ID 3
      0x75, 0x01,  // Report Size 1
      0xB1, 0x02,  // Feature: 2 bits for id 3
      0xB4,        // Pop
      0xB1, 0x02,  // Feature: 16 bits for id 2
  };
  const auto info = ParseReportDescriptor(descriptor);
  EXPECT_TRUE(info.complete);
  EXPECT_EQ(info.feature_bits[3], 2u);
  EXPECT_EQ(info.feature_bits[2], 16u);
}

TEST(ReportDescriptor, LongItemsAreSkippedWhole) {
  const Bytes descriptor = {
      0xFE, 0x02, 0x10, 0x85, 0x05,  // long item whose 2 data bytes look like a Report ID
      0x75, 0x08,                    // Report Size 8
      0x95, 0x02,                    // Report Count 2
      0xB1, 0x02,                    // Feature
  };
  const auto info = ParseReportDescriptor(descriptor);
  EXPECT_TRUE(info.complete);
  EXPECT_FALSE(info.numbered);
  EXPECT_EQ(info.FeatureReportBytes(0), 2u);
}

TEST(ReportDescriptor, CutOrBrokenInputStaysInBoundsAndIsFlagged) {
  // Every prefix of a valid descriptor, each in a buffer of exactly its own length.
  for (std::size_t n = 0; n < kNumberedVendor.size(); ++n) {
    const Bytes cut(kNumberedVendor.begin(), kNumberedVendor.begin() + n);
    const auto info = ParseReportDescriptor(cut);
    const bool ends_inside_item = n == 1 || n == 2 || (n >= 4 && n % 2 == 0);
    EXPECT_EQ(info.complete, !ends_inside_item) << n;
  }
  // A long item claiming more data than there is; a Pop without Push; Push nesting without
  // end; a Report Size × Report Count that overflows 32 bits.
  EXPECT_FALSE(ParseReportDescriptor(Bytes{0xFE, 0xFF, 0x00, 0x01}).complete);
  EXPECT_FALSE(ParseReportDescriptor(Bytes{0xB4}).complete);
  EXPECT_FALSE(ParseReportDescriptor(Bytes(100, 0xA4)).complete);
  const auto huge = ParseReportDescriptor(
      Bytes{0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0xB1, 0x02, 0xB1, 0x02});
  EXPECT_EQ(huge.feature_bits[0], kMaxReportBits);
  // Pseudo-random garbage of many lengths: the parser must simply return.
  std::uint32_t state = 12345;
  for (std::size_t length = 0; length < 300; ++length) {
    Bytes garbage(length);
    for (auto& b : garbage) {
      state = state * 1103515245u + 12345u;
      b = static_cast<std::uint8_t>(state >> 24);
    }
    (void)ParseReportDescriptor(garbage);
  }
}

TEST(FeatureReport, NumberedReportsKeepTheCommandByteAndArePaddedToTheirLength) {
  const auto info = ParseReportDescriptor(kNumberedVendor);
  const Bytes message = {0x05, 0x11, 0x22};
  EXPECT_EQ(FrameFeatureReport(message, info),
            (Bytes{0x05, 0x11, 0x22, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
  // A message exactly as long as the report goes out unchanged; one byte more is refused.
  Bytes full(64, 0xAB);
  full[0] = 0x09;
  EXPECT_EQ(FrameFeatureReport(full, info), full);
  full.push_back(0xCD);
  EXPECT_EQ(FrameFeatureReport(full, info), std::nullopt);
  // An id the descriptor does not declare: sent as it is.
  EXPECT_EQ(FrameFeatureReport(Bytes{0x0A, 0x01}, info), (Bytes{0x0A, 0x01}));
  EXPECT_EQ(FrameFeatureReport(Bytes{}, info), std::nullopt);
}

TEST(FeatureReport, UnnumberedReportsGetAZeroIdByteInFront) {
  const auto info = ParseReportDescriptor(kUnnumberedVendor);
  Bytes expected(65, 0x00);
  expected[1] = 0x09;
  expected[2] = 0x40;
  EXPECT_EQ(FrameFeatureReport(Bytes{0x09, 0x40}, info), expected);
  EXPECT_EQ(FrameFeatureReport(Bytes(64, 0x01), info)->size(), 65u);
  EXPECT_EQ(FrameFeatureReport(Bytes(65, 0x01), info), std::nullopt);
}

TEST(FeatureReport, DescriptorPathOnlyForHidrawNodes) {
  EXPECT_EQ(ReportDescriptorPath("/dev/hidraw12"),
            "/sys/class/hidraw/hidraw12/device/report_descriptor");
  EXPECT_EQ(ReportDescriptorPath("/dev/hidraw"), std::nullopt);
  EXPECT_EQ(ReportDescriptorPath("/dev/hidraw1/../../etc"), std::nullopt);
  EXPECT_EQ(ReportDescriptorPath("/dev/usb/hiddev0"), std::nullopt);
}

TEST(HidId, ReadsBusVendorProductAndRejectsOtherShapes) {
  EXPECT_EQ(ParseHidId("0003:00001D57:0000214C"), (HidId{0x0003, 0x1D57, 0x214C}));
  EXPECT_EQ(ParseHidId("0005:0000045e:000000cc"), (HidId{0x0005, 0x045E, 0x00CC}));
  EXPECT_EQ(ParseHidId(""), std::nullopt);
  EXPECT_EQ(ParseHidId("0003:00001D57"), std::nullopt);
  EXPECT_EQ(ParseHidId("0003:00001D57:0000214C:0"), std::nullopt);
  EXPECT_EQ(ParseHidId("0003::0000214C"), std::nullopt);
  EXPECT_EQ(ParseHidId("0003:00011D57:0000214C"), std::nullopt);   // vendor beyond 16 bits
  EXPECT_EQ(ParseHidId("0003:000001D57:0000214C"), std::nullopt);  // nine digits
  EXPECT_EQ(ParseHidId("0003:00001D5G:0000214C"), std::nullopt);
}

// A node carrying a pointer collection (id 1, 4 data bytes) beside the vendor collection
// (input 7 of 6 data bytes, input 8 of 2), as composite interfaces do.
const Bytes kPointerAndVendor = {
    0x05, 0x01,        // Usage Page (generic desktop)
    0x09, 0x02,        // Usage (mouse)
    0xA1, 0x01,        // Collection (application)
    0x85, 0x01,        //   Report ID 1
    0x75, 0x08,        //   Report Size 8
    0x95, 0x04,        //   Report Count 4
    0x81, 0x02,        //   Input
    0xC0,              // End Collection
    0x06, 0x00, 0xFF,  // Usage Page (vendor 0xFF00)
    0x09, 0x01,        // Usage 1
    0xA1, 0x01,        // Collection (application)
    0x85, 0x07,        //   Report ID 7
    0x95, 0x06,        //   Report Count 6
    0x09, 0x01,        //   Usage 1
    0x81, 0x02,        //   Input
    0x85, 0x08,        //   Report ID 8
    0x95, 0x02,        //   Report Count 2
    0x09, 0x01,        //   Usage 1
    0x81, 0x02,        //   Input
    0xC0,              // End Collection
};

TEST(InputReport, WordThenValueLittleEndianAfterTheIdByte) {
  const auto numbered = ParseReportDescriptor(kNumberedVendor);  // input 7, 4 data bytes
  EXPECT_EQ(DecodeInputReport(Bytes{0x07, 0x34, 0x12, 0x78, 0x56}, numbered),
            (InputEvent{0x1234, 0x5678}));
  const auto unnumbered = ParseReportDescriptor(kUnnumberedVendor);  // input of 4 bytes
  EXPECT_EQ(DecodeInputReport(Bytes{0x34, 0x12, 0x78, 0x56}, unnumbered),
            (InputEvent{0x1234, 0x5678}));
  // Bytes after the event, when the descriptor declares them, are ignored.
  const auto composite = ParseReportDescriptor(kPointerAndVendor);
  EXPECT_EQ(DecodeInputReport(Bytes{0x07, 0x34, 0x12, 0x78, 0x56, 0xEE, 0xFF}, composite),
            (InputEvent{0x1234, 0x5678}));
}

// Only the vendor collection's declared input reports, at their declared length, are events:
// anything else read from the node must never reach the program as one.
TEST(InputReport, StrayReportsAreNotEvents) {
  const auto numbered = ParseReportDescriptor(kNumberedVendor);
  EXPECT_EQ(DecodeInputReport(Bytes{0x05, 0x34, 0x12, 0x78, 0x56}, numbered),
            std::nullopt);  // a feature id
  EXPECT_EQ(DecodeInputReport(Bytes{0x09, 0x34, 0x12, 0x78, 0x56}, numbered),
            std::nullopt);  // an undeclared id
  EXPECT_EQ(DecodeInputReport(Bytes{0x07, 0x34, 0x12, 0x78}, numbered), std::nullopt);  // cut
  EXPECT_EQ(DecodeInputReport(Bytes{0x07, 0x34, 0x12, 0x78, 0x56, 0x00}, numbered),
            std::nullopt);  // overlong
  EXPECT_EQ(DecodeInputReport(Bytes{}, numbered), std::nullopt);

  const auto unnumbered = ParseReportDescriptor(kUnnumberedVendor);
  EXPECT_EQ(DecodeInputReport(Bytes{0x34, 0x12, 0x78}, unnumbered), std::nullopt);
  EXPECT_EQ(DecodeInputReport(Bytes{0x34, 0x12, 0x78, 0x56, 0x00}, unnumbered), std::nullopt);
  EXPECT_EQ(DecodeInputReport(Bytes{0x34, 0x12, 0x78, 0x56}, ParseReportDescriptor(kBootMouse)),
            std::nullopt);  // not a vendor interface at all

  // The pointer collection's report 1 has the right length for an event but is not one; the
  // vendor collection's report 8 is too short to hold one.
  const auto composite = ParseReportDescriptor(kPointerAndVendor);
  EXPECT_TRUE(composite.vendor_collection);
  EXPECT_EQ(DecodeInputReport(Bytes{0x01, 0x34, 0x12, 0x78, 0x56}, composite), std::nullopt);
  EXPECT_EQ(DecodeInputReport(Bytes{0x08, 0x34, 0x12}, composite), std::nullopt);
  EXPECT_EQ(composite.VendorInputReportBytes(1), std::nullopt);
  EXPECT_EQ(composite.VendorInputReportBytes(7), 6u);
  EXPECT_FALSE(ParseReportDescriptor(kBootMouse).vendor_collection);
}

// The reader against a stand-in node that keeps report boundaries (a sequenced-packet socket):
// stray reports read before an event are dropped, not posted, and the peer going away ends the
// reader as a node that hung up.
TEST(InputReport, ReaderPostsOnlyEventsAndNoticesTheNodeHangingUp) {
  int ends[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends), 0);
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<InputEvent> events;
  InputReader reader;
  ASSERT_TRUE(reader.Start(ends[0], ParseReportDescriptor(kNumberedVendor), [&](InputEvent e) {
    std::lock_guard lock(mutex);
    events.push_back(e);
    changed.notify_all();
  }));
  const std::vector<Bytes> reports = {
      {0x05, 0x02, 0x50, 0x01, 0x00},        // a feature report's id
      {0x06, 0x02, 0x50, 0x01, 0x00},        // an id the descriptor does not declare
      {0x07, 0x02, 0x50, 0x01},              // the input report, cut
      {0x07, 0x02, 0x50, 0x01, 0x00, 0x00},  // the input report, too long
      {0x07, 0x01, 0x50, 0x64, 0x00},        // the input report: word 0x5001, value 100
  };
  for (const auto& report : reports) {
    ASSERT_EQ(write(ends[1], report.data(), report.size()), static_cast<ssize_t>(report.size()));
  }
  {
    std::unique_lock lock(mutex);
    changed.wait_for(lock, 2s, [&] { return !events.empty(); });
    EXPECT_EQ(events, (std::vector<InputEvent>{{0x5001, 100}}));
  }
  EXPECT_FALSE(reader.HungUp());
  close(ends[1]);
  const auto deadline = std::chrono::steady_clock::now() + 2s;
  while (!reader.HungUp() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
  EXPECT_TRUE(reader.HungUp());
  reader.Stop();
  EXPECT_FALSE(reader.HungUp());
  EXPECT_EQ(events.size(), 1u);
}

// ---------------------------------------------------------------------------------------------
// The fake devices.

bool UnderUmockdev() {
  const char* preload = std::getenv("LD_PRELOAD");
  return preload && std::strstr(preload, "libumockdev-preload");
}

// Feature reports the fake nodes received, in order.
struct Capture {
  std::string devnode;
  Bytes bytes;
};

class FeatureCatcher {
 public:
  void Add(Capture capture) {
    std::lock_guard lock(mutex_);
    captures_.push_back(std::move(capture));
  }
  std::vector<Capture> Taken() {
    std::lock_guard lock(mutex_);
    return captures_;
  }

 private:
  std::mutex mutex_;
  std::vector<Capture> captures_;
};

// Answers the one ioctl the driver makes: Set Feature.
gboolean HandleIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
  auto* catcher = static_cast<FeatureCatcher*>(data);
  const gulong request = umockdev_ioctl_client_get_request(client);
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
  if (_IOC_TYPE(request) == 'H' && _IOC_NR(request) == 0x06) {  // HIDIOCSFEATURE(length)
    const std::size_t length = _IOC_SIZE(request);
    UMockdevIoctlData* report = umockdev_ioctl_data_resolve(arg, 0, length, nullptr);
    if (!report) return FALSE;
    catcher->Add(
        {umockdev_ioctl_client_get_devnode(client), Bytes(report->data, report->data + length)});
    umockdev_ioctl_client_complete(client, static_cast<glong>(length), 0);
    return TRUE;
  }
  return FALSE;
}

// What the driver posted to its window, in order.
struct Posted {
  std::uint32_t message;
  std::uintptr_t wparam;
  std::intptr_t lparam;
  friend bool operator==(const Posted&, const Posted&) = default;
};

void PrintTo(const Posted& p, std::ostream* os) {
  *os << "{" << p.message << ", " << p.wparam << ", " << p.lparam << "}";
}

class Window {
 public:
  Window() : window_{this, &Window::Post} {}
  const MoktaWindow* get() const { return &window_; }

  // Waits until `count` messages have arrived (at most two seconds) and returns them all.
  std::vector<Posted> WaitFor(std::size_t count) {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, 2s, [&] { return posted_.size() >= count; });
    return posted_;
  }
  std::vector<Posted> Now() {
    std::lock_guard lock(mutex_);
    return posted_;
  }

 private:
  static void Post(void* context, uint32_t message, uintptr_t wparam, intptr_t lparam) {
    auto* self = static_cast<Window*>(context);
    std::lock_guard lock(self->mutex_);
    self->posted_.push_back({message, wparam, lparam});
    self->arrived_.notify_all();
  }

  MoktaWindow window_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Posted> posted_;
};

// The exports of one driver library, loaded for real.
struct DriverLibrary {
  void* handle = nullptr;
  MoktaSetVidPidFn set_vidpid = nullptr;
  MoktaOpenDevMonitorFn open_monitor = nullptr;
  MoktaOpenFeatureDeviceFn open_device = nullptr;
  MoktaCloseFeatureDeviceFn close_device = nullptr;
  MoktaSetFeatureFn set_feature = nullptr;
  MoktaCloseDevMonitorFn close_monitor = nullptr;
  MoktaLastOpenErrorFn last_open_error = nullptr;

  explicit DriverLibrary(const char* path) {
    handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!handle) return;
    set_vidpid = reinterpret_cast<MoktaSetVidPidFn>(dlsym(handle, "Set_VIDPID"));
    open_monitor = reinterpret_cast<MoktaOpenDevMonitorFn>(dlsym(handle, "Open_DevMonitor"));
    open_device = reinterpret_cast<MoktaOpenFeatureDeviceFn>(dlsym(handle, "Open_FeatureDevice"));
    close_device =
        reinterpret_cast<MoktaCloseFeatureDeviceFn>(dlsym(handle, "Close_FeatureDevice"));
    set_feature = reinterpret_cast<MoktaSetFeatureFn>(dlsym(handle, "SetFeature"));
    close_monitor = reinterpret_cast<MoktaCloseDevMonitorFn>(dlsym(handle, "Close_DevMonitor"));
    last_open_error = reinterpret_cast<MoktaLastOpenErrorFn>(dlsym(handle, "Mokta_LastOpenError"));
  }
  ~DriverLibrary() {
    if (!handle) return;
    close_device();
    close_monitor();
    dlclose(handle);
  }
  bool Complete() const {
    return handle && set_vidpid && open_monitor && open_device && close_device && set_feature &&
           close_monitor && last_open_error;
  }
};

std::string Hex(const Bytes& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string text;
  for (auto b : bytes) {
    text += digits[b >> 4];
    text += digits[b & 15];
  }
  return text;
}

constexpr std::uint32_t kDataMessage = 0x0603;    // the program's cable event message
constexpr std::uint32_t kStatusMessage = 0x0604;  // and its cable status message

// Threads of this process, from the kernel's list.
long ThreadCount() {
  return std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                       std::filesystem::directory_iterator());
}

// The test bed answers ioctls on GLib's worker thread ("gmain"), which GLib starts when it is
// first needed. Started up front, it cannot show up in the middle of a count of the driver's
// threads. A Unix signal source is the public way to have GLib start it.
void StartGlibWorker() {
  g_source_unref(g_unix_signal_source_new(SIGUSR2));
  const auto named = [] {
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
      std::ifstream comm(task.path() / "comm");
      std::string name;
      std::getline(comm, name);
      if (name == "gmain") return true;
    }
    return false;
  };
  const auto deadline = std::chrono::steady_clock::now() + 2s;
  while (!named() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
}

class FakeBed : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(UnderUmockdev()) << "run under umockdev-wrapper: without it this test would "
                                    "reach the machine's real devices";
    StartGlibWorker();
    bed_ = umockdev_testbed_new();
    ASSERT_TRUE(bed_);
    handler_ = umockdev_ioctl_base_new();
    g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(HandleIoctl), &catcher_);
  }
  void TearDown() override {
    if (handler_) g_object_unref(handler_);
    if (bed_) g_object_unref(bed_);
  }

  // Adds one hidraw interface of a USB device (the USB device itself the first time) and
  // returns the node's syspath. `node` is the hidraw number, `interface` the USB interface.
  std::string AddUsbInterface(std::uint16_t vendor, std::uint16_t product, int interface, int node,
                              const Bytes& descriptor, const char* usb = "1-2") {
    char hid_name[32];
    std::snprintf(hid_name, sizeof hid_name, "0003:%04X:%04X.%04X", vendor, product, node + 1);
    const std::string usb_path = std::string("/devices/pci0000:00/0000:00:14.0/usb1/") + usb;
    const std::string intf_path = usb_path + "/" + usb + ":1." + std::to_string(interface);
    char ids[64];
    std::snprintf(ids, sizeof ids, "A: idVendor=%04x\nA: idProduct=%04x\n", vendor, product);
    std::string record;
    if (added_.insert(usb_path).second) {
      record += "P: " + usb_path + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n" + ids + "\n";
    }
    if (added_.insert(intf_path).second) {
      record += "P: " + intf_path + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\n" +
                "A: bInterfaceNumber=0" + std::to_string(interface) + "\n\n";
    }
    return AddHidNode(intf_path, hid_name, 0x0003, vendor, product, node, descriptor, record);
  }

  // A Bluetooth LE mouse as BlueZ's HID over GATT creates it: a uhid device.
  std::string AddBluetoothNode(std::uint16_t vendor, std::uint16_t product, int node) {
    char hid_name[32];
    std::snprintf(hid_name, sizeof hid_name, "0005:%04X:%04X.%04X", vendor, product, node + 1);
    const std::string uhid = "/devices/virtual/misc/uhid";
    std::string record;
    if (added_.insert(uhid).second) record += "P: " + uhid + "\nE: SUBSYSTEM=misc\n\n";
    return AddHidNode(uhid, hid_name, 0x0005, vendor, product, node, kBootMouse, record);
  }

  // Removes a hidraw node and its "hid" device, as unplugging does; the node's removal event
  // is read after both are gone from sysfs.
  void Remove(const std::string& node_syspath) {
    const std::string hid = node_syspath.substr(0, node_syspath.rfind("/hidraw/"));
    umockdev_testbed_uevent(bed_, node_syspath.c_str(), "remove");
    umockdev_testbed_uevent(bed_, hid.c_str(), "remove");
    umockdev_testbed_remove_device(bed_, node_syspath.c_str());
    umockdev_testbed_remove_device(bed_, hid.c_str());
  }

  std::string RootDir() {
    gchar* dir = umockdev_testbed_get_root_dir(bed_);
    std::string text = dir;
    g_free(dir);
    return text;
  }

  // Makes the fake node produce one input report.
  void Report(int node, const Bytes& report) {
    const std::string devnode = "/dev/hidraw" + std::to_string(node);
    const int fd = umockdev_testbed_get_dev_fd(bed_, devnode.c_str());
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, report.data(), report.size()), static_cast<ssize_t>(report.size()));
  }

  UMockdevTestbed* bed_ = nullptr;
  UMockdevIoctlBase* handler_ = nullptr;
  FeatureCatcher catcher_;

 private:
  std::set<std::string> added_;  // USB devices, interfaces and uhid parents already there

  std::string AddHidNode(const std::string& parent, const char* hid_name, std::uint16_t bus,
                         std::uint16_t vendor, std::uint16_t product, int node,
                         const Bytes& descriptor, std::string record) {
    char hid_id[32];
    std::snprintf(hid_id, sizeof hid_id, "%04X:%08X:%08X", bus, vendor, product);
    const std::string hid_path = parent + "/" + hid_name;
    const std::string name = "hidraw" + std::to_string(node);
    const std::string node_path = hid_path + "/hidraw/" + name;
    record += "P: " + hid_path + "\nE: SUBSYSTEM=hid\nE: HID_ID=" + hid_id +
              "\nE: HID_NAME=Fake mouse\nE: HID_UNIQ=\nH: report_descriptor=" + Hex(descriptor) +
              "\n\n";
    record += "P: " + node_path + "\nN: " + name + "\nE: SUBSYSTEM=hidraw\nE: DEVNAME=/dev/" +
              name + "\nA: dev=241:" + std::to_string(node) + "\nL: device=../../../" + hid_name +
              "\n";
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(bed_, record.c_str(), &error)) {
      ADD_FAILURE() << error->message;
      g_error_free(error);
      return {};
    }
    const std::string devnode = "/dev/" + name;
    if (!umockdev_testbed_attach_ioctl(bed_, devnode.c_str(), handler_, &error)) {
      ADD_FAILURE() << error->message;
      g_error_free(error);
    }
    return "/sys" + node_path;
  }
};

class HidrawDriver : public FakeBed {};

// The mouse on its cable: a pointer interface first, then the vendor interface.
constexpr std::uint16_t kVendor = 0x1D57;
constexpr std::uint16_t kCable = 0x214C;
constexpr std::uint16_t kReceiver = 0xFA60;

TEST_F(HidrawDriver, SendsFeatureReportsToTheVendorInterfaceFramedByItsDescriptor) {
  AddUsbInterface(kVendor, kCable, 0, 0, kBootMouse);
  AddUsbInterface(kVendor, kCable, 1, 1, kNumberedVendor);
  DriverLibrary cable(MOKTA_HIDDRIVER_2);
  ASSERT_TRUE(cable.Complete()) << dlerror();
  cable.set_vidpid(kVendor, kCable);
  ASSERT_NE(cable.open_device(), 0);

  const Bytes short_command = {0x05, 0x01, 0x02};
  EXPECT_NE(cable.set_feature(short_command.data(), 3), 0);
  Bytes piece(64, 0x5A);
  piece[0] = 0x09;
  EXPECT_NE(cable.set_feature(piece.data(), 64), 0);
  const Bytes too_long(65, 0x09);
  EXPECT_EQ(cable.set_feature(too_long.data(), 65), 0);

  const auto taken = catcher_.Taken();
  ASSERT_EQ(taken.size(), 2u);
  EXPECT_EQ(taken[0].devnode, "/dev/hidraw1");
  EXPECT_EQ(taken[0].bytes, (Bytes{
                                0x05,                    // report id = command code
                                0x01, 0x02,              // the message
                                0x00, 0x00, 0x00, 0x00,  // zeros up to the 8 data bytes
                                0x00, 0x00,              //
                            }));
  EXPECT_EQ(taken[1].bytes, piece);

  cable.close_device();
  EXPECT_NE(cable.set_feature(short_command.data(), 3), 0);  // opens the closed device again
  EXPECT_EQ(catcher_.Taken().size(), 3u);
}

TEST_F(HidrawDriver, UnnumberedDevicesGetAZeroReportIdByte) {
  AddUsbInterface(kVendor, kReceiver, 0, 0, kUnnumberedVendor);
  DriverLibrary receiver(MOKTA_HIDDRIVER_1);
  ASSERT_TRUE(receiver.Complete()) << dlerror();
  receiver.set_vidpid(kVendor, kReceiver);
  ASSERT_NE(receiver.open_device(), 0);
  const Bytes command = {0x0E, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
  ASSERT_NE(receiver.set_feature(command.data(), 9), 0);

  Bytes expected(65, 0x00);  // id 0, then 64 data bytes
  std::copy(command.begin(), command.end(), expected.begin() + 1);
  const auto taken = catcher_.Taken();
  ASSERT_EQ(taken.size(), 1u);
  EXPECT_EQ(taken[0].bytes, expected);
}

TEST_F(HidrawDriver, EveryExportIsHarmlessWithoutTheDevice) {
  AddUsbInterface(kVendor, kCable, 0, 0, kBootMouse);  // no vendor interface: not the mouse
  DriverLibrary cable(MOKTA_HIDDRIVER_2);
  ASSERT_TRUE(cable.Complete()) << dlerror();
  const Bytes command(9, 0x05);
  EXPECT_EQ(cable.set_feature(command.data(), 9), 0);  // before Set_VIDPID
  cable.set_vidpid(kVendor, kCable);
  EXPECT_EQ(cable.open_device(), 0);
  EXPECT_EQ(cable.set_feature(command.data(), 9), 0);
  EXPECT_EQ(cable.set_feature(nullptr, 9), 0);
  EXPECT_NE(cable.close_device(), 0);
  char text[8] = "x";
  EXPECT_EQ(cable.last_open_error(text, sizeof text), 0);
  EXPECT_STREQ(text, "");
  EXPECT_TRUE(catcher_.Taken().empty());
}

TEST_F(HidrawDriver, MonitorAnnouncesTheDeviceOnceHoweverManyInterfacesItHas) {
  DriverLibrary cable(MOKTA_HIDDRIVER_2);
  ASSERT_TRUE(cable.Complete()) << dlerror();
  Window window;
  cable.set_vidpid(kVendor, kCable);
  ASSERT_NE(cable.open_monitor(window.get(), kDataMessage, kStatusMessage), 0);

  const auto first = AddUsbInterface(kVendor, kCable, 0, 0, kBootMouse);
  EXPECT_EQ(window.WaitFor(1), (std::vector<Posted>{{kStatusMessage, MOKTA_DEVICE_ARRIVED, 0}}));
  const auto second = AddUsbInterface(kVendor, kCable, 1, 1, kNumberedVendor);
  // Other devices: the receiver, and a Bluetooth device with the cable's ids.
  const auto receiver = AddUsbInterface(kVendor, kReceiver, 0, 2, kNumberedVendor, "1-3");
  const auto bluetooth = AddBluetoothNode(kVendor, kCable, 3);
  Remove(receiver);
  Remove(bluetooth);
  Remove(first);  // one interface left: still there
  Remove(second);

  EXPECT_EQ(window.WaitFor(2), (std::vector<Posted>{{kStatusMessage, MOKTA_DEVICE_ARRIVED, 0},
                                                    {kStatusMessage, MOKTA_DEVICE_REMOVED, 0}}));
  AddUsbInterface(kVendor, kCable, 0, 4, kNumberedVendor);
  EXPECT_EQ(window.WaitFor(3).size(), 3u);
  EXPECT_EQ(window.Now().back(), (Posted{kStatusMessage, MOKTA_DEVICE_ARRIVED, 0}));
}

TEST_F(HidrawDriver, DevicePresentAtStartIsNotAnnouncedButItsRemovalIs) {
  const auto node = AddUsbInterface(kVendor, kCable, 1, 1, kNumberedVendor);
  DriverLibrary cable(MOKTA_HIDDRIVER_2);
  ASSERT_TRUE(cable.Complete()) << dlerror();
  Window window;
  cable.set_vidpid(kVendor, kCable);
  ASSERT_NE(cable.open_monitor(window.get(), kDataMessage, kStatusMessage), 0);
  Remove(node);
  EXPECT_EQ(window.WaitFor(1), (std::vector<Posted>{{kStatusMessage, MOKTA_DEVICE_REMOVED, 0}}));
}

TEST_F(HidrawDriver, InputReportsArePostedAsEventWordAndValue) {
  AddUsbInterface(kVendor, kCable, 1, 1, kNumberedVendor);
  DriverLibrary cable(MOKTA_HIDDRIVER_2);
  ASSERT_TRUE(cable.Complete()) << dlerror();
  Window window;
  cable.set_vidpid(kVendor, kCable);
  ASSERT_NE(cable.open_monitor(window.get(), kDataMessage, kStatusMessage), 0);
  ASSERT_NE(cable.open_device(), 0);

  Report(1, {0x07, 0x34, 0x12, 0xCD, 0xAB});  // id 7, word 0x1234, value 0xABCD
  ASSERT_EQ(window.WaitFor(1).size(), 1u);
  Report(1, {0x07, 0x01, 0x50, 0x64, 0x00});  // word 0x5001, value 100
  EXPECT_EQ(window.WaitFor(2),
            (std::vector<Posted>{{kDataMessage, 0x1234, 0xABCD}, {kDataMessage, 0x5001, 100}}));
}

TEST_F(HidrawDriver, NothingIsPostedAndNoThreadRunsAfterCloseDevMonitor) {
  const auto node = AddUsbInterface(kVendor, kCable, 1, 1, kNumberedVendor);
  DriverLibrary cable(MOKTA_HIDDRIVER_2);
  ASSERT_TRUE(cable.Complete()) << dlerror();
  Window window;
  cable.set_vidpid(kVendor, kCable);
  ASSERT_NE(cable.open_device(), 0);  // opened before the monitor, as a reader without window
  const auto before = ThreadCount();
  ASSERT_NE(cable.open_monitor(window.get(), kDataMessage, kStatusMessage), 0);
  EXPECT_EQ(ThreadCount(), before + 2);  // monitor and input reader
  cable.close_monitor();
  ASSERT_EQ(ThreadCount(), before);

  // With no thread of the driver left, nothing can answer these.
  Report(1, {0x07, 0x34, 0x12, 0xCD, 0xAB});
  Remove(node);
  AddUsbInterface(kVendor, kCable, 1, 2, kNumberedVendor);
  EXPECT_TRUE(window.Now().empty());
}

TEST_F(HidrawDriver, EachLibraryDrivesItsOwnDevice) {
  AddUsbInterface(kVendor, kCable, 1, 1, kNumberedVendor);
  DriverLibrary cable(MOKTA_HIDDRIVER_2);
  DriverLibrary receiver(MOKTA_HIDDRIVER_1);
  ASSERT_TRUE(cable.Complete() && receiver.Complete()) << dlerror();
  ASSERT_NE(cable.handle, receiver.handle);
  Window cable_window;
  Window receiver_window;
  cable.set_vidpid(kVendor, kCable);
  receiver.set_vidpid(kVendor, kReceiver);
  ASSERT_NE(cable.open_monitor(cable_window.get(), kDataMessage, kStatusMessage), 0);
  ASSERT_NE(receiver.open_monitor(receiver_window.get(), kDataMessage - 2, kStatusMessage - 2), 0);
  EXPECT_NE(cable.open_device(), 0);
  EXPECT_EQ(receiver.open_device(), 0);
  const Bytes command(9, 0x05);
  EXPECT_EQ(receiver.set_feature(command.data(), 9), 0);

  AddUsbInterface(kVendor, kReceiver, 0, 2, kUnnumberedVendor, "1-3");
  EXPECT_EQ(receiver_window.WaitFor(1),
            (std::vector<Posted>{{kStatusMessage - 2, MOKTA_DEVICE_ARRIVED, 0}}));
  EXPECT_NE(receiver.open_device(), 0);
  ASSERT_NE(receiver.set_feature(command.data(), 9), 0);
  EXPECT_EQ(catcher_.Taken().at(0).devnode, "/dev/hidraw2");
  EXPECT_TRUE(cable_window.Now().empty());
}

// The node is there but refuses us: the driver says so through Mokta_LastOpenError. The check
// runs in a child process without the rights to the node (as "nobody" when the tests run as
// root, since root opens anything).
TEST_F(HidrawDriver, NodeWithoutPermissionIsReportedForTheUser) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  AddUsbInterface(kVendor, kCable, 1, 3, kNumberedVendor);
  const auto drop_rights = [this] {
    if (geteuid() == 0) {
      // Let "nobody" reach the test bed and umockdev's own socket for the node, so that only
      // the node itself refuses it.
      if (chmod(RootDir().c_str(), 0755) != 0) return false;
      if (chmod((RootDir() + "/ioctl/dev/hidraw3").c_str(), 0777) != 0) return false;
      return setgid(65534) == 0 && setuid(65534) == 0;
    }
    const auto pty = std::filesystem::read_symlink(RootDir() + "/dev/hidraw3");
    return chmod(pty.c_str(), 0) == 0;
  };
  EXPECT_EXIT(
      {
        if (!drop_rights()) std::_Exit(2);
        DriverLibrary cable(MOKTA_HIDDRIVER_2);
        if (!cable.Complete()) std::_Exit(3);
        cable.set_vidpid(kVendor, kCable);
        if (cable.open_device() != 0) std::_Exit(4);
        char text[256];
        if (cable.last_open_error(text, sizeof text) == 0) std::_Exit(5);
        std::fprintf(stderr, "%s\n", text);
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0),
      "the mouse's cable interface /dev/hidraw3 is present but not accessible: install "
      "packaging/71-mokta-mouse.rules \\(see README\\)");
}

// A write to a closed device tries to open it once: after an open that failed (the device was
// not there yet) and after the node went away and came back; with the device gone it fails.
TEST_F(HidrawDriver, WriteToAClosedDeviceOpensItOnceFirst) {
  DriverLibrary cable(MOKTA_HIDDRIVER_2);
  ASSERT_TRUE(cable.Complete()) << dlerror();
  cable.set_vidpid(kVendor, kCable);
  ASSERT_EQ(cable.open_device(), 0);
  const Bytes command = {0x05, 0x01, 0x02};
  EXPECT_EQ(cable.set_feature(command.data(), 3), 0);  // nothing to open

  const auto first = AddUsbInterface(kVendor, kCable, 1, 1, kNumberedVendor);
  EXPECT_NE(cable.set_feature(command.data(), 3), 0);  // the failed open is retried
  cable.close_device();                                // removal, as the program handles it
  Remove(first);
  EXPECT_EQ(cable.set_feature(command.data(), 3), 0);
  AddUsbInterface(kVendor, kCable, 1, 2, kNumberedVendor);
  EXPECT_NE(cable.set_feature(command.data(), 3), 0);  // back as another node

  const auto taken = catcher_.Taken();
  ASSERT_EQ(taken.size(), 2u);
  EXPECT_EQ(taken[0].devnode, "/dev/hidraw1");
  EXPECT_EQ(taken[1].devnode, "/dev/hidraw2");
}

// The driver as the program sees it where netlink is unavailable: the monitor cannot start,
// yet the device opens, its input reports arrive while it is open, and Close stops them.
class FailingMonitor : public HidrawLink::Monitor {
 public:
  bool Start(HidId, Callback) override { return false; }
  void Stop() override {}
};

HidrawLink::Post PostTo(Window& window) {
  const MoktaWindow* target = window.get();
  return [target](std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
    target->post(target->context, message, wparam, lparam);
  };
}

TEST_F(HidrawDriver, InputArrivesWithoutTheMonitor) {
  AddUsbInterface(kVendor, kCable, 1, 1, kNumberedVendor);
  HidrawLink link(std::make_unique<FailingMonitor>());
  Window window;
  link.SetIds(kVendor, kCable);
  EXPECT_FALSE(link.OpenMonitor(PostTo(window), kDataMessage, kStatusMessage));
  const auto before = ThreadCount();
  ASSERT_TRUE(link.OpenDevice());
  EXPECT_EQ(ThreadCount(), before + 1);  // the input reader

  Report(1, {0x07, 0x34, 0x12, 0xCD, 0xAB});
  EXPECT_EQ(window.WaitFor(1), (std::vector<Posted>{{kDataMessage, 0x1234, 0xABCD}}));
  link.CloseDevice();
  EXPECT_EQ(ThreadCount(), before);
  link.CloseMonitor();
}

// A feature report that the device holds up. The fake write parks until the test releases it;
// the time limit only turns a deadlock into a failure, it decides nothing when all is well.
class HeldWrite {
 public:
  HidrawFeatureDevice::Sender Sender() {
    return [this](int fd, const std::uint8_t*, std::size_t length) {
      std::unique_lock lock(mutex_);
      fd_ = fd;
      changed_.notify_all();
      if (!changed_.wait_for(lock, 10s, [&] { return released_; })) timed_out_ = true;
      return static_cast<int>(length);
    };
  }
  // The descriptor the held write works on; -1 when no write came within the time limit.
  int WaitUntilEntered() {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, 10s, [&] { return fd_ >= 0; });
    return fd_;
  }
  void Release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }
  bool TimedOut() {
    std::lock_guard lock(mutex_);
    return timed_out_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int fd_ = -1;
  bool released_ = false;
  bool timed_out_ = false;
};

// The UI thread closes and reopens the device while the worker's write is held in the ioctl:
// neither call waits for the write, and the write finishes on a node that is still open.
TEST_F(HidrawDriver, OpenAndCloseNeverWaitForAWriteInProgress) {
  AddUsbInterface(kVendor, kCable, 1, 1, kNumberedVendor);
  HeldWrite held;
  HidrawLink link(std::make_unique<FailingMonitor>(), held.Sender());
  Window window;
  link.SetIds(kVendor, kCable);
  link.OpenMonitor(PostTo(window), kDataMessage, kStatusMessage);
  ASSERT_TRUE(link.OpenDevice());

  bool written = false;
  std::thread worker([&] { written = link.SetFeature(Bytes{0x05, 0x01}); });
  const int fd = held.WaitUntilEntered();
  if (fd < 0) {
    held.Release();
    worker.join();
    FAIL() << "the write never reached the device";
  }
  link.CloseDevice();
  EXPECT_NE(fcntl(fd, F_GETFD), -1) << "the node was closed under the write";
  const bool reopened = link.OpenDevice();
  link.CloseDevice();
  held.Release();
  worker.join();

  EXPECT_FALSE(held.TimedOut()) << "the UI thread waited for the write in progress";
  EXPECT_TRUE(reopened);
  EXPECT_TRUE(written);
}

// ---------------------------------------------------------------------------------------------
// Bluetooth LE presence.

class BlePresence : public FakeBed {};

TEST_F(BlePresence, StartUpTestFindsTheMouseByVendorAndProduct) {
  EXPECT_FALSE(BleMousePresent());
  AddUsbInterface(kVendor, kCable, 1, 1, kNumberedVendor);
  EXPECT_FALSE(BleMousePresent());
  AddBluetoothNode(kBleVendorId, kBleProductId, 2);
  EXPECT_TRUE(BleMousePresent());
}

TEST_F(BlePresence, MonitorFollowsTheBluetoothNodeOnly) {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<bool> seen;
  BleDeviceMonitor monitor;
  ASSERT_TRUE(monitor.Start([&](bool arrived) {
    std::lock_guard lock(mutex);
    seen.push_back(arrived);
    changed.notify_all();
  }));
  const auto wait_for = [&](std::size_t count) {
    std::unique_lock lock(mutex);
    changed.wait_for(lock, 2s, [&] { return seen.size() >= count; });
    return seen;
  };

  // The same ids over USB are not the Bluetooth LE mouse.
  const auto usb = AddUsbInterface(kBleVendorId, kBleProductId, 0, 0, kBootMouse);
  const auto ble = AddBluetoothNode(kBleVendorId, kBleProductId, 1);
  EXPECT_EQ(wait_for(1), std::vector<bool>{true});
  Remove(usb);
  Remove(ble);
  EXPECT_EQ(wait_for(2), (std::vector<bool>{true, false}));
  EXPECT_TRUE(monitor.Running());
  monitor.Stop();
  ASSERT_FALSE(monitor.Running());  // its thread has ended: nothing is left to call back
  AddBluetoothNode(kBleVendorId, kBleProductId, 2);
  std::lock_guard lock(mutex);
  EXPECT_EQ(seen.size(), 2u);
}

}  // namespace
}  // namespace mokta::hidraw
