// libHook.so as the program loads it, on a private X server (the test runs under xvfb-run):
// key and button events injected through XTest on a connection of the test's own must come
// back through the window's post callback as the hook message, with the gates, the wheel,
// removehook and Wayland sessions respected, and without threads or descriptors left behind.

#include <dirent.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "mokta_hook.h"

// Xlib's macros (None, Bool, ...) would clash with GoogleTest's names: Xlib comes last.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

struct Posted {
  std::uint32_t message;
  std::uintptr_t wparam;
  std::intptr_t lparam;
  bool operator==(const Posted&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Posted& p) {
  return out << "(" << p.message << ", 0x" << std::hex << p.wparam << std::dec << ", " << p.lparam
             << ")";
}

Posted Key(std::uintptr_t vk, bool release) {
  return {MOKTA_HOOK_EVENT_MESSAGE, vk, release};
}
Posted Button(std::uintptr_t message, std::intptr_t x_button = 0) {
  return {MOKTA_HOOK_EVENT_MESSAGE, message, x_button};
}
bool IsKey(const Posted& p) {
  return p.wparam < 0x200 || p.wparam > 0x20E;
}

// A window whose post callback records every message, from whichever thread it comes. After
// Close() any further post counts as a violation.
class Recorder {
 public:
  MoktaWindow Window() { return MoktaWindow{this, &Recorder::Post}; }

  // Waits (at most ten seconds) until the recorded messages satisfy `done`.
  bool WaitFor(const std::function<bool(const std::vector<Posted>&)>& done) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return done(posted_); });
  }
  bool WaitForCount(std::size_t count) {
    return WaitFor([&](const std::vector<Posted>& p) { return p.size() >= count; });
  }
  // Waits until `last` has been recorded; the messages up to it are returned.
  std::vector<Posted> UntilIncluding(const Posted& last) {
    std::vector<Posted> result;
    WaitFor([&](const std::vector<Posted>& p) {
      for (std::size_t i = 0; i < p.size(); ++i) {
        if (p[i] == last) {
          result.assign(p.begin(), p.begin() + static_cast<std::ptrdiff_t>(i) + 1);
          return true;
        }
      }
      return false;
    });
    return result;
  }
  std::vector<Posted> All() {
    std::lock_guard lock(mutex_);
    return posted_;
  }
  void Close() { closed_.store(true); }
  int PostsAfterClose() const { return late_posts_.load(); }

 private:
  static void Post(void* context, std::uint32_t message, std::uintptr_t wparam,
                   std::intptr_t lparam) {
    auto* self = static_cast<Recorder*>(context);
    if (self->closed_.load()) self->late_posts_.fetch_add(1);
    {
      std::lock_guard lock(self->mutex_);
      self->posted_.push_back({message, wparam, lparam});
    }
    self->changed_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Posted> posted_;
  std::atomic<bool> closed_{false};
  std::atomic<int> late_posts_{0};
};

// The library, loaded the way the program loads it.
class HookLibrary {
 public:
  HookLibrary() : handle_(dlopen(MOKTA_HOOK_LIBRARY, RTLD_NOW | RTLD_LOCAL)) {
    if (handle_ == nullptr) return;
    installhook = Find<MoktaInstallHookFn>("installhook");
    removehook = Find<MoktaRemoveHookFn>("removehook");
    enablehook = Find<MoktaEnableHookFn>("enablehook");
    installmousehook = Find<MoktaInstallMouseHookFn>("installmousehook");
    removemousehook = Find<MoktaRemoveMouseHookFn>("removemousehook");
    enablemousehook = Find<MoktaEnableMouseHookFn>("enablemousehook");
    mousewheelenable = Find<MoktaMouseWheelEnableFn>("mousewheelenable");
    hookglobalcapture = Find<MoktaHookGlobalCaptureFn>("hookglobalcapture");
  }
  ~HookLibrary() {
    if (handle_ != nullptr) dlclose(handle_);
  }
  HookLibrary(const HookLibrary&) = delete;
  HookLibrary& operator=(const HookLibrary&) = delete;

  bool Complete() const {
    return installhook && removehook && enablehook && installmousehook && removemousehook &&
           enablemousehook && mousewheelenable && hookglobalcapture;
  }

