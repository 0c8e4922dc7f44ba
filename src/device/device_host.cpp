#include "device/device_host.h"

#include <QLoggingCategory>
#include <QMetaObject>
#include <QTimer>
#include <algorithm>

Q_LOGGING_CATEGORY(lcDeviceHost, "mokta.link")

namespace mokta {

// The sender's waits, shortened by a factor for tests; stopping ends every wait at once.
class DeviceHost::PacedSleeper : public Sleeper {
 public:
  explicit PacedSleeper(int divisor) : divisor_(std::max(divisor, 1)) {}
  bool Sleep(std::chrono::milliseconds ms) override { return inner_.Sleep(ms / divisor_); }
  bool Stopped() const override { return inner_.Stopped(); }
  void Stop() { inner_.Stop(); }

 private:
  int divisor_;
  InterruptibleSleeper inner_;
};

// Passes each command to the link sender and tells the observer what came of it.
class DeviceHost::ObservedSender : public CommandSender {
 public:
  ObservedSender(CommandSender& inner, const CommandObserver& observer)
      : inner_(inner), observer_(observer) {}
  bool SendCommand(const CommandMessage& message) override {
    const bool delivered = inner_.SendCommand(message);
    if (observer_) observer_(message, delivered);
    return delivered;
  }

 private:
  CommandSender& inner_;
  const CommandObserver& observer_;
};

namespace {

// The drivers' post callback: hands the message to the host's thread. Drivers post nothing
// after their monitor is closed, which the host does before it is destroyed.
void PostFromDriver(void* context, std::uint32_t message, std::uintptr_t wparam,
                    std::intptr_t lparam) {
  auto* host = static_cast<DeviceHost*>(context);
  QMetaObject::invokeMethod(
      host, [host, message, wparam, lparam] { host->HandleDriverMessage(message, wparam, lparam); },
      Qt::QueuedConnection);
}

// Keeps a library's explanation of its last failed open among the problems, once, and logs it.
void NoteOpenError(const DriverLibrary* library, QStringList& problems) {
  const QString why = library ? library->LastOpenError() : QString();
  if (why.isEmpty() || problems.contains(why)) return;
  qCWarning(lcDeviceHost).noquote() << why;
  problems << why;
}

}  // namespace

DeviceHost::DeviceHost(ProfileSession& session, LinkDisplay* display, DeviceHostOptions options)
    : session_(session), display_(display ? *display : no_display_), options_(std::move(options)) {
  window_.context = this;
  window_.post = &PostFromDriver;
}

DeviceHost::~DeviceHost() {
  Shutdown();
}

void DeviceHost::LoadDrivers(const QString& folder) {
  QString error;
  cable_library_ = DriverLibrary::Load(folder + kCableDriverFile, &error);
  if (!cable_library_) problems_ << "cable driver not loaded: " + error;
  receiver_library_ = DriverLibrary::Load(folder + kReceiverDriverFile, &error);
  if (!receiver_library_) problems_ << "receiver driver not loaded: " + error;
  cable_ = std::make_unique<DriverDevice>(cable_library_.get());
  receiver_ = std::make_unique<DriverDevice>(receiver_library_.get());
}

void DeviceHost::Start() {
  if (started_ || shut_down_) return;
  started_ = true;

  sleeper_ = std::make_unique<PacedSleeper>(options_.pacing_divisor);
  LoadDrivers(options_.driver_folder.isEmpty() ? DriverFolder() : options_.driver_folder);
  library_ble_ = cable_library_ && cable_library_->HasBle();
  if (library_ble_) ble_writer_ = std::make_unique<DriverBleWriter>(cable_library_.get());
  SystemBle* system_ble = library_ble_ ? nullptr : options_.system_ble;
  BleWriter* ble_writer = library_ble_ ? static_cast<BleWriter*>(ble_writer_.get()) : system_ble;
  link_sender_ = std::make_unique<LinkCommandSender>(fields_, cable_.get(), receiver_.get(),
                                                     ble_writer, *sleeper_);
  sender_ = std::make_unique<ObservedSender>(*link_sender_, observer_);
  pass_ = std::make_unique<ApplyPass>(session_, fields_, *sender_,
                                      static_cast<ApplyPassEffects*>(this));
  worker_ = std::make_unique<ApplyWorker>(
      fields_,
      [this] {
        const ApplyOutcome outcome = pass_->Run() ? ApplyOutcome::kRan : ApplyOutcome::kAsleep;
        PostToHost([this, outcome] {
          if (pass_observer_) pass_observer_();
          if (request_observer_) request_observer_(outcome);
        });
      },
      [this] {
        PostToHost([this] {
          if (request_observer_) request_observer_(ApplyOutcome::kNoLink);
        });
      });
  worker_->Start();

  LinkScheduler& scheduler = *this;
  link_state_ = std::make_unique<LinkState>(fields_, display_, scheduler, cable_.get(),
                                            receiver_.get(), system_ble);
  events_ = std::make_unique<DeviceEvents>(*link_state_, session_, display_, scheduler);
  link_state_->set_event_handler(events_.get());
  link_state_->set_open_failure_handler([this](LinkKind link) { ReportOpenFailure(link); });

  if (cable_library_) {
    cable_library_->set_vid_pid(kMouseVendorId, kCableProductId);
    cable_library_->open_dev_monitor(&window_, MSG_CABLE_EVENT, MSG_CABLE_STATUS);
  }
  if (receiver_library_) {
    receiver_library_->set_vid_pid(kMouseVendorId, kReceiverProductId);
    receiver_library_->open_dev_monitor(&window_, MSG_RECEIVER_EVENT, MSG_RECEIVER_STATUS);
  }

  bool ble_present = false;
  if (library_ble_) {
    ble_present = cable_library_->ble_open(&window_, MSG_BLE_PRESENCE, MSG_BLE_EVENT) != 0;
  } else if (system_ble) {
    StartSystemBle(*system_ble);
    ble_present = system_ble->PresentNow();
    display_.ShowBleDiagnosis(system_ble->Diagnosis());
    system_ble->Start(
        [this](bool arrived) { PostFromDriver(this, MSG_BLE_PRESENCE, arrived ? 1 : 0, 0); });
  }
  link_state_->StartUp(ble_present);

  for (DriverLibrary* library : {cable_library_.get(), receiver_library_.get()}) {
    if (!library) continue;
    const QString why = library->LastOpenError();
    if (!why.isEmpty()) problems_ << why;
  }
}

// The notifications take the road of the virtual mouse's: a message with the two words. The
// diagnosis goes to the display on the host's thread.
void DeviceHost::StartSystemBle(SystemBle& system_ble) {
  SystemBle::Observers observers;
  observers.notification = [this](std::uint16_t left, std::uint16_t right) {
    PostFromDriver(this, MSG_BLE_EVENT, left, right);
  };
  observers.diagnosis = [this](BleDiagnosis diagnosis) {
    PostToHost([this, diagnosis] {
      if (!shut_down_) display_.ShowBleDiagnosis(diagnosis);
    });
  };
  system_ble.SetObservers(std::move(observers));
}

void DeviceHost::ReportOpenFailure(LinkKind link) {
  const bool cable = link == LinkKind::kCable;
  const QString problem = cable ? QStringLiteral(
                                      "the mouse's cable was plugged in, but it could not be "
                                      "opened; nothing is sent over the cable")
                                : QStringLiteral(
                                      "the receiver was plugged in, but it could not be "
                                      "opened; nothing is sent through the receiver");
  // The library's own explanation, when it has one, joins the problems by itself (see
  // RunLater); each text is kept once however often the mouse is plugged in.
  qCWarning(lcDeviceHost).noquote() << problem;
  if (!problems_.contains(problem)) problems_ << problem;
}

BleDiagnosis DeviceHost::ble_diagnosis() const {
  if (!started_ || library_ble_ || options_.system_ble == nullptr) return BleDiagnosis::kNone;
  return options_.system_ble->Diagnosis();
}

void DeviceHost::BringUpBle() {
  if (link_state_) link_state_->SetBleLink(fields_.ble_state.load());
}

void DeviceHost::RequestApply() {
  ++apply_requests_;
  if (worker_) worker_->Post(MSG_WORKER_APPLY);
}

void DeviceHost::Shutdown() {
  if (shut_down_) return;
  shut_down_ = true;
  if (!started_) return;
  // From here on the sender calls no driver, so a pass still running ends at once.
  sleeper_->Stop();
  worker_->Stop();
  link_state_->CloseDevices();
  if (receiver_library_) receiver_library_->close_dev_monitor();
  if (cable_library_) cable_library_->close_dev_monitor();
  if (library_ble_) {
    cable_library_->ble_close();
  } else if (options_.system_ble) {
    options_.system_ble->Stop();  // also drops the subscription
  }
  for (auto& [id, timer] : timers_) timer->stop();
  ble_writer_.reset();
  cable_library_.reset();
  receiver_library_.reset();
}

void RouteDriverMessage(LinkState& links, DeviceEvents& events, std::uint32_t message,
                        std::uintptr_t wparam, std::intptr_t lparam) {
  switch (message) {
    // The data messages go to the event decoding by their number: whatever the mouse
    // reports, it cannot pass for an arrival or a removal.
    case MSG_CABLE_EVENT:
      links.OnCableEvent(static_cast<std::uint16_t>(wparam), static_cast<std::uint16_t>(lparam));
      break;
    case MSG_CABLE_STATUS:
      links.OnCableStatus(FoldStatusMessage(wparam));
      break;
    case MSG_RECEIVER_EVENT:
      links.OnReceiverEvent(static_cast<std::uint16_t>(wparam), static_cast<std::uint16_t>(lparam));
      break;
    case MSG_RECEIVER_STATUS:
      links.OnReceiverStatus(FoldStatusMessage(wparam));
      break;
    case MSG_BLE_PRESENCE:
      links.OnBleDeviceChange(wparam == 1);
      break;
    case MSG_BLE_EVENT:
      events.OnBleEvent(static_cast<std::uint16_t>(wparam), static_cast<std::uint16_t>(lparam));
      break;
    default:
      break;
  }
}

void DeviceHost::HandleDriverMessage(std::uint32_t message, std::uintptr_t wparam,
                                     std::intptr_t lparam) {
  if (shut_down_ || !link_state_) return;
  if (message_observer_) message_observer_(message, wparam, lparam);
  RouteDriverMessage(*link_state_, *events_, message, wparam, lparam);
}

void DeviceHost::PostToHost(std::function<void()> work) {
  QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void DeviceHost::OnTimer(int id) {
  if (shut_down_) return;
  switch (id) {
    case TIMER_RECEIVER_IDLE:
      link_state_->OnReceiverIdleTimer();
      break;
    case TIMER_CHARGE_ANIMATION:
      link_state_->OnChargeAnimationTimer();
      break;
    case TIMER_BLE_OPEN:
      link_state_->OnBleOpenTimer();
      break;
    default:
      break;
  }
}

void DeviceHost::StartTimer(int id, int ms) {
  QTimer*& timer = timers_[id];
  if (!timer) {
    timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this, id] { OnTimer(id); });
  }
  timer->start(ms);
}

