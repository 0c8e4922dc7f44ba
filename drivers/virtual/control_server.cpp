#include "control_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace mokta::virtual_detail {

namespace {

constexpr std::size_t kMaxClients = 8;

void Complain(const std::string& path, const char* what) {
  std::fprintf(stderr, "mokta-virtual-mouse: no control socket at %s: %s\n", path.c_str(), what);
}

bool FillAddress(const std::string& path, sockaddr_un& address) {
  address = {};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof(address.sun_path)) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

// True when a server answers at `address`.
bool SomeoneListens(const sockaddr_un& address) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool listening =
      connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
  close(fd);
  return listening;
}

// Clears the way for a new socket at `path`: nothing there, or a socket nobody serves.
const char* ClaimPath(const std::string& path, const sockaddr_un& address) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return errno == ENOENT ? nullptr : "cannot inspect path";
  if (!S_ISSOCK(info.st_mode)) return "path exists and is not a socket";
  if (SomeoneListens(address)) return "another virtual mouse is listening there";
  return unlink(path.c_str()) == 0 ? nullptr : "cannot remove the stale socket";
}

void SendLine(int fd, std::string line) {
  line.push_back('\n');
  // Non-blocking: a client that does not read its answers loses them instead of stalling
  // the server.
  [[maybe_unused]] const ssize_t sent = send(fd, line.data(), line.size(), MSG_NOSIGNAL);
}

void SendLines(int fd, std::vector<std::string>& lines) {
  for (std::string& line : lines) SendLine(fd, std::move(line));
  lines.clear();
}

struct Client {
  int fd;
  ControlStream stream;
};

// Reads what the client sent and answers every complete line. False when the connection is
// to be closed.
bool ServeClient(Client& client, const ControlServer::Handler& handler) {
  char chunk[512];
  const ssize_t n = recv(client.fd, chunk, sizeof(chunk), 0);
  if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
  std::vector<std::string> answers;
  if (n == 0) {
    client.stream.Finish(handler, answers);
    SendLines(client.fd, answers);
    return false;
  }
  const bool open =
      client.stream.Take(std::string_view(chunk, static_cast<std::size_t>(n)), handler, answers);
  SendLines(client.fd, answers);
  return open;
}

}  // namespace

bool ControlStream::Take(std::string_view bytes, const ControlHandler& handler,
                         std::vector<std::string>& answers) {
  buffer_.append(bytes);
  std::size_t end;
  while ((end = buffer_.find('\n')) != std::string::npos) {
    std::string line = buffer_.substr(0, end);
    buffer_.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    answers.push_back(handler(line));
  }
  if (buffer_.size() > kMaxLine) {
    answers.emplace_back("error line too long");
    return false;
  }
  return true;
}

void ControlStream::Finish(const ControlHandler& handler, std::vector<std::string>& answers) {
  if (!buffer_.empty()) answers.push_back(handler(buffer_));
  buffer_.clear();
}

std::unique_ptr<ControlServer> ControlServer::Start(const std::string& path, Handler handler) {
  sockaddr_un address;
  if (!FillAddress(path, address)) {
    Complain(path, "path empty or too long");
    return nullptr;
  }
  if (const char* problem = ClaimPath(path, address)) {
    Complain(path, problem);
    return nullptr;
  }
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  const bool bound =
      fd >= 0 && bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
  int wake[2] = {-1, -1};
  // Only the owner may drive the mouse.
  if (!bound || chmod(path.c_str(), 0600) != 0 || listen(fd, static_cast<int>(kMaxClients)) != 0 ||
      pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    const int error = errno;
    if (fd >= 0) close(fd);
    if (bound) unlink(path.c_str());
    Complain(path, std::strerror(error));
    return nullptr;
  }
  return std::unique_ptr<ControlServer>(
      new ControlServer(path, fd, wake[0], wake[1], std::move(handler)));
}

ControlServer::ControlServer(std::string path, int listen_fd, int wake_read, int wake_write,
                             Handler handler)
    : path_(std::move(path)),
      listen_fd_(listen_fd),
      wake_read_(wake_read),
      wake_write_(wake_write),
      handler_(std::move(handler)) {
  thread_ = std::thread([this] { Serve(); });
}

ControlServer::~ControlServer() {
  const char stop = 1;
  [[maybe_unused]] const ssize_t written = write(wake_write_, &stop, 1);
  thread_.join();
  close(listen_fd_);
  close(wake_read_);
  close(wake_write_);
  unlink(path_.c_str());
}

void ControlServer::Serve() {
  std::vector<Client> clients;
  std::vector<pollfd> fds;
  for (;;) {
    fds.clear();
    fds.push_back({wake_read_, POLLIN, 0});
    fds.push_back({listen_fd_, POLLIN, 0});
    for (const Client& c : clients) fds.push_back({c.fd, POLLIN, 0});
    if (poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents != 0) break;
    // Clients first, from the back, so that erasing keeps the remaining indexes valid.
    for (std::size_t i = clients.size(); i-- > 0;) {
      if (fds[2 + i].revents == 0) continue;
      if (!ServeClient(clients[i], handler_)) {
        close(clients[i].fd);
        clients.erase(clients.begin() + static_cast<std::ptrdiff_t>(i));
      }
    }
    if ((fds[1].revents & POLLIN) != 0) {
      const int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (fd >= 0 && clients.size() < kMaxClients) {
        clients.push_back({fd, ControlStream()});
      } else if (fd >= 0) {
        SendLine(fd, "error too many connections");
        close(fd);
      }
    }
  }
  for (const Client& c : clients) close(c.fd);
}

}  // namespace mokta::virtual_detail
