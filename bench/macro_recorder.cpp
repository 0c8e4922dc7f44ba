#include "macro_recorder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEvent>
#include <QTableWidget>
#include <QTemporaryDir>
#include <cstdio>
#include <thread>
#include <vector>

#include "app/mouse_core.h"
#include "figures.h"
#include "framework/control_lookup.h"
#include "framework/language_file.h"
#include "ui/macro_editor.h"

namespace mokta::bench {
namespace {

constexpr int kStepTimeoutMs = 5000;
constexpr int kActions = static_cast<int>(MacroData::kMaxActions);

// Notes the first paint of the list's viewport that comes after the list holds `rows` rows.
class PaintWatch : public QObject {
 public:
  explicit PaintWatch(QTableWidget& list) : list_(list) {
    list_.viewport()->installEventFilter(this);
  }
  void Expect(int rows) {
    rows_ = rows;
    painted_ = false;
  }
  bool painted() const { return painted_; }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && list_.rowCount() >= rows_) painted_ = true;
    return false;
  }

 private:
  QTableWidget& list_;
  int rows_ = 0;
  bool painted_ = false;
};

}  // namespace

int RunRecorderBench(int& argc, char** argv, const RecorderOptions& options) {
  QApplication app(argc, argv);
  auto language = std::make_shared<LanguageFile>();
  language->LoadFromResources();
  SetProgramLanguage(language);
  QTemporaryDir data;

  MouseCoreOptions core_options;
  core_options.data_folder = data.path() + "/";
  core_options.use_system_ble = false;
  MouseCore core(core_options);
  CMS_1_Macro editor(nullptr, core, [](QWidget*, const QString&) { return 1; });
  editor.show();
  auto* list = editor.Find<QTableWidget>(QStringLiteral("ms_1_macro_action_list"));
  auto* record = editor.Find<QAbstractButton>(QStringLiteral("ms_1_macro_record_btn"));
  auto* no_delay = editor.Find<QAbstractButton>(QStringLiteral("ms_1_no_delay_btn"));
  if (!list || !record || !no_delay) return 1;
  no_delay->click();
  // A person opens the editor and then starts a recording: the window is shown and painted
  // before the first measurement.
  const QDeadlineTimer shown(300);
  while (!shown.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  PaintWatch watch(*list);
  const std::shared_ptr<MessageTarget> target = editor.message_target();

  // By the number of rows the list shows with the new one: 1..46.
  std::vector<std::vector<double>> by_rows(kActions + 1);
  for (int run = 0; run < options.runs; ++run) {
    if (editor.editing().current()) {
      FindControl<QAbstractButton>(&editor, QStringLiteral("ms_1_macro_clear_action_btn"))->click();
    }
    record->click();  // a macro is added for the first recording
    for (int n = 1; n <= kActions; ++n) {
      watch.Expect(n);
      // Letters A..Z pressed and let go in turn: never a repeat of the event before.
      const std::uintptr_t key = 0x41 + static_cast<std::uintptr_t>(((n - 1) / 2) % 26);
      const std::intptr_t up = (n - 1) % 2;
      QElapsedTimer clock;
      clock.start();
      std::thread hook([&] { target->Post(MOKTA_HOOK_EVENT_MESSAGE, key, up); });
      hook.join();
      const QDeadlineTimer deadline(kStepTimeoutMs);
      while (!watch.painted() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      }
      if (!watch.painted()) {
        std::fprintf(stderr, "mokta-bench-ui: row %d never appeared\n", n);
        return 1;
      }
      by_rows[static_cast<std::size_t>(n)].push_back(static_cast<double>(clock.nsecsElapsed()) /
                                                     1e6);
    }
    if (editor.editing().recording()) record->click();
  }

  std::printf(
      "Macro recorder: the time from an input event's post (from another thread, as the input\n"
      "hook library posts) to the first paint of the action list showing its row; %d "
      "recordings\nof %d events, Qt platform \"%s\". Machine: %s.\n\n",
      options.runs, kActions, qPrintable(QGuiApplication::platformName()), MachineLoad().c_str());
  std::printf("%-22s %8s %8s\n", "rows in the list", "median", "max");
  std::vector<double> all;
  for (const auto& [from, to] : {std::pair{1, 10}, {11, 20}, {21, 30}, {31, 40}, {41, 46}}) {
    std::vector<double> range;
    for (int n = from; n <= to; ++n) {
      const auto& v = by_rows[static_cast<std::size_t>(n)];
      range.insert(range.end(), v.begin(), v.end());
    }
    all.insert(all.end(), range.begin(), range.end());
    std::printf("%2d..%-18d %8s %8s\n", from, to, Ms(Median(range)).c_str(),
                Ms(Max(range)).c_str());
  }
  std::printf("%-22s %8s %8s\n", "1 (first of a run)", Ms(Median(by_rows[1])).c_str(),
              Ms(Max(by_rows[1])).c_str());
  std::printf("%-22s %8s %8s\n", "46 (the full macro)", Ms(Median(by_rows[kActions])).c_str(),
              Ms(Max(by_rows[kActions])).c_str());
  std::printf("%-22s %8s %8s\n", "all", Ms(Median(all)).c_str(), Ms(Max(all)).c_str());
  std::fflush(stdout);
  editor.hide();
  core.Shutdown();
  return 0;
}

}  // namespace mokta::bench
