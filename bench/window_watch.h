#pragma once

// Watches an X display for a top-level window with a given title: when the server maps it and
// when it first exposes it (asks its program to paint it). Plain xcb, so that the watch is
// another client of the display and the program being watched is left as it would run.
//
// Where no window manager runs (a bare Xvfb), the watch becomes one: it maps each window that
// asks to be mapped, unchanged, and passes configure requests on as they came. It thereby
// listens to a window's exposures before the window is mapped and hears the first one for
// certain. Where a window manager runs, the watch listens to each new top-level window as it
// is created; an exposure that comes before that request reaches the server is missed.

#include <xcb/xcb.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>

namespace mokta::bench {

class WindowWatch {
 public:
  using Clock = std::chrono::steady_clock;

  explicit WindowWatch(std::string title);
  ~WindowWatch();
  WindowWatch(const WindowWatch&) = delete;
  WindowWatch& operator=(const WindowWatch&) = delete;

  // Connects to $DISPLAY and starts watching. False with `error` set when there is no display.
  bool Connect(std::string* error);
  // Whether the watch acts as the window manager.
  bool managing() const { return managing_; }

  // Forgets the windows seen so far, for the next start.
  void Reset();
  // Waits up to `timeout_ms` for events and handles every one that came; each is stamped
  // with the time it was read.
  void Pump(int timeout_ms);

  std::optional<Clock::time_point> mapped() const { return mapped_; }
  std::optional<Clock::time_point> exposed() const { return exposed_; }

 private:
  void Handle(const xcb_generic_event_t& event, Clock::time_point now);
  void Listen(xcb_window_t window);
  void ForwardConfigure(const xcb_configure_request_event_t& request);
  bool IsTarget(xcb_window_t window);
  std::string Property(xcb_window_t window, xcb_atom_t property);

  std::string title_;
  xcb_connection_t* connection_ = nullptr;
  xcb_window_t root_ = 0;
  xcb_atom_t net_wm_name_ = XCB_ATOM_NONE;
  bool managing_ = false;
  std::map<xcb_window_t, bool> is_target_;  // windows whose title was looked at
  std::optional<Clock::time_point> mapped_;
  std::optional<Clock::time_point> exposed_;
};

}  // namespace mokta::bench
