#include "page_test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>

#include "app/window_ids.h"
#include "data/button_assignment.h"
#include "data/store_files.h"
#include "framework/control_lookup.h"
#include "framework/language_file.h"
#include "profile_match.h"
#include "qt_wait.h"
#include "test_main_window.h"

namespace mokta::test {
namespace {

QString g_log_path;

}  // namespace

qint64 LogSize() {
  return QFileInfo(g_log_path).size();
}

int LogLines(const QString& prefix, qint64 from) {
  QFile file(g_log_path);
  if (!file.open(QIODevice::ReadOnly)) return 0;
  file.seek(from);
  int n = 0;
  while (!file.atEnd()) n += QString::fromLatin1(file.readLine()).startsWith(prefix) ? 1 : 0;
  return n;
}

QStringList LoggedCommands(qint64 from, const QString& link) {
  QFile file(g_log_path);
  QStringList codes;
  if (!file.open(QIODevice::ReadOnly)) return codes;
  file.seek(from);
  while (!file.atEnd()) {
    const QStringList words = QString::fromLatin1(file.readLine()).split(QLatin1Char(' '));
    if (words.size() >= 2 && words[0] == link) codes << words[1].trimmed();
  }
  return codes;
}

ScopedModalTestHook PickPreset(int preset, const char* finish) {
  return ScopedModalTestHook([preset, finish](QWidget& dialog) -> std::optional<int> {
    EXPECT_EQ(dialog.objectName(), "DpiColorWnd");
    QTimer::singleShot(0, &dialog, [&dialog, preset, finish] {
      FindOptionalControl<QAbstractButton>(&dialog,
                                           QStringLiteral("mouse_dpi_color_%1").arg(preset))
          ->click();
      FindOptionalControl<QAbstractButton>(&dialog, QString::fromLatin1(finish))->click();
    });
    return std::nullopt;
  });
}

VirtualSlotMessage SlotMessage(std::uint8_t slot, std::array<std::uint8_t, 5> head,
                               const std::vector<std::uint8_t>& items) {
  VirtualSlotMessage m{};
  m[0] = 0x09;
  m[1] = 0x6F;
  m[2] = slot;
  std::copy(head.begin(), head.end(), m.begin() + 3);
  m[8] = static_cast<std::uint8_t>(items.size() / 2);
  std::copy(items.begin(), items.end(), m.begin() + 9);
  unsigned sum = 0;
  for (std::size_t i = 3; i <= 108; ++i) sum += m[i];
  m[109] = static_cast<std::uint8_t>(sum >> 8);
  m[110] = static_cast<std::uint8_t>(sum);
  return m;
}

void PageTest::SetUp() {
  mouse_.ResetSettings();
  mouse_.ResetCounters();
  mouse_.Plug(VirtualLink::kCable, true);
  mouse_.Plug(VirtualLink::kReceiver, false);
  mouse_.SetBleConnected(false);
  mouse_.SetAsleep(false);
  mouse_.SetAcks(true);
  mouse_.FailNextWrites(0);
}

void PageTest::Start(int count, const std::function<void(ProfileData&)>& adjust) {
  StoreFiles stores(data_.path() + "/");
  ProfileList profiles;
  for (int i = 1; i <= count; ++i) {
    profiles.push_back(NewProfile(QStringLiteral("P%1").arg(i)));
    profiles.back()->set_brightness(i);  // tell them apart
    profiles.back()->set_dpi_x(0, 10 * i);
    if (adjust) adjust(*profiles.back());
  }
  ASSERT_TRUE(stores.WriteProfileStore(profiles, ProfileStoreHeader()));
  MouseCoreOptions options =
      TestCoreOptions(data_.path() + "/", QStringLiteral(MOKTA_VIRTUAL_DRIVER_DIR "/"));
  options.hook_library = hook_library_;
  window_ = MakeTestMainWindow(std::move(options));
  window_->InitWindow();
  window_->core().host()->set_pass_observer([this] { ++passes_; });
  window_->show();
  WAIT_EQ(window_->link_up(), 1);
  const int before = passes_;
  window_->PostMessage(MSG_APPLY_REQUEST);
  WaitForPasses(before);
  ASSERT_TRUE(MatchesProfile(mouse_.State().settings, Current()));
}

void PageTest::StartWithJump() {
  MacroList macros;
  macros.push_back(NewMacro(u"Jump"));
  macros.back()->set_action(0, {0x2C, MacroAction::kPress, 20});
  macros.back()->set_action(1, {0x2C, MacroAction::kRelease, 1});
  macros.back()->set_action_count(2);
  ASSERT_TRUE(StoreFiles(data_.path() + "/").WriteMacroStore(macros));
  ASSERT_NO_FATAL_FAILURE(
      Start(1, [&](ProfileData& p) { AssignMacro(p.button(3), *macros.front(), 0, 0, 1); }));
}

QByteArray PageTest::MacroStoreBytes() const {
  QFile file(StoreFiles(data_.path() + "/").MacroStorePath());
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void PageTest::WaitForPasses(int before, int passes) {
  WAIT_UNTIL(passes_ >= before + passes);
}

void PageTest::Barrier() {
  const int before = passes_;
  window_->core().RequestApply();
  WaitForPasses(before);
}

std::uint64_t PageTest::ApplyRequests() {
  QCoreApplication::sendPostedEvents();
  return window_->core().host()->apply_requests();
}

int RunPageTests(int argc, char** argv, const char* platform) {
  qputenv("QT_QPA_PLATFORM", platform);
  QTemporaryDir runtime;
  g_log_path = runtime.filePath("writes.log");
  qputenv("MOKTA_RES_DIR", QFile::encodeName(QStringLiteral(MOKTA_SOURCE_DIR "/res/")));
  qputenv("MOKTA_VIRTUAL_BATTERY_MS", "0");
  qputenv("MOKTA_VIRTUAL_LOG", QFile::encodeName(g_log_path));
  qputenv("MOKTA_VIRTUAL_CONTROL", QFile::encodeName(runtime.filePath("control.sock")));
  qunsetenv("MOKTA_VIRTUAL_START");
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  auto language = std::make_shared<LanguageFile>();
  language->LoadFromResources();
  SetProgramLanguage(language);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

}  // namespace mokta::test
