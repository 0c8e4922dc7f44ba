#pragma once

// How the program numbers the keys of an xkbcommon keymap: Windows virtual-key codes (what
// the input hook library posts and the key table converts) and set-1 scan codes (the key
// table's positions). The keyboard layout service and the input hook library both use these
// functions, so a key pressed anywhere on the desktop and the same key looked up on the page
// get the same code. No Qt; safe to call from any thread with a keymap that thread owns or
// that is not changed meanwhile.
//
// The numbering: a key that types a letter A..Z in its first shift level of `layout` gets
// that letter's code (0x41..0x5A), wherever it sits; every other key gets the code its
// position has on a US keyboard (digits, punctuation, F-keys, modifiers with their left/right
// codes 0xA0..0xA5, navigation, keypad, ...). A letter code that the layout gives to no key
// (the US position of A on a layout that has no A) is not reused for another key. A key
// whose US code a letter key took (the US M position on French, typing ',') takes the US
// code of that letter key's position instead (0xBA, where French types 'm'), following the
// chain until a code is free, so no two keys share a code.

#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <string>

namespace mokta::xkb {

// The set-1 scan code of the position at xkb key code `keycode` (Linux input code + 8) for
// the key table's positions (0x01..0x58 without prefix), 0 for any other key code.
std::uint32_t ScanCodeForKeycode(xkb_keycode_t keycode);
// The xkb key code of the position with set-1 scan code `scan_code`, XKB_KEYCODE_INVALID when
// the key table has no such position.
xkb_keycode_t KeycodeForScanCode(std::uint32_t scan_code);

// The virtual-key code of the key at `keycode` in layout `layout` of `keymap` (numbering
// above); 0 when the key has none.
std::uint32_t VirtualKeyForKeycode(xkb_keymap* keymap, xkb_layout_index_t layout,
                                   xkb_keycode_t keycode);
// The key code of the first key (lowest key code) whose virtual-key code in `layout` is `vk`;
// XKB_KEYCODE_INVALID when no key has it.
xkb_keycode_t KeycodeForVirtualKey(xkb_keymap* keymap, xkb_layout_index_t layout, std::uint32_t vk);

// The text (UTF-8) the key at `keycode` types in `layout` with no modifier held and no dead
// key pending: a dead key gives its spacing accent ("^", "´", "`", "¨", "~", ...); empty when
// the key types nothing (modifiers, navigation, function keys).
std::string UnmodifiedText(xkb_keymap* keymap, xkb_layout_index_t layout, xkb_keycode_t keycode);

}  // namespace mokta::xkb
