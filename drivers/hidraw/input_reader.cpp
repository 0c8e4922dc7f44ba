#include "input_reader.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <exception>
#include <system_error>
#include <utility>

namespace mokta::hidraw {
namespace {

// hidraw hands out one report per read and drops what does not fit the buffer; only the first
// five bytes matter here.
constexpr std::size_t kReadBufferBytes = 64;

}  // namespace

std::optional<InputEvent> DecodeInputReport(std::span<const std::uint8_t> report, bool numbered) {
  const std::size_t start = numbered ? 1 : 0;
  if (report.size() < start + 4) return std::nullopt;
  const auto* p = report.data() + start;
  return InputEvent{static_cast<std::uint16_t>(p[0] | (p[1] << 8)),
                    static_cast<std::uint16_t>(p[2] | (p[3] << 8))};
}

InputReader::~InputReader() {
  Stop();
}

bool InputReader::Start(const std::string& devnode, bool numbered, Callback callback) {
  if (thread_.joinable()) return false;
  fd_ = open(devnode.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) return false;
  wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_fd_ < 0) {
    close(fd_);
    fd_ = -1;
    return false;
  }
  numbered_ = numbered;
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
}

void InputReader::Run() {
  pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
  std::array<std::uint8_t, kReadBufferBytes> buffer;
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
            DecodeInputReport(std::span(buffer.data(), static_cast<std::size_t>(n)), numbered_);
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
