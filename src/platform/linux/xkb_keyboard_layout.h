#pragma once

// The keyboard layout service over libxkbcommon. Key codes are numbered as in
// platform/linux/xkb_keys.h, the numbering the input hook library uses too.
//
// Three sources, chosen by MakeSystemKeyboardLayout (system_services.h):
// - under X11 (an X display reachable and no Wayland session), the X server's keymap and its
//   current group, read through xkbcommon-x11 on a connection of the service's own; layout
//   switches (a new group, a new keymap from setxkbmap or the desktop) are taken up at the
//   next question;
// - otherwise the layout the environment names (XKB_DEFAULT_RULES, _MODEL, _LAYOUT,
//   _VARIANT, _OPTIONS) or, without those, the system's keyboard settings
//   (/etc/default/keyboard), fixed for the run;
// - a layout compiled by name, for tests and tools.
//
// Every member may be called from any thread; a lock guards the keymap.

#include <QLoggingCategory>
#include <QString>
#include <array>
#include <memory>
#include <mutex>

#include "data/keyboard_layout.h"

struct xkb_context;
struct xkb_keymap;

namespace mokta {

// Where the layout came from and when it fell back.
Q_DECLARE_LOGGING_CATEGORY(lcKeyboardLayout)

// XKB rule names; an empty field takes xkbcommon's default for it (or the environment's,
// where the environment is read).
struct XkbNames {
  QString rules;
  QString model;
  QString layout;
  QString variant;
  QString options;

  bool empty() const {
    return rules.isEmpty() && model.isEmpty() && layout.isEmpty() && variant.isEmpty() &&
           options.isEmpty();
  }
};

// The names a Debian-style keyboard settings file (/etc/default/keyboard: XKBMODEL=,
// XKBLAYOUT=, XKBVARIANT=, XKBOPTIONS=, values optionally quoted) gives; all empty when the
// file cannot be read or names nothing.
XkbNames ReadKeyboardSettingsFile(const QString& path);

class XkbKeyboardLayout final : public KeyboardLayout {
 public:
  // A fixed layout compiled from rules "evdev" with `layout` and `variant` ("fr", "de",
  // "us,ru"), without a display and without reading the environment. `group` picks one of
  // several layouts. valid() tells whether it compiled.
  explicit XkbKeyboardLayout(const QString& layout, const QString& variant = {},
                             unsigned group = 0);
  // A fixed layout compiled from `names`; with `use_environment`, empty fields are taken
  // from the XKB_DEFAULT_* variables first.
  XkbKeyboardLayout(const XkbNames& names, bool use_environment);
  ~XkbKeyboardLayout() override;

  XkbKeyboardLayout(const XkbKeyboardLayout&) = delete;
  XkbKeyboardLayout& operator=(const XkbKeyboardLayout&) = delete;

  // The layout of the X server on the display the environment names, following its
  // switches; null when no X server with the keyboard extension can be reached (the reason
  // is logged).
  static std::unique_ptr<XkbKeyboardLayout> FollowX11();

  // Whether a keymap was compiled or read. Without one every answer is 0 or empty.
  bool valid() const;
  // The group (layout index) in use now.
  unsigned group() const;
  // Where the layout came from, for the log and for messages ("X server", "environment",
  // "fr"...).
  QString description() const { return description_; }

  std::uint32_t VirtualKeyToScanCode(std::uint32_t vk) const override;
  std::uint32_t ScanCodeToVirtualKey(std::uint32_t scan_code) const override;
  // What the key of `vk` types (the key at `scan_code` when no key has `vk`).
  QString UnmodifiedText(std::uint32_t vk, std::uint32_t scan_code) const override;
  std::uint32_t KeycodeToVirtualKey(std::uint32_t keycode) const override;

 private:
  struct X11Link;
  XkbKeyboardLayout();

  void Compile(const XkbNames& names, bool use_environment);
  // Takes up what the X server reported since the last question. Lock held.
  void FollowServer() const;
  // Replaces the keymap (taking its reference) and renumbers. Lock held.
  void SetKeymap(xkb_keymap* keymap, unsigned group) const;
  void SetGroup(unsigned group) const;
  // The key code with virtual-key code `vk`, 0 when none. Lock held.
  std::uint32_t KeycodeOf(std::uint32_t vk) const;

  mutable std::mutex mutex_;
  xkb_context* context_ = nullptr;
  mutable xkb_keymap* keymap_ = nullptr;
  mutable unsigned group_ = 0;
  // The virtual-key code of each key code for keymap_ and group_.
  mutable std::array<std::uint32_t, 256> vk_of_keycode_{};
  mutable std::unique_ptr<X11Link> x11_;  // null when not following an X server
  QString description_;
};

}  // namespace mokta
