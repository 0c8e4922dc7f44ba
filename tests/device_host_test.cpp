// The device side end to end: the real driver loader, link state, events, command sender and
// apply worker, against the virtual mouse's driver libraries. The sender's waits are shortened
// so that the whole protocol runs in a fraction of its real time, in the same order.

#include "device/device_host.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <atomic>
#include <mutex>

#include "cli/device_commands.h"
#include "cli/mousectl.h"
#include "data/data_lock.h"
#include "data/import_export.h"
#include "device/driver_library.h"
#include "device_fakes.h"
#include "profile_match.h"
#include "virtual_mouse.h"

namespace mokta {
namespace {

const QString kVirtualFolder = QStringLiteral(MOKTA_VIRTUAL_DRIVER_DIR "/");

bool RunUntil(const std::function<bool()>& done, int timeout_ms = 10000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeout_ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
  }
  return true;
}

class DeviceHostTest : public ::testing::Test {
 protected:
  DeviceHostTest() : mouse_(VirtualMouse::Shared()) {
    // The one shared mouse outlives each test: put its settings, counters and links back to a
    // known state.
    mouse_.ResetSettings();
    mouse_.ResetCounters();
    mouse_.Plug(VirtualLink::kCable, true);
    mouse_.Plug(VirtualLink::kReceiver, true);
    mouse_.SetBleConnected(false);
    mouse_.SetAsleep(false);
    mouse_.SetAcks(true);
    mouse_.FailNextWrites(0);
    mouse_.SetCharging(false);
  }
  ~DeviceHostTest() override { host_.reset(); }

  void StartHost(const QString& folder = kVirtualFolder) {
    ProfileList list;
    list.push_back(test::ProfileUsingEveryGroup());
    session_.Load(std::move(list), nullptr, 0);
    DeviceHostOptions options;
    options.driver_folder = folder;
    options.pacing_divisor = 20;
    host_ = std::make_unique<DeviceHost>(session_, nullptr, options);
    host_->set_command_observer([this](const CommandMessage& m, bool delivered) {
      std::lock_guard lock(mutex_);
      sent_.push_back({m.code(), delivered});
      if (during_send_) during_send_(m);
    });
    host_->set_pass_observer([this] { ++passes_; });
    host_->Start();
    host_->BringUpBle();
  }

  // Runs a send-all pass and waits for its end.
  bool SendAll() {
    const int before = passes_;
    session_.RequestSendAll();
    host_->RequestApply();
    return RunUntil([&] { return passes_ > before; });
  }

  std::vector<std::pair<int, bool>> Sent() {
    std::lock_guard lock(mutex_);
    return sent_;
  }
  int Undelivered() {
    int n = 0;
    for (const auto& [code, delivered] : Sent()) n += delivered ? 0 : 1;
    return n;
  }

