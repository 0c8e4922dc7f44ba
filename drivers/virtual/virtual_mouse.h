#pragma once

// The virtual mouse: an emulated Mokta mouse that speaks the device's side of the command
// protocol on three links (USB cable, 2.4 GHz receiver, Bluetooth LE), keeps the settings the
// commands carry, reports events like the real mouse and takes faults on request.
//
// It is used two ways:
// - in-process, through `VirtualMouse` (tests make their own instances);
// - as the driver libraries libhiddriver_2.so (cable, also exporting the Bluetooth LE entries)
//   and libhiddriver_1.so (receiver), which both forward to `VirtualMouse::Shared()`, the one
//   mouse of the process.
//
// Environment read by `VirtualMouseOptions::FromEnvironment` (so by the shared mouse when it is
// first used):
//   MOKTA_VIRTUAL_START    the links and power at start, comma-separated key=value items:
//                          cable=0|1, receiver=0|1, ble=0|1, asleep=0|1, battery=0..100,
//                          charging=0|1, acks=0|1. Keys not given keep their default
//                          (cable=1,receiver=1,ble=0,asleep=0,battery=80,charging=0,acks=1).
//                          Example: "cable=0,receiver=1,ble=0,asleep=0".
//   MOKTA_VIRTUAL_BATTERY_MS  period of the battery reports in ms (default 3000; 0: none).
//   MOKTA_VIRTUAL_LOG      a file that gets one line per write the mouse took: the link
//                          ("cable", "receiver" or "ble"), a space, and the bytes as they came,
//                          upper-case hex separated by single spaces.
//   MOKTA_VIRTUAL_CONTROL  path of the control socket (default
//                          $XDG_RUNTIME_DIR/mokta-virtual-mouse.sock, without XDG_RUNTIME_DIR
//                          /tmp/mokta-virtual-mouse-<uid>.sock).
//
// Threads: every member may be called from any thread. The mouse runs two threads of its own
// while at least one monitor (cable, receiver or Bluetooth LE) is open: the battery reports
// and the control socket. Closing the last monitor stops both; after a monitor's close
// returns nothing more is posted to its window.
//
// Posts: a window's `post` is called without any lock of the mouse held except the one that
// orders deliveries; it must not call back into the mouse (the driver interface forbids it).

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "mokta_driver.h"

#define MOKTA_VIRTUAL_API __attribute__((visibility("default")))

namespace mokta {

enum class VirtualLink { kCable = 0, kReceiver = 1, kBle = 2 };
inline constexpr std::size_t kVirtualLinkCount = 3;

// "cable", "receiver" or "ble".
MOKTA_VIRTUAL_API const char* VirtualLinkName(VirtualLink link);

// The vendor/product pairs the mouse answers to.
inline constexpr std::int32_t kVirtualVendorId = 0x1D57;
inline constexpr std::int32_t kVirtualCableProductId = 0x214C;
inline constexpr std::int32_t kVirtualReceiverProductId = 0xFA60;

// Event words (marker 0xCC in the low byte).
inline constexpr std::uint16_t kVirtualStageEvent = 0x10CC;        // value: stage 1..8
inline constexpr std::uint16_t kVirtualPollingRateEvent = 0x20CC;  // value: interval in ms
inline constexpr std::uint16_t kVirtualBatteryEvent = 0x40CC;      // level << 8 | status
inline constexpr std::uint16_t kVirtualAckEvent = 0x50CC;          // value 0
inline constexpr std::uint16_t kVirtualLightingEvent = 0x70CC;     // effect (<< 4 over BLE)

// Battery status in the low byte of a battery event.
inline constexpr std::uint16_t kVirtualOnBattery = 1;
inline constexpr std::uint16_t kVirtualBatteryFull = 2;
inline constexpr std::uint16_t kVirtualCharging = 3;

inline constexpr std::size_t kVirtualSlotMessageSize = 111;
using VirtualSlotMessage = std::array<std::uint8_t, kVirtualSlotMessageSize>;
using VirtualTriple = std::array<std::uint8_t, 3>;

// One item of a slot message as the mouse reads it. Times are in the unit of the delays.
struct VirtualSlotItem {
  enum class Kind : std::uint8_t {
    kKey,       // a key or mouse button goes down or up, then `time` (1..127) passes
    kLongWait,  // a further wait of `time` x 100 (the time byte as sent, any value)
    kWait,      // a wait of `time` (1..127) after the last step of a recoil pattern
    kMove,      // after `time` (5..127), the pointer moves by x, y
  };
  Kind kind = Kind::kKey;
  std::uint8_t time = 0;
  std::uint8_t code = 0;  // kKey: HID keyboard usage 0x04..0xE7 or mouse button 0xF1..0xF5
  bool release = false;   // kKey
  std::int16_t x = 0;     // kMove
  std::int16_t y = 0;     // kMove

