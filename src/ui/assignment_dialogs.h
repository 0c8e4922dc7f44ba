#pragma once

// The pick dialogs the button assignment opens before it gives a button a key combination, a
// macro or a recoil pattern. The settings page holds one implementation of this interface: the
// program's modal dialogs, or a fake in tests. Each call shows its dialog modally over the
// page's window and returns what the user confirmed with OK, or nothing when the dialog was
// cancelled or closed. The dialogs only collect values; storing them, the checks of the
// returned index and sending the result to the mouse are the page's part.
//
// UI thread.

#include <cstdint>
#include <optional>

#include "data/gun_data.h"
#include "data/macro_data.h"

namespace mokta {

// A key combination: modifier bits 0..3 (Ctrl, Shift, Alt, Win; the four check boxes in that
// order) and one key, a HID keyboard usage id or 0 for none.
struct KeyCombinationPick {
  std::uint8_t modifiers = 0;
  std::uint8_t key = 0;
};

// A choice from the macro or recoil pattern list: the position in the list (-1: none chosen;
// the page checks that it lies in the list), the repeat mode 0..2 (option "repeat_%d" with
// %d = mode + 1; mode 0 repeats `loop_count` times) and the loop count 1..255.
struct ListPick {
  int index = -1;
  int repeat_mode = 0;
  int loop_count = 1;
};

class AssignmentDialogs {
 public:
  virtual ~AssignmentDialogs() = default;

  // The key-combination dialog, opened with `current` (what the button holds, or all zero when
  // it holds no key combination). The key is captured through the input hooks while the key
  // field has the focus. An all-zero result is returned as confirmed: the page decides.
  virtual std::optional<KeyCombinationPick> PickKeyCombination(
      const KeyCombinationPick& current) = 0;
  // The macro dialog over `macros`, opened with `current` (the button's macro, or -1, 0, 1).
  virtual std::optional<ListPick> PickMacro(const MacroList& macros, const ListPick& current) = 0;
  // The recoil pattern dialog over `guns`, opened with `current` (the button's pattern with its
  // mode and count, or -1, 0, 1). The page ignores the returned mode: a pattern always plays
  // while the button is held.
  virtual std::optional<ListPick> PickGun(const GunList& guns, const ListPick& current) = 0;
};

}  // namespace mokta
