#include "window_watch.h"

#include <poll.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

namespace mokta::bench {
namespace {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter>;

constexpr std::uint32_t kWindowEvents = XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;

}  // namespace

WindowWatch::WindowWatch(std::string title) : title_(std::move(title)) {}

WindowWatch::~WindowWatch() {
  if (connection_) xcb_disconnect(connection_);
}

bool WindowWatch::Connect(std::string* error) {
  int screen_number = 0;
  connection_ = xcb_connect(nullptr, &screen_number);
  if (xcb_connection_has_error(connection_)) {
    *error = "cannot connect to the X display (DISPLAY is \"" +
             std::string(std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "") + "\")";
    return false;
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
  for (int i = 0; i < screen_number; ++i) xcb_screen_next(&screens);
  root_ = screens.data->root;

  const char kNetWmName[] = "_NET_WM_NAME";
  XcbReply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
      connection_, xcb_intern_atom(connection_, 0, sizeof kNetWmName - 1, kNetWmName), nullptr));
  if (atom) net_wm_name_ = atom->atom;

  // Only one client may redirect the root's children: it fails where a window manager runs.
  std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  XcbReply<xcb_generic_error_t> refused(xcb_request_check(
      connection_,
      xcb_change_window_attributes_checked(connection_, root_, XCB_CW_EVENT_MASK, &mask)));
  managing_ = refused == nullptr;
  if (!managing_) {
    mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
  }
  xcb_flush(connection_);
  return true;
}

void WindowWatch::Reset() {
  is_target_.clear();
  mapped_.reset();
  exposed_.reset();
}

void WindowWatch::Pump(int timeout_ms) {
  // Events xcb has already read are not seen by poll: look at those first.
  xcb_generic_event_t* event = xcb_poll_for_event(connection_);
  if (event == nullptr) {
    pollfd fd{xcb_get_file_descriptor(connection_), POLLIN, 0};
    poll(&fd, 1, timeout_ms);
    event = xcb_poll_for_event(connection_);
  }
  const Clock::time_point now = Clock::now();
  while (event != nullptr) {
    Handle(*event, now);
    std::free(event);
    event = xcb_poll_for_event(connection_);
  }
  xcb_flush(connection_);
}

void WindowWatch::Handle(const xcb_generic_event_t& event, Clock::time_point now) {
  switch (event.response_type & ~0x80) {
    case XCB_MAP_REQUEST: {
      const auto& request = reinterpret_cast<const xcb_map_request_event_t&>(event);
      Listen(request.window);
      xcb_map_window(connection_, request.window);
      break;
    }
    case XCB_CONFIGURE_REQUEST:
      ForwardConfigure(reinterpret_cast<const xcb_configure_request_event_t&>(event));
      break;
    case XCB_CREATE_NOTIFY: {
      const auto& created = reinterpret_cast<const xcb_create_notify_event_t&>(event);
      if (!managing_ && created.parent == root_ && !created.override_redirect) {
        Listen(created.window);
      }
      break;
    }
    case XCB_MAP_NOTIFY: {
      const auto& map = reinterpret_cast<const xcb_map_notify_event_t&>(event);
      if (!mapped_ && IsTarget(map.window)) mapped_ = now;
      break;
    }
    case XCB_EXPOSE: {
      const auto& expose = reinterpret_cast<const xcb_expose_event_t&>(event);
      if (!exposed_ && IsTarget(expose.window)) {
        exposed_ = now;
        if (!mapped_) mapped_ = now;
      }
      break;
    }
    case XCB_DESTROY_NOTIFY:
      is_target_.erase(reinterpret_cast<const xcb_destroy_notify_event_t&>(event).window);
      break;
    default:  // errors (a window gone before it was looked at) and events of no interest
      break;
  }
}

void WindowWatch::Listen(xcb_window_t window) {
  xcb_change_window_attributes(connection_, window, XCB_CW_EVENT_MASK, &kWindowEvents);
}

// The values travel in the order of their mask bits, as the request carried them.
void WindowWatch::ForwardConfigure(const xcb_configure_request_event_t& request) {
  std::uint32_t values[7];
  int n = 0;
  const std::uint16_t mask = request.value_mask;
  if (mask & XCB_CONFIG_WINDOW_X) values[n++] = static_cast<std::uint32_t>(request.x);
  if (mask & XCB_CONFIG_WINDOW_Y) values[n++] = static_cast<std::uint32_t>(request.y);
  if (mask & XCB_CONFIG_WINDOW_WIDTH) values[n++] = request.width;
  if (mask & XCB_CONFIG_WINDOW_HEIGHT) values[n++] = request.height;
  if (mask & XCB_CONFIG_WINDOW_BORDER_WIDTH) values[n++] = request.border_width;
  if (mask & XCB_CONFIG_WINDOW_SIBLING) values[n++] = request.sibling;
  if (mask & XCB_CONFIG_WINDOW_STACK_MODE) values[n++] = request.stack_mode;
  xcb_configure_window(connection_, request.window, mask, values);
}

// A window's title is set before it is mapped, so the answer found then is kept.
bool WindowWatch::IsTarget(xcb_window_t window) {
  const auto known = is_target_.find(window);
  if (known != is_target_.end()) return known->second;
  const bool target = Property(window, XCB_ATOM_WM_NAME) == title_ ||
                      (net_wm_name_ != XCB_ATOM_NONE && Property(window, net_wm_name_) == title_);
  is_target_[window] = target;
  return target;
}

std::string WindowWatch::Property(xcb_window_t window, xcb_atom_t property) {
  constexpr std::uint32_t kLongestTitleWords = 64;
  XcbReply<xcb_get_property_reply_t> reply(
      xcb_get_property_reply(connection_,
                             xcb_get_property(connection_, 0, window, property,
                                              XCB_GET_PROPERTY_TYPE_ANY, 0, kLongestTitleWords),
                             nullptr));
  if (!reply || reply->format != 8) return {};
  return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                     static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
}

}  // namespace mokta::bench