  VirtualMouse& mouse_;
  ProfileSession session_{nullptr};
  std::unique_ptr<DeviceHost> host_;
  std::mutex mutex_;
  std::vector<std::pair<int, bool>> sent_;
  std::function<void(const CommandMessage&)> during_send_;
  std::atomic<int> passes_{0};
};

TEST_F(DeviceHostTest, SendAllOverTheCableLeavesTheMouseHoldingTheProfile) {
  StartHost();
  EXPECT_TRUE(host_->problems().isEmpty()) << host_->problems().join('\n').toStdString();
  EXPECT_EQ(host_->fields().wired_state, kLinkConnected);
  EXPECT_EQ(host_->link_state().device_connected(), 1);
  const int accepted_before = mouse_.State().counters.accepted[0];

  ASSERT_TRUE(SendAll());
  EXPECT_EQ(Undelivered(), 0);
  const VirtualMouseState state = mouse_.State();
  EXPECT_EQ(ProfileDifferences(state.settings, session_.current()), std::vector<std::string>{});
  // 0x0C twice, 0x04, 0x05, 0x06, a macro and two pattern slots (three reports each), 0x08.
  EXPECT_EQ(state.counters.accepted[0] - accepted_before, 2 + 3 + 3 * 3 + 1);
  EXPECT_EQ(state.counters.malformed[0], 0) << state.counters.last_malformed;
}

TEST_F(DeviceHostTest, ReceiverWaitsForTheMouseAndIsAcknowledged) {
  mouse_.Plug(VirtualLink::kCable, false);
  StartHost();
  EXPECT_EQ(host_->fields().device_asleep, 1);  // until the mouse reports through it
  mouse_.ReportBattery();
  ASSERT_TRUE(RunUntil([&] { return host_->fields().device_asleep.load() == 0; }));
  EXPECT_EQ(host_->fields().wireless_awake, 1);

  const int before = mouse_.State().counters.accepted[1];
  ASSERT_TRUE(SendAll());
  EXPECT_EQ(Undelivered(), 0);
  const VirtualMouseState state = mouse_.State();
  EXPECT_TRUE(MatchesProfile(state.settings, session_.current()));
  EXPECT_EQ(state.counters.accepted[1] - before, 2 + 3 + 3 * 3 + 1);  // one try each
}

TEST_F(DeviceHostTest, WithoutAcknowledgementsTheReceiverGivesWayToBluetooth) {
  mouse_.Plug(VirtualLink::kCable, false);
  mouse_.SetBleConnected(true);
  mouse_.SetAcks(false);
  StartHost();
  ASSERT_EQ(host_->fields().ble_state, 1);
  mouse_.ReportBattery();
  ASSERT_TRUE(RunUntil([&] { return host_->fields().wireless_awake.load() == 1; }));

  session_.RecordApplied(session_.current());  // as if it had been sent before
  const VirtualMouseState before = mouse_.State();
  session_.EditCurrent([](ProfileData& p) { p.set_brightness(3); });
  host_->RequestApply();
  ASSERT_TRUE(RunUntil([&] { return passes_ > 0; }));
  const VirtualMouseState after = mouse_.State();
  // 0x0C and 0x05, each written ten times to the receiver, then once over Bluetooth LE.
  EXPECT_EQ(after.counters.accepted[1] - before.counters.accepted[1], 20);
  EXPECT_EQ(after.counters.applied[2] - before.counters.applied[2], 2);
  EXPECT_EQ(after.settings.brightness, 3);
  EXPECT_EQ(Undelivered(), 0);
}

TEST_F(DeviceHostTest, FailedWritesAreRetriedOnTheCable) {
  StartHost();
  mouse_.FailNextWrites(3);
  ASSERT_TRUE(SendAll());
  EXPECT_EQ(Undelivered(), 0);
  EXPECT_EQ(mouse_.State().counters.failed, 3);
  EXPECT_TRUE(MatchesProfile(mouse_.State().settings, session_.current()));
}

TEST_F(DeviceHostTest, UnpluggingDuringAPassNeitherHangsNorLosesTheChange) {
  mouse_.Plug(VirtualLink::kReceiver, false);
  StartHost();
  during_send_ = [this](const CommandMessage& m) {
    if (m.code() == kCommandLighting) mouse_.Plug(VirtualLink::kCable, false);
  };
  ASSERT_TRUE(SendAll());
  during_send_ = nullptr;
  EXPECT_GT(Undelivered(), 0);
  ASSERT_TRUE(RunUntil([&] { return host_->fields().wired_state.load() == kLinkRemoved; }));
  EXPECT_EQ(host_->link_state().device_connected(), 0);

  // Plugged in again, the groups that did not get through go out with the next pass.
  mouse_.Plug(VirtualLink::kCable, true);
  ASSERT_TRUE(RunUntil([&] { return host_->fields().wired_state.load() == kLinkConnected; }));
  const int before = passes_;
  host_->RequestApply();
  ASSERT_TRUE(RunUntil([&] { return passes_ > before; }));
  EXPECT_TRUE(MatchesProfile(mouse_.State().settings, session_.current()));
}

// An input report whose event word and value spell a status code is still an event.
TEST_F(DeviceHostTest, MouseDataNeverPassesForAnArrivalOrARemoval) {
  mouse_.Plug(VirtualLink::kReceiver, false);
  StartHost();
  ASSERT_EQ(host_->fields().wired_state, kLinkConnected);
  host_->HandleDriverMessage(MSG_CABLE_EVENT, 0x7F00, 2);     // reads as CODE_REMOVED
  host_->HandleDriverMessage(MSG_RECEIVER_EVENT, 0x7F00, 1);  // reads as CODE_ARRIVED
  EXPECT_EQ(host_->fields().wired_state, kLinkConnected);
  EXPECT_EQ(host_->fields().wireless_state, kLinkNeverFound);
  EXPECT_FALSE(host_->link_state().arrival_pending());
  ASSERT_TRUE(SendAll());
  EXPECT_EQ(Undelivered(), 0);
}

TEST_F(DeviceHostTest, ArrivalThatDoesNotOpenIsReportedAndLeftDown) {
  mouse_.Plug(VirtualLink::kReceiver, false);
  StartHost();
  // The monitor saw the receiver come, but it is gone again before it could be opened.
  host_->HandleDriverMessage(MSG_RECEIVER_STATUS, MOKTA_DEVICE_ARRIVED, 0);
  ASSERT_TRUE(RunUntil([&] { return !host_->link_state().arrival_pending(); }));
  EXPECT_NE(host_->fields().wireless_state, kLinkConnected);
  ASSERT_EQ(host_->problems().size(), 1);
  EXPECT_TRUE(host_->problems().front().contains("receiver was plugged in, but it could not be"))
      << host_->problems().front().toStdString();
}

TEST_F(DeviceHostTest, MouseButtonStageIsSavedAndNotSentBack) {
  StartHost();
  ASSERT_TRUE(SendAll());
  ASSERT_TRUE(mouse_.PressDpiButton());  // stage 2 to stage 3
  ASSERT_TRUE(RunUntil([&] { return session_.current().dpi_step() == 2; }));
  const int before = static_cast<int>(Sent().size());
  host_->RequestApply();
  ASSERT_TRUE(RunUntil([&] { return passes_ > 1; }));
  const auto sent = Sent();
  ASSERT_EQ(static_cast<int>(sent.size()) - before, 1);  // only 0x0C
  EXPECT_EQ(sent.back().first, kCommandOpen);
}

TEST(DeviceHostWithoutDrivers, MissingLibrariesAreLinksThatNeverOpen) {
  QTemporaryDir empty;
  ProfileSession session(nullptr);
  DeviceHostOptions options;
  options.driver_folder = empty.path() + "/";
  DeviceHost host(session, nullptr, options);
  host.Start();
  EXPECT_EQ(host.problems().size(), 2);
  EXPECT_FALSE(host.fields().AnyLinkUp());
  EXPECT_EQ(host.link_state().device_connected(), 0);
  host.RequestApply();  // dropped by the worker: no link
  host.Shutdown();
}

// A driver library in the user's data location is refused, however its path is given; the
// same library outside it loads.
TEST(DeviceHostWithoutDrivers, LibrariesInTheUserDataLocationAreNeverLoaded) {
  QTemporaryDir home;
  ASSERT_TRUE(home.isValid());
  const QByteArray previous = qgetenv("XDG_DATA_HOME");
  qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
  const QString planted = home.path() + "/mokta-mouse/drivers/";
  const QString elsewhere = home.path() + "/drivers/";
  for (const QString& folder : {planted, elsewhere}) {
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QFile::copy(kVirtualFolder + kCableDriverFile, folder + kCableDriverFile));
  }
  QString error;
  EXPECT_EQ(DriverLibrary::Load(planted + kCableDriverFile, &error), nullptr);
  EXPECT_TRUE(error.contains("lies in the data folder")) << error.toStdString();
  EXPECT_NE(DriverLibrary::Load(elsewhere + kCableDriverFile), nullptr);

