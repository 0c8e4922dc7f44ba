#pragma once

// Window messages: numbered messages with two values, posted or sent to a window and handled
// on the UI thread. The numbers are the program's own (app/window_ids.h, device/driver_messages.h).
//
// A MessageTarget is the handle other threads hold: it stays valid after its window is gone,
// when posting simply fails. Windows hand it out through SkinWindow::message_target().

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace mokta {

// Handles one message on the UI thread and returns its result.
using MessageHandler = std::function<std::intptr_t(std::uint32_t message, std::uintptr_t wparam,
                                                   std::intptr_t lparam)>;

class MessageTarget : public std::enable_shared_from_this<MessageTarget> {
 public:
  // `context` is the window's object: it fixes the UI thread, and messages still queued for it
  // when it is deleted are dropped. Create on that thread; use through a shared_ptr.
  static std::shared_ptr<MessageTarget> Create(QObject* context, MessageHandler handler);

  // Queues the message for the UI thread and returns at once: true when queued, false when
  // the window is gone. Any thread. The messages one thread posts are handled in the order it
  // posted them, also when it mixes Post and Send.
  bool Post(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam);

  // Handles the message and returns the handler's result. On the UI thread the handler runs
  // at once (ahead of anything queued). From another thread the message is queued and the
  // caller waits until the UI thread has handled it; it gets 0 when the window is gone or is
  // destroyed before handling it. Never call it from a thread the UI thread is waiting for.
  std::intptr_t Send(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam);

  // Cuts the target off its window: later posts fail, queued messages are dropped. UI thread;
  // the window calls it as it is destroyed.
  void Detach();

 private:
  MessageTarget(QObject* context, MessageHandler handler);
  // Runs the handler on the UI thread unless detached meanwhile.
  std::intptr_t Deliver(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam);

  std::mutex mutex_;
  QObject* context_;        // null once detached; guarded by mutex_
  MessageHandler handler_;  // used and cleared on the UI thread only
};

}  // namespace mokta
