// One program per user: real processes (single_instance_probe) claim a name, activate each
// other and die at awkward moments; the protocol's edges are driven from this process.

#include "app/single_instance.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QProcess>
#include <cstddef>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace mokta {
namespace {

using Activation = SingleInstance::Activation;

constexpr int kWaitMs = 15000;  // generous: the sanitizer builds start slowly

QString UniqueName() {
  static int counter = 0;
  return QStringLiteral("mokta-test-%1-%2").arg(QCoreApplication::applicationPid()).arg(++counter);
}

bool RunUntil(const std::function<bool()>& done, int timeout_ms = kWaitMs) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeout_ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
  }
  return true;
}

// One single_instance_probe process; killed at the end of the test if still running.
class Probe {
 public:
  // As an answer delay: the probe answers each request when the test calls Answer.
  static constexpr int kWhenTold = -1;

  explicit Probe(const QString& name, int answer_delay_ms = 0) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral(MOKTA_SINGLE_INSTANCE_PROBE),
                   {name, answer_delay_ms == kWhenTold ? QStringLiteral("told")
                                                       : QString::number(answer_delay_ms)});
  }
  ~Probe() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished(kWaitMs);
    }
  }

  // Waits until the probe has printed `line` `times` times in all.
  bool WaitForLine(const char* line, int times = 1, int timeout_ms = kWaitMs) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
      output_ += process_.readAllStandardOutput();
      if (Count(line) >= times) return true;
      const qint64 left = timeout_ms - clock.elapsed();
      if (left <= 0 || process_.state() == QProcess::NotRunning) return false;
      process_.waitForReadyRead(static_cast<int>(left));
    }
  }
  int Count(const char* line) const { return output_.count(QByteArray(line) + '\n'); }

  // True once the probe has exited by itself (not crashed, not killed).
  bool WaitForExit(int timeout_ms = kWaitMs) {
    if (process_.state() != QProcess::NotRunning) process_.waitForFinished(timeout_ms);
    output_ += process_.readAllStandardOutput();
    return process_.state() == QProcess::NotRunning &&
           process_.exitStatus() == QProcess::NormalExit;
  }
  bool Running() const { return process_.state() != QProcess::NotRunning; }
  // A probe started with kWhenTold answers its oldest unanswered request.
  void Answer() {
    process_.write("\n");
    process_.waitForBytesWritten(kWaitMs);
  }
  int ExitCode() const { return process_.exitCode(); }
  void Kill() {
    process_.kill();
    process_.waitForFinished(kWaitMs);
  }
  const QByteArray& Output() const { return output_; }

 private:
  QProcess process_;
  QByteArray output_;
};

TEST(SingleInstanceProcesses, SecondStartEndsWith1OnlyAfterTheFirstAnswered) {
  const QString name = UniqueName();
  Probe first(name, Probe::kWhenTold);  // answers when the test closes its "message"
  ASSERT_TRUE(first.WaitForLine("ready")) << first.Output().constData();

  Probe second(name);
  ASSERT_TRUE(first.WaitForLine("activated"));
  EXPECT_TRUE(second.Running()) << "the second start must wait while the message is open";
  EXPECT_EQ(first.Count("answering"), 0);
  first.Answer();
  ASSERT_TRUE(second.WaitForExit());
  EXPECT_EQ(second.ExitCode(), 1);
  EXPECT_EQ(second.Output(), "second: answered\n");
  // The first printed this before it answered, so it is in the pipe by now.
  EXPECT_TRUE(first.WaitForLine("answering", 1, 1000));

  // The first keeps serving: a third start is answered as well.
  Probe third(name);
  ASSERT_TRUE(first.WaitForLine("activated", 2));
  first.Answer();
  ASSERT_TRUE(third.WaitForExit());
  EXPECT_EQ(third.ExitCode(), 1);
  EXPECT_EQ(third.Output(), "second: answered\n");
}

