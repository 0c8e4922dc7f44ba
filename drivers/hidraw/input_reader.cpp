#include "input_reader.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <system_error>
#include <utility>
#include <vector>

namespace mokta::hidraw {
namespace {

// hidraw hands out one report per read and drops what does not fit the buffer. The buffer is
// longer than the longest report a descriptor can declare (id byte included), so that an
// overlong report shows as too long rather than as cut to the expected length.
constexpr std::size_t kReadBufferBytes = 1 + kMaxReportBits / 8 + 1;

}  // namespace

std::optional<InputEvent> DecodeInputReport(std::span<const std::uint8_t> report,
                                            const ReportDescriptorInfo& descriptor) {
  if (report.empty()) return std::nullopt;
  const std::size_t start = descriptor.numbered ? 1 : 0;
  const std::uint8_t id = descriptor.numbered ? report[0] : 0;
  const auto data_bytes = descriptor.VendorInputReportBytes(id);
  if (!data_bytes || *data_bytes < 4 || report.size() != start + *data_bytes) return std::nullopt;
  const auto* p = report.data() + start;
  return InputEvent{static_cast<std::uint16_t>(p[0] | (p[1] << 8)),
                    static_cast<std::uint16_t>(p[2] | (p[3] << 8))};
}

InputReader::~InputReader() {
  Stop();
}

bool InputReader::Start(int fd, const ReportDescriptorInfo& descriptor, Callback callback) {
  if (thread_.joinable()) {
    close(fd);
    return false;
  }
  fd_ = fd;
  const int flags = fcntl(fd_, F_GETFL);
  if (flags < 0 || fcntl(fd_, F_SETFL, flags | O_NONBLOCK) < 0) {
    close(fd_);
    fd_ = -1;
    return false;
  }
  wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_fd_ < 0) {
    close(fd_);
    fd_ = -1;
    return false;
  }
  descriptor_ = descriptor;
  callback_ = std::move(callback);
  hung_up_ = false;
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    Stop();
    return false;
  }
  return true;
}

void InputReader::Stop() {
  if (thread_.joinable()) {
    const std::uint64_t one = 1;
    // Cannot fail on a valid eventfd; if it did, join would wait forever.
    if (write(wake_fd_, &one, sizeof one) != sizeof one) std::terminate();
    thread_.join();
  }
  if (fd_ >= 0) close(fd_);
  if (wake_fd_ >= 0) close(wake_fd_);
  fd_ = -1;
  wake_fd_ = -1;
  hung_up_ = false;  // the stale node is closed now
}

void InputReader::Run() {
  pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
  std::vector<std::uint8_t> buffer(kReadBufferBytes);
  for (;;) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      hung_up_ = true;
      return;
    }
    if (fds[1].revents != 0) return;
    if (fds[0].revents & POLLIN) {
      const ssize_t n = read(fd_, buffer.data(), buffer.size());
      if (n > 0) {
        const auto event =
            DecodeInputReport(std::span(buffer.data(), static_cast<std::size_t>(n)), descriptor_);
        if (event) callback_(*event);
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      hung_up_ = true;  // end of file or a read error: the device is gone
      return;
    }
    if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
      hung_up_ = true;
      return;
    }
  }
}

}  // namespace mokta::hidraw
