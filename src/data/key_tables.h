#pragma once

// The three key numberings and the conversions between them. A stored key is one byte: a HID
// keyboard usage id (usage page 0x07) or a program code of 0xF0 and above for mouse buttons
// (0xF1 left, 0xF2 right, 0xF3 middle, 0xF4 back, 0xF5 forward). Keys arrive as Windows
// virtual-key codes. The keys whose meaning follows the keyboard layout (letters, digits,
// punctuation, Enter, Escape, Backspace, Tab, Space, Caps Lock, F1..F12: usages 0x04..0x45)
// are stored by physical position, found through the key's scan code; the letters, digits
// and punctuation (0x04..0x39) are shown with the character the layout puts on that position.
//
// All functions are stateless and may be called from any thread, given services that may.

#include <QLoggingCategory>
#include <QString>
#include <array>
#include <cstdint>

#include "data/keyboard_layout.h"
#include "data/language.h"

namespace mokta {

// Receives one debug line per UsageToKeyText call: "m_key = <text>".
Q_DECLARE_LOGGING_CATEGORY(lcKeyTables)

struct KeyCodeRow {
  std::uint32_t vk;         // Windows virtual-key code
  std::uint32_t usage;      // HID keyboard usage id, or a program code (0xF0 and above)
  std::uint32_t scan_code;  // set-1 scan code of the key on a US keyboard; 0 for none

