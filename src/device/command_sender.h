#pragma once

// Sending one command message to the mouse over the best link that is up: the cable, then the
// receiver while the mouse behind it is awake, then Bluetooth LE. Writes are paced by fixed
// sleeps, not by replies; the only reply is the receiver's acknowledgement event.
//
// Everything here runs on the apply worker thread, never on the UI thread.

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>

#include "device/command_protocol.h"
#include "device/link_fields.h"

namespace mokta {

// The device entries of one feature-report driver library (cable or receiver).
//
// The program takes no lock of its own around these calls: a removal or an arrival on the UI
// thread calls Close or Open while the worker may be inside SetFeature, and neither must wait
// for that write (a feature-report write can block for as long as the device takes to answer).
// The library serialises what it must, without holding across the write a lock that Open or
// Close take; a write cut off by a Close fails.
class FeatureDevice {
 public:
  virtual ~FeatureDevice() = default;
  // UI thread: opens the device; true when it is present and open.
  virtual bool Open() = 0;
  // UI thread: closes the device; harmless when it is not open.
  virtual void Close() = 0;
  // Worker thread: hands `report` (its first byte the command code) to the device as one
  // feature report; true when it was sent.
  virtual bool SetFeature(std::span<const std::uint8_t> report) = 0;
};

// The Bluetooth LE transport's write: one whole command message; true when the system
// accepted it. Worker thread.
class BleWriter {
 public:
  virtual ~BleWriter() = default;
  virtual bool WriteGatt(std::span<const std::uint8_t> message) = 0;
};

// The waits between writes. A sleeper can be stopped for shutdown: a stopped sleeper returns
// at once, and the sender makes no driver call once it is stopped.
class Sleeper {
 public:
  virtual ~Sleeper() = default;
  // Waits `ms`; false when the wait was cut short because the sleeper was stopped.
  virtual bool Sleep(std::chrono::milliseconds ms) = 0;
  virtual bool Stopped() const = 0;
};

// The real sleeper: waits on a condition variable so that `Stop` ends a wait at once.
class InterruptibleSleeper : public Sleeper {
 public:
  bool Sleep(std::chrono::milliseconds ms) override;
  bool Stopped() const override;
  // Any thread; permanent.
  void Stop();
  // How many threads wait in Sleep now. Any thread.
  int sleepers() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stopped_ = false;
  int sleepers_ = 0;
};

// What the apply pass hands its messages to. The link sender below is the real one; the
// command-line tool's dry run prints instead.
class CommandSender {
 public:
  virtual ~CommandSender() = default;
  // Sends one message; true when the mouse took it.
  virtual bool SendCommand(const CommandMessage& message) = 0;
};

// One 64-byte feature report.
using DeviceReport = std::array<std::uint8_t, 64>;

// Piece `index` (0..2) of a slot message: 0x09, 0x40 (0x0C for the receiver's last piece),
// the slot, the piece number, then 60 bytes of the 128-byte payload taken from byte 3 of the
// message (zero beyond it).
DeviceReport SlotMessageReport(const CommandMessage& message, int index, bool receiver);

// Pacing and retries of the links.
inline constexpr std::chrono::milliseconds kCableCommandWait{300};
inline constexpr std::chrono::milliseconds kCableReportWait{200};
inline constexpr std::chrono::milliseconds kReceiverWait{500};
inline constexpr int kCableAttempts = 5;
inline constexpr int kReceiverAttempts = 10;

class LinkCommandSender : public CommandSender {
 public:
  // Any of the three links may be missing (null): it is then never written. The referenced
  // objects outlive the sender.
  LinkCommandSender(LinkFields& links, FeatureDevice* cable, FeatureDevice* receiver,
                    BleWriter* ble, Sleeper& sleeper);

  // Link choice, retries and pacing:
  // - cable up: a slot message goes as three reports, 200 ms after each one accepted, and
  //   succeeds when all three were; any other message is tried up to 5 times, 300 ms after
  //   each try. The cable never falls back to another link.
  // - otherwise the receiver while the mouse behind it is awake: the acknowledgement flag is
  //   cleared, then up to 10 tries (a slot message: 10 cycles of its three reports), 500 ms
  //   after each write; an acknowledgement ends with success. Without one, Bluetooth LE is
  //   tried next.
  // - Bluetooth LE: the whole message in one write; the polling rate is refused there.
  // Returns false at once, without a driver call, once the sleeper is stopped.
  bool SendCommand(const CommandMessage& message) override;

 private:
  bool SendOverCable(const CommandMessage& message);
  bool SendOverReceiver(const CommandMessage& message);
  bool SendOverBle(const CommandMessage& message);
  bool Write(FeatureDevice& device, std::span<const std::uint8_t> bytes);

  LinkFields& links_;
  FeatureDevice* cable_;
  FeatureDevice* receiver_;
  BleWriter* ble_;
  Sleeper& sleeper_;
};

}  // namespace mokta
