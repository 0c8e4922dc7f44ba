#include "framework/skin_window.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <utility>

#include "framework/control_text.h"
#include "framework/modal_test_hook.h"
#include "framework/resources.h"
#include "framework/skin_loader.h"
#include "framework/window_placement.h"

namespace mokta {
namespace {

// One edge or corner of a resizable window.
class ResizeGrip : public QWidget {
 public:
  ResizeGrip(QWidget* window, Qt::Edges edges) : QWidget(window), edges_(edges) {
    setObjectName(QStringLiteral("resize_grip"));
    const bool corner =
        (edges & (Qt::LeftEdge | Qt::RightEdge)) && (edges & (Qt::TopEdge | Qt::BottomEdge));
    if (corner) {
      const bool falling =
          edges == (Qt::LeftEdge | Qt::TopEdge) || edges == (Qt::RightEdge | Qt::BottomEdge);
      setCursor(falling ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor);
    } else {
      setCursor((edges & (Qt::LeftEdge | Qt::RightEdge)) ? Qt::SizeHorCursor : Qt::SizeVerCursor);
    }
    setFocusPolicy(Qt::NoFocus);
  }
  Qt::Edges edges() const { return edges_; }

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) {
      QWidget::mousePressEvent(event);
      return;
    }
    event->accept();
    QWindow* handle = window()->windowHandle();
    if (handle != nullptr && handle->startSystemResize(edges_)) return;
    // The window system does not resize windows for the program (some platforms cannot).
    following_ = true;
    pressed_at_ = event->globalPosition().toPoint();
    start_ = window()->geometry();
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    if (!following_) return;
    QWidget* w = window();
    w->setGeometry(ResizedGeometry(start_, edges_, event->globalPosition().toPoint() - pressed_at_,
                                   w->minimumSize(), w->maximumSize()));
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton) following_ = false;
  }

 private:
  Qt::Edges edges_;
  bool following_ = false;
  QPoint pressed_at_;
  QRect start_;
};

}  // namespace

SkinWindow::SkinWindow(QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags),
      layout_(new QVBoxLayout(this)),
      pump_(std::make_unique<NotificationPump>(
          [this](const Notification& notification) { Notify(notification); })),
      timers_(std::make_unique<WindowTimers>(this, [this](int id) { OnTimer(id); })),
      message_target_(MessageTarget::Create(
          this, [this](std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
            return DispatchMessage(message, wparam, lparam);
          })) {
  layout_->setContentsMargins(0, 0, 0, 0);
  layout_->setSpacing(0);
}

SkinWindow::~SkinWindow() {
  // Nothing may reach the derived window any more: it is gone already.
  message_target_->Detach();
  timers_.reset();
  pump_.reset();
  if (modal_loop_ != nullptr) modal_loop_->exit(0);
}

bool SkinWindow::LoadSkin(const QString& skin_file) {
  delete skin_root_;
  skin_file_ = skin_file;
  setProperty("_mokta_skin_file", skin_file);
  ApplySkinStyleSheet();  // before the controls exist, so that they are styled once
  QWidget* root = LoadSkinFile(ResourcePath(skin_file), this);
  if (root == nullptr) return false;
  skin_root_ = root;
  TranslateKeyTexts(root);
  layout_->addWidget(root);
  resize(root->size());
  setWindowTitle(root->windowTitle());
  pump_->WireTree(root);
  PlaceResizeGrips();  // above the new layout
  return true;
}

void SkinWindow::AddVirtualWindow(const QString& name, NotifyHandler handler) {
  pump_->AddVirtualWindow(name, std::move(handler));
}

void SkinWindow::RemoveVirtualWindow(const QString& name) {
  pump_->RemoveVirtualWindow(name);
}

void SkinWindow::WireControl(QWidget* control) {
  pump_->WireControl(control);
}

void SkinWindow::SendNotify(QWidget* sender, QLatin1String type, std::uintptr_t wparam,
                            std::intptr_t lparam) {
  if (pump_ != nullptr) pump_->Send(sender, type, wparam, lparam);  // null while destroyed
}

