#pragma once

// The notification-area icon. It only turns the user's clicks into intents; the window decides
// what they do. Where no tray exists (many desktops without an extension, offscreen tests)
// Available() is false and Show() fails: the window must then stay reachable another way.

#include <QIcon>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>
#include <cstdint>
#include <functional>
#include <memory>

namespace mokta {

// A click on the icon. The values are the button-up messages the tray message
// MSG_TRAY_ICON carries as lparam, so a window may post them as they are.
enum class TrayClick : std::intptr_t {
  kLeftButtonUp = 0x0202,   // open the window
  kRightButtonUp = 0x0205,  // open the tray menu
};

class TrayIcon {
 public:
  using ClickHandler = std::function<void(TrayClick click)>;

  // Nothing shows until Show(). `on_click` runs on the UI thread.
  TrayIcon(const QIcon& icon, const QString& tool_tip, ClickHandler on_click);
  ~TrayIcon();
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // Whether the desktop has a notification area now.
  static bool Available();

  // Shows the icon; false (and nothing shown) when there is no notification area.
  bool Show();
  void Hide();
  bool visible() const;
  void set_tool_tip(const QString& tool_tip);
  QString tool_tip() const;
  // Shows a balloon message from the icon; false where the icon is hidden or the system shows
  // no such messages.
  bool ShowMessage(const QString& title, const QString& text);

  // What the system reports, turned into an intent: a plain click (the system's "trigger") is a
  // left click, a context-menu request a right click; double and middle clicks are no intent.
  // Public so tests can play the system's part.
  void Activated(QSystemTrayIcon::ActivationReason reason);

 private:
  std::unique_ptr<QSystemTrayIcon> icon_;
  ClickHandler on_click_;
};

}  // namespace mokta
