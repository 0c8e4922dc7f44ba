// The Bluetooth LE road over BlueZ end to end, against a fake BlueZ on a private bus (each case
// on a bus of its own, see with_system_bus.sh): finding the mouse, a send-all pass written to
// the mouse's characteristic, notifications, failed and unanswered writes, the mouse or BlueZ
// going away, the command-line tool and the program. What the mouse took is read back from the
// fake's record of writes and decoded by the virtual mouse's own message reading.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <csignal>
#include <mutex>

#include "cli/device_commands.h"
#include "cli/probe.h"
#include "data/import_export.h"
#include "device/device_events.h"
#include "device/device_host.h"
#include "device_fakes.h"
#include "fake_bluez.h"
#include "framework/control_text.h"
#include "framework/language_file.h"
#include "mouse_messages.h"
#include "platform/linux/bluez_gatt.h"
#include "profile_match.h"
#include "qt_wait.h"
#include "test_main_window.h"

namespace mokta {
namespace {

using test::FakeBluez;

std::span<const std::uint8_t> Bytes(const QByteArray& value) {
  return {reinterpret_cast<const std::uint8_t*>(value.constData()),
          static_cast<std::size_t>(value.size())};
}

// The command codes of the writes, in order.
std::vector<int> Codes(const std::vector<FakeBluez::Write>& writes) {
  std::vector<int> codes;
  for (const auto& [value, type] : writes) codes.push_back(value.isEmpty() ? -1 : value[0] & 0xFF);
  return codes;
}

// What a mouse fresh from the factory holds after taking `writes`; every write must be one
// whole, well-formed command sent as a write with response.
VirtualMouseSettings MouseAfter(const std::vector<FakeBluez::Write>& writes) {
  VirtualMouseSettings settings = virtual_detail::FactorySettings();
  for (const auto& [value, type] : writes) {
    EXPECT_EQ(type, "request");
    const char* problem = virtual_detail::CheckMessage(Bytes(value));
    EXPECT_EQ(problem, nullptr) << problem << ": " << value.toHex().toStdString();
    if (problem == nullptr) virtual_detail::ApplyMessage(settings, Bytes(value));
  }
  return settings;
}

class BluezTransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fake_.Start()) << fake_.LastError().toStdString();
    ASSERT_TRUE(empty_drivers_.isValid());
  }

  // The device host with no driver libraries at all, so Bluetooth LE goes through BlueZ.
  void StartHost() {
    ProfileList list;
    list.push_back(test::ProfileUsingEveryGroup());
    session_.Load(std::move(list), nullptr, 0);
    DeviceHostOptions options;
    options.driver_folder = empty_drivers_.path() + "/";
    options.pacing_divisor = 20;
    options.system_ble = &gatt_;
    host_ = std::make_unique<DeviceHost>(session_, &view_, options);
    host_->set_command_observer([this](const CommandMessage& m, bool delivered) {
      std::lock_guard lock(mutex_);
      sent_.emplace_back(m.code(), delivered);
    });
    host_->set_pass_observer([this] { ++passes_; });
    host_->Start();
    host_->BringUpBle();
  }

  void RunPass(bool send_all) {
    const int before = passes_;
    if (send_all) session_.RequestSendAll();
    host_->RequestApply();
    WAIT_UNTIL_FOR(passes_ > before, 20000);
  }

  std::vector<std::pair<int, bool>> TakeSent() {
    std::lock_guard lock(mutex_);
    return std::exchange(sent_, {});
  }

  void ExpectMouseHoldsAllButThePollingRate(const std::vector<FakeBluez::Write>& writes) {
    const std::vector<std::string> differences =
        ProfileDifferences(MouseAfter(writes), session_.current());
    EXPECT_EQ(differences.size(), 1u);
    for (const std::string& line : differences) {
      EXPECT_EQ(line.rfind("polling rate", 0), 0u) << line;
    }
  }

  bool Logged(const std::string& line) const {
    return std::find(view_.log.begin(), view_.log.end(), line) != view_.log.end();
  }

  FakeBluez fake_;
  QTemporaryDir empty_drivers_;
  BluezGatt gatt_{BluezGatt::Options{1000, 500}};
  ProfileSession session_{nullptr};
  test::RecordingView view_;
  std::unique_ptr<DeviceHost> host_;
  std::mutex mutex_;
  std::vector<std::pair<int, bool>> sent_;
  int passes_ = 0;
};