  MoktaInstallHookFn installhook = nullptr;
  MoktaRemoveHookFn removehook = nullptr;
  MoktaEnableHookFn enablehook = nullptr;
  MoktaInstallMouseHookFn installmousehook = nullptr;
  MoktaRemoveMouseHookFn removemousehook = nullptr;
  MoktaEnableMouseHookFn enablemousehook = nullptr;
  MoktaMouseWheelEnableFn mousewheelenable = nullptr;
  MoktaHookGlobalCaptureFn hookglobalcapture = nullptr;

 private:
  template <typename Fn>
  Fn Find(const char* name) {
    return reinterpret_cast<Fn>(dlsym(handle_, name));
  }
  void* handle_;
};

// Fake input through XTest, on a display connection of its own.
class Injector {
 public:
  Injector() : display_(XOpenDisplay(nullptr)) {
    int unused = 0;
    if (display_ != nullptr && !XTestQueryExtension(display_, &unused, &unused, &unused, &unused)) {
      XCloseDisplay(display_);
      display_ = nullptr;
    }
  }
  ~Injector() {
    if (display_ != nullptr) XCloseDisplay(display_);
  }
  Injector(const Injector&) = delete;
  Injector& operator=(const Injector&) = delete;

  bool Ready() const { return display_ != nullptr; }
  void Key(KeySym keysym, bool press) {
    XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, keysym), press, CurrentTime);
  }
  void Tap(KeySym keysym) {
    Key(keysym, true);
    Key(keysym, false);
  }
  void Click(unsigned button) {
    XTestFakeButtonEvent(display_, button, True, CurrentTime);
    XTestFakeButtonEvent(display_, button, False, CurrentTime);
  }
  // Presses or releases the key at X key code `keycode`, whatever it types.
  void Code(unsigned keycode, bool press) {
    XTestFakeKeyEvent(display_, keycode, press, CurrentTime);
  }
  unsigned CodeOf(KeySym keysym) { return XKeysymToKeycode(display_, keysym); }
  // Makes `group` the keyboard's locked group (layout).
  void LockGroup(unsigned group) { XkbLockGroup(display_, XkbUseCoreKbd, group); }
  // Returns once the server has handled everything injected so far.
  void Sync() { XSync(display_, False); }

 private:
  Display* display_;
};

std::size_t CountEntries(const char* folder) {
  std::size_t count = 0;
  if (DIR* dir = opendir(folder)) {
    while (dirent* entry = readdir(dir)) {
      if (entry->d_name[0] != '.') ++count;
    }
    closedir(dir);
  }
  return count;
}

// The library's capture threads in this process (it names them "mokta-hook").
int HookThreads() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(dir)) {
      if (entry->d_name[0] == '.') continue;
      std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
      std::string name;
      std::getline(comm, name);
      if (name == "mokta-hook") ++count;
    }
    closedir(dir);
  }
  return count;
}

class HookLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The test's X server is an X11 session whatever session the test was started from.
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("XDG_SESSION_TYPE");
    ASSERT_TRUE(injector_.Ready()) << "needs an X server with XTest (run under xvfb-run)";
    ASSERT_TRUE(hook_.Complete()) << dlerror();
  }
  void TearDown() override {
    if (hook_.Complete()) {
      hook_.removemousehook();
      hook_.removehook();
    }
  }

  // Installs `recorder` with the given gates and the wheel off, as the macro recorder does.
  void Install(Recorder& recorder, bool keys, bool buttons) {
    window_ = recorder.Window();
    hook_.installhook(&window_);
    hook_.enablehook(keys ? 1 : 0);
    hook_.enablemousehook(buttons ? 1 : 0);
    hook_.mousewheelenable(0);
  }

  Injector injector_;
  HookLibrary hook_;
  MoktaWindow window_{};
};

TEST_F(HookLibraryTest, KeysArriveAsVirtualKeyCodesPressThenRelease) {
  Recorder recorder;
  Install(recorder, /*keys=*/true, /*buttons=*/false);
  injector_.Tap(XK_a);
  injector_.Key(XK_Shift_L, true);
  injector_.Key(XK_F1, true);
  injector_.Key(XK_F1, false);
  injector_.Key(XK_Shift_L, false);
  injector_.Sync();

  const std::vector<Posted> expected = {Key(0x41, false), Key(0x41, true), Key(0xA0, false),
                                        Key(0x70, false), Key(0x70, true), Key(0xA0, true)};
  ASSERT_TRUE(recorder.WaitForCount(expected.size()));
  EXPECT_EQ(recorder.All(), expected);
}