  bool operator==(const KeyCodeRow&) const = default;
};

// Lookups scan from row 0 and take the first match, so the order matters: rows 51 and 52 share
// usage 0x38 (0xBF wins a lookup by usage), and keypad 7 comes before keypad 6. No row has the
// generic Shift, Control and Alt codes (0x10..0x12), nor usages 0x32, 0x64, 0x66..0x68 or 0xF5.
// Rows from 66 on have no scan code, so they never take part in a lookup by position.
inline constexpr std::array<KeyCodeRow, 112> KeyCodeTable{{
    {0x41, 0x04, 0x1E},  // 0 A
    {0x42, 0x05, 0x30},  // 1 B
    {0x43, 0x06, 0x2E},  // 2 C
    {0x44, 0x07, 0x20},  // 3 D
    {0x45, 0x08, 0x12},  // 4 E
    {0x46, 0x09, 0x21},  // 5 F
    {0x47, 0x0A, 0x22},  // 6 G
    {0x48, 0x0B, 0x23},  // 7 H
    {0x49, 0x0C, 0x17},  // 8 I
    {0x4A, 0x0D, 0x24},  // 9 J
    {0x4B, 0x0E, 0x25},  // 10 K
    {0x4C, 0x0F, 0x26},  // 11 L
    {0x4D, 0x10, 0x32},  // 12 M
    {0x4E, 0x11, 0x31},  // 13 N
    {0x4F, 0x12, 0x18},  // 14 O
    {0x50, 0x13, 0x19},  // 15 P
    {0x51, 0x14, 0x10},  // 16 Q
    {0x52, 0x15, 0x13},  // 17 R
    {0x53, 0x16, 0x1F},  // 18 S
    {0x54, 0x17, 0x14},  // 19 T
    {0x55, 0x18, 0x16},  // 20 U
    {0x56, 0x19, 0x2F},  // 21 V
    {0x57, 0x1A, 0x11},  // 22 W
    {0x58, 0x1B, 0x2D},  // 23 X
    {0x59, 0x1C, 0x15},  // 24 Y
    {0x5A, 0x1D, 0x2C},  // 25 Z
    {0x31, 0x1E, 0x02},  // 26 1
    {0x32, 0x1F, 0x03},  // 27 2
    {0x33, 0x20, 0x04},  // 28 3
    {0x34, 0x21, 0x05},  // 29 4
    {0x35, 0x22, 0x06},  // 30 5
    {0x36, 0x23, 0x07},  // 31 6
    {0x37, 0x24, 0x08},  // 32 7
    {0x38, 0x25, 0x09},  // 33 8
    {0x39, 0x26, 0x0A},  // 34 9
    {0x30, 0x27, 0x0B},  // 35 0
    {0x0D, 0x28, 0x1C},  // 36 Enter
    {0x1B, 0x29, 0x01},  // 37 Escape
    {0x08, 0x2A, 0x0E},  // 38 Backspace
    {0x09, 0x2B, 0x0F},  // 39 Tab
    {0x20, 0x2C, 0x39},  // 40 Space
    {0xBD, 0x2D, 0x0C},  // 41 - and _
    {0xBB, 0x2E, 0x0D},  // 42 = and +
    {0xDB, 0x2F, 0x1A},  // 43 [ and {
    {0xDD, 0x30, 0x1B},  // 44 ] and }
    {0xDC, 0x31, 0x2B},  // 45 backslash and |
    {0xBA, 0x33, 0x27},  // 46 ; and :
    {0xDE, 0x34, 0x28},  // 47 ' and "
    {0xC0, 0x35, 0x29},  // 48 grave accent and tilde
    {0xBC, 0x36, 0x33},  // 49 , and <
    {0xBE, 0x37, 0x34},  // 50 . and >
    {0xBF, 0x38, 0x35},  // 51 / and ?
    {0xDF, 0x38, 0x35},  // 52 / and ? (second virtual-key code)
    {0x14, 0x39, 0x3A},  // 53 Caps Lock
    {0x70, 0x3A, 0x3B},  // 54 F1
    {0x71, 0x3B, 0x3C},  // 55 F2
    {0x72, 0x3C, 0x3D},  // 56 F3
    {0x73, 0x3D, 0x3E},  // 57 F4
    {0x74, 0x3E, 0x3F},  // 58 F5
    {0x75, 0x3F, 0x40},  // 59 F6
    {0x76, 0x40, 0x41},  // 60 F7
    {0x77, 0x41, 0x42},  // 61 F8
    {0x78, 0x42, 0x43},  // 62 F9
    {0x79, 0x43, 0x44},  // 63 F10
    {0x7A, 0x44, 0x57},  // 64 F11
    {0x7B, 0x45, 0x58},  // 65 F12
    {0x2C, 0x46, 0},     // 66 Print Screen
    {0x91, 0x47, 0},     // 67 Scroll Lock
    {0x13, 0x48, 0},     // 68 Pause
    {0x2D, 0x49, 0},     // 69 Insert
    {0x24, 0x4A, 0},     // 70 Home
    {0x21, 0x4B, 0},     // 71 Page Up
    {0x2E, 0x4C, 0},     // 72 Delete
    {0x23, 0x4D, 0},     // 73 End
    {0x22, 0x4E, 0},     // 74 Page Down
    {0x27, 0x4F, 0},     // 75 Right Arrow
    {0x25, 0x50, 0},     // 76 Left Arrow
    {0x28, 0x51, 0},     // 77 Down Arrow
    {0x26, 0x52, 0},     // 78 Up Arrow
    {0x90, 0x53, 0},     // 79 Num Lock
    {0x6F, 0x54, 0},     // 80 Keypad /
    {0x6A, 0x55, 0},     // 81 Keypad *
    {0x6D, 0x56, 0},     // 82 Keypad -
    {0x6B, 0x57, 0},     // 83 Keypad +
    {0x6C, 0x58, 0},     // 84 Keypad Enter
    {0x61, 0x59, 0},     // 85 Keypad 1
    {0x62, 0x5A, 0},     // 86 Keypad 2
    {0x63, 0x5B, 0},     // 87 Keypad 3
    {0x64, 0x5C, 0},     // 88 Keypad 4
    {0x65, 0x5D, 0},     // 89 Keypad 5
    {0x67, 0x5F, 0},     // 90 Keypad 7
    {0x66, 0x5E, 0},     // 91 Keypad 6
    {0x68, 0x60, 0},     // 92 Keypad 8
    {0x69, 0x61, 0},     // 93 Keypad 9
    {0x60, 0x62, 0},     // 94 Keypad 0
    {0x6E, 0x63, 0},     // 95 Keypad .
    {0x5D, 0x65, 0},     // 96 Application
    {0xA2, 0xE0, 0},     // 97 Left Control
    {0xA0, 0xE1, 0},     // 98 Left Shift
    {0xA4, 0xE2, 0},     // 99 Left Alt
    {0x5B, 0xE3, 0},     // 100 Left GUI (Windows key)
    {0xA3, 0xE4, 0},     // 101 Right Control
    {0xA1, 0xE5, 0},     // 102 Right Shift
    {0xA5, 0xE6, 0},     // 103 Right Alt
    {0x5C, 0xE7, 0},     // 104 Right GUI (Windows key)
    {0xF0, 0xF0, 0},     // 105 program code 0xF0
    {0xF1, 0xF1, 0},     // 106 mouse left button
    {0xF2, 0xF2, 0},     // 107 mouse right button
    {0xF3, 0xF3, 0},     // 108 mouse middle button
    {0xF4, 0xF4, 0},     // 109 mouse back button
    {0xF7, 0xF7, 0},     // 110 program code 0xF7
    {0xF8, 0xF8, 0},     // 111 program code 0xF8
}};

struct UsageLookup {
  bool found;
  std::uint32_t usage;  // 0 when not found
};

// The usage id to store for virtual-key code `vk`. For a key in the layout-dependent range
// (0x04..0x45) the usage is the one of the key's physical position on `layout`, so a key
// keeps its position whatever it types: on a French layout the key typing A gives 0x14 (the
// Q position). A code without a table row is not found, with usage 0.
UsageLookup VirtualKeyToUsage(std::uint32_t vk, const KeyboardLayout& layout);

// The display text of virtual-key code `vk`: the language text of a named key (modifiers,
// navigation, keypad, F1..F12; the generic Shift, Control and Alt show as the left-hand
// keys), else what the key types on `layout` with no modifier, upper-cased character by
// character (a small sharp s stays one character, not "SS"). May be empty.
QString VirtualKeyToKeyText(std::uint32_t vk, const KeyboardLayout& layout,
                            const LanguageTexts& language);

// The display text of stored code `code`. Letters, digits and punctuation (0x04..0x39) show
// what `layout` types at the code's position; other codes with a text show the language text
// of their text key. Codes without a text (0x00..0x03, 0x32, 0x66..0x68, 0xE8..0xEF, 0xF0,
// 0xF6 and above, ...) give an empty text without asking `language`. Never fails.
QString UsageToKeyText(std::uint32_t code, const KeyboardLayout& layout,
                       const LanguageTexts& language);

}  // namespace mokta