TEST(SingleInstanceProcesses, KilledPrimaryLeavesTheNameFreeForTheNextStart) {
  const QString name = UniqueName();
  {
    Probe crashed(name);
    ASSERT_TRUE(crashed.WaitForLine("ready"));
    crashed.Kill();  // SIGKILL: no clean-up of any kind
  }
  Probe next(name);
  ASSERT_TRUE(next.WaitForLine("ready")) << next.Output().constData();
  Probe second(name);
  ASSERT_TRUE(second.WaitForExit());
  EXPECT_EQ(second.ExitCode(), 1);
  EXPECT_EQ(second.Output(), "second: answered\n");
  EXPECT_TRUE(next.WaitForLine("activated"));
}

TEST(SingleInstanceProcesses, PrimaryDyingBeforeItAnswersReleasesTheSecondStart) {
  const QString name = UniqueName();
  Probe first(name, 600000);  // would answer only after ten minutes
  ASSERT_TRUE(first.WaitForLine("ready"));
  Probe second(name);
  ASSERT_TRUE(first.WaitForLine("activated"));
  first.Kill();
  ASSERT_TRUE(second.WaitForExit(5000)) << "the second start hangs on a dead primary";
  EXPECT_EQ(second.ExitCode(), 1);
  EXPECT_EQ(second.Output(), "second: dropped\n");
}

TEST(SingleInstanceProcesses, StartsAtTheSameMomentLeaveExactlyOnePrimary) {
  for (int round = 0; round < 3; ++round) {
    const QString name = UniqueName();
    std::vector<std::unique_ptr<Probe>> probes;
    for (int i = 0; i < 3; ++i) probes.push_back(std::make_unique<Probe>(name));
    // Two of them end as second starts; the one left running is the primary.
    std::vector<Probe*> running;
    QElapsedTimer clock;
    clock.start();
    do {
      running.clear();
      for (auto& probe : probes) {
        if (!probe->WaitForExit(20)) running.push_back(probe.get());
      }
    } while (running.size() > 1 && clock.elapsed() < kWaitMs);
    ASSERT_EQ(running.size(), 1u) << "round " << round;
    for (auto& probe : probes) {
      if (probe.get() == running[0]) continue;
      EXPECT_EQ(probe->ExitCode(), 1);
      EXPECT_EQ(probe->Output(), "second: answered\n");
    }
    EXPECT_TRUE(running[0]->WaitForLine("ready"));
    EXPECT_TRUE(running[0]->WaitForLine("activated", 2)) << running[0]->Output().constData();
  }
}

TEST(SingleInstanceName, TheEnvironmentNamesTheInstanceWhenSetAndNotEmpty) {
  qunsetenv("MOKTA_INSTANCE_NAME");
  const QString per_user = SingleInstance::DefaultName();
  EXPECT_TRUE(per_user.startsWith(QStringLiteral("Mokta Gaming Mouse.%1").arg(geteuid())))
      << per_user.toStdString();
  qputenv("MOKTA_INSTANCE_NAME", "mokta-test-own-name");
  EXPECT_EQ(SingleInstance::DefaultName(), "mokta-test-own-name");
  EXPECT_EQ(SingleInstance().name(), "mokta-test-own-name");
  qputenv("MOKTA_INSTANCE_NAME", "");
  EXPECT_EQ(SingleInstance::DefaultName(), per_user);
  qunsetenv("MOKTA_INSTANCE_NAME");
}

// A client in this process, driven by the event loop, for the protocol's edges.
std::unique_ptr<QLocalSocket> Connect(const QString& name) {
  auto socket = std::make_unique<QLocalSocket>();
  socket->setSocketOptions(QLocalSocket::AbstractNamespaceOption);
  socket->connectToServer(name);
  return socket;
}

TEST(SingleInstanceProtocol, RequestBeforeAnyHandlerIsAnsweredAtOnce) {
  SingleInstance instance(UniqueName());
  ASSERT_TRUE(instance.TryBecomePrimary());
  auto client = Connect(instance.name());
  client->write("activate\n");
  ASSERT_TRUE(RunUntil([&] { return client->canReadLine(); }));
  EXPECT_EQ(client->readLine(), "done\n");
}

