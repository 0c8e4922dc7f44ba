// mokta-mouse: the configuration program of the Mokta Gaming Mouse. It takes no command-line
// options. One instance runs per user: a second start brings the first one's window to the
// front (or its no-device message) and ends with exit code 1.

#include <QApplication>
#include <QLoggingCategory>
#include <memory>

#include "app/main_window.h"
#include "app/mouse_core.h"
#include "app/signal_bridge.h"
#include "app/single_instance.h"
#include "app/window_ids.h"
#include "framework/language_file.h"

Q_LOGGING_CATEGORY(lcEntry, "mokta.entry")

int main(int argc, char** argv) {
  // The program's own traces are for debugging: off unless asked for with QT_LOGGING_RULES.
  if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES")) {
    QLoggingCategory::setFilterRules(QStringLiteral("mokta.*.debug=false"));
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Mokta Gaming Mouse"));
  QApplication::setDesktopFileName(QStringLiteral("mokta-mouse"));
  // The window hides to the tray; the program ends only through Exit.
  QApplication::setQuitOnLastWindowClosed(false);

  mokta::SingleInstance instance;
  if (!instance.TryBecomePrimary()) {
    mokta::SingleInstance::ActivateOtherInstance(instance.name());
    return 1;
  }
  qCDebug(lcEntry, "ilen = %d", static_cast<int>(QCoreApplication::arguments().join(' ').size()));

  auto language = std::make_shared<mokta::LanguageFile>();
  language->LoadFromResources();
  mokta::SetProgramLanguage(language);

  // The mouse's data and link outlive every window.
  mokta::MouseCore core;
  auto window = std::make_unique<mokta::CMainWnd>(core);
  window->InitWindow();  // placed where it was last, or centred
  window->show();

  instance.SetActivationHandler([&window](mokta::SingleInstance::Reply reply) {
    if (window) window->SendMessage(mokta::MSG_ACTIVATE);
    reply();
  });
  mokta::SignalBridge signals_bridge([&window](int) {
    if (window) window->Exit();
  });

  const int code = QApplication::exec();
  window.reset();  // clean-up: worker stopped, drivers closed and unloaded, hooks removed
  return code;
}
