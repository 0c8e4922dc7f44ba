// The input hook table against fake libraries found through MOKTA_DRIVER_DIR: a complete
// one, one that lacks an export, and none at all.

#include "app/hook_table.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QByteArray>
#include <QTemporaryDir>
#include <string>
#include <vector>

namespace mokta {
namespace {

const QString kCompleteFolder = QStringLiteral(MOKTA_FAKE_HOOK_COMPLETE_DIR "/");
const QString kPartialFolder = QStringLiteral(MOKTA_FAKE_HOOK_PARTIAL_DIR "/");

std::vector<std::string> g_calls;

void RecordCall(const char* call) {
  g_calls.emplace_back(call);
}

// Points MOKTA_DRIVER_DIR at `folder` for the life of the object.
class DriverDirScope {
 public:
  explicit DriverDirScope(const QString& folder) : previous_(qgetenv("MOKTA_DRIVER_DIR")) {
    qputenv("MOKTA_DRIVER_DIR", folder.toUtf8());
  }
  ~DriverDirScope() {
    if (previous_.isNull()) {
      qunsetenv("MOKTA_DRIVER_DIR");
    } else {
      qputenv("MOKTA_DRIVER_DIR", previous_);
    }
  }

 private:
  QByteArray previous_;
};

bool IsLoaded(const QString& path) {
  void* handle = dlopen(path.toUtf8().constData(), RTLD_NOW | RTLD_NOLOAD);
  if (handle) dlclose(handle);
  return handle != nullptr;
}

// Points the loaded fake library's recorder at g_calls, without keeping a reference to it.
void StartRecording(const QString& path) {
  g_calls.clear();
  void* handle = dlopen(path.toUtf8().constData(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(handle, nullptr);
  using SetRecorderFn = void (*)(void (*)(const char*));
  auto set_recorder = reinterpret_cast<SetRecorderFn>(dlsym(handle, "fake_hook_set_recorder"));
  ASSERT_NE(set_recorder, nullptr);
  set_recorder(RecordCall);
  dlclose(handle);
}

struct PostedEvent {
  std::uint32_t message;
  std::uintptr_t wparam;
  std::intptr_t lparam;
};

void PostTo(void* context, std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
  static_cast<std::vector<PostedEvent>*>(context)->push_back({message, wparam, lparam});
}

// The calls a macro recording makes, from its start to its end.
void RecordAMacro(HookTable& table, const MoktaWindow* window) {
  table.InstallHook(window);
  table.EnableHook(true);
  table.EnableMouseHook(true);
  table.MouseWheelEnable(false);
  table.RemoveHook();
  table.RemoveMouseHook();
  table.EnableMouseHook(false);
  table.EnableHook(false);
}

TEST(HookTable, CompleteLibraryFromTheDriverFolderGetsEveryCallInOrder) {
  const QString path = kCompleteFolder + kHookLibraryFile;
  std::vector<PostedEvent> events;
  const MoktaWindow window{&events, PostTo};
  {
    DriverDirScope scope(kCompleteFolder);
    HookTable table;
    ASSERT_TRUE(table.loaded());
    StartRecording(path);
    RecordAMacro(table, &window);
    EXPECT_EQ(g_calls,
              (std::vector<std::string>{"installhook", "enablehook(1)", "enablemousehook(1)",
                                        "mousewheelenable(0)", "removehook", "removemousehook",
                                        "enablemousehook(0)", "enablehook(0)"}));
    // The window reaches the library unchanged: its event comes back through our callback.
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].message, MOKTA_HOOK_EVENT_MESSAGE);
    EXPECT_EQ(events[0].wparam, 0x41u);
    EXPECT_EQ(events[0].lparam, 0);
    g_calls.clear();
  }
  // Destruction takes out the mouse part and the hook, in that order, before unloading.
  EXPECT_EQ(g_calls, (std::vector<std::string>{"removemousehook", "removehook"}));
  EXPECT_FALSE(IsLoaded(path));
}

TEST(HookTable, LibraryLackingOneExportIsNotUsedAtAll) {
  const QString path = kPartialFolder + kHookLibraryFile;
  DriverDirScope scope(kPartialFolder);
  HookTable table;
  EXPECT_FALSE(table.loaded());
  EXPECT_FALSE(IsLoaded(path));  // not kept loaded either
  std::vector<PostedEvent> events;
  const MoktaWindow window{&events, PostTo};
  RecordAMacro(table, &window);
  EXPECT_TRUE(events.empty());
}

TEST(HookTable, MissingLibraryGivesAnEmptyTableWhoseCallsDoNothing) {
  QTemporaryDir empty;
  ASSERT_TRUE(empty.isValid());
  DriverDirScope scope(empty.path());
  HookTable table;
  EXPECT_FALSE(table.loaded());
  std::vector<PostedEvent> events;
  const MoktaWindow window{&events, PostTo};
  RecordAMacro(table, &window);
  EXPECT_TRUE(events.empty());
}

}  // namespace
}  // namespace mokta
