#pragma once

// Reads the device's input reports from its hidraw node on a thread of its own, through a
// duplicate of the descriptor the feature reports go out on: it reads that very node, and its
// non-blocking reads never hold up a write.
//
// Input report layout, the same as the mouse's Bluetooth LE notification:
//   [report id]   one byte, only when the device numbers its reports
//   event word    16 bits, little-endian
//   event value   16 bits, little-endian
// Bytes after these are ignored. Only the vendor-defined input reports the report descriptor
// declares are events, and only at their declared length: a report of another id (another
// collection of the same node), a cut or overlong one, or one too short to hold an event is
// dropped, so that stray bytes never reach the program as an event.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <thread>

#include "report_descriptor.h"

namespace mokta::hidraw {

struct InputEvent {
  std::uint16_t word = 0;
  std::uint16_t value = 0;

  friend bool operator==(const InputEvent&, const InputEvent&) = default;
};

// Decodes one report as read from hidraw; empty when it is not a vendor-defined input report of
// `descriptor` at its declared length, or when that report is too short to hold an event.
std::optional<InputEvent> DecodeInputReport(std::span<const std::uint8_t> report,
                                            const ReportDescriptorInfo& descriptor);

class InputReader {
 public:
  // Called on the reader's thread for each event; must return soon and must not call Stop.
  using Callback = std::function<void(InputEvent event)>;

  InputReader() = default;
  InputReader(const InputReader&) = delete;
  InputReader& operator=(const InputReader&) = delete;
  ~InputReader();

  // Starts the thread reading the open hidraw descriptor `fd`, whose report descriptor is
  // `descriptor`. Takes `fd` over in every case (it is closed on failure and by Stop); false
  // when the thread cannot be set up or the reader already runs.
  bool Start(int fd, const ReportDescriptorInfo& descriptor, Callback callback);

  // Stops the thread and closes the node; once it returns the callback is not called again.
  // Harmless when not started.
  void Stop();

  bool Running() const { return thread_.joinable(); }

  // True when the thread has ended by itself because the node hung up or failed (the device
  // went away); the node is stale then. False again after Stop.
  bool HungUp() const { return hung_up_.load(); }

 private:
  void Run();

  ReportDescriptorInfo descriptor_;
  Callback callback_;
  int fd_ = -1;
  int wake_fd_ = -1;
  std::thread thread_;
  std::atomic<bool> hung_up_{false};
};

}  // namespace mokta::hidraw
