#include "feature_device.h"

#include <fcntl.h>
#include <libudev.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/linux/hidraw_watcher.h"

namespace mokta::hidraw {
namespace {

// The largest report descriptor the kernel accepts (HID_MAX_DESCRIPTOR_SIZE).
constexpr std::size_t kMaxDescriptorBytes = 4096;

// The pairs whose role can be named in a message to the user.
constexpr std::uint16_t kCableProduct = 0x214C;
constexpr std::uint16_t kReceiverProduct = 0xFA60;

struct Interface {
  std::string devnode;
  ReportDescriptorInfo descriptor;
};

// The hidraw node of the pair on the USB bus that the driver chooses (see
// ChooseVendorInterface); empty when there is none.
std::optional<Interface> FindVendorInterface(std::uint16_t vendor, std::uint16_t product) {
  udev* context = udev_new();
  if (!context) return std::nullopt;
  std::vector<InterfaceCandidate> candidates;
  udev_enumerate* enumerate = udev_enumerate_new(context);
  if (enumerate && udev_enumerate_add_match_subsystem(enumerate, "hidraw") >= 0 &&
      udev_enumerate_scan_devices(enumerate) >= 0) {
    udev_list_entry* entry = udev_enumerate_get_list_entry(enumerate);
    for (; entry; entry = udev_list_entry_get_next(entry)) {
      udev_device* node = udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
      if (!node) continue;
      const char* devnode = udev_device_get_devnode(node);
      if (devnode && HidrawNodeMatches(node, HidId{kBusUsb, vendor, product})) {
        InterfaceCandidate candidate{devnode, std::nullopt};
        if (const auto bytes = ReadReportDescriptor(devnode)) {
          candidate.descriptor = ParseReportDescriptor(*bytes);
        }
        candidates.push_back(std::move(candidate));
      }
      udev_device_unref(node);
    }
  }
  if (enumerate) udev_enumerate_unref(enumerate);
  udev_unref(context);
  const InterfaceChoice choice = ChooseVendorInterface(candidates);
  if (!choice.chosen) return std::nullopt;
  InterfaceCandidate& chosen = candidates[*choice.chosen];
  return Interface{std::move(chosen.devnode), std::move(*chosen.descriptor)};
}

std::string PermissionMessage(std::uint16_t product, const std::string& devnode) {
  const char* role = product == kCableProduct      ? "cable "
                     : product == kReceiverProduct ? "receiver "
                                                   : "";
  return std::string("the mouse's ") + role + "interface " + devnode +
         " is present but not accessible: install packaging/71-mokta-mouse.rules (see README)";
}

int SendFeatureIoctl(int fd, const std::uint8_t* report, std::size_t length) {
  return ioctl(fd, HIDIOCSFEATURE(length), report);
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

std::optional<std::vector<std::uint8_t>> ReadReportDescriptor(const std::string& devnode) {
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

InterfaceChoice ChooseVendorInterface(std::span<const InterfaceCandidate> candidates) {
  InterfaceChoice choice;
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    const auto& descriptor = candidates[i].descriptor;
    if (!descriptor) {
      choice.reasons.push_back("passed over: its report descriptor cannot be read");
    } else if (!descriptor->vendor_collection) {
      choice.reasons.push_back("passed over: no vendor-defined application collection");
    } else if (choice.chosen) {
      choice.reasons.push_back("passed over: " + candidates[*choice.chosen].devnode +
                               " comes first with a vendor-defined application collection");
    } else {
      choice.chosen = i;
      choice.reasons.push_back(
          "chosen: the first node of this mouse with a vendor-defined application collection");
    }
  }
  return choice;
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

// One open of the node, shared by the device and the writes in progress.
struct HidrawFeatureDevice::Node {
  Node(int fd, const ReportDescriptorInfo& descriptor) : fd(fd), descriptor(descriptor) {}
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;
  ~Node() { close(fd); }

  const int fd;
  const ReportDescriptorInfo descriptor;
};

struct HidrawFeatureDevice::Opened {
  std::shared_ptr<const Node> node;
  std::string error;  // for the user; empty unless permission was refused
};

HidrawFeatureDevice::HidrawFeatureDevice(Sender sender) : sender_(std::move(sender)) {
  if (!sender_) sender_ = SendFeatureIoctl;
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
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
  std::uint64_t closes = 0;
  {
    std::lock_guard lock(mutex_);
    if (node_) return true;
    vendor = vendor_;
    product = product_;
    closes = closes_;
  }
  Opened opened = OpenNow(vendor, product);
  std::lock_guard lock(mutex_);
  // A Close meanwhile means the device is no longer wanted. An open on another thread that got
  // there first wins; ours is closed when `opened` goes.
  if (closes_ != closes) return false;
  if (node_) return true;
  last_open_error_ = std::move(opened.error);
  node_ = std::move(opened.node);
  return node_ != nullptr;
}

HidrawFeatureDevice::Opened HidrawFeatureDevice::OpenNow(std::uint16_t vendor,
                                                         std::uint16_t product) {
  Opened opened;
  auto found = FindVendorInterface(vendor, product);
  if (!found) return opened;
  const int fd = open(found->devnode.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    if (errno == EACCES || errno == EPERM) {
      opened.error = PermissionMessage(product, found->devnode);
    }
    return opened;
  }
  opened.node = std::make_shared<const Node>(fd, found->descriptor);
  return opened;
}

void HidrawFeatureDevice::Close() {
  std::shared_ptr<const Node> last;
  {
    std::lock_guard lock(mutex_);
    ++closes_;
    last = std::move(node_);
    node_ = nullptr;
  }
  // Without a write in progress this is the last reference, and the node closes here, outside
  // the mutex; otherwise the write closes it when it is done.
}

bool HidrawFeatureDevice::SetFeature(std::span<const std::uint8_t> message) {
  std::shared_ptr<const Node> node;
  {
    std::lock_guard lock(mutex_);
    node = node_;
  }
  if (!node) {
    // Closed: the node went away or the last open failed. One attempt, then give up.
    if (!Open()) return false;
    std::function<void()> observer;
    {
      std::lock_guard lock(mutex_);
      node = node_;
      observer = opened_by_write_;
    }
    if (!node) return false;  // closed again at once
    if (observer) observer();
  }
  const auto report = FrameFeatureReport(message, node->descriptor);
  if (!report) return false;
  return sender_(node->fd, report->data(), report->size()) >= 0;
}

bool HidrawFeatureDevice::IsOpen() const {
  std::lock_guard lock(mutex_);
  return node_ != nullptr;
}

void HidrawFeatureDevice::SetOpenedByWriteObserver(std::function<void()> observer) {
  std::lock_guard lock(mutex_);
  opened_by_write_ = std::move(observer);
}

std::optional<HidrawFeatureDevice::InputSource> HidrawFeatureDevice::OpenInputSource() const {
  std::lock_guard lock(mutex_);
  if (!node_) return std::nullopt;
  const int fd = fcntl(node_->fd, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return std::nullopt;
  return InputSource{fd, node_->descriptor};
}

std::string HidrawFeatureDevice::LastOpenError() const {
  std::lock_guard lock(mutex_);
  return last_open_error_;
}

}  // namespace mokta::hidraw
