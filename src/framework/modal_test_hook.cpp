#include "framework/modal_test_hook.h"

#include <utility>

namespace mokta {
namespace {

ModalTestHook& Hook() {
  static ModalTestHook hook;
  return hook;
}

}  // namespace

void SetModalTestHook(ModalTestHook hook) {
  Hook() = std::move(hook);
}

std::optional<int> AskModalTestHook(QWidget& window) {
  if (!Hook()) return std::nullopt;
  const ModalTestHook hook = Hook();  // the hook may replace itself
  return hook(window);
}

ScopedModalTestHook::ScopedModalTestHook(ModalTestHook hook) : previous_(std::move(Hook())) {
  Hook() = std::move(hook);
}

ScopedModalTestHook::~ScopedModalTestHook() {
  Hook() = std::move(previous_);
}

}  // namespace mokta
