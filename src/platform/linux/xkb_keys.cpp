#include "platform/linux/xkb_keys.h"

#include <array>

namespace mokta::xkb {

namespace {

// xkb key codes are Linux input event codes + 8.
constexpr xkb_keycode_t kEvdevOffset = 8;
// The highest Linux input code of the positions below.
constexpr std::uint32_t kLastEvdevCode = 127;
// Linux input codes 1..88 equal the set-1 scan codes of their positions, except 84 (none) and
// 85 (a Japanese key whose set-1 code differs).
constexpr std::uint32_t kLastScanCode = 0x58;

// The virtual-key code of each Linux input code's position on a US keyboard; 0 for a position
// the program does not number.
constexpr std::array<std::uint8_t, kLastEvdevCode + 1> kUsVirtualKeys = [] {
  std::array<std::uint8_t, kLastEvdevCode + 1> t{};
  t[1] = 0x1B;  // Escape
  const std::uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9', '0'};
  for (int i = 0; i < 10; ++i) t[2 + i] = digits[i];
  t[12] = 0xBD;  // - _
  t[13] = 0xBB;  // = +
  t[14] = 0x08;  // Backspace
  t[15] = 0x09;  // Tab
  const char top[] = "QWERTYUIOP";
  for (int i = 0; i < 10; ++i) t[16 + i] = static_cast<std::uint8_t>(top[i]);
  t[26] = 0xDB;  // [ {
  t[27] = 0xDD;  // ] }
  t[28] = 0x0D;  // Enter
  t[29] = 0xA2;  // Left Control
  const char home[] = "ASDFGHJKL";
  for (int i = 0; i < 9; ++i) t[30 + i] = static_cast<std::uint8_t>(home[i]);
  t[39] = 0xBA;  // ; :
  t[40] = 0xDE;  // ' "
  t[41] = 0xC0;  // ` ~
  t[42] = 0xA0;  // Left Shift
  t[43] = 0xDC;  // backslash |
  const char bottom[] = "ZXCVBNM";
  for (int i = 0; i < 7; ++i) t[44 + i] = static_cast<std::uint8_t>(bottom[i]);
  t[51] = 0xBC;                                                                  // , <
  t[52] = 0xBE;                                                                  // . >
  t[53] = 0xBF;                                                                  // / ?
  t[54] = 0xA1;                                                                  // Right Shift
  t[55] = 0x6A;                                                                  // Keypad *
  t[56] = 0xA4;                                                                  // Left Alt
  t[57] = 0x20;                                                                  // Space
  t[58] = 0x14;                                                                  // Caps Lock
  for (int i = 0; i < 10; ++i) t[59 + i] = static_cast<std::uint8_t>(0x70 + i);  // F1..F10
  t[69] = 0x90;                                                                  // Num Lock
  t[70] = 0x91;                                                                  // Scroll Lock
  const std::uint8_t keypad[] = {0x67, 0x68, 0x69, 0x6D, 0x64, 0x65, 0x66,
                                 0x6B, 0x61, 0x62, 0x63, 0x60, 0x6E};
  for (int i = 0; i < 13; ++i) t[71 + i] = keypad[i];  // Keypad 7 .. Keypad .
  t[86] = 0xE2;   // the extra key beside Left Shift on 102-key keyboards
  t[87] = 0x7A;   // F11
  t[88] = 0x7B;   // F12
  t[96] = 0x6C;   // Keypad Enter
  t[97] = 0xA3;   // Right Control
  t[98] = 0x6F;   // Keypad /
  t[99] = 0x2C;   // Print Screen
  t[100] = 0xA5;  // Right Alt
  t[102] = 0x24;  // Home
  t[103] = 0x26;  // Up
  t[104] = 0x21;  // Page Up
  t[105] = 0x25;  // Left
  t[106] = 0x27;  // Right
  t[107] = 0x23;  // End
  t[108] = 0x28;  // Down
  t[109] = 0x22;  // Page Down
  t[110] = 0x2D;  // Insert
  t[111] = 0x2E;  // Delete
  t[119] = 0x13;  // Pause
  t[125] = 0x5B;  // Left GUI
  t[126] = 0x5C;  // Right GUI
  t[127] = 0x5D;  // Application (menu)
  return t;
}();

constexpr std::uint32_t UsVirtualKey(xkb_keycode_t keycode) {
  if (keycode < kEvdevOffset || keycode - kEvdevOffset > kLastEvdevCode) return 0;
  return kUsVirtualKeys[keycode - kEvdevOffset];
}

constexpr xkb_keycode_t kFirstKeycode = kEvdevOffset + 1;
constexpr xkb_keycode_t kLastKeycode = kEvdevOffset + kLastEvdevCode;

// `layout` brought into the key's range the way a keyboard state does by default (wrapping),
// so keys with fewer groups than the keymap still answer.
xkb_layout_index_t LayoutForKey(xkb_keymap* keymap, xkb_layout_index_t layout,
                                xkb_keycode_t keycode) {
  const xkb_layout_index_t count = xkb_keymap_num_layouts_for_key(keymap, keycode);
  if (count == 0) return XKB_LAYOUT_INVALID;
  return layout % count;
}

// The keysyms of the key's first shift level in `layout`; their number, 0 when none.
int FirstLevelSyms(xkb_keymap* keymap, xkb_layout_index_t layout, xkb_keycode_t keycode,
                   const xkb_keysym_t** syms) {
  if (keymap == nullptr || keycode < xkb_keymap_min_keycode(keymap) ||
      keycode > xkb_keymap_max_keycode(keymap)) {
    return 0;
  }
  const xkb_layout_index_t key_layout = LayoutForKey(keymap, layout, keycode);
  if (key_layout == XKB_LAYOUT_INVALID) return 0;
  return xkb_keymap_key_get_syms_by_level(keymap, keycode, key_layout, 0, syms);
}

// The letter code 'A'..'Z' the key types in its first level, 0 when it types no such letter.
std::uint32_t LetterOfKey(xkb_keymap* keymap, xkb_layout_index_t layout, xkb_keycode_t keycode) {
  const xkb_keysym_t* syms = nullptr;
  if (FirstLevelSyms(keymap, layout, keycode, &syms) != 1) return 0;
  const xkb_keysym_t sym = syms[0];
  if (sym >= XKB_KEY_a && sym <= XKB_KEY_z) return sym - XKB_KEY_a + 'A';
  if (sym >= XKB_KEY_A && sym <= XKB_KEY_Z) return sym - XKB_KEY_A + 'A';
  return 0;
}

// The numbering of one layout of a keymap, computed whole because a key's code depends on
// what the other keys type.
class Numbering {
 public:
  Numbering(xkb_keymap* keymap, xkb_layout_index_t layout) {
    if (keymap == nullptr) return;
    // The owner of each letter: the lowest key code that types it.
    for (xkb_keycode_t k = kFirstKeycode; k <= kLastKeycode; ++k) {
      if (UsVirtualKey(k) == 0) continue;
      const std::uint32_t letter = LetterOfKey(keymap, layout, k);
      if (letter != 0 && owner_[letter - 'A'] == XKB_KEYCODE_INVALID) {
        owner_[letter - 'A'] = k;
        codes_[k] = letter;
      }
    }
    for (xkb_keycode_t k = kFirstKeycode; k <= kLastKeycode; ++k) {
      if (UsVirtualKey(k) != 0 && codes_[k] == 0) codes_[k] = FreeCodeFrom(k);
    }
  }

