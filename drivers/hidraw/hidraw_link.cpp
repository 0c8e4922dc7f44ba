#include "hidraw_link.h"

#include <utility>

#include "platform/linux/hidraw_watcher.h"

namespace mokta::hidraw {
namespace {

class UdevMonitor : public HidrawLink::Monitor {
 public:
  bool Start(HidId id, Callback callback) override {
    return watcher_.Start(id, std::move(callback));
  }
  void Stop() override { watcher_.Stop(); }

 private:
  HidrawWatcher watcher_;
};

}  // namespace

HidrawLink::HidrawLink(std::unique_ptr<Monitor> monitor, HidrawFeatureDevice::Sender sender)
    : monitor_(monitor ? std::move(monitor) : std::make_unique<UdevMonitor>()),
      device_(std::move(sender)) {
  // A write that had to open the device starts the reader, as an open from the UI thread does.
  device_.SetOpenedByWriteObserver([this] {
    std::lock_guard lock(control_);
    StartReaderIfReady();
  });
}

HidrawLink::~HidrawLink() {
  CloseDevice();
  CloseMonitor();
}

bool HidrawLink::SetIds(std::int32_t vendor, std::int32_t product) {
  std::lock_guard lock(control_);
  const bool valid = vendor >= 0 && vendor <= 0xFFFF && product >= 0 && product <= 0xFFFF;
  id_.vendor = valid ? static_cast<std::uint16_t>(vendor) : 0;
  id_.product = valid ? static_cast<std::uint16_t>(product) : 0;
  device_.SetIds(id_.vendor, id_.product);
  return valid;
}

bool HidrawLink::OpenMonitor(Post post, std::uint32_t data_message, std::uint32_t status_message) {
  std::lock_guard lock(control_);
  if (post_) return monitoring_;
  if (!post) return false;
  post_ = std::move(post);
  data_message_ = data_message;
  const Post status = post_;
  monitoring_ = monitor_->Start(
      id_, [status, status_message](bool arrived) { status(status_message, arrived ? 1 : 0, 0); });
  StartReaderIfReady();
  return monitoring_;
}

bool HidrawLink::OpenDevice() {
  std::lock_guard lock(control_);
  // A node that hung up belongs to a device that has gone; open the one now there.
  DropNodeIfHungUp();
  if (!device_.Open()) return false;
  StartReaderIfReady();
  return true;
}

void HidrawLink::CloseDevice() {
  std::lock_guard lock(control_);
  reader_.Stop();
  device_.Close();
}

bool HidrawLink::SetFeature(std::span<const std::uint8_t> message) {
  {
    std::lock_guard lock(control_);
    DropNodeIfHungUp();
  }
  return device_.SetFeature(message);
}

void HidrawLink::CloseMonitor() {
  std::lock_guard lock(control_);
  monitor_->Stop();
  reader_.Stop();
  monitoring_ = false;
  post_ = nullptr;
}

std::string HidrawLink::LastOpenError() const {
  return device_.LastOpenError();
}

void HidrawLink::StartReaderIfReady() {
  if (!post_ || reader_.Running()) return;
  auto source = device_.OpenInputSource();
  if (!source) return;
  const Post post = post_;
  const std::uint32_t message = data_message_;
  reader_.Start(source->fd, source->descriptor,
                [post, message](InputEvent event) { post(message, event.word, event.value); });
}

void HidrawLink::DropNodeIfHungUp() {
  if (!reader_.HungUp()) return;
  reader_.Stop();
  device_.Close();
}

}  // namespace mokta::hidraw