  friend bool operator==(const VirtualSlotItem&, const VirtualSlotItem&) = default;
};

// A slot message as the mouse reads it. A message whose repeat count byte is 0 continues the
// recoil pattern of the slot before it and carries no repeat bytes.
struct VirtualSlot {
  bool continuation = false;
  std::uint8_t repeat_mode = 0;  // 0..2; 0 on a continuation
  VirtualTriple extra{};         // bytes 4..6 as sent
  std::uint8_t repeat_count = 0;
  std::vector<VirtualSlotItem> items;  // the continuation item not included
  std::uint8_t next_slot = 0;          // the slot the pattern continues in, 0 for none

  friend bool operator==(const VirtualSlot&, const VirtualSlot&) = default;
};

// The links and power of a fresh mouse.
struct VirtualStart {
  bool cable = true;
  bool receiver = true;
  bool ble = false;
  bool asleep = false;
  int battery = 80;  // percent
  bool charging = false;
  bool acks = true;
};

// Reads the MOKTA_VIRTUAL_START format into `start`, item by item. Items that are not
// understood are skipped; the first such item is described in `error` (when given) and the
// result is false.
MOKTA_VIRTUAL_API bool ParseVirtualStart(std::string_view text, VirtualStart& start,
                                         std::string* error);

struct VirtualMouseOptions {
  VirtualStart start;
  std::chrono::milliseconds battery_period{3000};  // 0: no periodic battery reports
  std::string log_path;                            // empty: no write log
  std::string control_path;                        // empty: no control socket

  // From the MOKTA_VIRTUAL_* variables; problems are reported on standard error.
  MOKTA_VIRTUAL_API static VirtualMouseOptions FromEnvironment();
};

// What the commands set, as they carried it. A fresh mouse holds the factory settings, which
// are those of the default profile.
struct VirtualMouseSettings {
  // 0x04
  std::array<std::uint16_t, 8> dpi{};           // DPI of each stage, as sent
  std::uint8_t stage_mask = 0;                  // bit i: stage i enabled
  std::array<VirtualTriple, 8> stage_colors{};  // red, green, blue
  std::uint8_t active_stage = 0;                // 1..8 as sent (stage index + 1)
  std::uint8_t angle_snap = 0;
  std::uint8_t ripple = 0;
  // 0x05
  std::uint8_t light_effect = 0;  // 0..15
  // Low nibble of the brightness byte: the brightness under effects 1 and 9, 8 otherwise.
  std::uint8_t brightness = 0;
  std::uint8_t breath_code = 0;  // as sent: 9 - breathing speed
  VirtualTriple light_color{};   // red, green, blue
  std::uint8_t light_off = 0;
  std::uint8_t sleep_timer = 0;  // both nibbles joined again
  std::uint8_t debounce = 0;
  // 0x06
  std::uint8_t polling_rate = 0;  // index 0..3 (0x41..0x44 on the wire)
  // 0x08: the three bytes of buttons 0..17
  std::array<VirtualTriple, 18> buttons{};
  // 0x09: the whole message last stored in each slot, and what the mouse read from it
  std::map<std::uint8_t, VirtualSlotMessage> slot_messages;
  std::map<std::uint8_t, VirtualSlot> slot_contents;

  friend bool operator==(const VirtualMouseSettings&, const VirtualMouseSettings&) = default;

  int breathing_speed() const { return 9 - breath_code; }
  int active_stage_index() const { return active_stage - 1; }
  // Report interval in ms for the polling rate: 8, 4, 2, 1.
  int polling_interval_ms() const { return 8 >> (polling_rate & 3); }
};

struct VirtualMouseLinks {
  bool cable_plugged = false;
  bool receiver_plugged = false;
  bool ble_connected = false;
  bool asleep = false;
  bool cable_open = false;  // Open_FeatureDevice succeeded and no close or unplug since
  bool receiver_open = false;
  int battery = 0;
  bool charging = false;
  bool acks = true;
  int fail_next = 0;  // writes still to fail
};

// Per link, indexed by VirtualLink.
struct VirtualMouseCounters {
  // Writes the mouse took (the call returned non-zero), well-formed or not; one per report.
  std::array<int, kVirtualLinkCount> accepted{};
  // Messages rejected by the checks, and writes too broken to read (null, empty, oversized).
  std::array<int, kVirtualLinkCount> malformed{};
  // Whole well-formed messages the mouse acted on (a slot message counts once).
  std::array<int, kVirtualLinkCount> applied{};
  int failed = 0;              // writes failed on request
  int open_commands = 0;       // 0x0C messages applied
  std::string last_malformed;  // "<link>: <reason>" of the last rejection