  std::uint32_t Of(xkb_keycode_t keycode) const {
    return keycode <= kLastKeycode ? codes_[keycode] : 0;
  }

 private:
  xkb_keycode_t OwnerOf(std::uint32_t code) const {
    if (code < 'A' || code > 'Z') return XKB_KEYCODE_INVALID;
    return owner_[code - 'A'];
  }

  // A key that types no letter (or a letter an earlier key owns) takes its US code. When a
  // letter key took that code, the key takes the US code of that letter key's position
  // instead, and so on: the codes the letter keys left behind go to the keys they displaced,
  // so no two keys share a code and every key can be found again by its code. On French,
  // 'M' types at the US ';' position and the key at the US M position (typing ',') gets the
  // ';' code 0xBA.
  std::uint32_t FreeCodeFrom(xkb_keycode_t keycode) const {
    std::uint32_t code = UsVirtualKey(keycode);
    // Each step moves to a different letter key, so the chain ends within 26 steps.
    for (int step = 0; step <= 26; ++step) {
      const xkb_keycode_t owner = OwnerOf(code);
      if (owner == XKB_KEYCODE_INVALID || owner == keycode) return code;
      code = UsVirtualKey(owner);
    }
    return 0;
  }

  std::array<xkb_keycode_t, 26> owner_ = [] {
    std::array<xkb_keycode_t, 26> a{};
    a.fill(XKB_KEYCODE_INVALID);
    return a;
  }();
  std::array<std::uint32_t, kLastKeycode + 1> codes_{};
};

// The spacing accent shown for a dead key; nullptr for keysyms that are no dead key.
const char* SpacingAccent(xkb_keysym_t sym) {
  switch (sym) {
    case XKB_KEY_dead_grave:
      return "`";
    case XKB_KEY_dead_acute:
      return "\u00B4";
    case XKB_KEY_dead_circumflex:
      return "^";
    case XKB_KEY_dead_tilde:
      return "~";
    case XKB_KEY_dead_macron:
      return "\u00AF";
    case XKB_KEY_dead_breve:
      return "\u02D8";
    case XKB_KEY_dead_abovedot:
      return "\u02D9";
    case XKB_KEY_dead_diaeresis:
      return "\u00A8";
    case XKB_KEY_dead_abovering:
      return "\u02DA";
    case XKB_KEY_dead_doubleacute:
      return "\u02DD";
    case XKB_KEY_dead_caron:
      return "\u02C7";
    case XKB_KEY_dead_cedilla:
      return "\u00B8";
    case XKB_KEY_dead_ogonek:
      return "\u02DB";
    case XKB_KEY_dead_iota:
      return "\u037A";
    case XKB_KEY_dead_belowdot:
      return ".";
    case XKB_KEY_dead_hook:
      return "\u02C0";
    case XKB_KEY_dead_horn:
      return "\u031B";
    case XKB_KEY_dead_stroke:
      return "/";
    case XKB_KEY_dead_abovecomma:
      return "\u02BC";
    case XKB_KEY_dead_abovereversedcomma:
      return "\u02BD";
    case XKB_KEY_dead_doublegrave:
      return "\u02F5";
    case XKB_KEY_dead_belowcomma:
      return ",";
    case XKB_KEY_dead_currency:
      return "\u00A4";
    case XKB_KEY_dead_greek:
      return "\u00B5";
    default:
      return nullptr;
  }
}

}  // namespace

std::uint32_t ScanCodeForKeycode(xkb_keycode_t keycode) {
  if (keycode < kEvdevOffset) return 0;
  const std::uint32_t code = keycode - kEvdevOffset;
  if (code == 0 || code > kLastScanCode || UsVirtualKey(keycode) == 0) return 0;
  return code;
}

xkb_keycode_t KeycodeForScanCode(std::uint32_t scan_code) {
  if (scan_code == 0 || scan_code > kLastScanCode) return XKB_KEYCODE_INVALID;
  const xkb_keycode_t keycode = scan_code + kEvdevOffset;
  return UsVirtualKey(keycode) == 0 ? XKB_KEYCODE_INVALID : keycode;
}

std::uint32_t VirtualKeyForKeycode(xkb_keymap* keymap, xkb_layout_index_t layout,
                                   xkb_keycode_t keycode) {
  if (UsVirtualKey(keycode) == 0) return 0;
  return Numbering(keymap, layout).Of(keycode);
}

xkb_keycode_t KeycodeForVirtualKey(xkb_keymap* keymap, xkb_layout_index_t layout,
                                   std::uint32_t vk) {
  if (vk == 0) return XKB_KEYCODE_INVALID;
  const Numbering numbering(keymap, layout);
  for (xkb_keycode_t k = kFirstKeycode; k <= kLastKeycode; ++k) {
    if (numbering.Of(k) == vk) return k;
  }
  return XKB_KEYCODE_INVALID;
}

std::string UnmodifiedText(xkb_keymap* keymap, xkb_layout_index_t layout, xkb_keycode_t keycode) {
  const xkb_keysym_t* syms = nullptr;
  const int count = FirstLevelSyms(keymap, layout, keycode, &syms);
  std::string text;
  for (int i = 0; i < count; ++i) {
    if (const char* accent = SpacingAccent(syms[i])) {
      text += accent;
      continue;
    }
    const std::uint32_t c = xkb_keysym_to_utf32(syms[i]);
    // Control characters (Enter, Tab, Backspace, Escape, Delete) are no text to show.
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) continue;
    char buffer[8] = {};
    if (xkb_keysym_to_utf8(syms[i], buffer, sizeof buffer) > 0) text += buffer;
  }
  return text;
}

}  // namespace mokta::xkb
