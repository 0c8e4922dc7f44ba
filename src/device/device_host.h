#pragma once

// The device side of the running program in one object: the driver libraries, the link state,
// the device events, the command sender and the apply worker, wired together on the thread
// that owns the host (the UI thread). It receives the drivers' messages (posted from their
// threads), folds them into codes, runs the link timers, and tells a display what must be seen.
//
// The program's owner of the mouse's data and link (or the command-line tool) owns one host
// for the program's lifetime.

#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <map>
#include <memory>

#include "device/apply_pass.h"
#include "device/apply_worker.h"
#include "device/command_sender.h"
#include "device/device_events.h"
#include "device/driver_library.h"
#include "device/driver_messages.h"
#include "device/link_display.h"
#include "device/link_scheduler.h"
#include "device/link_state.h"
#include "device/profile_session.h"
#include "device/system_ble.h"

class QTimer;

namespace mokta {

struct DeviceHostOptions {
  QString driver_folder;   // with a trailing "/"; empty: DriverFolder()
  int pacing_divisor = 1;  // tests shorten the waits between writes by this factor
  // The system's Bluetooth LE road (presence, GATT link, diagnosis), used when the driver
  // libraries offer no Bluetooth LE link of their own. May be null: no Bluetooth LE then.
  // Outlives the host; lives on the host's thread.
  SystemBle* system_ble = nullptr;
};

// Called on the worker thread after each command with what the sender made of it.
using CommandObserver = std::function<void(const CommandMessage& message, bool delivered)>;
// Called on the owning thread for each message of a driver or of the Bluetooth LE link, before
// it is handled: the message number and its two values as posted.
using DriverMessageObserver =
    std::function<void(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam)>;
// Called on the owning thread when an apply pass has ended (whether or not it sent anything).
using PassObserver = std::function<void()>;
// What became of one request for an apply pass: the pass ran; it found the mouse asleep and
// sent nothing; or no link was up when the worker took it, and it was dropped.
enum class ApplyOutcome { kRan, kAsleep, kNoLink };
// Called on the owning thread once for each request the worker has taken.
using RequestObserver = std::function<void(ApplyOutcome)>;

// Hands one message of a driver or of the Bluetooth LE link, with its two values as posted, to
// the link state (arrivals, removals and the event words of the cable and the receiver) or to
// the event decoding (Bluetooth LE notifications). Any other message number is ignored; only
// the low 16 bits of an event's word and value count. What DeviceHost::HandleDriverMessage
// does once the host has started.
void RouteDriverMessage(LinkState& links, DeviceEvents& events, std::uint32_t message,
                        std::uintptr_t wparam, std::intptr_t lparam);

class DeviceHost : public QObject, private LinkScheduler, private ApplyPassEffects {
 public:
  // `display` is told the mouse's visible states (links, battery, stage, lighting, apply
  // running, reachable) and may be null. Both outlive the host.
  DeviceHost(ProfileSession& session, LinkDisplay* display, DeviceHostOptions options = {});
  ~DeviceHost() override;

  // Loads the drivers, starts the worker and the monitors, opens the devices and decides the
  // links. Call once, on the owning thread, with an event loop to follow.
  void Start();
  // Brings the Bluetooth LE link up when a mouse was present at start-up (after the profiles
  // are loaded).
  void BringUpBle();
  // Asks the worker for one apply pass. Any thread.
  void RequestApply();
  // How many passes were asked for so far. Any thread.
  std::uint64_t apply_requests() const { return apply_requests_.load(); }
  // Stops the worker (cutting a running pass short: no driver call after this begins), closes
  // the devices and monitors and unloads the libraries. Runs once; the destructor calls it.
  void Shutdown();

  // Sees every command the worker sends. Set before `Start`.
  void set_command_observer(CommandObserver observer) { observer_ = std::move(observer); }
  void set_message_observer(DriverMessageObserver observer) {
    message_observer_ = std::move(observer);
  }
  void set_pass_observer(PassObserver observer) { pass_observer_ = std::move(observer); }
  void set_request_observer(RequestObserver observer) { request_observer_ = std::move(observer); }

  LinkState& link_state() { return *link_state_; }
  LinkFields& fields() { return fields_; }
  DeviceEvents& events() { return *events_; }
  // Why a link could not be used: missing libraries, devices present but not accessible,
  // devices that arrived but could not be opened (each also logged). Owning thread.
  QStringList problems() const { return problems_; }
  // Why the Bluetooth LE mouse cannot be reached, as the system's road tells it (kNone with the
  // virtual mouse's own link or without the system's road).
  BleDiagnosis ble_diagnosis() const;

  // A message from a driver's monitor, on the owning thread.
  void HandleDriverMessage(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam);

 private:
  class PacedSleeper;
  class ObservedSender;

  // LinkScheduler: the link timers run on the host's thread.
  void StartTimer(int id, int ms) override;
  void StopTimer(int id) override;
  void RunLater(int ms, std::function<void()> step) override;
  // ApplyPassEffects: called on the worker thread, carried over to the owning thread.
  void ShowApplyRing(bool visible) override;
  void StopReceiverIdleTimer() override;
  void StartReceiverIdleTimer() override;
  void ShowUndelivered(bool undelivered) override;

  void LoadDrivers(const QString& folder);
  void StartSystemBle(SystemBle& system_ble);
  void ReportOpenFailure(LinkKind link);
  void OnTimer(int id);
  void PostToHost(std::function<void()> work);

  ProfileSession& session_;
  NullLinkDisplay no_display_;
  LinkDisplay& display_;
  DeviceHostOptions options_;
  CommandObserver observer_;
  DriverMessageObserver message_observer_;
  PassObserver pass_observer_;
  RequestObserver request_observer_;
  QStringList problems_;

  LinkFields fields_;
  std::unique_ptr<DriverLibrary> cable_library_;
  std::unique_ptr<DriverLibrary> receiver_library_;
  std::unique_ptr<DriverDevice> cable_;
  std::unique_ptr<DriverDevice> receiver_;
  std::unique_ptr<DriverBleWriter> ble_writer_;
  MoktaWindow window_{};
  bool library_ble_ = false;

  std::unique_ptr<PacedSleeper> sleeper_;
  std::unique_ptr<LinkCommandSender> link_sender_;
  std::unique_ptr<ObservedSender> sender_;
  std::unique_ptr<ApplyPass> pass_;
  std::unique_ptr<ApplyWorker> worker_;
  std::unique_ptr<LinkState> link_state_;
  std::unique_ptr<DeviceEvents> events_;
  std::map<int, QTimer*> timers_;
  std::atomic<std::uint64_t> apply_requests_{0};
  bool started_ = false;
  bool shut_down_ = false;
};

}  // namespace mokta
