#include "virtual_mouse.h"

#include <fcntl.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "control_commands.h"
#include "control_server.h"
#include "mouse_messages.h"

namespace mokta {

using virtual_detail::kReportSize;
using virtual_detail::SlotReassembly;

namespace {

constexpr std::int32_t kMaxBleWrite = 512;
constexpr int kMaxFailCount = 1000000;
constexpr int kStages = 8;

constexpr std::size_t Index(VirtualLink link) {
  return static_cast<std::size_t>(link);
}

// One monitor: the cable's, the receiver's or the Bluetooth LE one. For Bluetooth LE the data
// message is the event message and the status message the presence message.
struct Monitor {
  bool open = false;
  std::uint64_t generation = 0;  // changes on every open and close
  MoktaWindow window{};
  std::uint32_t data_message = 0;
  std::uint32_t status_message = 0;
};

// A post collected under the state lock and delivered after it was released; dropped when its
// monitor closed or reopened in between.
struct Post {
  std::size_t monitor;
  std::uint64_t generation;
  MoktaWindow window;
  std::uint32_t message;
  std::uintptr_t wparam;
  std::intptr_t lparam;
};
using Posts = std::vector<Post>;

struct FeatureLink {
  std::int32_t vendor_id = -1;
  std::int32_t product_id = -1;
  SlotReassembly reassembly;
};

std::int32_t OwnProductId(VirtualLink link) {
  return link == VirtualLink::kCable ? kVirtualCableProductId : kVirtualReceiverProductId;
}

}  // namespace

// Not exported, unlike the class it serves.
class __attribute__((visibility("hidden"))) VirtualMouse::Impl {
 public:
  Impl(VirtualMouse& owner, VirtualMouseOptions options);
  ~Impl();
  // Stops the threads, which call back into the owner; done before the owner goes.
  void Shutdown();

  // Runs `change(posts)` under the state lock, then delivers what it queued.
  template <typename Change>
  bool Apply(Change&& change) {
    Posts posts;
    bool result;
    {
      std::lock_guard lock(mutex_);
      result = change(posts);
    }
    Deliver(posts);
    return result;
  }

  std::int32_t OpenMonitor(std::size_t monitor, const MoktaWindow& window,
                           std::uint32_t data_message, std::uint32_t status_message);
  std::int32_t CloseMonitor(std::size_t monitor);
  std::int32_t Write(VirtualLink link, const std::uint8_t* data, std::int32_t length);

  // Under the state lock.
  VirtualMouseState& state() { return state_; }
  FeatureLink& feature(VirtualLink link) { return feature_[Index(link)]; }
  bool& plugged(VirtualLink link) {
    return link == VirtualLink::kCable ? state_.links.cable_plugged : state_.links.receiver_plugged;
  }
  bool& opened(VirtualLink link) {
    return link == VirtualLink::kCable ? state_.links.cable_open : state_.links.receiver_open;
  }
  void QueueEvent(Posts& posts, VirtualLink road, std::uint16_t word, std::uint16_t value);
  void QueueStatus(Posts& posts, VirtualLink link, std::uintptr_t wparam);
  void QueueOnEventRoad(Posts& posts, std::uint16_t word, std::uint16_t value,
                        std::uint16_t ble_value);
  void QueueBattery(Posts& posts);

  VirtualMouseState Snapshot() const {
    std::lock_guard lock(mutex_);
    return state_;
  }
  std::string ControlPath() const {
    std::lock_guard lock(mutex_);
    return control_path_;
  }
  int RunningThreads() const {
    std::lock_guard life(lifecycle_mutex_);
    return (battery_thread_.joinable() ? 1 : 0) + (control_ ? 1 : 0);
  }

 private:
  std::int32_t Take(VirtualLink link, std::span<const std::uint8_t> bytes, Posts& posts);
  void TakeSlotReport(VirtualLink link, std::span<const std::uint8_t, kReportSize> report,
                      Posts& posts);
  void Act(VirtualLink link, std::span<const std::uint8_t> message, Posts& posts);
  void Reject(VirtualLink link, const char* reason);
  void Log(VirtualLink link, std::span<const std::uint8_t> bytes);
  std::optional<VirtualLink> EventRoad() const;

