// mokta-mouse: the configuration program of the Mokta Gaming Mouse. It takes no command-line
// options, and Qt is given only the program's name: "-platform", "-style", "-reverse" and the
// like change nothing (Qt's environment variables, QT_QPA_PLATFORM and so on, still work). One
// instance runs per user: a second start brings the first one's window to the front (or its
// no-device message) and ends with exit code 1. One program writes a data folder and talks
// over a link to the mouse at a time: a start that finds either in use by another program
// (another instance name, another user, `mokta-mousectl apply`) says who holds it and ends
// with exit code 2.

#include <QApplication>
#include <QLoggingCategory>
#include <QTimer>
#include <cstring>
#include <memory>

#include "app/autostart.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/mouse_core.h"
#include "app/signal_bridge.h"
#include "app/single_instance.h"
#include "app/window_ids.h"
#include "data/data_lock.h"
#include "data/paths.h"
#include "data/trace_rules.h"
#include "framework/control_text.h"
#include "framework/language_file.h"

Q_LOGGING_CATEGORY(lcEntry, "mokta.entry")

namespace {

constexpr int kExitAnotherInstance = 1;
constexpr int kExitInUse = 2;

// The length in bytes of the command line after the program's name, arguments joined by one
// space: the only use the program makes of it.
int CommandLineBytes(int argc, char** argv) {
  std::size_t bytes = 0;
  for (int i = 1; i < argc; ++i) {
    if (argv[i] != nullptr) bytes += std::strlen(argv[i]) + (i > 1 ? 1 : 0);
  }
  return static_cast<int>(bytes);
}

// Tells the user that `refusal` ("the data folder ... is in use by ...") keeps this start from
// running; returns when the box is closed.
void ShowInUseMessage(const QString& refusal) {
  const QString key = QStringLiteral("in_use_text");
  mokta::CMsgWnd box(nullptr, mokta::kWarningTitleKey, key);
  if (QWidget* message = box.Find(QStringLiteral("warning"))) {
    mokta::SetControlText(message, mokta::LanguageText(key).arg(refusal));
  }
  box.Run();
}

}  // namespace

int main(int argc, char** argv) {
  // The program's traces name keys and files: on only when a logging rule names them.
  mokta::InstallTraceFilter();
  // Qt sees the program's name and nothing else. It keeps a reference to the count.
  static char fallback_name[] = "mokta-mouse";
  int qt_argc = 1;
  char* qt_argv[] = {argc > 0 && argv[0] != nullptr ? argv[0] : fallback_name, nullptr};
  QApplication app(qt_argc, qt_argv);
  QApplication::setApplicationName(QStringLiteral("Mokta Gaming Mouse"));
  QApplication::setDesktopFileName(QStringLiteral("mokta-mouse"));
  // The window hides to the tray; the program ends only through Exit.
  QApplication::setQuitOnLastWindowClosed(false);

  mokta::SingleInstance instance;
  if (!instance.TryBecomePrimary()) {
    mokta::SingleInstance::ActivateOtherInstance(instance.name());
    return kExitAnotherInstance;
  }
  qCDebug(lcEntry, "ilen = %d", CommandLineBytes(argc, argv));
  qCDebug(lcEntry, "layout %s", QApplication::isRightToLeft() ? "right-to-left" : "left-to-right");

  // Declared before the bridge, which ends it; reset explicitly before the data it shows.
  std::unique_ptr<mokta::CMainWnd> window;
  // Whether the main event loop runs: only then can the window's Exit end it.
  bool running = false;
  // A signal that came while the start was still under way (a message box of the start, such
  // as a store problem, can be open then): the start stops as soon as it can.
  bool stop_requested = false;
  // SIGINT, SIGTERM and SIGHUP end the program like the tray's "exit". During the start they close
  // the message that is showing and keep any further one from opening.
  mokta::SignalBridge signals_bridge([&](int) {
    if (window && running) {
      window->Exit();
      return;
    }
    stop_requested = true;
    if (window) window->core().set_file_result_observer({});
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
  });

  auto language = std::make_shared<mokta::LanguageFile>();
  language->LoadFromResources();
  mokta::SetProgramLanguage(language);

  // The data folder and the mouse's links stay ours until the program ends.
  const QString data_folder = mokta::DataFolder();
  mokta::RunLocks locks;
  const bool refused = locks.TakeForProgram(data_folder) == mokta::RunLocks::Result::kHeld;
  for (const QString& warning : locks.warnings()) qCWarning(lcEntry).noquote() << warning;
  if (refused) {
    qCCritical(lcEntry).noquote() << "not started:" << locks.refusal();
    ShowInUseMessage(locks.refusal());
    return kExitInUse;
  }

  // The mouse's data and link outlive every window.
  mokta::MouseCoreOptions options;
  options.data_folder = data_folder;
  mokta::MouseCore core(options);
  window = std::make_unique<mokta::CMainWnd>(core);
  window->InitWindow();  // placed where it was last, or centred
  if (stop_requested) {
    window->Exit();  // what is pending is written
    window.reset();
    return 0;
  }
  // Started with the session (the autostart entry): in the tray, where there is one.
  if (qEnvironmentVariable(mokta::kStartHiddenVariable) != QLatin1String("1") ||
      !window->tray_in_use()) {
    window->show();
  }

  instance.SetActivationHandler([&window](mokta::SingleInstance::Reply reply) {
    if (window) window->SendMessage(mokta::MSG_ACTIVATE);
    reply();
  });

  QTimer::singleShot(0, [&running] { running = true; });  // runs once exec() has started
  const int code = QApplication::exec();
  window.reset();  // clean-up: worker stopped, drivers closed and unloaded, hooks removed
  return code;
}