  ProfileSession session(nullptr);
  DeviceHostOptions options;
  options.driver_folder = planted;
  DeviceHost host(session, nullptr, options);
  host.Start();
  ASSERT_FALSE(host.problems().isEmpty());
  EXPECT_TRUE(host.problems().front().startsWith("cable driver not loaded: " + planted))
      << host.problems().front().toStdString();
  EXPECT_FALSE(host.fields().AnyLinkUp());
  host.Shutdown();
  if (previous.isNull()) {
    qunsetenv("XDG_DATA_HOME");
  } else {
    qputenv("XDG_DATA_HOME", previous);
  }
}

TEST(MousectlApply, LeavesTheVirtualMouseHoldingTheProfile) {
  VirtualMouse& mouse = VirtualMouse::Shared();
  mouse.ResetSettings();
  mouse.ResetCounters();
  mouse.Plug(VirtualLink::kCable, true);
  QTemporaryDir dir;
  auto profile = test::ProfileUsingEveryGroup();
  profile->set_dpi_x(0, 30);
  const QString path = dir.filePath("game.pro");
  ASSERT_EQ(ExportProfile(*profile, path), FileStatus::kOk);

  QString out_text, err_text;
  QTextStream out(&out_text), err(&err_text);
  const int code = RunMousectl({"apply", path, "--driver-dir", kVirtualFolder}, out, err);
  out.flush();
  err.flush();
  EXPECT_EQ(code, 0) << err_text.toStdString();
  EXPECT_TRUE(out_text.contains("9 of 9 commands delivered")) << out_text.toStdString();
  EXPECT_TRUE(MatchesProfile(mouse.State().settings, *profile));
}

