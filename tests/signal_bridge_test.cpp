// SIGINT, SIGTERM and SIGHUP reach the event loop once, as a call on the UI thread.

#include "app/signal_bridge.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <csignal>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace mokta {
namespace {

bool RunUntil(const std::function<bool()>& done, int timeout_ms = 5000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeout_ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
  }
  return true;
}

void (*HandlerOf(int signal_number))(int) {
  struct sigaction current {};
  sigaction(signal_number, nullptr, &current);
  return current.sa_handler;
}

TEST(SignalBridge, FirstSignalCallsBackOnceOnTheUiThreadAndHandlersAreRestored) {
  const auto int_before = HandlerOf(SIGINT);
  const auto term_before = HandlerOf(SIGTERM);
  std::vector<int> received;
  QThread* called_on = nullptr;
  {
    SignalBridge bridge([&](int signal_number) {
      received.push_back(signal_number);
      called_on = QThread::currentThread();
    });
    std::thread([] { kill(getpid(), SIGTERM); }).join();
    EXPECT_TRUE(received.empty()) << "called from inside the signal handler";
    ASSERT_TRUE(RunUntil([&] { return !received.empty(); }));
    EXPECT_EQ(received, std::vector<int>{SIGTERM});
    EXPECT_EQ(called_on, QCoreApplication::instance()->thread());

    raise(SIGINT);
    raise(SIGTERM);
    RunUntil([] { return false; }, 200);
    EXPECT_EQ(received.size(), 1u) << "the clean-up must be asked for once";
  }
  EXPECT_EQ(HandlerOf(SIGINT), int_before);
  EXPECT_EQ(HandlerOf(SIGTERM), term_before);
}

// A closed terminal (SIGHUP) ends the program with its clean-up; under nohup it is left
// ignored.
TEST(SignalBridge, HangupIsBridgedUnlessIgnored) {
  const auto hup_before = HandlerOf(SIGHUP);
  {
    std::vector<int> received;
    SignalBridge bridge([&](int signal_number) { received.push_back(signal_number); });
    raise(SIGHUP);
    ASSERT_TRUE(RunUntil([&] { return !received.empty(); }));
    EXPECT_EQ(received, std::vector<int>{SIGHUP});
  }
  EXPECT_EQ(HandlerOf(SIGHUP), hup_before);

  signal(SIGHUP, SIG_IGN);
  {
    SignalBridge bridge([](int) {});
    EXPECT_EQ(HandlerOf(SIGHUP), SIG_IGN);
  }
  EXPECT_EQ(HandlerOf(SIGHUP), SIG_IGN);
  signal(SIGHUP, hup_before);
}

TEST(SignalBridge, CallbackMayDestroyTheBridge) {
  const auto int_before = HandlerOf(SIGINT);
  std::unique_ptr<SignalBridge> bridge;
  bool called = false;
  bridge = std::make_unique<SignalBridge>([&](int) {
    bridge.reset();
    called = true;
  });
  raise(SIGINT);
  ASSERT_TRUE(RunUntil([&] { return called; }));
  EXPECT_EQ(bridge, nullptr);
  EXPECT_EQ(HandlerOf(SIGINT), int_before);
}

}  // namespace
}  // namespace mokta

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