TEST(SingleInstanceProtocol, OtherTrafficIsClosedUnansweredAndDoesNotActivate) {
  SingleInstance instance(UniqueName());
  ASSERT_TRUE(instance.TryBecomePrimary());
  int activations = 0;
  instance.SetActivationHandler([&](SingleInstance::Reply reply) {
    ++activations;
    reply();
  });

  auto wrong_line = Connect(instance.name());
  wrong_line->write("activate please\n");
  auto endless = Connect(instance.name());
  endless->write(QByteArray(4096, 'a'));   // no line end
  auto silent = Connect(instance.name());  // says nothing: stays open, harmless
  auto closed = [](const std::unique_ptr<QLocalSocket>& socket) {
    return socket->state() == QLocalSocket::UnconnectedState;
  };
  ASSERT_TRUE(RunUntil([&] { return closed(wrong_line) && closed(endless); }));
  EXPECT_EQ(wrong_line->readAll(), "");
  EXPECT_EQ(endless->readAll(), "");

  auto good = Connect(instance.name());
  good->write("activate\n");
  ASSERT_TRUE(RunUntil([&] { return good->canReadLine(); }));
  EXPECT_EQ(good->readLine(), "done\n");
  EXPECT_EQ(activations, 1);
  EXPECT_EQ(silent->state(), QLocalSocket::ConnectedState);
}

TEST(SingleInstanceProtocol, LateRepliesAreHarmless) {
  std::vector<SingleInstance::Reply> replies;
  auto instance = std::make_unique<SingleInstance>(UniqueName());
  ASSERT_TRUE(instance->TryBecomePrimary());
  instance->SetActivationHandler([&](SingleInstance::Reply reply) { replies.push_back(reply); });

  auto gone = Connect(instance->name());
  gone->write("activate\n");
  auto waiting = Connect(instance->name());
  waiting->write("activate\n");
  ASSERT_TRUE(RunUntil([&] { return replies.size() == 2; }));

  gone->abort();  // the second start was killed while the message was open
  RunUntil([] { return false; }, 100);
  replies[0]();
  replies[1]();
  replies[1]();  // twice: still one answer
  ASSERT_TRUE(RunUntil([&] { return waiting->state() == QLocalSocket::UnconnectedState; }));
  EXPECT_EQ(waiting->readAll(), "done\n");

  auto orphan = Connect(instance->name());
  orphan->write("activate\n");
  ASSERT_TRUE(RunUntil([&] { return replies.size() == 3; }));
  instance.reset();  // the program ended before the user closed the message
  replies[2]();
}

// Binds `name` in the abstract namespace the way QLocalServer does; listens only if asked.
int BindAbstract(const QString& name, bool listen_too) {
  const QByteArray bytes = name.toUtf8();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path + 1, bytes.constData(), bytes.size());
  const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + bytes.size());
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      (listen_too && listen(fd, 4) != 0)) {
    close(fd);
    return -1;
  }
  return fd;
}

TEST(SingleInstanceClaim, NameHeldByASocketThatNeverListensStillLetsTheProgramRun) {
  const QString name = UniqueName();
  const int squatter = BindAbstract(name, false);
  ASSERT_GE(squatter, 0);
  SingleInstance instance(name);
  QElapsedTimer clock;
  clock.start();
  EXPECT_TRUE(instance.TryBecomePrimary());
  EXPECT_LT(clock.elapsed(), 5000);
  EXPECT_FALSE(instance.listening());
  EXPECT_EQ(SingleInstance::ActivateOtherInstance(name, 1000), Activation::kNotRunning);
  close(squatter);
}

TEST(SingleInstanceClaim, SecondStartGivesUpAtItsTimeLimitWhenNobodyAnswers) {
  const QString name = UniqueName();
  const int mute = BindAbstract(name, true);  // accepts connections, never answers
  ASSERT_GE(mute, 0);
  SingleInstance second(name);
  EXPECT_FALSE(second.TryBecomePrimary());
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(SingleInstance::ActivateOtherInstance(name, 300), Activation::kTimedOut);
  EXPECT_GE(clock.elapsed(), 300);
  close(mute);
  EXPECT_EQ(SingleInstance::ActivateOtherInstance(name, 300), Activation::kNotRunning);
}

}  // namespace
}  // namespace mokta

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
