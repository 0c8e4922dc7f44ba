#pragma once

// SkinWindow: the base of every window of the program. It loads the window's layout from the
// resource folder, finds its controls by name, turns their signals into notifications, runs
// the window modally, and gives it numbered window messages and timers.
//
// A window class derives from SkinWindow, calls LoadSkin with its layout file in its
// constructor (or its initialisation), looks its controls up with Find, and overrides the
// virtual handlers it needs: Notify (or just OnClick), HandleCustomMessage, OnTimer and
// OnCloseRequest. Everything runs on the UI thread, except PostMessage and SendMessage
// (through message_target()), which any thread may call.

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>

#include "framework/control_lookup.h"
#include "framework/notification.h"
#include "framework/window_messages.h"
#include "framework/window_timers.h"

class QEventLoop;
class QVBoxLayout;

namespace mokta {

class SkinWindow : public QWidget {
 public:
  // A top-level window (`flags` should keep Qt::Window); with a parent it stays above it and
  // is centred on it.
  explicit SkinWindow(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::Window);
  ~SkinWindow() override;

  // ---- Layout

  // Loads the Designer layout `skin_file` (relative to the resource folder, e.g. "msg.xml" or
  // "MS/MS_1/ms_1_macropage.xml") into the window, replacing any layout loaded before: the
  // layout fills the window, the window takes the layout's size and window title, key texts
  // are translated (control_text.h), the shared stylesheet is applied to the application, and
  // the controls are wired for notifications. On failure (logged) the window stays empty and
  // every Find reports a miss. Returns whether the layout loaded.
  bool LoadSkin(const QString& skin_file);
  QWidget* skin_root() const { return skin_root_; }
  const QString& skin_file() const { return skin_file_; }

  // The control `name` of the layout; a miss is reported (control_lookup.h).
  template <typename T = QWidget>
  T* Find(const QString& name) const {
    return FindControl<T>(this, name);
  }
  // The same for a control the layout may leave out on purpose.
  template <typename T = QWidget>
  T* FindOptional(const QString& name) const {
    return FindOptionalControl<T>(this, name);
  }

  // ---- Notifications (notification.h)

  // Routes the notifications of the controls inside the container marked "virtualwnd" = `name`
  // to `handler` instead of Notify. Replaces an earlier handler of the name.
  void AddVirtualWindow(const QString& name, NotifyHandler handler);
  void RemoveVirtualWindow(const QString& name);
  // Wires a control created in code after the layout loaded.
  void WireControl(QWidget* control);
  // Raises a notification from `sender`, a control of this window, as if it came from the
  // control itself (routing included).
  void SendNotify(QWidget* sender, QLatin1String type, std::uintptr_t wparam = 0,
                  std::intptr_t lparam = 0);

  // ---- Modal run and closing

  // Shows the window modally (modal to its parent window, or to the application when it has
  // none), centred unless set_centred(false), and runs a local event loop until Close(result);
  // returns that result. While it runs, Escape closes the window with 0 and Enter clicks the
  // focused button, or else the layout's default button (QPushButton::isDefault).
  // When the user or the window manager closes the window instead (and OnCloseRequest lets
  // it), the result is 0, as for a cancel. The modal test hook (modal_test_hook.h) is asked
  // first and may answer without showing the window. Not re-entrant: a second call while the
  // loop runs returns 0 at once.
  int ShowModal();
  // Ends the window: ends a running ShowModal with `result`, hides the window, and with
  // delete_on_final set deletes it once control is back in the event loop. Without a modal
  // loop the result is dropped.
  void Close(int result = 0);
  bool is_modal_running() const { return modal_loop_ != nullptr; }
  // Whether ShowModal centres the window; a window that places itself turns it off.
  void set_centred(bool on) { centred_ = on; }

  // Whether the window deletes itself (deleteLater) when it ends: by Close, or by the user or
  // window manager closing it. Owners of such a window keep a QPointer to it. Default: false.
  void set_delete_on_final(bool on) { delete_on_final_ = on; }
  bool delete_on_final() const { return delete_on_final_; }

  // Centres the window on its parent window when that is visible, otherwise on the available
  // area of its screen.
  void CenterWindow();

  // ---- Resizing a frameless window

  // Gives the window grips along its edges and corners, `border` pixels deep and above the
  // layout, that show a resize cursor and resize the window through the window system
  // (QWindow::startSystemResize) when dragged; where the window system cannot, the grip
  // follows the pointer itself. The grips are hidden while the window is maximised or full
  // screen. Off removes them.
  void SetResizable(bool on, int border = 6);
  bool resizable() const { return !grips_.isEmpty(); }

  // ---- Window messages (window_messages.h)

  // Queue a message for HandleCustomMessage. From another thread only while this window is
  // sure to live; otherwise hold message_target().
  bool PostMessage(std::uint32_t message, std::uintptr_t wparam = 0, std::intptr_t lparam = 0);
  // Handles a message at once on the UI thread, or waits for the UI thread from another one.
  std::intptr_t SendMessage(std::uint32_t message, std::uintptr_t wparam = 0,
                            std::intptr_t lparam = 0);
  // The handle other threads and libraries hold; it outlives the window (then posting fails).
  std::shared_ptr<MessageTarget> message_target() const { return message_target_; }

  // ---- Timers (window_timers.h): expiry calls OnTimer(id) until KillTimer(id). They run on
  // the timer clock in force when the window was made (timer_clock.h).

  void SetTimer(int id, int ms) { timers_->SetTimer(id, ms); }
  bool KillTimer(int id) { return timers_->KillTimer(id); }
  bool IsTimerActive(int id) const { return timers_->IsTimerActive(id); }

 protected:
  // Every notification of the window's controls that no virtual window takes. The default
  // passes "click" to OnClick and ignores the rest.
  virtual void Notify(const Notification& notification);
  virtual void OnClick(const Notification& notification);

  // A posted or sent message. Set `handled` when the message is this window's; the return
  // value is what SendMessage returns. The default handles nothing.
  virtual std::intptr_t HandleCustomMessage(std::uint32_t message, std::uintptr_t wparam,
                                            std::intptr_t lparam, bool& handled);

  // Timer `id` expired. The timer keeps running unless killed here or elsewhere.
  virtual void OnTimer(int id);

  // The user or the window manager asks to close the window (title bar button, Alt+F4, the
  // session). Return false to keep it open (the main window hides itself to the tray
  // instead). Not asked for Close(). Default: true.
  virtual bool OnCloseRequest();

  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // Keep the resize grips along the edges; derived windows call these when they override them.
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void PlaceResizeGrips();

  std::intptr_t DispatchMessage(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam);
  // The window has ended with `result`.
  void Finish(int result);

  QVBoxLayout* layout_;
  QPointer<QWidget> skin_root_;
  QString skin_file_;
  std::unique_ptr<NotificationPump> pump_;
  std::unique_ptr<WindowTimers> timers_;
  std::shared_ptr<MessageTarget> message_target_;
  QEventLoop* modal_loop_ = nullptr;  // the running ShowModal's loop
  int* modal_result_ = nullptr;       // where Close puts the running ShowModal's result
  bool delete_on_final_ = false;
  bool centred_ = true;
  QList<QWidget*> grips_;  // children of this window
  int grip_border_ = 0;
};

// Raises a notification from `sender` through the SkinWindow that holds it: the way a control
// built in code (a colour control raising "colorchanged") or a page reaches its window.
// Returns false when `sender` is in no SkinWindow.
bool SendNotify(QWidget* sender, QLatin1String type, std::uintptr_t wparam = 0,
                std::intptr_t lparam = 0);

}  // namespace mokta
