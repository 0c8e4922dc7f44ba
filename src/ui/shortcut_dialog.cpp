#include "ui/shortcut_dialog.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPushButton>

#include "data/key_tables.h"
#include "framework/control_text.h"
#include "framework/language_file.h"

namespace mokta {
namespace {

Q_LOGGING_CATEGORY(lcShortcut, "mokta.shortcut")

// The virtual-key code of Tab, which moves the focus out of the field instead of being taken.
constexpr std::uintptr_t kTabKey = 0x09;

QString CheckName(int n) {
  return QStringLiteral("check_flag_%1").arg(n + 1);
}

}  // namespace

CShortcutWnd::CShortcutWnd(QWidget* parent, KeyCombination initial, InputHooks* hooks,
                           const QString& in_window_reason_key, const KeyboardLayout& layout)
    : SkinWindow(parent, Qt::Dialog),
      combination_(initial),
      hooks_(hooks),
      layout_(layout),
      target_(message_target()) {
  combination_.modifiers &= 0x0F;
  hook_window_.context = target_.get();
  hook_window_.post = &CShortcutWnd::PostHookEvent;
  setObjectName(QStringLiteral("ShortcutWnd"));
  LoadSkin(QStringLiteral("shortcut.xml"));
  for (int n = 0; n < kModifierCount; ++n) {
    if (auto* check = Find<QAbstractButton>(CheckName(n))) {
      Quietly(check, [&] { check->setChecked((combination_.modifiers >> n) & 1); });
    }
  }
  key_edit_ = Find<QLineEdit>(QStringLiteral("edit_key"));
  if (key_edit_) key_edit_->installEventFilter(this);
  if (auto* reason = Find(QStringLiteral("label_hook_reason"))) {
    if (!in_window_reason_key.isEmpty()) SetControlTextKey(reason, in_window_reason_key);
    reason->setVisible(!in_window_reason_key.isEmpty());
  }
  if (auto* ok = Find<QPushButton>(QStringLiteral("btn_ok"))) ok->setDefault(true);
  Find(QStringLiteral("btn_cancel"));
  Find(QStringLiteral("btn_exit"));
  ShowKey();
}

CShortcutWnd::~CShortcutWnd() {
  StopCapture();
}

int CShortcutWnd::Run() {
  if (auto* first = FindOptional(CheckName(0))) first->setFocus();
  return ShowModal();
}

void CShortcutWnd::StartCapture() {
  if (capturing_ || hooks_ == nullptr) return;
  capturing_ = true;
  hooks_->InstallHook(&hook_window_);
  hooks_->EnableHook(true);
}

void CShortcutWnd::StopCapture() {
  if (!capturing_) return;
  capturing_ = false;
  hooks_->RemoveHook();
  hooks_->EnableHook(false);
}

void CShortcutWnd::PostHookEvent(void* context, std::uint32_t message, std::uintptr_t wparam,
                                 std::intptr_t lparam) {
  static_cast<MessageTarget*>(context)->Post(message, wparam, lparam);
}

void CShortcutWnd::OnHookEvent(std::uintptr_t wparam, std::intptr_t lparam) {
  // An event posted before the field lost the focus may still arrive: it changes nothing.
  if (!capturing_ || wparam == kTabKey) return;
  qCDebug(lcShortcut, "%llx,%llx", static_cast<unsigned long long>(wparam),
          static_cast<unsigned long long>(lparam));
  const UsageLookup lookup = wparam <= 0xFFFFFFFFu
                                 ? VirtualKeyToUsage(static_cast<std::uint32_t>(wparam), layout_)
                                 : UsageLookup{false, 0};
  qCDebug(lcShortcut, "iUsageID=%u", lookup.usage);
  key_before_last_event_ = combination_.key;
  combination_.key = static_cast<std::uint8_t>(lookup.usage & 0xFF);
  ShowKey();
}

void CShortcutWnd::ForgetShiftOfBacktab() {
  // Shift+Tab leaves the field; the Shift press that began it was captured as the key just
  // before. The key the user chose is the one before that press.
  constexpr std::uint8_t kLeftShift = 0xE1;
  constexpr std::uint8_t kRightShift = 0xE5;
  if (combination_.key != kLeftShift && combination_.key != kRightShift) return;
  combination_.key = key_before_last_event_;
  ShowKey();
}

void CShortcutWnd::ShowKey() {
  if (key_edit_) {
    const QString text = UsageToKeyText(combination_.key, layout_, ProgramLanguage());
    Quietly(key_edit_, [&] { key_edit_->setText(text); });
  }
}

std::intptr_t CShortcutWnd::HandleCustomMessage(std::uint32_t message, std::uintptr_t wparam,
                                                std::intptr_t lparam, bool& handled) {
  if (message != MOKTA_HOOK_EVENT_MESSAGE) return 0;
  handled = true;
  OnHookEvent(wparam, lparam);
  return 0;
}

void CShortcutWnd::Notify(const Notification& notification) {
  const QString& sender = notification.sender_name;
  if (notification.type == notify::kClick) {
    if (sender == QLatin1String("btn_ok")) {
      Close(1);
    } else if (sender == QLatin1String("btn_cancel") || sender == QLatin1String("btn_exit")) {
      Close(0);
    }
  } else if (notification.type == notify::kCheckClick) {
    for (int n = 0; n < kModifierCount; ++n) {
      if (sender != CheckName(n)) continue;
      const auto bit = static_cast<std::uint8_t>(1u << n);
      combination_.modifiers = static_cast<std::uint8_t>(
          notification.wparam != 0 ? combination_.modifiers | bit : combination_.modifiers & ~bit);
    }
  } else if (sender == QLatin1String("edit_key")) {
    if (notification.type == notify::kSetFocus) StartCapture();
    if (notification.type == notify::kKillFocus) StopCapture();
  }
}

bool CShortcutWnd::eventFilter(QObject* watched, QEvent* event) {
  // The field's own key events are the captured keys: none edits the field, accepts or
  // cancels. Tab and Shift+Tab pass on and move the focus.
  if (watched == key_edit_ &&
      (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Backtab && event->type() == QEvent::KeyPress) ForgetShiftOfBacktab();
    return key != Qt::Key_Tab && key != Qt::Key_Backtab;
  }
  return SkinWindow::eventFilter(watched, event);
}

void CShortcutWnd::keyPressEvent(QKeyEvent* event) {
  // Enter on a check box accepts rather than ticking it (Space ticks it).
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && is_modal_running() && !qobject_cast<QPushButton*>(focusWidget())) {
    Close(1);
    return;
  }
  SkinWindow::keyPressEvent(event);
}

}  // namespace mokta