// A paired mouse that is not connected is no mouse, and says so; BlueZ going away and coming
// back is followed.
TEST_F(BluezTransportTest, FollowsTheMouseAndBluezAndSaysWhyItIsAway) {
  const QString mouse = fake_.AddMouse(FakeBluez::kMouseAddress, true, false);
  ASSERT_FALSE(mouse.isEmpty()) << fake_.LastError().toStdString();
  std::vector<bool> changes;
  std::vector<BleDiagnosis> diagnoses;
  EXPECT_FALSE(gatt_.PresentNow());
  EXPECT_EQ(gatt_.Diagnosis(), BleDiagnosis::kPairedNotConnected);
  gatt_.SetObservers({{}, [&](BleDiagnosis d) { diagnoses.push_back(d); }});
  gatt_.Start([&](bool present) { changes.push_back(present); });

  ASSERT_TRUE(fake_.SetConnected(mouse, true));
  WAIT_EQ(changes, std::vector<bool>{true});
  EXPECT_EQ(gatt_.Diagnosis(), BleDiagnosis::kNone);

  ASSERT_TRUE(fake_.Stop());
  WAIT_EQ(changes, (std::vector<bool>{true, false}));
  EXPECT_EQ(gatt_.Diagnosis(), BleDiagnosis::kServiceNotRunning);

  ASSERT_TRUE(fake_.Start());
  ASSERT_FALSE(fake_.AddMouse().isEmpty());
  WAIT_EQ(changes, (std::vector<bool>{true, false, true}));
  // On the way back BlueZ may show its adapter and the paired mouse before it connects.
  ASSERT_GE(diagnoses.size(), 3u);
  EXPECT_EQ(diagnoses[0], BleDiagnosis::kNone);
  EXPECT_EQ(diagnoses[1], BleDiagnosis::kServiceNotRunning);
  EXPECT_EQ(diagnoses.back(), BleDiagnosis::kNone);
  gatt_.Stop();
}

// Each command is one write with response of the whole message; the polling rate is never
// sent; the mouse ends up holding the profile.
TEST_F(BluezTransportTest, SendAllWritesWholeCommandsToTheMouse) {
  ASSERT_FALSE(fake_.AddMouse().isEmpty());
  StartHost();
  ASSERT_EQ(host_->fields().ble_state.load(), 1);
  EXPECT_TRUE(Logged("ble up"));
  ASSERT_NO_FATAL_FAILURE(RunPass(true));

  const std::vector<FakeBluez::Write> writes = fake_.GetWrites();
  // Open twice, DPI, lighting, (no polling rate), the macro's slot and the pattern's two
  // slots, buttons.
  EXPECT_EQ(Codes(writes), (std::vector<int>{0x0C, 0x0C, 0x04, 0x05, 0x09, 0x09, 0x09, 0x08}));
  ExpectMouseHoldsAllButThePollingRate(writes);
  for (const auto& [code, delivered] : TakeSent()) {
    EXPECT_EQ(delivered, code != 0x06) << "command " << code;
  }
}

// A notification of the mouse reaches the device events; one too short is dropped.
TEST_F(BluezTransportTest, NotificationsReachTheDeviceEvents) {
  const QString mouse = fake_.AddMouse();
  StartHost();
  // The link state subscribes a little after the mouse appeared.
  WAIT_UNTIL_FOR(fake_.GetNotifyCalls().value_or(FakeBluez::NotifyCalls{}).start == 1, 10000);
  ASSERT_TRUE(fake_.Notify(mouse, QByteArray::fromHex("cc40")));      // too short
  ASSERT_TRUE(fake_.Notify(mouse, QByteArray::fromHex("cc400039")));  // battery 57 %
  WAIT_UNTIL(Logged("battery 57"));
  EXPECT_EQ(std::count_if(view_.log.begin(), view_.log.end(),
                          [](const std::string& l) { return l.rfind("battery", 0) == 0; }),
            1);
}

// A write BlueZ refuses, or never answers within the time limit, is a command not delivered;
// the next pass sends the group again.
TEST_F(BluezTransportTest, FailedWritesAreReportedAndTheGroupIsSentAgain) {
  ASSERT_FALSE(fake_.AddMouse().isEmpty());
  StartHost();
  ASSERT_NO_FATAL_FAILURE(RunPass(true));
  TakeSent();
  std::vector<FakeBluez::Write> taken = fake_.GetWrites();  // what the mouse accepted

  for (FakeBluez::WriteMode mode : {FakeBluez::WriteMode::kReject, FakeBluez::WriteMode::kSilent}) {
    SCOPED_TRACE(static_cast<int>(mode));
    ASSERT_TRUE(fake_.SetWriteMode(mode));
    ASSERT_TRUE(fake_.SetSilentSeconds(60));  // far beyond the test's own waits
    session_.EditCurrent([](ProfileData& p) { p.set_brightness(p.brightness() == 2 ? 3 : 2); });
    ASSERT_NO_FATAL_FAILURE(RunPass(false));
    for (const auto& [code, delivered] : TakeSent()) EXPECT_FALSE(delivered) << code;

    ASSERT_TRUE(fake_.SetWriteMode(FakeBluez::WriteMode::kAccept));
    ASSERT_TRUE(fake_.ClearWrites());
    ASSERT_NO_FATAL_FAILURE(RunPass(false));
    const std::vector<FakeBluez::Write> writes = fake_.GetWrites();
    EXPECT_EQ(Codes(writes), (std::vector<int>{0x0C, 0x05}));
    taken.insert(taken.end(), writes.begin(), writes.end());
    ExpectMouseHoldsAllButThePollingRate(taken);
    // The polling rate stays unsent: Bluetooth LE cannot carry it.
    for (const auto& [code, delivered] : TakeSent()) EXPECT_EQ(delivered, code != 0x06) << code;
  }
}