// The X server's keymap (setxkbmap) and group (a locked group) change while the hook runs:
// a letter key is posted as the letter it types now, so the French layout's key at the US Q
// position is 'A'.
TEST_F(HookLibraryTest, KeysFollowTheServersLayoutAndGroup) {
  struct RestoreUs {
    ~RestoreUs() { (void)!std::system("setxkbmap -layout us"); }
  } restore;
  Recorder recorder;
  Install(recorder, /*keys=*/true, /*buttons=*/false);
  const unsigned q_position = injector_.CodeOf(XK_q);
  const auto tap_q_position = [&] {
    injector_.Code(q_position, true);
    injector_.Code(q_position, false);
    injector_.Sync();
  };

  ASSERT_EQ(std::system("setxkbmap -layout fr"), 0);
  tap_q_position();
  ASSERT_TRUE(recorder.WaitForCount(2));

  ASSERT_EQ(std::system("setxkbmap -layout us,fr"), 0);
  injector_.LockGroup(0);
  tap_q_position();
  ASSERT_TRUE(recorder.WaitForCount(4));
  injector_.LockGroup(1);
  tap_q_position();
  ASSERT_TRUE(recorder.WaitForCount(6));

  EXPECT_EQ(recorder.All(),
            (std::vector<Posted>{Key(0x41, false), Key(0x41, true), Key(0x51, false),
                                 Key(0x51, true), Key(0x41, false), Key(0x41, true)}));
}

TEST_F(HookLibraryTest, ButtonsArriveWithTheirMessagesAndTheWheelIsNotReported) {
  Recorder recorder;
  Install(recorder, /*keys=*/true, /*buttons=*/true);
  for (unsigned button : {1u, 4u, 3u, 5u, 2u, 6u, 7u, 8u, 9u}) injector_.Click(button);
  injector_.Tap(XK_a);  // the end marker
  injector_.Sync();

  const std::vector<Posted> expected = {Button(MOKTA_HOOK_LEFT_DOWN),
                                        Button(MOKTA_HOOK_LEFT_UP),
                                        Button(MOKTA_HOOK_RIGHT_DOWN),
                                        Button(MOKTA_HOOK_RIGHT_UP),
                                        Button(MOKTA_HOOK_MIDDLE_DOWN),
                                        Button(MOKTA_HOOK_MIDDLE_UP),
                                        Button(MOKTA_HOOK_X_DOWN, 2),
                                        Button(MOKTA_HOOK_X_UP, 2),
                                        Button(MOKTA_HOOK_X_DOWN, 1),
                                        Button(MOKTA_HOOK_X_UP, 1),
                                        Key(0x41, false),
                                        Key(0x41, true)};
  EXPECT_EQ(recorder.UntilIncluding(Key(0x41, true)), expected);
}

TEST_F(HookLibraryTest, GatesStopKeysAndButtons) {
  Recorder recorder;
  const auto keys_in = [](const std::vector<Posted>& p) {
    return std::count_if(p.begin(), p.end(), IsKey);
  };

  // Keys off: the key before the marker click is not posted.
  Install(recorder, /*keys=*/false, /*buttons=*/true);
  injector_.Tap(XK_b);
  injector_.Click(1);
  injector_.Sync();
  std::vector<Posted> seen = recorder.UntilIncluding(Button(MOKTA_HOOK_LEFT_UP));
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(keys_in(seen), 0);

  // Buttons off: the clicks before the marker key are not posted.
  hook_.enablehook(1);
  hook_.enablemousehook(0);
  injector_.Click(1);
  injector_.Click(9);
  injector_.Tap(XK_c);
  injector_.Sync();
  seen = recorder.UntilIncluding(Key(0x43, true));
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[2], Key(0x43, false));

  // removemousehook closes the button gate too.
  hook_.enablemousehook(1);
  hook_.removemousehook();
  injector_.Click(3);
  injector_.Tap(XK_d);
  injector_.Sync();
  seen = recorder.UntilIncluding(Key(0x44, true));
  ASSERT_EQ(seen.size(), 6u);
  EXPECT_EQ(seen[4], Key(0x44, false));
}