  friend bool operator==(const VirtualMouseCounters&, const VirtualMouseCounters&) = default;
};

struct VirtualMouseState {
  VirtualMouseLinks links;
  VirtualMouseSettings settings;
  VirtualMouseCounters counters;
};

class MOKTA_VIRTUAL_API VirtualMouse {
 public:
  explicit VirtualMouse(VirtualMouseOptions options = {});
  ~VirtualMouse();  // stops the mouse's threads; posts nothing afterwards
  VirtualMouse(const VirtualMouse&) = delete;
  VirtualMouse& operator=(const VirtualMouse&) = delete;

  // The mouse behind the driver libraries: made on first use with the environment's options.
  static VirtualMouse& Shared();

  // --- The driver side. The feature calls take kCable or kReceiver (kBle gets 0). ---

  // Records the pair the library drives; the device opens only for its link's own pair.
  // Returns 1 when the pair is the link's own.
  std::int32_t SetVidPid(VirtualLink link, std::int32_t vendor_id, std::int32_t product_id);
  // Starts posting to `window` (copied): the status message on plug/unplug, the data message
  // for events. Returns 0 for a null window or post.
  std::int32_t OpenMonitor(VirtualLink link, const MoktaWindow* window, std::uint32_t data_message,
                           std::uint32_t status_message);
  // 1 when the link is plugged and its pair was set; the device then stays open until closed
  // or unplugged.
  std::int32_t OpenFeatureDevice(VirtualLink link);
  std::int32_t CloseFeatureDevice(VirtualLink link);
  // One report, checked and acted on. Returns 0 when the device is not open, a failure was
  // requested, or the report cannot be read at all (null, length 0, over 64); otherwise 1,
  // also for a report that fails the checks (counted as malformed, nothing changes).
  std::int32_t SetFeature(VirtualLink link, const std::uint8_t* report, std::int32_t length);
  std::int32_t CloseMonitor(VirtualLink link);
  // Bluetooth LE: the monitor's return is 1 when connected now; writes take whole messages
  // while connected, with the same result rules as SetFeature (at most 512 bytes).
  std::int32_t BleOpen(const MoktaWindow* window, std::uint32_t presence_message,
                       std::uint32_t event_message);
  std::int32_t BleWrite(const std::uint8_t* message, std::int32_t length);
  std::int32_t BleClose();

  // --- The user's side: what happens to the mouse. Each posts what the real one would. ---

  // Plugs or unplugs the cable or the receiver (kBle: use SetBleConnected). An unplugged
  // device closes; the monitor gets MOKTA_DEVICE_ARRIVED / MOKTA_DEVICE_REMOVED.
  void Plug(VirtualLink link, bool plugged);
  // Asleep: no battery reports except on the cable, and the receiver's commands are lost
  // (its writes still succeed). Waking reports the battery at once.
  void SetAsleep(bool asleep);
  void SetBleConnected(bool connected);
  // Moves to the next enabled stage and reports it on the road in use: the cable when
  // plugged, else the receiver while awake, else Bluetooth LE. False when no stage is enabled.
  bool PressDpiButton();
  // Changes made on the mouse, reported like the stage. False for a value out of range.
  bool ChangePollingRate(int index);  // 0..3
  bool ChangeLighting(int effect);    // 0..15
  // Battery level (0..100) and charging; each reports the battery at once.
  bool SetBattery(int level);
  void SetCharging(bool charging);
  void SetAcks(bool acks);
  // The next `count` writes that would reach the mouse (any link) return 0 and are not taken.
  bool FailNextWrites(int count);  // 0..1000000
  // Posts one battery report now on the battery road: the cable (charging, or full at 100%),
  // else the receiver or Bluetooth LE while awake.
  void ReportBattery();

  // --- For tests that share one mouse (Shared()) and want it as a fresh one holds it. ---

  // Back to the factory settings; a slot message half received is dropped. The links, power,
  // battery, acknowledgements and requested failures stay as they are. Posts nothing.
  void ResetSettings();
  // Every counter back to zero.
  void ResetCounters();
  // How many of the mouse's own threads (battery reports, control socket) run now: none once
  // the last monitor has closed.
  int RunningThreads() const;

  VirtualMouseState State() const;
  // Runs one control command line; returns its one-line answer, "ok ..." or "error ...".
  std::string Control(std::string_view line);
  // The control socket's path while it is listening, else empty.
  std::string ControlSocketPath() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

// The control socket path for the current environment (see MOKTA_VIRTUAL_CONTROL).
MOKTA_VIRTUAL_API std::string DefaultControlPath();

// Sends one command line to the control socket at `path` and returns the answer line (without
// its newline), or nothing with a reason in `error` when no mouse answered within `timeout`.
MOKTA_VIRTUAL_API std::optional<std::string> SendControlCommand(
    const std::string& path, std::string_view command, std::string* error,
    std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));

}  // namespace mokta
