#pragma once

// Following the X server's keyboard over xcb: the keyboard extension set up on a connection and
// the events that tell a new keymap or a new layout group asked for. The keyboard layout service
// and the input hook library each keep a connection of their own and follow the keyboard this
// way. No Qt.

#include <xcb/xcb.h>
// xcb's keyboard extension header, for the callers' event handling too. It names a member
// "explicit", which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <cstdint>

namespace mokta::xkb {

// Sets up the keyboard extension on `connection` and selects the new-keyboard, map and state
// (group) notifications of the core keyboard. Returns the core keyboard's device id, with the
// extension's event number in `first_event`; -1 when the server has no keyboard extension or the
// events cannot be selected. Call it before reading the keymap, so no change in between is
// missed.
std::int32_t FollowCoreKeyboard(xcb_connection_t* connection, std::uint8_t* first_event);

}  // namespace mokta::xkb