TEST_F(HookLibraryTest, NothingIsPostedAfterRemovehookAndInstallStartsAgain) {
  const int threads_before = HookThreads();
  Recorder first;
  Install(first, /*keys=*/true, /*buttons=*/true);
  EXPECT_EQ(HookThreads(), threads_before + 1);

  // Input keeps coming from another connection while removehook runs.
  std::atomic<bool> typing{true};
  std::thread typist([&] {
    Injector own;
    while (typing.load()) {
      own.Tap(XK_x);
      own.Click(1);
      own.Sync();
    }
  });
  ASSERT_TRUE(first.WaitForCount(8));
  hook_.removehook();
  first.Close();
  EXPECT_EQ(HookThreads(), threads_before);
  typing.store(false);
  typist.join();

  // An event between removehook and the next installhook reaches no window; the event after
  // the new installhook marks the point up to which anything late would have arrived.
  injector_.Tap(XK_y);
  injector_.Sync();
  Recorder second;
  Install(second, /*keys=*/true, /*buttons=*/false);
  injector_.Tap(XK_z);
  injector_.Sync();
  EXPECT_EQ(second.UntilIncluding(Key(0x5A, true)),
            (std::vector<Posted>{Key(0x5A, false), Key(0x5A, true)}));
  EXPECT_EQ(first.PostsAfterClose(), 0);
  const std::vector<Posted> firsts = first.All();
  EXPECT_EQ(std::count(firsts.begin(), firsts.end(), Key(0x59, false)), 0);
}

TEST_F(HookLibraryTest, NoDesktopCaptureInAWaylandSessionOrWithoutADisplay) {
  EXPECT_EQ(hook_.hookglobalcapture(), 1);

  const int threads_before = HookThreads();
  Recorder recorder;
  setenv("WAYLAND_DISPLAY", "wayland-0", 1);
  EXPECT_EQ(hook_.hookglobalcapture(), 0);
  Install(recorder, /*keys=*/true, /*buttons=*/true);
  EXPECT_EQ(HookThreads(), threads_before);  // nothing that could post
  hook_.removehook();
  unsetenv("WAYLAND_DISPLAY");

  setenv("XDG_SESSION_TYPE", "wayland", 1);
  EXPECT_EQ(hook_.hookglobalcapture(), 0);
  unsetenv("XDG_SESSION_TYPE");

  const std::string display = std::getenv("DISPLAY");
  unsetenv("DISPLAY");
  EXPECT_EQ(hook_.hookglobalcapture(), 0);
  Install(recorder, /*keys=*/true, /*buttons=*/true);
  EXPECT_EQ(HookThreads(), threads_before);  // it gave up and was joined at once
  setenv("DISPLAY", display.c_str(), 1);
  hook_.removehook();
  EXPECT_TRUE(recorder.All().empty());
}

// Whether the library is mapped into this process.
bool HookLibraryMapped() {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    if (line.find("libHook.so") != std::string::npos) return true;
  }
  return false;
}

// Without the fixture, which would keep one copy loaded: every cycle loads and unloads it.
TEST(HookLibraryCycles, LoadingInstallingAndRemovingAThousandTimesLeaksNothing) {
  unsetenv("WAYLAND_DISPLAY");
  unsetenv("XDG_SESSION_TYPE");
  // The program holds a connection of its own; without one an X server started without
  // -noreset would reset each time the library's connection closes.
  Injector program_connection;
  ASSERT_TRUE(program_connection.Ready()) << "needs an X server with XTest (run under xvfb-run)";
  ASSERT_FALSE(HookLibraryMapped());
  const std::size_t fds_before = CountEntries("/proc/self/fd");
  const std::size_t tasks_before = CountEntries("/proc/self/task");
  Recorder recorder;
  MoktaWindow window = recorder.Window();
  for (int i = 0; i < 1000; ++i) {
    {
      HookLibrary hook;
      ASSERT_TRUE(hook.Complete());
      hook.removehook();  // nothing installed yet
      hook.installhook(&window);
      if (i == 0) {
        ASSERT_EQ(HookThreads(), 1);
      }
      hook.installhook(&window);  // again, over the running capture
      hook.enablehook(1);
      hook.enablemousehook(1);
      hook.removemousehook();
      hook.removehook();
      hook.removehook();
    }
    if (i == 0) {
      ASSERT_FALSE(HookLibraryMapped()) << "dlclose left the library loaded";
    }
  }
  EXPECT_EQ(CountEntries("/proc/self/fd"), fds_before);
  EXPECT_EQ(CountEntries("/proc/self/task"), tasks_before);
  EXPECT_EQ(HookThreads(), 0);
}

}  // namespace
