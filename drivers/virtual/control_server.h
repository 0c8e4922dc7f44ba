#pragma once

// The control socket: a Unix stream socket that takes one text command per line and answers
// each with one line. Serves on a thread of its own until destroyed.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "virtual_mouse.h"

namespace mokta::virtual_detail {

// Turns one command line (without its newline) into one answer line (without newline).
using ControlHandler = std::function<std::string(std::string_view line)>;

// The framing of one connection's byte stream, apart from the socket: a command ends with "\n"
// (a "\r" before it is dropped), and a command still without its end after kMaxLine bytes ends
// the connection.
class MOKTA_VIRTUAL_API ControlStream {
 public:
  static constexpr std::size_t kMaxLine = 256;

  // Takes bytes as they arrived, in pieces of any size, and appends to `answers` the answer of
  // every command they complete, in order. False when the connection is to be closed; the last
  // answer then says why.
  bool Take(std::string_view bytes, const ControlHandler& handler,
            std::vector<std::string>& answers);
  // The client closed its side: a last command without its newline still counts.
  void Finish(const ControlHandler& handler, std::vector<std::string>& answers);

 private:
  std::string buffer_;
};

class ControlServer {
 public:
  // Called on the server's thread.
  using Handler = ControlHandler;

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