// The mouse disconnecting in the middle of a pass ends the pass and takes the link down; it
// comes back up when the mouse does.
TEST_F(BluezTransportTest, TheMouseGoingAwayDuringAPassEndsItCleanly) {
  const QString mouse = fake_.AddMouse();
  StartHost();
  ASSERT_TRUE(fake_.SetWriteMode(FakeBluez::WriteMode::kSilent));
  ASSERT_TRUE(fake_.SetSilentSeconds(60));
  const int before = passes_;
  session_.RequestSendAll();
  host_->RequestApply();
  WAIT_UNTIL(!fake_.GetWrites().empty());  // the first write hangs in BlueZ
  ASSERT_TRUE(fake_.SetConnected(mouse, false));
  WAIT_UNTIL_FOR(passes_ > before, 20000);
  WAIT_EQ(host_->fields().ble_state.load(), 0);
  EXPECT_TRUE(Logged("ble down"));
  for (const auto& [code, delivered] : TakeSent()) EXPECT_FALSE(delivered) << code;

  ASSERT_TRUE(fake_.SetWriteMode(FakeBluez::WriteMode::kAccept));
  ASSERT_TRUE(fake_.SetConnected(mouse, true));
  WAIT_EQ(host_->fields().ble_state.load(), 1);
  ASSERT_TRUE(fake_.ClearWrites());
  ASSERT_NO_FATAL_FAILURE(RunPass(true));
  EXPECT_EQ(ProfileDifferences(MouseAfter(fake_.GetWrites()), session_.current()).size(), 1u);

  // The characteristics going (a service change) while the mouse stays: writes fail at once
  // until BlueZ shows them again.
  ASSERT_TRUE(fake_.RemoveCharacteristics(mouse));
  ASSERT_TRUE(fake_.ClearWrites());
  TakeSent();
  ASSERT_NO_FATAL_FAILURE(RunPass(true));
  EXPECT_TRUE(fake_.GetWrites().empty());
  for (const auto& [code, delivered] : TakeSent()) EXPECT_FALSE(delivered) << code;
  EXPECT_EQ(host_->fields().ble_state.load(), 1);
  ASSERT_TRUE(fake_.SetConnected(mouse, true));  // brings them back
  bool reached = false;  // by the first pass after the transport has seen them
  for (int pass = 0; pass < 20 && !reached; ++pass) {
    ASSERT_NO_FATAL_FAILURE(RunPass(true));
    reached = !fake_.GetWrites().empty();
  }
  EXPECT_TRUE(reached);
}

// The command-line tool over Bluetooth LE only: `apply` sends a profile file, `watch` prints
// what the mouse notifies, `status` says why a paired mouse is not there.
TEST_F(BluezTransportTest, TheToolAppliesAndWatchesOverBluetooth) {
  QTemporaryDir files;
  const QString profile_path = files.filePath("game.pro");
  ASSERT_EQ(ExportProfile(*test::ProfileUsingEveryGroup(), profile_path), FileStatus::kOk);
  DeviceCommandOptions options;
  options.driver_folder = empty_drivers_.path() + "/";
  options.pacing_divisor = 20;

  QString out_text;
  QString err_text;
  QTextStream out(&out_text);
  QTextStream err(&err_text);
  ASSERT_TRUE(fake_.Stop());
  EXPECT_EQ(RunStatus(options, out, err), 1);
  EXPECT_TRUE(
      out_text.contains("bluetooth: not present (the system's Bluetooth service (BlueZ) "
                        "is not running)"))
      << out_text.toStdString();

  ASSERT_TRUE(fake_.Start());
  const QString mouse = fake_.AddMouse(FakeBluez::kMouseAddress, true, false);
  out_text.clear();
  EXPECT_EQ(RunStatus(options, out, err), 1);
  EXPECT_TRUE(out_text.contains("bluetooth: not present (the mouse is paired but not connected"))
      << out_text.toStdString();

  ASSERT_TRUE(fake_.SetConnected(mouse, true));
  out_text.clear();
  ASSERT_EQ(RunDeviceApply(profile_path, options, out, err), 0)
      << out_text.toStdString() << err_text.toStdString();
  EXPECT_TRUE(out_text.contains("not sent      polling rate")) << out_text.toStdString();
  EXPECT_TRUE(out_text.contains("8 of 8 commands delivered")) << out_text.toStdString();
  EXPECT_EQ(
      ProfileDifferences(MouseAfter(fake_.GetWrites()), *test::ProfileUsingEveryGroup()).size(),
      1u);

  // `watch` until the battery report it printed; the notification is sent once the tool has
  // subscribed (before that the fake refuses it).
  out_text.clear();
  QTimer poke;
  bool notified = false;
  QObject::connect(&poke, &QTimer::timeout, [&] {
    if (!notified) notified = fake_.Notify(mouse, QByteArray::fromHex("cc400039"));
    if (out_text.contains("battery")) std::raise(SIGINT);
  });
  poke.start(100);
  options.watch_ms = 20000;
  EXPECT_EQ(RunWatch(options, out, err), 0);
  EXPECT_TRUE(out_text.contains("bluetooth: battery 57%, on battery")) << out_text.toStdString();
}

