#include "device/command_sender.h"

#include <algorithm>

namespace mokta {

namespace {

constexpr int kSlotReports = 3;
constexpr std::size_t kReportHeader = 4;  // code, marker, slot, piece number
constexpr std::size_t kReportPayload = std::tuple_size_v<DeviceReport> - kReportHeader;  // 60
constexpr std::size_t kPayloadStart = 3;  // payload bytes come from the message's byte 3 on
constexpr std::uint8_t kReportMarker = 0x40;
constexpr std::uint8_t kReceiverLastReportMarker = 0x0C;

constexpr std::chrono::milliseconds kLongestSleep = std::chrono::hours(24);

}  // namespace

bool InterruptibleSleeper::Sleep(std::chrono::milliseconds ms) {
  // Capped so that the clock arithmetic of the wait cannot overflow; no caller waits that long.
  ms = std::min(ms, kLongestSleep);
  std::unique_lock lock(mutex_);
  ++sleepers_;
  const bool stopped = wake_.wait_for(lock, ms, [this] { return stopped_; });
  --sleepers_;
  return !stopped;
}

bool InterruptibleSleeper::Stopped() const {
  std::lock_guard lock(mutex_);
  return stopped_;
}

int InterruptibleSleeper::sleepers() const {
  std::lock_guard lock(mutex_);
  return sleepers_;
}

void InterruptibleSleeper::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopped_ = true;
  }
  wake_.notify_all();
}

DeviceReport SlotMessageReport(const CommandMessage& message, int index, bool receiver) {
  DeviceReport report{};
  const bool last = index == kSlotReports - 1;
  report[0] = kCommandSlot;
  report[1] = receiver && last ? kReceiverLastReportMarker : kReportMarker;
  report[2] = message.bytes[2];
  report[3] = static_cast<std::uint8_t>(index);
  if (index < 0 || index >= kSlotReports) return report;
  // Only the message's own bytes travel; the rest of the 128-byte payload is zero whatever the
  // buffer holds behind the message.
  const std::size_t end = std::min(message.length, CommandMessage::kBufferSize);
  const std::size_t from = kPayloadStart + kReportPayload * static_cast<std::size_t>(index);
  if (from < end) {
    const std::size_t n = std::min(kReportPayload, end - from);
    std::copy_n(message.bytes.begin() + from, n, report.begin() + kReportHeader);
  }
  return report;
}

LinkCommandSender::LinkCommandSender(LinkFields& links, FeatureDevice* cable,
                                     FeatureDevice* receiver, BleWriter* ble, Sleeper& sleeper)
    : links_(links), cable_(cable), receiver_(receiver), ble_(ble), sleeper_(sleeper) {}

bool LinkCommandSender::SendCommand(const CommandMessage& message) {
  if (sleeper_.Stopped()) return false;
  if (links_.wired_state.load() == kLinkConnected) {
    // The cable never falls back to another link, not even when its driver is missing.
    return cable_ != nullptr && SendOverCable(message);
  }
  if (receiver_ != nullptr && links_.wireless_state.load() == kLinkConnected &&
      links_.wireless_awake.load() == 1) {
    if (SendOverReceiver(message)) return true;
  }
  if (links_.ble_state.load() == 1) return SendOverBle(message);
  return false;
}

// A slot message goes as three reports, each waited for only when it was accepted; the send
// succeeds when all three were. Any other message gets up to five tries.
bool LinkCommandSender::SendOverCable(const CommandMessage& message) {
  if (message.code() == kCommandSlot) {
    bool all_accepted = true;
    for (int r = 0; r < kSlotReports; ++r) {
      const DeviceReport report = SlotMessageReport(message, r, false);
      if (Write(*cable_, report)) {
        if (!sleeper_.Sleep(kCableReportWait)) return false;
      } else {
        all_accepted = false;
      }
    }
    return all_accepted;
  }
  for (int attempt = 0; attempt < kCableAttempts; ++attempt) {
    const bool sent = Write(*cable_, message.view());
    if (!sleeper_.Sleep(kCableCommandWait)) return false;
    if (sent) return true;
  }
  return false;
}

// The receiver's own result says nothing: only its acknowledgement counts. The flag is
// cleared first so that an acknowledgement of an earlier command is not taken for this one.
bool LinkCommandSender::SendOverReceiver(const CommandMessage& message) {
  links_.ack_received.store(0);
  const auto acknowledged = [this] { return links_.ack_received.load() != 0; };
  if (message.code() == kCommandSlot) {
    for (int cycle = 0; cycle < kReceiverAttempts; ++cycle) {
      for (int r = 0; r < kSlotReports; ++r) {
        const DeviceReport report = SlotMessageReport(message, r, true);
        Write(*receiver_, report);
        if (!sleeper_.Sleep(kReceiverWait)) return false;
      }
      if (acknowledged()) return true;
    }
    return false;
  }
  for (int attempt = 0; attempt < kReceiverAttempts; ++attempt) {
    if (acknowledged()) return true;
    Write(*receiver_, message.view());
    if (!sleeper_.Sleep(kReceiverWait)) return false;
  }
  return acknowledged();
}

// The whole message in one write, header included. The polling rate is never sent over this
// link. Reached after the receiver's waits, so a stop during those ends the send here.
bool LinkCommandSender::SendOverBle(const CommandMessage& message) {
  if (message.code() == kCommandPollingRate || ble_ == nullptr) return false;
  if (sleeper_.Stopped()) return false;
  return ble_->WriteGatt(message.view());
}

// One feature report, or nothing once the sleeper is stopped (false then).
bool LinkCommandSender::Write(FeatureDevice& device, std::span<const std::uint8_t> bytes) {
  if (sleeper_.Stopped()) return false;
  return device.SetFeature(bytes);
}

}  // namespace mokta
