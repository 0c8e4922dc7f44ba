// mokta-render-windows OUTPUT_FOLDER: renders each window of the program (main window, message
// box, profile name dialog, colour dialog, macro editor, recoil pattern editor, DPI pop-up)
// to a PNG file, for reviewing the look.
// Run it under a display (scripts/screenshots uses Xvfb) with MOKTA_DRIVER_DIR pointing at the
// virtual mouse so that the main window shows a connected mouse. A development tool; the
// program itself has no options.

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "app/dpi_popup.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "framework/language_file.h"
#include "ui/color_dialog.h"
#include "ui/gun_editor.h"
#include "ui/macro_editor.h"
#include "ui/profile_name_dialog.h"

namespace {

bool Save(QWidget& window, const QString& path) {
  const bool saved = window.grab().save(path);
  std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
  return saved;
}

// Lets the event loop run for `ms`, so that posted link changes and battery reports land.
void Settle(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: mokta-render-windows OUTPUT_FOLDER\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(out);
  auto language = std::make_shared<mokta::LanguageFile>();
  language->LoadFromResources();
  mokta::SetProgramLanguage(language);

  bool ok = true;
  {
    mokta::MouseCore core;
    mokta::CMainWnd window(core);
    window.InitWindow();
    window.show();
    Settle(1500);
    ok &= Save(window, out + "/main-window.png");

    mokta::CMsgWnd box(&window, QStringLiteral("warning_title_text"),
                       QStringLiteral("delete_profile_text"));
    box.show();
    Settle(200);
    ok &= Save(box, out + "/message-box.png");
    box.hide();

    mokta::CMS_1_ProfileName name_dialog(&window, QStringLiteral("profile_name_1_text"),
                                         core.session().profiles(), {});
    name_dialog.show();
    Settle(200);
    ok &= Save(name_dialog, out + "/profile-name.png");
    name_dialog.hide();

    mokta::CDpiColorWnd color_dialog(&window);
    color_dialog.set_color(0xFF123456u);
    color_dialog.show();
    Settle(200);
    ok &= Save(color_dialog, out + "/color-dialog.png");
    color_dialog.hide();

    // The macro editor over a sample macro, kept in memory only.
    if (core.macros().empty()) {
      core.macros().push_back(mokta::NewMacro(u"Jump and fire"));
      const mokta::MacroAction actions[] = {{0x2C, mokta::MacroAction::kPress, 30},
                                            {0xF1, mokta::MacroAction::kPress, 60},
                                            {0xF1, mokta::MacroAction::kRelease, 120},
                                            {0x2C, mokta::MacroAction::kRelease, 1}};
      for (std::size_t i = 0; i < std::size(actions); ++i) {
        core.macros().back()->set_action(i, actions[i]);
      }
      core.macros().back()->set_action_count(std::size(actions));
    }
    {
      mokta::CMS_1_Macro editor(&window, core, {});
      editor.show();
      // The sample selected, as a click on it selects it.
      if (auto* list = editor.Find<QListWidget>(QStringLiteral("ms_1_macro_list"))) {
        list->setCurrentRow(0);
      }
      Settle(200);
      ok &= Save(editor, out + "/macro-editor.png");
      editor.hide();
    }

    // The recoil pattern editor over a sample pattern, kept in memory only.
    if (core.guns().empty()) {
      core.guns().push_back(mokta::NewGun(u"Rifle"));
      core.guns().back()->set_count(12);
      for (std::size_t i = 0; i < 12; ++i) {
        const std::int32_t x = i < 6 ? -1 : 2;
        core.guns().back()->set_bullet(i, {x, static_cast<std::int32_t>(6 - i / 3), 0, 30});
      }
    }
    {
      mokta::CMS_1_Gun editor(&window, core, {});
      editor.show();
      if (auto* list = editor.Find<QListWidget>(QStringLiteral("gun_list"))) list->setCurrentRow(0);
      Settle(200);
      ok &= Save(editor, out + "/gun-editor.png");
      editor.hide();
    }

    mokta::CDPIMsg popup(mokta::DpiPopupText(64));
    popup.set_delete_on_final(false);
    popup.Popup();
    Settle(200);
    ok &= Save(popup, out + "/dpi-popup.png");
    window.Exit();
  }
  return ok ? 0 : 1;
}