  void Deliver(const Posts& posts);
  void WaitForDeliveries() { std::lock_guard order(delivery_mutex_); }
  void StartThreads();
  void StopThreads();
  void BatteryLoop();

  VirtualMouse& owner_;
  const VirtualMouseOptions options_;

  // The state lock: everything below up to the delivery lock.
  mutable std::mutex mutex_;
  VirtualMouseState state_;
  std::array<FeatureLink, 2> feature_;
  std::array<Monitor, kVirtualLinkCount> monitors_;
  int open_monitors_ = 0;
  std::string control_path_;
  int log_fd_ = -1;

  // Held while posts are delivered, so that a monitor's close can wait for a delivery under
  // way. Taken before the state lock, never while holding it.
  std::mutex delivery_mutex_;
  // Serialises the start and stop of the threads; the threads themselves never take it.
  mutable std::mutex lifecycle_mutex_;
  std::unique_ptr<virtual_detail::ControlServer> control_;
  std::thread battery_thread_;
  std::mutex battery_mutex_;
  std::condition_variable battery_wake_;
  bool battery_stop_ = false;
};

VirtualMouse::Impl::Impl(VirtualMouse& owner, VirtualMouseOptions options)
    : owner_(owner), options_(std::move(options)) {
  const VirtualStart& start = options_.start;
  VirtualMouseLinks& links = state_.links;
  links.cable_plugged = start.cable;
  links.receiver_plugged = start.receiver;
  links.ble_connected = start.ble;
  links.asleep = start.asleep;
  links.battery = start.battery;
  links.charging = start.charging;
  links.acks = start.acks;
  state_.settings = virtual_detail::FactorySettings();
  if (!options_.log_path.empty()) {
    log_fd_ = open(options_.log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (log_fd_ < 0) {
      std::fprintf(stderr, "mokta-virtual-mouse: cannot open the log %s: %s\n",
                   options_.log_path.c_str(), std::strerror(errno));
    }
  }
}

VirtualMouse::Impl::~Impl() {
  if (log_fd_ >= 0) close(log_fd_);
}

void VirtualMouse::Impl::Shutdown() {
  std::lock_guard life(lifecycle_mutex_);
  StopThreads();
}

std::int32_t VirtualMouse::Impl::OpenMonitor(std::size_t monitor, const MoktaWindow& window,
                                             std::uint32_t data_message,
                                             std::uint32_t status_message) {
  std::lock_guard life(lifecycle_mutex_);
  bool first = false;
  {
    std::lock_guard lock(mutex_);
    Monitor& m = monitors_[monitor];
    if (!m.open) first = ++open_monitors_ == 1;
    m.open = true;
    ++m.generation;
    m.window = window;
    m.data_message = data_message;
    m.status_message = status_message;
  }
  // A delivery to the window this one replaces ends before the caller goes on.
  WaitForDeliveries();
  if (first) StartThreads();
  return 1;
}

std::int32_t VirtualMouse::Impl::CloseMonitor(std::size_t monitor) {
  std::lock_guard life(lifecycle_mutex_);
  bool last = false;
  {
    std::lock_guard lock(mutex_);
    Monitor& m = monitors_[monitor];
    if (m.open) {
      m.open = false;
      ++m.generation;
      last = --open_monitors_ == 0;
    }
  }
  WaitForDeliveries();
  if (last) StopThreads();
  return 1;
}

std::int32_t VirtualMouse::Impl::Write(VirtualLink link, const std::uint8_t* data,
                                       std::int32_t length) {
  const std::int32_t max = link == VirtualLink::kBle ? kMaxBleWrite : kReportSize;
  const bool readable = data != nullptr && length > 0 && length <= max;
  const std::span<const std::uint8_t> bytes =
      readable ? std::span(data, static_cast<std::size_t>(length))
               : std::span<const std::uint8_t>();
  std::int32_t taken = 0;
  Apply([&](Posts& posts) {
    taken = Take(link, bytes, posts);
    return true;
  });
  return taken;
}

// Under the state lock. `bytes` is empty for a write that cannot be read.
std::int32_t VirtualMouse::Impl::Take(VirtualLink link, std::span<const std::uint8_t> bytes,
                                      Posts& posts) {
  VirtualMouseLinks& links = state_.links;
  const bool reachable =
      link == VirtualLink::kBle ? links.ble_connected : plugged(link) && opened(link);
  if (!reachable) return 0;
  if (links.fail_next > 0) {
    --links.fail_next;
    ++state_.counters.failed;
    return 0;
  }
  if (bytes.empty()) {
    Reject(link, "unreadable write");
    return 0;
  }
  ++state_.counters.accepted[Index(link)];
  Log(link, bytes);
  // The receiver takes the report, but a sleeping mouse never hears it.
  if (link == VirtualLink::kReceiver && links.asleep) return 1;
  if (link != VirtualLink::kBle && bytes[0] == virtual_detail::kSlotCode &&
      bytes.size() == kReportSize) {
    TakeSlotReport(link, bytes.first<kReportSize>(), posts);
  } else if (const char* reason = virtual_detail::CheckMessage(bytes)) {
    Reject(link, reason);
  } else {
    Act(link, bytes, posts);
  }
  return 1;
}

void VirtualMouse::Impl::TakeSlotReport(VirtualLink link,
                                        std::span<const std::uint8_t, kReportSize> report,
                                        Posts& posts) {
  const SlotReassembly::Result result =
      feature(link).reassembly.Feed(report, link == VirtualLink::kReceiver);
  if (result.abandoned) Reject(link, "slot message cut short");
  switch (result.outcome) {
    case SlotReassembly::Outcome::kPending:
      break;
    case SlotReassembly::Outcome::kMalformed:
      Reject(link, result.reason);
      break;
    case SlotReassembly::Outcome::kComplete:
      Act(link, result.message, posts);
      break;
  }
}

void VirtualMouse::Impl::Act(VirtualLink link, std::span<const std::uint8_t> message,
                             Posts& posts) {
  virtual_detail::ApplyMessage(state_.settings, message);
  if (message[0] == virtual_detail::kOpenCode) ++state_.counters.open_commands;
  ++state_.counters.applied[Index(link)];
  if (link == VirtualLink::kReceiver && state_.links.acks) {
    QueueEvent(posts, VirtualLink::kReceiver, kVirtualAckEvent, 0);
  }
}

void VirtualMouse::Impl::Reject(VirtualLink link, const char* reason) {
  ++state_.counters.malformed[Index(link)];
  state_.counters.last_malformed = std::string(VirtualLinkName(link)) + ": " + reason;
}

// One write() per line, so that each line lands whole at the end of the file even when
// another process appends too.
void VirtualMouse::Impl::Log(VirtualLink link, std::span<const std::uint8_t> bytes) {
  if (log_fd_ < 0) return;
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string line = VirtualLinkName(link);
  line.reserve(line.size() + 3 * bytes.size() + 1);
  for (std::uint8_t b : bytes) {
    line += ' ';
    line += kHex[b >> 4];
    line += kHex[b & 0x0F];
  }
  line += '\n';
  [[maybe_unused]] const ssize_t written = write(log_fd_, line.data(), line.size());
}

// The road the mouse reports on: the cable when plugged, else the receiver while the mouse is
// awake, else Bluetooth LE.
std::optional<VirtualLink> VirtualMouse::Impl::EventRoad() const {
  const VirtualMouseLinks& links = state_.links;
  if (links.cable_plugged) return VirtualLink::kCable;
  if (links.receiver_plugged && !links.asleep) return VirtualLink::kReceiver;
  if (links.ble_connected) return VirtualLink::kBle;
  return std::nullopt;
}

void VirtualMouse::Impl::QueueEvent(Posts& posts, VirtualLink road, std::uint16_t word,
                                    std::uint16_t value) {
  const Monitor& m = monitors_[Index(road)];
  if (!m.open) return;
  posts.push_back({Index(road), m.generation, m.window, m.data_message, word, value});
}

void VirtualMouse::Impl::QueueStatus(Posts& posts, VirtualLink link, std::uintptr_t wparam) {
  const Monitor& m = monitors_[Index(link)];
  if (!m.open) return;
  posts.push_back({Index(link), m.generation, m.window, m.status_message, wparam, 0});
}

void VirtualMouse::Impl::QueueOnEventRoad(Posts& posts, std::uint16_t word, std::uint16_t value,
                                          std::uint16_t ble_value) {
  if (const auto road = EventRoad()) {
    QueueEvent(posts, *road, word, *road == VirtualLink::kBle ? ble_value : value);
  }
}

// On the cable the mouse charges (full at 100%); a sleeping mouse reports nowhere else.
void VirtualMouse::Impl::QueueBattery(Posts& posts) {
  const VirtualMouseLinks& links = state_.links;
  const auto road = EventRoad();
  if (!road || (*road != VirtualLink::kCable && links.asleep)) return;
  const bool full = links.battery >= 100;
  const bool charging = *road == VirtualLink::kCable || links.charging;
  const std::uint16_t status = !charging ? kVirtualOnBattery
                               : full    ? kVirtualBatteryFull
                                         : kVirtualCharging;
  QueueEvent(posts, *road, kVirtualBatteryEvent,
             static_cast<std::uint16_t>((links.battery << 8) | status));
}

void VirtualMouse::Impl::Deliver(const Posts& posts) {
  if (posts.empty()) return;
  std::lock_guard order(delivery_mutex_);
  for (const Post& p : posts) {
    bool current;
    {
      std::lock_guard lock(mutex_);
      const Monitor& m = monitors_[p.monitor];
      current = m.open && m.generation == p.generation;
    }
    if (current) p.window.post(p.window.context, p.message, p.wparam, p.lparam);
  }
}

// Lifecycle lock held.
void VirtualMouse::Impl::StartThreads() {
  if (options_.battery_period.count() > 0) {
    {
      std::lock_guard lock(battery_mutex_);
      battery_stop_ = false;
    }
    battery_thread_ = std::thread([this] { BatteryLoop(); });
  }
  if (!options_.control_path.empty()) {
    control_ = virtual_detail::ControlServer::Start(
        options_.control_path, [this](std::string_view line) { return owner_.Control(line); });
    std::lock_guard lock(mutex_);
    control_path_ = control_ ? control_->path() : std::string();
  }
}

// Lifecycle lock held.
void VirtualMouse::Impl::StopThreads() {
  if (battery_thread_.joinable()) {
    {
      std::lock_guard lock(battery_mutex_);
      battery_stop_ = true;
    }
    battery_wake_.notify_all();
    battery_thread_.join();
  }
  control_.reset();
  std::lock_guard lock(mutex_);
  control_path_.clear();
}

void VirtualMouse::Impl::BatteryLoop() {
  std::unique_lock lock(battery_mutex_);
  while (!battery_wake_.wait_for(lock, options_.battery_period, [this] { return battery_stop_; })) {
    lock.unlock();
    owner_.ReportBattery();
    lock.lock();
  }
}

const char* VirtualLinkName(VirtualLink link) {
  switch (link) {
    case VirtualLink::kCable:
      return "cable";
    case VirtualLink::kReceiver:
      return "receiver";
    case VirtualLink::kBle:
      break;
  }
  return "ble";
}

VirtualMouse::VirtualMouse(VirtualMouseOptions options)
    : impl_(std::make_unique<Impl>(*this, std::move(options))) {}

VirtualMouse::~VirtualMouse() {
  impl_->Shutdown();
}

VirtualMouse& VirtualMouse::Shared() {
  static VirtualMouse mouse(VirtualMouseOptions::FromEnvironment());
  return mouse;
}

std::int32_t VirtualMouse::SetVidPid(VirtualLink link, std::int32_t vendor_id,
                                     std::int32_t product_id) {
  if (link == VirtualLink::kBle) return 0;
  return impl_->Apply([&](Posts&) {
    FeatureLink& f = impl_->feature(link);
    f.vendor_id = vendor_id;
    f.product_id = product_id;
    return vendor_id == kVirtualVendorId && product_id == OwnProductId(link);
  });
}

std::int32_t VirtualMouse::OpenMonitor(VirtualLink link, const MoktaWindow* window,
                                       std::uint32_t data_message, std::uint32_t status_message) {
  if (link == VirtualLink::kBle || window == nullptr || window->post == nullptr) return 0;
  return impl_->OpenMonitor(Index(link), *window, data_message, status_message);
}

std::int32_t VirtualMouse::OpenFeatureDevice(VirtualLink link) {
  if (link == VirtualLink::kBle) return 0;
  return impl_->Apply([&](Posts&) {
    const FeatureLink& f = impl_->feature(link);
    const bool own = f.vendor_id == kVirtualVendorId && f.product_id == OwnProductId(link);
    if (own && impl_->plugged(link)) impl_->opened(link) = true;
    return impl_->opened(link);
  });
}

std::int32_t VirtualMouse::CloseFeatureDevice(VirtualLink link) {
  if (link == VirtualLink::kBle) return 0;
  return impl_->Apply([&](Posts&) {
    impl_->opened(link) = false;
    impl_->feature(link).reassembly.Reset();
    return true;
  });
}

std::int32_t VirtualMouse::SetFeature(VirtualLink link, const std::uint8_t* report,
                                      std::int32_t length) {
  if (link == VirtualLink::kBle) return 0;
  return impl_->Write(link, report, length);
}

std::int32_t VirtualMouse::CloseMonitor(VirtualLink link) {
  if (link == VirtualLink::kBle) return 0;
  return impl_->CloseMonitor(Index(link));
}

std::int32_t VirtualMouse::BleOpen(const MoktaWindow* window, std::uint32_t presence_message,
                                   std::uint32_t event_message) {
  if (window == nullptr || window->post == nullptr) return 0;
  impl_->OpenMonitor(Index(VirtualLink::kBle), *window, event_message, presence_message);
  return impl_->Snapshot().links.ble_connected ? 1 : 0;
}

std::int32_t VirtualMouse::BleWrite(const std::uint8_t* message, std::int32_t length) {
  return impl_->Write(VirtualLink::kBle, message, length);
}

std::int32_t VirtualMouse::BleClose() {
  return impl_->CloseMonitor(Index(VirtualLink::kBle));
}

void VirtualMouse::Plug(VirtualLink link, bool plugged) {
  if (link == VirtualLink::kBle) return SetBleConnected(plugged);
  impl_->Apply([&](Posts& posts) {
    if (impl_->plugged(link) == plugged) return true;
    impl_->plugged(link) = plugged;
    if (!plugged) {
      impl_->opened(link) = false;
      impl_->feature(link).reassembly.Reset();
    }
    impl_->QueueStatus(posts, link, plugged ? MOKTA_DEVICE_ARRIVED : MOKTA_DEVICE_REMOVED);
    return true;
  });
}

void VirtualMouse::SetAsleep(bool asleep) {
  impl_->Apply([&](Posts& posts) {
    VirtualMouseLinks& links = impl_->state().links;
    if (links.asleep == asleep) return true;
    links.asleep = asleep;
    if (asleep) {
      impl_->feature(VirtualLink::kReceiver).reassembly.Reset();
    } else {
      impl_->QueueBattery(posts);
    }
    return true;
  });
}

void VirtualMouse::SetBleConnected(bool connected) {
  impl_->Apply([&](Posts& posts) {
    bool& ble = impl_->state().links.ble_connected;
    if (ble == connected) return true;
    ble = connected;
    impl_->QueueStatus(posts, VirtualLink::kBle, connected ? 1 : 0);
    return true;
  });
}

bool VirtualMouse::PressDpiButton() {
  return impl_->Apply([&](Posts& posts) {
    VirtualMouseSettings& s = impl_->state().settings;
    if (s.stage_mask == 0) return false;
    // A stage byte outside 1..8 counts as "before the first stage".
    const int current = s.active_stage >= 1 && s.active_stage <= kStages ? s.active_stage - 1 : -1;
    int next = 0;
    for (int step = 1; step <= kStages; ++step) {
      next = (current + step) % kStages;
      if ((s.stage_mask >> next) & 1) break;
    }
    s.active_stage = static_cast<std::uint8_t>(next + 1);
    impl_->QueueOnEventRoad(posts, kVirtualStageEvent, s.active_stage, s.active_stage);
    return true;
  });
}

bool VirtualMouse::ChangePollingRate(int index) {
  if (index < 0 || index > 3) return false;
  return impl_->Apply([&](Posts& posts) {
    VirtualMouseSettings& s = impl_->state().settings;
    s.polling_rate = static_cast<std::uint8_t>(index);
    const auto interval = static_cast<std::uint16_t>(s.polling_interval_ms());
    impl_->QueueOnEventRoad(posts, kVirtualPollingRateEvent, interval, interval);
    return true;
  });
}

bool VirtualMouse::ChangeLighting(int effect) {
  if (effect < 0 || effect > 15) return false;
  return impl_->Apply([&](Posts& posts) {
    impl_->state().settings.light_effect = static_cast<std::uint8_t>(effect);
    impl_->QueueOnEventRoad(posts, kVirtualLightingEvent, static_cast<std::uint16_t>(effect),
                            static_cast<std::uint16_t>(effect << 4));
    return true;
  });
}

bool VirtualMouse::SetBattery(int level) {
  if (level < 0 || level > 100) return false;
  return impl_->Apply([&](Posts& posts) {
    impl_->state().links.battery = level;
    impl_->QueueBattery(posts);
    return true;
  });
}

void VirtualMouse::SetCharging(bool charging) {
  impl_->Apply([&](Posts& posts) {
    impl_->state().links.charging = charging;
    impl_->QueueBattery(posts);
    return true;
  });
}

void VirtualMouse::SetAcks(bool acks) {
  impl_->Apply([&](Posts&) {
    impl_->state().links.acks = acks;
    return true;
  });
}

bool VirtualMouse::FailNextWrites(int count) {
  if (count < 0 || count > kMaxFailCount) return false;
  return impl_->Apply([&](Posts&) {
    impl_->state().links.fail_next = count;
    return true;
  });
}

void VirtualMouse::ReportBattery() {
  impl_->Apply([&](Posts& posts) {
    impl_->QueueBattery(posts);
    return true;
  });
}

void VirtualMouse::ResetSettings() {
  impl_->Apply([&](Posts&) {
    impl_->state().settings = virtual_detail::FactorySettings();
    for (VirtualLink link : {VirtualLink::kCable, VirtualLink::kReceiver}) {
      impl_->feature(link).reassembly.Reset();
    }
    return true;
  });
}

void VirtualMouse::ResetCounters() {
  impl_->Apply([&](Posts&) {
    impl_->state().counters = VirtualMouseCounters();
    return true;
  });
}

int VirtualMouse::RunningThreads() const {
  return impl_->RunningThreads();
}

VirtualMouseState VirtualMouse::State() const {
  return impl_->Snapshot();
}

std::string VirtualMouse::Control(std::string_view line) {
  return virtual_detail::RunControlCommand(*this, line);
}

std::string VirtualMouse::ControlSocketPath() const {
  return impl_->ControlPath();
}

}  // namespace mokta
