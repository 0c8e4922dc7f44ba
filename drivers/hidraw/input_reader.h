#pragma once

// Reads the device's input reports from its hidraw node on a thread of its own, through a
// file descriptor of its own: feature reports go through the hidapi handle, so a read never
// waits behind a write and the two never share a handle.
//
// Input report layout, the same as the mouse's Bluetooth LE notification:
//   [report id]   one byte, only when the device numbers its reports (any id is accepted)
//   event word    16 bits, little-endian
//   event value   16 bits, little-endian
// Bytes after these are ignored; a shorter report is dropped.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <thread>

namespace mokta::hidraw {

struct InputEvent {
  std::uint16_t word = 0;
  std::uint16_t value = 0;

  friend bool operator==(const InputEvent&, const InputEvent&) = default;
};

// Decodes one report as read from hidraw; empty when it is too short to hold an event.
std::optional<InputEvent> DecodeInputReport(std::span<const std::uint8_t> report, bool numbered);

class InputReader {
 public:
  // Called on the reader's thread for each event; must return soon and must not call Stop.
  using Callback = std::function<void(InputEvent event)>;

  InputReader() = default;
  InputReader(const InputReader&) = delete;
  InputReader& operator=(const InputReader&) = delete;
  ~InputReader();

  // Opens `devnode` for reading and starts the thread. False when the node cannot be opened
  // or the reader already runs.
  bool Start(const std::string& devnode, bool numbered, Callback callback);

  // Stops the thread and closes the node; once it returns the callback is not called again.
  // Harmless when not started.
  void Stop();

  bool Running() const { return thread_.joinable(); }

  // True when the thread has ended by itself because the node hung up or failed (the device
  // went away); the handle is stale then.
  bool HungUp() const { return hung_up_.load(); }

 private:
  void Run();

  bool numbered_ = false;
  Callback callback_;
  int fd_ = -1;
  int wake_fd_ = -1;
  std::thread thread_;
  std::atomic<bool> hung_up_{false};
};

}  // namespace mokta::hidraw