// The mouse is unplugged after the tool found it and before the worker takes the request,
// which it then drops: the tool must say so rather than wait for a pass that never runs.
TEST(MousectlApply, LinkGoneBeforeThePassRunsEndsWithAMessage) {
  VirtualMouse& mouse = VirtualMouse::Shared();
  mouse.Plug(VirtualLink::kCable, true);
  mouse.Plug(VirtualLink::kReceiver, false);
  mouse.SetBleConnected(false);
  QTemporaryDir dir;
  const QString path = dir.filePath("game.pro");
  ASSERT_EQ(ExportProfile(*test::ProfileUsingEveryGroup(), path), FileStatus::kOk);
  DeviceCommandOptions options;
  options.driver_folder = kVirtualFolder;
  options.pacing_divisor = 20;
  options.use_system_ble = false;
  options.before_apply_request = [&](DeviceHost& host) {
    mouse.Plug(VirtualLink::kCable, false);
    ASSERT_TRUE(RunUntil([&] { return !host.fields().AnyLinkUp(); }));
  };

  QString out_text, err_text;
  QTextStream out(&out_text), err(&err_text);
  const int code = RunDeviceApply(path, options, out, err);
  out.flush();
  err.flush();
  mouse.Plug(VirtualLink::kCable, true);
  mouse.Plug(VirtualLink::kReceiver, true);
  EXPECT_EQ(code, 1);
  EXPECT_TRUE(
      err_text.contains("the link to the mouse went down before the settings could be "
                        "sent; nothing was sent"))
      << err_text.toStdString();
  EXPECT_FALSE(out_text.contains("delivered")) << out_text.toStdString();
}

TEST(MousectlApply, SendsNothingWhileAnotherProgramHoldsTheLinks) {
  VirtualMouse& mouse = VirtualMouse::Shared();
  mouse.Plug(VirtualLink::kCable, true);
  mouse.ResetCounters();
  QTemporaryDir dir;
  const QString path = dir.filePath("game.pro");
  ASSERT_EQ(ExportProfile(*test::ProfileUsingEveryGroup(), path), FileStatus::kOk);
  RunLocks program;
  ASSERT_EQ(program.TakeLinks(), RunLocks::Result::kTaken);

  QString out_text, err_text;
  QTextStream out(&out_text), err(&err_text);
  const int code = RunMousectl({"apply", path, "--driver-dir", kVirtualFolder}, out, err);
  out.flush();
  err.flush();
  EXPECT_EQ(code, 1);
  EXPECT_TRUE(out_text.isEmpty()) << out_text.toStdString();
  EXPECT_EQ(err_text.count('\n'), 1) << err_text.toStdString();
  EXPECT_TRUE(err_text.startsWith("mokta-mousectl: the cable link is in use by "))
      << err_text.toStdString();
  EXPECT_TRUE(err_text.contains(QStringLiteral("pid %1").arg(QCoreApplication::applicationPid())));
  EXPECT_EQ(mouse.State().counters, VirtualMouseCounters{});  // not a single write
}

}  // namespace
}  // namespace mokta

int main(int argc, char** argv) {
  QTemporaryDir runtime;
  // The shared virtual mouse reads these when it is first used: no battery reports of its own
  // (tests ask for them), and a control socket of the test's own.
  qputenv("MOKTA_VIRTUAL_BATTERY_MS", "0");
  qputenv("MOKTA_VIRTUAL_CONTROL", QFile::encodeName(runtime.filePath("control.sock")));
  qunsetenv("MOKTA_VIRTUAL_START");
  qunsetenv("MOKTA_VIRTUAL_LOG");
  // The tool's apply takes the link locks: in a runtime folder of the test's own, never beside
  // a program the user is running.
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
