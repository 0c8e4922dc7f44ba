#pragma once

// The control socket: a Unix stream socket that takes one text command per line and answers
// each with one line. Serves on a thread of its own until destroyed.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

namespace mokta::virtual_detail {

class ControlServer {
 public:
  // Turns one command line (without its newline) into one answer line (without newline).
  // Called on the server's thread.
  using Handler = std::function<std::string(std::string_view line)>;

  // Listens on `path` and serves on a new thread. A stale socket file at `path` is replaced;
  // a path where another server answers, or that is not a socket, is left alone. Returns null
  // (with the reason on standard error) when the socket cannot be made.
  static std::unique_ptr<ControlServer> Start(const std::string& path, Handler handler);

  // Stops the thread, closes every connection and removes the socket file.
  ~ControlServer();

  const std::string& path() const { return path_; }

 private:
  ControlServer(std::string path, int listen_fd, int wake_read, int wake_write, Handler handler);
  void Serve();

  std::string path_;
  int listen_fd_;
  int wake_read_;
  int wake_write_;
  Handler handler_;
  std::thread thread_;
};

}  // namespace mokta::virtual_detail
