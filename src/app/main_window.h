#pragma once

// The program's only top-level window and its message hub: it hosts the settings page, owns
// the tray icon and its menu, the input hook table and the DPI pop-up, receives the program's
// window messages and timers and routes them. When no mouse is reachable it hides itself and
// answers every attempt to open it with the no-device message.
//
// Where the desktop has no notification area the window never hides: closing it ends the
// program, and its own close button minimises it instead (a second start still brings it
// back).

#include <QHash>
#include <QMenu>
#include <QPointer>
#include <QString>
#include <memory>

#include "app/dpi_popup.h"
#include "app/mouse_core.h"
#include "app/tray_status.h"
#include "framework/skin_window.h"
#include "framework/tray_icon.h"
#include "platform/desktop_notifications.h"
#include "ui/settings_page.h"

namespace mokta {

// Whether a menu item belongs to the settings page: its name and "ms_1" agree over the length
// of the shorter of the two, letter case counting.
bool MenuItemBelongsToPage(const QString& name);

class CMainWnd : public SkinWindow {
 public:
  // `core` is the mouse's data and link; it outlives the window.
  explicit CMainWnd(MouseCore& core);
  ~CMainWnd() override;

  // Loads the layout and initialises the window, the page (which starts the device side), the
  // tray icon, the hook table and the profiles, in that order. Call once before showing the
  // window.
  void InitWindow();
  // Brings the window back: shown, restored when minimised, raised and activated.
  void ShowMainWindow();
  // The modal no-device message; a second request while it is open does nothing.
  void ShowNoDeviceMessage();
  // Ends the program the way the tray menu's "exit" does: the clean-up runs once, then the
  // event loop ends.
  void Exit();

  CMS_1_Page& page() { return page_; }
  MouseCore& core() { return core_; }
  TrayIcon* tray() { return tray_.get(); }
  // The tray's tool tip and the battery notices.
  TrayStatus& tray_status() { return *tray_status_; }
  QMenu* tray_menu() const { return tray_menu_.data(); }
  bool tray_in_use() const;
  int link_up() const { return link_up_; }
  CDPIMsg* dpi_popup() const { return dpi_popup_.data(); }
  bool no_device_showing() const { return no_device_showing_ != 0; }

  // The menu item names the window acts on.
  void RouteMenuCommand(const QString& item_name);

  // The window's size and position are kept in "window.ini" in the data folder: restored by
  // InitWindow (centred on the primary screen when there is nothing to restore), saved when a
  // move or resize has rested for kPlacementRestMs and at exit.
  QString placement_file() const;
  static constexpr int kPlacementRestMs = 500;

 protected:
  std::intptr_t HandleCustomMessage(std::uint32_t message, std::uintptr_t wparam,
                                    std::intptr_t lparam, bool& handled) override;
  void OnTimer(int id) override;
  void OnClick(const Notification& notification) override;
  bool OnCloseRequest() override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void OnTrayClick(std::intptr_t click);
  void OpenTrayMenu();
  // A menu item was clicked (tray menu, button menu): MSG_MENU_COMMAND takes it to
  // RouteMenuCommand once the menu has closed.
  void PostMenuCommand(const QString& item_name);
  void ShowDpi(std::int32_t code);
  void CloseDpiPopup();
  void LoadInputHooks();
  bool ShowNotice(const QString& title, const QString& text);
  void OpenMainMenu();
  // Ticks the menu's "autostart" item when the program starts with the session.
  void ShowAutostartState(QMenu* menu);
  // "autostart": starts, or no longer starts, with the session; a failure is told.
  void ToggleAutostart();
  void CleanUp();
  void RestorePlacement();
  // Writes the placement file; a failure is logged, and told to the user once when `tell`.
  void SavePlacement(bool tell);

  MouseCore& core_;
  CMS_1_Page page_;
  std::unique_ptr<TrayIcon> tray_;
  std::unique_ptr<DesktopNotifications> notifications_;
  std::unique_ptr<TrayStatus> tray_status_;  // before the page's link starts, after it ends
  QPointer<QMenu> tray_menu_;
  QPointer<QMenu> main_menu_;
  QPointer<QWidget> title_bar_;
  QPointer<CDPIMsg> dpi_popup_;
  QHash<std::uintptr_t, QString> menu_commands_;  // posted menu items by id
  std::uintptr_t next_menu_command_ = 1;
  int link_up_ = 0;
  int no_device_showing_ = 0;
  bool cleaned_up_ = false;
  bool placement_restored_ = false;
  bool placement_failure_told_ = false;
};

}  // namespace mokta
