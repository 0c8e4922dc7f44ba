#include "app/window_input_capture.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWindow>
#include <utility>

namespace mokta {
namespace {

// Qt keys that are not letters or digits, with the virtual-key code of the US key that types
// them (a shifted symbol names its key).
constexpr std::pair<int, std::uint32_t> kQtKeys[] = {
    {Qt::Key_Escape, 0x1B},    {Qt::Key_Tab, 0x09},          {Qt::Key_Backtab, 0x09},
    {Qt::Key_Backspace, 0x08}, {Qt::Key_Return, 0x0D},       {Qt::Key_Enter, 0x0D},
    {Qt::Key_Insert, 0x2D},    {Qt::Key_Delete, 0x2E},       {Qt::Key_Pause, 0x13},
    {Qt::Key_Print, 0x2C},     {Qt::Key_SysReq, 0x2C},       {Qt::Key_Home, 0x24},
    {Qt::Key_End, 0x23},       {Qt::Key_Left, 0x25},         {Qt::Key_Up, 0x26},
    {Qt::Key_Right, 0x27},     {Qt::Key_Down, 0x28},         {Qt::Key_PageUp, 0x21},
    {Qt::Key_PageDown, 0x22},  {Qt::Key_Shift, 0xA0},        {Qt::Key_Control, 0xA2},
    {Qt::Key_Alt, 0xA4},       {Qt::Key_AltGr, 0xA5},        {Qt::Key_Meta, 0x5B},
    {Qt::Key_Super_L, 0x5B},   {Qt::Key_Super_R, 0x5C},      {Qt::Key_Menu, 0x5D},
    {Qt::Key_CapsLock, 0x14},  {Qt::Key_NumLock, 0x90},      {Qt::Key_ScrollLock, 0x91},
    {Qt::Key_Space, 0x20},     {Qt::Key_Minus, 0xBD},        {Qt::Key_Underscore, 0xBD},
    {Qt::Key_Equal, 0xBB},     {Qt::Key_Plus, 0xBB},         {Qt::Key_BracketLeft, 0xDB},
    {Qt::Key_BraceLeft, 0xDB}, {Qt::Key_BracketRight, 0xDD}, {Qt::Key_BraceRight, 0xDD},
    {Qt::Key_Backslash, 0xDC}, {Qt::Key_Bar, 0xDC},          {Qt::Key_Semicolon, 0xBA},
    {Qt::Key_Colon, 0xBA},     {Qt::Key_Apostrophe, 0xDE},   {Qt::Key_QuoteDbl, 0xDE},
    {Qt::Key_QuoteLeft, 0xC0}, {Qt::Key_AsciiTilde, 0xC0},   {Qt::Key_Comma, 0xBC},
    {Qt::Key_Less, 0xBC},      {Qt::Key_Period, 0xBE},       {Qt::Key_Greater, 0xBE},
    {Qt::Key_Slash, 0xBF},     {Qt::Key_Question, 0xBF},     {Qt::Key_Exclam, 0x31},
    {Qt::Key_At, 0x32},        {Qt::Key_NumberSign, 0x33},   {Qt::Key_Dollar, 0x34},
    {Qt::Key_Percent, 0x35},   {Qt::Key_AsciiCircum, 0x36},  {Qt::Key_Ampersand, 0x37},
    {Qt::Key_Asterisk, 0x38},  {Qt::Key_ParenLeft, 0x39},    {Qt::Key_ParenRight, 0x30},
};

// Keypad keys other than the digits (with the keypad modifier).
constexpr std::pair<int, std::uint32_t> kQtKeypadKeys[] = {
    {Qt::Key_Asterisk, 0x6A}, {Qt::Key_Plus, 0x6B},  {Qt::Key_Minus, 0x6D}, {Qt::Key_Period, 0x6E},
    {Qt::Key_Comma, 0x6E},    {Qt::Key_Slash, 0x6F}, {Qt::Key_Enter, 0x6C},
};

// The modifier keys by their key code (the Linux input code + 8), which tells the left and
// right hand keys apart where the Qt key cannot.
constexpr std::pair<int, std::uint32_t> kModifierKeycodes[] = {
    {50, 0xA0}, {62, 0xA1},  {37, 0xA2},  {105, 0xA3},
    {64, 0xA4}, {108, 0xA5}, {133, 0x5B}, {134, 0x5C},
};

std::uint32_t Find(const auto& table, int key) {
  for (const auto& [qt_key, vk] : table) {
    if (qt_key == key) return vk;
  }
  return 0;
}

}  // namespace

std::uint32_t QtKeyToVirtualKey(int key, bool keypad) {
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return 0x41 + (key - Qt::Key_A);
  if (key >= Qt::Key_0 && key <= Qt::Key_9) {
    return (keypad ? 0x60 : 0x30) + static_cast<std::uint32_t>(key - Qt::Key_0);
  }
  if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return 0x70 + (key - Qt::Key_F1);
  if (keypad) {
    if (const std::uint32_t vk = Find(kQtKeypadKeys, key)) return vk;
  }
  return Find(kQtKeys, key);
}

std::uint32_t KeyEventToVirtualKey(const QKeyEvent& event, const KeyboardLayout& layout) {
  if (event.nativeScanCode() != 0) {
    if (const std::uint32_t vk = layout.KeycodeToVirtualKey(event.nativeScanCode())) return vk;
    if (const std::uint32_t vk =
            Find(kModifierKeycodes, static_cast<int>(event.nativeScanCode()))) {
      return vk;
    }
  }
  return QtKeyToVirtualKey(event.key(), event.modifiers().testFlag(Qt::KeypadModifier));
}

std::optional<HookButtonEvent> ButtonToHookEvent(Qt::MouseButton button, bool press) {
  switch (button) {
    case Qt::LeftButton:
      return HookButtonEvent{press ? MOKTA_HOOK_LEFT_DOWN : MOKTA_HOOK_LEFT_UP, 0};
    case Qt::RightButton:
      return HookButtonEvent{press ? MOKTA_HOOK_RIGHT_DOWN : MOKTA_HOOK_RIGHT_UP, 0};
    case Qt::MiddleButton:
      return HookButtonEvent{press ? MOKTA_HOOK_MIDDLE_DOWN : MOKTA_HOOK_MIDDLE_UP, 0};
    // X button 1 is the forward button and 2 the back button, as the recorder names them.
    case Qt::ForwardButton:
      return HookButtonEvent{press ? MOKTA_HOOK_X_DOWN : MOKTA_HOOK_X_UP, 1};
    case Qt::BackButton:
      return HookButtonEvent{press ? MOKTA_HOOK_X_DOWN : MOKTA_HOOK_X_UP, 2};
    default:
      return std::nullopt;
  }
}

WindowInputCapture::WindowInputCapture(const KeyboardLayout& layout) : layout_(layout) {}

WindowInputCapture::~WindowInputCapture() {
  RemoveHook();
}

void WindowInputCapture::InstallHook(const MoktaWindow* window) {
  if (window == nullptr) {
    RemoveHook();
    return;
  }
  if (window_ == nullptr && QCoreApplication::instance() != nullptr) {
    QCoreApplication::instance()->installEventFilter(this);
  }
  window_ = window;
}

void WindowInputCapture::RemoveHook() {
  if (window_ == nullptr) return;
  window_ = nullptr;
  if (QCoreApplication::instance() != nullptr) {
    QCoreApplication::instance()->removeEventFilter(this);
  }
}

// Every input event of the window system reaches a top-level window first and is then handed
// on to the widgets inside (and to their parents while none accepts it), each hand-over passing
// this filter again: only the window's copy is taken, so each event is posted once.
bool WindowInputCapture::eventFilter(QObject* watched, QEvent* event) {
  if (window_ == nullptr || !watched->isWindowType()) return false;
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
      if (!keys_enabled_) break;
      const auto* key = static_cast<const QKeyEvent*>(event);
      const bool press = event->type() == QEvent::KeyPress;
      // A held key repeats as presses only, as the library reports it.
      if (key->isAutoRepeat() && !press) break;
      if (const std::uint32_t vk = KeyEventToVirtualKey(*key, layout_)) Post(vk, press ? 0 : 1);
      break;
    }
    // A double click arrives as a press followed by a double-click event: the press is posted.
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease: {
      if (!buttons_enabled_) break;
      const auto* mouse = static_cast<const QMouseEvent*>(event);
      const auto button =
          ButtonToHookEvent(mouse->button(), event->type() == QEvent::MouseButtonPress);
      if (button) Post(button->message, button->lparam);
      break;
    }
    default:
      break;
  }
  return false;
}

void WindowInputCapture::Post(std::uintptr_t wparam, std::intptr_t lparam) const {
  window_->post(window_->context, MOKTA_HOOK_EVENT_MESSAGE, wparam, lparam);
}

}  // namespace mokta