int SkinWindow::ShowModal() {
  if (modal_loop_ != nullptr) return 0;
  if (const std::optional<int> answer = AskModalTestHook(*this)) {
    if (delete_on_final_) deleteLater();
    return *answer;
  }
  int result = 0;
  QEventLoop loop;
  modal_loop_ = &loop;
  modal_result_ = &result;
  const QPointer<SkinWindow> alive(this);
  const QPointer<QWidget> owner = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
  setWindowModality(parentWidget() != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
  if (centred_) CenterWindow();
  show();
  raise();
  activateWindow();
  loop.exec(QEventLoop::DialogExec);
  if (alive) {
    modal_loop_ = nullptr;
    modal_result_ = nullptr;
    setWindowModality(Qt::NonModal);
  }
  // The keyboard goes back to the window the dialog was opened from. A window manager would
  // see to it; without one (a kiosk session, a bare X server) nothing else does, and the next
  // key would reach no window of the program.
  if (owner && owner->isVisible() && !owner->isMinimized()) owner->activateWindow();
  return result;
}

void SkinWindow::Close(int result) {
  hide();
  Finish(result);
}

void SkinWindow::Finish(int result) {
  if (modal_loop_ != nullptr) {
    *modal_result_ = result;
    modal_loop_->exit(0);
  }
  if (delete_on_final_) deleteLater();
}

void SkinWindow::closeEvent(QCloseEvent* event) {
  if (!OnCloseRequest()) {
    event->ignore();
    return;
  }
  event->accept();
  Finish(0);
}

void SkinWindow::keyPressEvent(QKeyEvent* event) {
  // Reached only by keys the focused control left alone (a line edit passes Enter on).
  if (modal_loop_ != nullptr && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    if (event->key() == Qt::Key_Escape) {
      Close(0);
      return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
      auto* button = qobject_cast<QAbstractButton*>(focusWidget());
      if (button == nullptr) {
        for (auto* push : findChildren<QPushButton*>()) {
          if (push->isDefault() && push->isVisible() && push->isEnabled()) {
            button = push;
            break;
          }
        }
      }
      if (button != nullptr) {
        button->click();
        return;
      }
    }
  }
  QWidget::keyPressEvent(event);
}

void SkinWindow::CenterWindow() {
  QRect area;
  const QWidget* owner = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
  if (owner != nullptr && owner->isVisible()) {
    area = owner->frameGeometry();
  } else {
    const QScreen* on = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    if (on == nullptr) return;
    area = on->availableGeometry();
  }
  // Before the window is first shown its frame is unknown; assume the owner's.
  QSize frame_size = frameGeometry().size();
  if (frame_size == size() && owner != nullptr) {
    frame_size += owner->frameGeometry().size() - owner->size();
  }
  QRect frame(QPoint(), frame_size);
  frame.moveCenter(area.center());
  move(frame.topLeft());
}

void SkinWindow::SetResizable(bool on, int border) {
  qDeleteAll(grips_);
  grips_.clear();
  grip_border_ = on ? std::max(border, 1) : 0;
  if (!on) return;
  for (const Qt::Edges edges :
       {Qt::Edges(Qt::LeftEdge), Qt::Edges(Qt::RightEdge), Qt::Edges(Qt::TopEdge),
        Qt::Edges(Qt::BottomEdge), Qt::LeftEdge | Qt::TopEdge, Qt::RightEdge | Qt::TopEdge,
        Qt::LeftEdge | Qt::BottomEdge, Qt::RightEdge | Qt::BottomEdge}) {
    grips_ << new ResizeGrip(this, edges);
  }
  PlaceResizeGrips();
}

void SkinWindow::PlaceResizeGrips() {
  const int b = grip_border_;
  const int corner = 2 * b;  // corners are easier to catch a little larger
  const int w = width();
  const int h = height();
  const bool shown = !(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen));
  for (QWidget* grip : grips_) {
    const Qt::Edges edges = static_cast<ResizeGrip*>(grip)->edges();
    const bool left = edges & Qt::LeftEdge;
    const bool right = edges & Qt::RightEdge;
    const bool top = edges & Qt::TopEdge;
    const bool bottom = edges & Qt::BottomEdge;
    QRect r;
    if ((left || right) && (top || bottom)) {
      r = QRect(left ? 0 : w - corner, top ? 0 : h - corner, corner, corner);
    } else if (left || right) {
      r = QRect(left ? 0 : w - b, corner, b, std::max(0, h - 2 * corner));
    } else {
      r = QRect(corner, top ? 0 : h - b, std::max(0, w - 2 * corner), b);
    }
    grip->setGeometry(r);
    grip->setVisible(shown);
    grip->raise();
  }
}

void SkinWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  PlaceResizeGrips();
}

void SkinWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) PlaceResizeGrips();
}

bool SkinWindow::PostMessage(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
  return message_target_->Post(message, wparam, lparam);
}

std::intptr_t SkinWindow::SendMessage(std::uint32_t message, std::uintptr_t wparam,
                                      std::intptr_t lparam) {
  return message_target_->Send(message, wparam, lparam);
}

std::intptr_t SkinWindow::DispatchMessage(std::uint32_t message, std::uintptr_t wparam,
                                          std::intptr_t lparam) {
  bool handled = false;
  const std::intptr_t result = HandleCustomMessage(message, wparam, lparam, handled);
  return handled ? result : 0;
}

void SkinWindow::Notify(const Notification& notification) {
  if (notification.type == notify::kClick) OnClick(notification);
}

void SkinWindow::OnClick(const Notification&) {}

std::intptr_t SkinWindow::HandleCustomMessage(std::uint32_t, std::uintptr_t, std::intptr_t,
                                              bool& handled) {
  handled = false;
  return 0;
}

void SkinWindow::OnTimer(int) {}

bool SkinWindow::OnCloseRequest() {
  return true;
}

bool SendNotify(QWidget* sender, QLatin1String type, std::uintptr_t wparam, std::intptr_t lparam) {
  for (QWidget* w = sender; w != nullptr; w = w->parentWidget()) {
    if (auto* window = dynamic_cast<SkinWindow*>(w)) {
      window->SendNotify(sender, type, wparam, lparam);
      return true;
    }
  }
  return false;
}

}  // namespace mokta
