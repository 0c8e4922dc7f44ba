#include "feature_device.h"

#include <fcntl.h>
#include <hidapi.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>

namespace mokta::hidraw {
namespace {

// Usage pages from here up are vendor-defined: the interface that takes the commands.
constexpr unsigned short kVendorUsagePage = 0xFF00;
// The largest report descriptor the kernel accepts (HID_MAX_DESCRIPTOR_SIZE).
constexpr std::size_t kMaxDescriptorBytes = 4096;

// The pairs whose role can be named in a message to the user.
constexpr std::uint16_t kCableProduct = 0x214C;
constexpr std::uint16_t kReceiverProduct = 0xFA60;

std::optional<std::vector<std::uint8_t>> ReadDescriptor(const std::string& devnode) {
  const auto path = ReportDescriptorPath(devnode);
  if (!path) return std::nullopt;
  const int fd = open(path->c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::vector<std::uint8_t> bytes(kMaxDescriptorBytes);
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const ssize_t n = read(fd, bytes.data() + filled, bytes.size() - filled);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    filled += static_cast<std::size_t>(n);
  }
  close(fd);
  bytes.resize(filled);
  return bytes;
}

// The node of the pair's vendor-defined interface on the USB bus, empty when there is none.
std::optional<std::string> FindVendorInterface(std::uint16_t vendor, std::uint16_t product) {
  std::optional<std::string> found;
  hid_device_info* list = hid_enumerate(vendor, product);
  for (hid_device_info* info = list; info && !found; info = info->next) {
    if (info->path && info->bus_type == HID_API_BUS_USB && info->usage_page >= kVendorUsagePage) {
      found = info->path;
    }
  }
  hid_free_enumeration(list);
  return found;
}

bool PermissionDenied(const std::string& devnode) {
  const int fd = open(devnode.c_str(), O_RDWR | O_CLOEXEC);
  if (fd >= 0) {
    close(fd);
    return false;
  }
  return errno == EACCES || errno == EPERM;
}

std::string PermissionMessage(std::uint16_t product, const std::string& devnode) {
  const char* role = product == kCableProduct      ? "cable "
                     : product == kReceiverProduct ? "receiver "
                                                   : "";
  return std::string("the mouse's ") + role + "interface " + devnode +
         " is present but not accessible: install packaging/71-mokta-mouse.rules (see README)";
}

}  // namespace

std::optional<std::vector<std::uint8_t>> FrameFeatureReport(
    std::span<const std::uint8_t> message, const ReportDescriptorInfo& descriptor) {
  if (message.empty()) return std::nullopt;
  std::vector<std::uint8_t> report;
  std::optional<std::size_t> data_bytes;
  if (descriptor.numbered) {
    data_bytes = descriptor.FeatureReportBytes(message[0]);
    if (data_bytes && message.size() > 1 + *data_bytes) return std::nullopt;
    report.assign(message.begin(), message.end());
  } else {
    data_bytes = descriptor.FeatureReportBytes(0);
    if (data_bytes && message.size() > *data_bytes) return std::nullopt;
    report.push_back(0x00);
    report.insert(report.end(), message.begin(), message.end());
  }
  if (data_bytes) report.resize(1 + *data_bytes, 0x00);
  return report;
}

std::optional<std::string> ReportDescriptorPath(const std::string& devnode) {
  constexpr std::string_view kPrefix = "/dev/hidraw";
  if (devnode.size() <= kPrefix.size() || devnode.size() > kPrefix.size() + 5 ||
      devnode.compare(0, kPrefix.size(), kPrefix) != 0) {
    return std::nullopt;
  }
  for (std::size_t i = kPrefix.size(); i < devnode.size(); ++i) {
    if (devnode[i] < '0' || devnode[i] > '9') return std::nullopt;
  }
  return "/sys/class/hidraw/" + devnode.substr(5) + "/device/report_descriptor";
}

HidrawFeatureDevice::~HidrawFeatureDevice() {
  Close();
}

void HidrawFeatureDevice::SetIds(std::uint16_t vendor, std::uint16_t product) {
  std::lock_guard lock(mutex_);
  vendor_ = vendor;
  product_ = product;
}

bool HidrawFeatureDevice::Open() {
  std::lock_guard lock(mutex_);
  if (handle_) return true;
  last_open_error_.clear();
  return OpenLocked();
}

bool HidrawFeatureDevice::OpenLocked() {
  if (hid_init() != 0) return false;
  const auto devnode = FindVendorInterface(vendor_, product_);
  if (!devnode) return false;
  // hidapi read the same descriptor to find the usage page, so a failure here means the
  // device has just gone.
  const auto descriptor = ReadDescriptor(*devnode);
  if (!descriptor) return false;
  hid_device* handle = hid_open_path(devnode->c_str());
  if (!handle) {
    if (PermissionDenied(*devnode)) last_open_error_ = PermissionMessage(product_, *devnode);
    return false;
  }
  handle_ = handle;
  devnode_ = *devnode;
  descriptor_ = ParseReportDescriptor(*descriptor);
  return true;
}

void HidrawFeatureDevice::Close() {
  std::lock_guard lock(mutex_);
  if (handle_) hid_close(handle_);
  handle_ = nullptr;
  devnode_.clear();
}

bool HidrawFeatureDevice::SetFeature(std::span<const std::uint8_t> message) {
  std::lock_guard lock(mutex_);
  if (!handle_) return false;
  const auto report = FrameFeatureReport(message, descriptor_);
  if (!report) return false;
  return hid_send_feature_report(handle_, report->data(), report->size()) >= 0;
}

bool HidrawFeatureDevice::IsOpen() const {
  std::lock_guard lock(mutex_);
  return handle_ != nullptr;
}

std::string HidrawFeatureDevice::DevNode() const {
  std::lock_guard lock(mutex_);
  return devnode_;
}

bool HidrawFeatureDevice::Numbered() const {
  std::lock_guard lock(mutex_);
  return descriptor_.numbered;
}

std::string HidrawFeatureDevice::LastOpenError() const {
  std::lock_guard lock(mutex_);
  return last_open_error_;
}

}  // namespace mokta::hidraw
