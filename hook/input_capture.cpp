#include "input_capture.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xinput.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "mokta_hook.h"
#include "platform/linux/xkb_keys.h"
#include "platform/linux/xkb_x11.h"

namespace mokta::hook {

namespace {

// How long Start waits for the thread to listen before it returns anyway.
constexpr auto kSetupWait = std::chrono::seconds(1);

// The XInput version asked for: from 2.1 on, raw events come also while another client grabs
// the device; the server answers with what it has, and 2.0 is enough for raw events.
constexpr std::uint32_t kXiMajorWanted = 2;
constexpr std::uint32_t kXiMinorWanted = 2;

bool EnvSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0';
}

template <typename T>
struct FreeDeleter {
  void operator()(T* p) const { std::free(p); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter<T>>;

// True when `conn` offers XInput 2.0 or later; `opcode` gets the extension's major opcode.
bool QueryXInput2(xcb_connection_t* conn, std::uint8_t* opcode) {
  const xcb_query_extension_reply_t* ext = xcb_get_extension_data(conn, &xcb_input_id);
  if (ext == nullptr || !ext->present) return false;
  XcbReply<xcb_input_xi_query_version_reply_t> version(xcb_input_xi_query_version_reply(
      conn, xcb_input_xi_query_version(conn, kXiMajorWanted, kXiMinorWanted), nullptr));
  if (!version || version->major_version < 2) return false;
  *opcode = ext->major_opcode;
  return true;
}

// One X connection of the capture thread, with the server's keymap and current group.
class XSession {
 public:
  XSession() = default;
  ~XSession() {
    xkb_keymap_unref(keymap_);
    xkb_context_unref(context_);
    if (conn_ != nullptr) xcb_disconnect(conn_);
  }
  XSession(const XSession&) = delete;
  XSession& operator=(const XSession&) = delete;

  // Connects, selects the raw events on the root window and the keyboard's map and group
  // changes, and reads the keymap. False when any of it fails.
  bool Open() {
    conn_ = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(conn_)) return false;
    if (!QueryXInput2(conn_, &xi_opcode_)) return false;
    if (!SelectRawEvents()) return false;
    // The keyboard's changes are asked for before the keymap is read, so none is missed.
    keyboard_ = xkb::FollowCoreKeyboard(conn_, &xkb_event_base_);
    if (keyboard_ < 0) return false;
    context_ = xkb_context_new(static_cast<xkb_context_flags>(XKB_CONTEXT_NO_DEFAULT_INCLUDES |
                                                              XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
    if (context_ == nullptr) return false;
    if (!ReadKeymap()) return false;
    return true;
  }

  int Fd() const { return xcb_get_file_descriptor(conn_); }
  bool Broken() const { return xcb_connection_has_error(conn_) != 0; }
  xcb_generic_event_t* NextEvent() { return xcb_poll_for_event(conn_); }

  // The raw event's XInput event type, or 0 for any other event.
  std::uint16_t RawEventType(const xcb_generic_event_t* event) const {
    if ((event->response_type & 0x7f) != XCB_GE_GENERIC) return 0;
    const auto* ge = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
    if (ge->extension != xi_opcode_) return 0;
    return ge->event_type;
  }

  // Follows keymap and group changes; ignores anything else.
  void TakeKeyboardEvent(const xcb_generic_event_t* event) {
    if ((event->response_type & 0x7f) != xkb_event_base_) return;
    // Every XKB event starts with the event type, its XKB kind, sequence, time and device.
    const auto* any = reinterpret_cast<const xcb_xkb_state_notify_event_t*>(event);
    if (any->deviceID != keyboard_) return;
    switch (any->xkbType) {
      case XCB_XKB_NEW_KEYBOARD_NOTIFY:
      case XCB_XKB_MAP_NOTIFY:
        ReadKeymap();
        break;
      case XCB_XKB_STATE_NOTIFY:
        layout_ = any->group;
        break;
      default:
        break;
    }
  }

  // The virtual-key code of X key code `keycode` in the current group; 0 when it has none.
  std::uint32_t VirtualKey(std::uint32_t keycode) const {
    if (keymap_ == nullptr) return 0;
    xkb_layout_index_t layout = layout_;
    if (layout >= xkb_keymap_num_layouts(keymap_)) layout = 0;
    return xkb::VirtualKeyForKeycode(keymap_, layout, keycode);
  }

 private:
  bool SelectRawEvents() {
    struct {
      xcb_input_event_mask_t head;
      std::uint32_t bits;
    } mask{};
    // Master devices only: each event comes once, whichever physical device sent it.
    mask.head.deviceid = XCB_INPUT_DEVICE_ALL_MASTER;
    mask.head.mask_len = 1;
    mask.bits = XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE |
                XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS |
                XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data;
    if (screen == nullptr) return false;
    // Checked, so that the selection is in force when this returns.
    XcbReply<xcb_generic_error_t> error(xcb_request_check(
        conn_, xcb_input_xi_select_events_checked(conn_, screen->root, 1, &mask.head)));
    return !error;
  }

  // Reads the server's keymap and current group. On failure the old keymap stays.
  bool ReadKeymap() {
    xkb_keymap* keymap =
        xkb_x11_keymap_new_from_device(context_, conn_, keyboard_, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (keymap == nullptr) return false;
    xkb_keymap_unref(keymap_);
    keymap_ = keymap;
    XcbReply<xcb_xkb_get_state_reply_t> state(xcb_xkb_get_state_reply(
        conn_, xcb_xkb_get_state(conn_, static_cast<xcb_xkb_device_spec_t>(keyboard_)), nullptr));
    if (state) layout_ = state->group;
    return true;
  }

  xcb_connection_t* conn_ = nullptr;
  std::uint8_t xi_opcode_ = 0;
  std::uint8_t xkb_event_base_ = 0;
  std::int32_t keyboard_ = -1;
  xkb_context* context_ = nullptr;
  xkb_keymap* keymap_ = nullptr;
  xkb_layout_index_t layout_ = 0;
};

}  // namespace

std::optional<HookMessage> ButtonMessage(std::uint32_t button, bool press) {
  switch (button) {
    case 1:
      return HookMessage{press ? MOKTA_HOOK_LEFT_DOWN : MOKTA_HOOK_LEFT_UP, 0};
    case 2:
      return HookMessage{press ? MOKTA_HOOK_MIDDLE_DOWN : MOKTA_HOOK_MIDDLE_UP, 0};
    case 3:
      return HookMessage{press ? MOKTA_HOOK_RIGHT_DOWN : MOKTA_HOOK_RIGHT_UP, 0};
    // The recorder names X button 1 "forward" and X button 2 "back", as X11 numbers them 9
    // and 8.
    case 8:
      return HookMessage{press ? MOKTA_HOOK_X_DOWN : MOKTA_HOOK_X_UP, 2};
    case 9:
      return HookMessage{press ? MOKTA_HOOK_X_DOWN : MOKTA_HOOK_X_UP, 1};
    default:
      // 4..7 are wheel steps. The hook message has no form for them, so they are not posted
      // even while the wheel is enabled (the program never enables it).
      return std::nullopt;
  }
}

bool InWaylandSession() {
  if (EnvSet("WAYLAND_DISPLAY")) return true;
  const char* session = std::getenv("XDG_SESSION_TYPE");
  return session != nullptr && std::strcmp(session, "wayland") == 0;
}

bool DesktopCaptureAvailable() {
  if (InWaylandSession()) return false;
  xcb_connection_t* conn = xcb_connect(nullptr, nullptr);
  std::uint8_t opcode = 0;
  const bool available = !xcb_connection_has_error(conn) && QueryXInput2(conn, &opcode);
  xcb_disconnect(conn);
  return available;
}

std::unique_ptr<InputCapture> InputCapture::Start(const MoktaWindow& window, const Gates& gates) {
  const int wake_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_fd < 0) return nullptr;
  std::unique_ptr<InputCapture> capture(new InputCapture(window, gates, wake_fd));
  try {
    capture->thread_ = std::thread([raw = capture.get()] { raw->Run(); });
  } catch (const std::system_error&) {
    return nullptr;  // the destructor closes the eventfd
  }
  Setup setup;
  {
    std::unique_lock lock(capture->mutex_);
    capture->setup_changed_.wait_for(lock, kSetupWait,
                                     [&] { return capture->setup_ != Setup::Pending; });
    setup = capture->setup_;
  }
  if (setup == Setup::Failed) capture->thread_.join();
  return capture;
}

InputCapture::InputCapture(const MoktaWindow& window, const Gates& gates, int wake_fd)
    : window_(window), gates_(gates), wake_fd_(wake_fd) {}

InputCapture::~InputCapture() {
  posting_.store(false);
  if (thread_.joinable()) {
    const std::uint64_t one = 1;
    // An eventfd write of 1 fails only when the counter is full, which one write cannot do.
    (void)!write(wake_fd_, &one, sizeof(one));
    thread_.join();
  }
  close(wake_fd_);
}

void InputCapture::ReportSetup(Setup setup) {
  {
    std::lock_guard lock(mutex_);
    setup_ = setup;
  }
  setup_changed_.notify_all();
}

void InputCapture::Run() {
  pthread_setname_np(pthread_self(), "mokta-hook");
  XSession session;
  if (!session.Open()) {
    ReportSetup(Setup::Failed);
    return;
  }
  ReportSetup(Setup::Listening);

  const auto post = [this](std::uintptr_t wparam, std::intptr_t lparam) {
    if (posting_.load(std::memory_order_acquire) && window_.post != nullptr) {
      window_.post(window_.context, MOKTA_HOOK_EVENT_MESSAGE, wparam, lparam);
    }
  };

  pollfd fds[2] = {{session.Fd(), POLLIN, 0}, {wake_fd_, POLLIN, 0}};
  for (;;) {
    while (xcb_generic_event_t* event = session.NextEvent()) {
      const std::uint16_t type = session.RawEventType(event);
      if (type == XCB_INPUT_RAW_KEY_PRESS || type == XCB_INPUT_RAW_KEY_RELEASE) {
        const auto* raw = reinterpret_cast<const xcb_input_raw_key_press_event_t*>(event);
        if (gates_.keys.load(std::memory_order_relaxed)) {
          // Auto-repeats of a held key come as further presses; the recorder drops them.
          const std::uint32_t vk = session.VirtualKey(raw->detail);
          if (vk != 0) post(vk, type == XCB_INPUT_RAW_KEY_RELEASE ? 1 : 0);
        }
      } else if (type == XCB_INPUT_RAW_BUTTON_PRESS || type == XCB_INPUT_RAW_BUTTON_RELEASE) {
        const auto* raw = reinterpret_cast<const xcb_input_raw_button_press_event_t*>(event);
        if (gates_.buttons.load(std::memory_order_relaxed)) {
          if (auto message = ButtonMessage(raw->detail, type == XCB_INPUT_RAW_BUTTON_PRESS)) {
            post(message->wparam, message->lparam);
          }
        }
      } else if (type == 0) {
        session.TakeKeyboardEvent(event);
      }
      std::free(event);
    }
    // The X server went away: nothing more can come. The thread ends; removehook joins it.
    if (session.Broken()) return;
    if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
    if (fds[1].revents != 0) return;
  }
}

}  // namespace mokta::hook
