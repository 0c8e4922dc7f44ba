#include "framework/window_messages.h"

#include <QThread>
#include <future>
#include <utility>

namespace mokta {
namespace {

// The answer to a message sent from another thread. When the queued call is dropped without
// running (the window went away), the last owner's destruction answers 0, so the sender never
// waits for ever.
struct Reply {
  std::promise<std::intptr_t> promise;
  bool answered = false;
  void Answer(std::intptr_t result) {
    promise.set_value(result);
    answered = true;
  }
  ~Reply() {
    if (!answered) promise.set_value(0);
  }
};

}  // namespace

std::shared_ptr<MessageTarget> MessageTarget::Create(QObject* context, MessageHandler handler) {
  return std::shared_ptr<MessageTarget>(new MessageTarget(context, std::move(handler)));
}

MessageTarget::MessageTarget(QObject* context, MessageHandler handler)
    : context_(context), handler_(std::move(handler)) {}

bool MessageTarget::Post(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
  const std::lock_guard lock(mutex_);
  if (context_ == nullptr) return false;
  return QMetaObject::invokeMethod(
      context_,
      [self = shared_from_this(), message, wparam, lparam] {
        self->Deliver(message, wparam, lparam);
      },
      Qt::QueuedConnection);
}

std::intptr_t MessageTarget::Send(std::uint32_t message, std::uintptr_t wparam,
                                  std::intptr_t lparam) {
  std::future<std::intptr_t> answer;
  {
    const std::lock_guard lock(mutex_);
    if (context_ == nullptr) return 0;
    if (context_->thread() != QThread::currentThread()) {
      auto reply = std::make_shared<Reply>();
      answer = reply->promise.get_future();
      const bool queued = QMetaObject::invokeMethod(
          context_,
          [self = shared_from_this(), reply, message, wparam, lparam] {
            reply->Answer(self->Deliver(message, wparam, lparam));
          },
          Qt::QueuedConnection);
      if (!queued) return 0;
    }
  }
  // On the UI thread nothing was queued: handle it here, outside the lock.
  if (!answer.valid()) return Deliver(message, wparam, lparam);
  return answer.get();
}

void MessageTarget::Detach() {
  {
    const std::lock_guard lock(mutex_);
    context_ = nullptr;
  }
  handler_ = nullptr;
}

std::intptr_t MessageTarget::Deliver(std::uint32_t message, std::uintptr_t wparam,
                                     std::intptr_t lparam) {
  if (!handler_) return 0;
  const MessageHandler handler = handler_;  // the handler may destroy its window
  return handler(message, wparam, lparam);
}

}  // namespace mokta