// The program: the Bluetooth link shows and the first send-all reaches the mouse through it;
// with the mouse paired but away, the page says so.
TEST_F(BluezTransportTest, TheProgramConfiguresTheMouseOverBluetooth) {
  QTemporaryDir data;
  {
    const QString mouse = fake_.AddMouse(FakeBluez::kMouseAddress, true, false);
    MouseCoreOptions options =
        test::TestCoreOptions(data.path() + "/", empty_drivers_.path() + "/");
    options.use_system_ble = true;
    auto window = test::MakeTestMainWindow(std::move(options));
    window->InitWindow();
    window->show();
    auto* note = window->Find<QLabel>(QStringLiteral("ms_1_ble_note"));
    WAIT_UNTIL(note->isVisible());
    EXPECT_EQ(ControlTextKey(note), "ble_not_connected_text");

    ASSERT_TRUE(fake_.SetConnected(mouse, true));
    WAIT_EQ(window->link_up(), 1);
    EXPECT_TRUE(window->Find(QStringLiteral("ms_1_BLE"))->isVisible());
    EXPECT_FALSE(note->isVisible());
    // A setting the factory does not have, so that only the writes can make the mouse match.
    window->core().session().EditCurrent([](ProfileData& p) { p.set_brightness(3); });
    window->core().RequestApply();
    WAIT_UNTIL_FOR(
        MatchesProfile(MouseAfter(fake_.GetWrites()), window->core().session().current()), 20000);
  }
}

// `mokta-mousectl probe` asks BlueZ once: the mouse's device and characteristics, the two the
// transport uses marked; and, with BlueZ gone, says so.
TEST_F(BluezTransportTest, ProbeShowsTheMouseAsBluezListsIt) {
  const QString mouse = fake_.AddMouse();
  ASSERT_FALSE(mouse.isEmpty()) << fake_.LastError().toStdString();
  const QJsonObject bluez = ProbeToJson(RunProbeScan()).value("bluez").toObject();
  EXPECT_TRUE(bluez.value("running").toBool()) << bluez.value("problem").toString().toStdString();
  const QJsonArray mice = bluez.value("mouse_devices").toArray();
  ASSERT_EQ(mice.size(), 1);
  EXPECT_EQ(mice[0].toObject().value("path").toString(), mouse);
  EXPECT_TRUE(mice[0].toObject().value("connected").toBool());
  std::map<QString, QString> uses;
  for (const auto& c : mice[0].toObject().value("characteristics").toArray()) {
    uses[c.toObject().value("path").toString()] = c.toObject().value("used_for").toString();
  }
  EXPECT_EQ(uses,
            (std::map<QString, QString>{{FakeBluez::WriteCharacteristicPath(mouse), "write"},
                                        {FakeBluez::NotifyCharacteristicPath(mouse), "notify"},
                                        {FakeBluez::DecoyCharacteristicPath(mouse), ""}}));

  ASSERT_TRUE(fake_.Stop());
  EXPECT_TRUE(ProbeToText(RunProbeScan()).endsWith("\nBlueZ is not running\n"));
}

}  // namespace
}  // namespace mokta

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("MOKTA_RES_DIR", QFile::encodeName(QStringLiteral(MOKTA_SOURCE_DIR "/res/")));
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  auto language = std::make_shared<mokta::LanguageFile>();
  language->LoadFromResources();
  mokta::SetProgramLanguage(language);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
