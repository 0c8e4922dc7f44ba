// The client side of the control socket, shared by the library and the `mokta-virtual-mouse`
// command, which is built from this file alone so that it needs no library at run time.

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "virtual_mouse.h"

namespace mokta {

namespace {

constexpr std::size_t kMaxAnswer = 4096;

// Closes the descriptor when it goes out of scope.
struct Socket {
  int fd;
  ~Socket() {
    if (fd >= 0) close(fd);
  }
};

bool Fail(std::string* error, std::string what) {
  if (error != nullptr) *error = std::move(what);
  return false;
}

bool SendAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Reads up to the first newline, waiting at most until `deadline`.
bool ReadLine(int fd, std::chrono::steady_clock::time_point deadline, std::string& line,
              std::string* error) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return Fail(error, "no answer in time");
    pollfd p{fd, POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return Fail(error, ready == 0 ? "no answer in time" : std::strerror(errno));
    char chunk[512];
    const ssize_t n = recv(fd, chunk, sizeof(chunk), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Fail(error, "connection closed without an answer");
    line.append(chunk, static_cast<std::size_t>(n));
    if (const std::size_t end = line.find('\n'); end != std::string::npos) {
      line.resize(end);
      return true;
    }
    if (line.size() > kMaxAnswer) return Fail(error, "answer too long");
  }
}

}  // namespace

std::string DefaultControlPath() {
  if (const char* path = std::getenv("MOKTA_VIRTUAL_CONTROL"); path != nullptr && *path != 0) {
    return path;
  }
  if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir != nullptr && *dir != 0) {
    return std::string(dir) + "/mokta-virtual-mouse.sock";
  }
  return "/tmp/mokta-virtual-mouse-" + std::to_string(getuid()) + ".sock";
}

std::optional<std::string> SendControlCommand(const std::string& path, std::string_view command,
                                              std::string* error,
                                              std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof(address.sun_path)) {
    Fail(error, "socket path empty or too long");
    return std::nullopt;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  Socket socket_fd{socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)};
  if (socket_fd.fd < 0 ||
      connect(socket_fd.fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    Fail(error, std::strerror(errno));
    return std::nullopt;
  }
  // One command is one line: line breaks inside it become spaces.
  std::string line(command);
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  line.push_back('\n');
  std::string answer;
  if (!SendAll(socket_fd.fd, line)) {
    Fail(error, std::strerror(errno));
    return std::nullopt;
  }
  if (!ReadLine(socket_fd.fd, deadline, answer, error)) return std::nullopt;
  return answer;
}

}  // namespace mokta
