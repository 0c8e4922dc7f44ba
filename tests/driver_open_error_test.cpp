// What the program makes of a driver's explanation for a failed open, against a driver library
// whose device the test controls.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include "device/device_host.h"

namespace mokta {
namespace {

const QString kFakeFolder = QStringLiteral(MOKTA_FAKE_DRIVER_DIR "/");
constexpr char kDenied[] =
    "the mouse's cable interface /dev/hidraw4 is present but not accessible: install "
    "packaging/71-mokta-mouse.rules (see README)";

bool RunUntil(const std::function<bool()>& done, int timeout_ms = 10000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeout_ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
  }
  return true;
}

// The mouse is plugged in after start-up into a port whose node the user may not open: the
// driver's explanation reaches the program's list of problems, as one found at start-up does.
TEST(DriverOpenError, APermissionProblemOnALaterPlugIsReported) {
  // The host loads the same library again and so shares its state with the test.
  void* fake = dlopen(MOKTA_FAKE_DRIVER_DIR "/libhiddriver_2.so", RTLD_NOW | RTLD_LOCAL);
  ASSERT_TRUE(fake) << dlerror();
  const auto set_open =
      reinterpret_cast<void (*)(int32_t, const char*)>(dlsym(fake, "FakeDriver_SetOpen"));
  const auto arrive = reinterpret_cast<void (*)()>(dlsym(fake, "FakeDriver_Arrive"));
  ASSERT_TRUE(set_open && arrive);

  set_open(0, "");  // not there at start-up
  ProfileSession session(nullptr);
  DeviceHostOptions options;
  options.driver_folder = kFakeFolder;
  DeviceHost host(session, nullptr, options);
  host.Start();
  EXPECT_FALSE(host.problems().contains(kDenied));

  set_open(0, kDenied);
  arrive();
  EXPECT_TRUE(RunUntil([&] { return host.problems().contains(kDenied); }))
      << host.problems().join("\n").toStdString();
  host.Shutdown();
  dlclose(fake);
}

}  // namespace
}  // namespace mokta

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