void DeviceHost::StopTimer(int id) {
  auto it = timers_.find(id);
  if (it != timers_.end()) it->second->stop();
}

void DeviceHost::RunLater(int ms, std::function<void()> step) {
  QTimer::singleShot(ms, this, [this, step = std::move(step)] {
    if (shut_down_) return;
    step();
    // An arrival's open may have met a node the user may not open: tell it as at start-up.
    NoteOpenError(cable_library_.get(), problems_);
    NoteOpenError(receiver_library_.get(), problems_);
  });
}

void DeviceHost::ShowUndelivered(bool undelivered) {
  if (undelivered) {
    qCWarning(lcDeviceHost) << "some settings did not reach the mouse; the next apply sends them "
                               "again";
  }
  PostToHost([this, undelivered] {
    if (!shut_down_) display_.ShowUndelivered(undelivered);
  });
}

void DeviceHost::ShowApplyRing(bool visible) {
  PostToHost([this, visible] {
    if (!shut_down_) display_.ShowApplyRunning(visible);
  });
}
void DeviceHost::StopReceiverIdleTimer() {
  PostToHost([this] { StopTimer(TIMER_RECEIVER_IDLE); });
}
void DeviceHost::StartReceiverIdleTimer() {
  PostToHost([this] { StartTimer(TIMER_RECEIVER_IDLE, kReceiverIdleMs); });
}

}  // namespace mokta
