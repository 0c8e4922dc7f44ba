// The input hook table against fake libraries found through MOKTA_DRIVER_DIR: a complete
// one, one that lacks an export, none at all, one placed in a data folder, and ones that say
// whether they see the whole desktop; where they do not, the calls go to the capture of the
// program's own windows.

#include "app/hook_table.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

namespace mokta {
namespace {

const QString kCompleteFolder = QStringLiteral(MOKTA_FAKE_HOOK_COMPLETE_DIR "/");
const QString kPartialFolder = QStringLiteral(MOKTA_FAKE_HOOK_PARTIAL_DIR "/");
const QString kDesktopFolder = QStringLiteral(MOKTA_FAKE_HOOK_DESKTOP_DIR "/");
const QString kWindowOnlyFolder = QStringLiteral(MOKTA_FAKE_HOOK_WINDOW_ONLY_DIR "/");

std::vector<std::string> g_calls;

void RecordCall(const char* call) {
  g_calls.emplace_back(call);
}

// Sets the environment variable `name` to `value` for the life of the object.
class EnvScope {
 public:
  EnvScope(const char* name, const QString& value) : name_(name), previous_(qgetenv(name)) {
    qputenv(name, value.toUtf8());
  }
  ~EnvScope() {
    if (previous_.isNull()) {
      qunsetenv(name_);
    } else {
      qputenv(name_, previous_);
    }
  }

 private:
  const char* name_;
  QByteArray previous_;
};

// Points MOKTA_DRIVER_DIR at `folder` for the life of the object.
class DriverDirScope : public EnvScope {
 public:
  explicit DriverDirScope(const QString& folder) : EnvScope("MOKTA_DRIVER_DIR", folder) {}
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

// The data folders hold files the program and the user write; a library placed there is never
// loaded, whether MOKTA_DRIVER_DIR names the folder or a path to it is given.
TEST(HookTable, LibraryInADataFolderIsNeverLoaded) {
  QTemporaryDir home;
  ASSERT_TRUE(home.isValid());
  const QString user_data = home.path() + "/share/mokta-mouse/Data/plugins/";
  const QString data_dir = home.path() + "/data/";
  for (const QString& folder : {user_data, data_dir}) {
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QFile::copy(kCompleteFolder + kHookLibraryFile, folder + kHookLibraryFile));
  }
  EnvScope xdg("XDG_DATA_HOME", home.path() + "/share");
  EnvScope data("MOKTA_DATA_DIR", data_dir);
  for (const QString& folder : {user_data, data_dir}) {
    DriverDirScope scope(folder);
    HookTable table;
    EXPECT_FALSE(table.loaded()) << folder.toStdString();
    EXPECT_FALSE(IsLoaded(folder + kHookLibraryFile));
    EXPECT_FALSE(HookTable(folder + kHookLibraryFile).loaded());
  }
  // The same library outside the data folders loads.
  const QString elsewhere = home.path() + "/programs/";
  ASSERT_TRUE(QDir().mkpath(elsewhere));
  ASSERT_TRUE(QFile::copy(kCompleteFolder + kHookLibraryFile, elsewhere + kHookLibraryFile));
  EXPECT_TRUE(HookTable(elsewhere + kHookLibraryFile).loaded());
}

// The library is looked for in MOKTA_DRIVER_DIR first and, when that folder has none (the
// virtual mouse's folder), in the program's own folder.
TEST(HookTable, LibraryComesFromTheDriverFolderWhenItHasOneElseFromTheProgramFolder) {
  QTemporaryDir root;
  ASSERT_TRUE(root.isValid());
  const QString drivers = root.path() + "/drivers/";
  const QString program = root.path() + "/bin/";
  ASSERT_TRUE(QDir().mkpath(drivers));
  ASSERT_TRUE(QDir().mkpath(program));
  EXPECT_EQ(HookLibraryPathIn(drivers, program), program + kHookLibraryFile);
  EXPECT_EQ(HookLibraryPathIn(QString(), program), program + kHookLibraryFile);
  ASSERT_TRUE(QFile::copy(kCompleteFolder + kHookLibraryFile, drivers + kHookLibraryFile));
  EXPECT_EQ(HookLibraryPathIn(drivers, program), drivers + kHookLibraryFile);
}

// A stand-in for the capture of the program's own windows, recording the calls it gets.
class RecordingCapture : public InputHooks {
 public:
  explicit RecordingCapture(std::vector<std::string>* calls) : calls_(calls) {}
  void InstallHook(const MoktaWindow*) override { calls_->push_back("installhook"); }
  void RemoveHook() override { calls_->push_back("removehook"); }
  void EnableHook(bool enable) override { Add("enablehook", enable); }
  void EnableMouseHook(bool enable) override { Add("enablemousehook", enable); }
  void RemoveMouseHook() override { calls_->push_back("removemousehook"); }
  void MouseWheelEnable(bool enable) override { Add("mousewheelenable", enable); }

 private:
  void Add(const std::string& name, bool enable) {
    calls_->push_back(name + (enable ? "(1)" : "(0)"));
  }
  std::vector<std::string>* calls_;
};

const std::vector<std::string> kMacroCalls{
    "installhook", "enablehook(1)",   "enablemousehook(1)", "mousewheelenable(0)",
    "removehook",  "removemousehook", "enablemousehook(0)", "enablehook(0)"};

// A library that sees the whole desktop (it says 1, or says nothing) gets the calls; one that
// says 0, or none at all, leaves them to the capture of the program's windows, and the user is
// told why. Either way both are released when the table goes, the library before it unloads.
TEST(HookTable, CallsGoToTheLibraryOnlyWhereItSeesTheWholeDesktop) {
  QTemporaryDir empty;
  ASSERT_TRUE(empty.isValid());
  struct Case {
    QString folder;
    bool global;
    QString reason_key;
  };
  const Case cases[] = {
      {kCompleteFolder, true, {}},
      {kDesktopFolder, true, {}},
      {kWindowOnlyFolder, false, kHookInWindowTextKey},
      {empty.path() + "/", false, kHookMissingTextKey},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder.toStdString());
    const QString path = c.folder + kHookLibraryFile;
    std::vector<std::string> capture_calls;
    std::vector<PostedEvent> events;
    const MoktaWindow window{&events, PostTo};
    {
      HookTable table(path);
      table.SetWindowCapture(std::make_unique<RecordingCapture>(&capture_calls));
      EXPECT_EQ(table.global(), c.global);
      EXPECT_EQ(table.InWindowReasonKey(), c.reason_key);
      const bool library = table.loaded();
      if (library) StartRecording(path);
      g_calls.clear();
      RecordAMacro(table, &window);
      EXPECT_EQ(g_calls, c.global ? kMacroCalls : std::vector<std::string>{});
      EXPECT_EQ(capture_calls, c.global ? std::vector<std::string>{} : kMacroCalls);
      g_calls.clear();
      capture_calls.clear();
      if (!library) continue;
    }
    EXPECT_EQ(g_calls, (std::vector<std::string>{"removemousehook", "removehook"}));
    EXPECT_EQ(capture_calls, (std::vector<std::string>{"removemousehook", "removehook"}));
    EXPECT_FALSE(IsLoaded(path));
  }
}

}  // namespace
}  // namespace mokta
