#pragma once

// What a mouse button can be given and how the assignment is written into its record: the
// function codes with the button menu's item names and their display text keys, the rule that
// keeps one button on left click, key combinations, macros and recoil patterns, and the resync
// that keeps macro and pattern assignments in step with the macro and pattern lists.
//
// A macro or pattern assignment carries its own copy of the actions or steps, found again by
// name. A button's `bind_name` holds 23 UTF-16 units while a pattern's name may hold 49: the
// button stores the name cut to 23 units (BindNameOf), and the resync matches a pattern by that
// same cut, so a long name is always found again. Two patterns whose names share the first 23
// units are told apart by the button's `gun_index`: the pattern at that index is taken when its
// cut name matches, otherwise the first one that matches.
//
// QtCore only; no locking: callers change profiles through the session's locked operations.

#include <QString>
#include <QStringView>
#include <cstdint>
#include <span>

#include "data/gun_data.h"
#include "data/macro_data.h"
#include "data/profile_data.h"

namespace mokta {

inline constexpr std::uint8_t kFunctionLeftClick = 1;
// Button records 0..15 are the ones the left-click rule looks at.
inline constexpr std::size_t kLeftClickRuleButtons = 16;

// A function code, the item of the button menu that assigns it (null: no item) and the
// language key a button with it shows (null: the text is composed, or there is none).
struct ButtonFunction {
  std::uint8_t code;
  const char* menu_item;
  const char* text_key;
};

// Every code a button can show or be given from the menu, in code order.
std::span<const ButtonFunction> ButtonFunctions();

// The code a menu item assigns, letter case ignored; an unknown item assigns left click.
std::uint8_t FunctionForMenuItem(QStringView item_name);
// The language key of a plain function code; null for codes without a text (and for 16..18).
const char* FunctionTextKey(std::uint8_t code);

// Whether one of button records 0..15 of `profile` stays on left click when record `slot`
// gets `code`.
bool KeepsLeftClick(const ProfileData& profile, std::size_t slot, std::uint8_t code);

// The text a button stores for a macro or pattern name: cut to 23 UTF-16 units without
// leaving half a surrogate pair.
QString BindNameOf(QStringView name);
// Whether a button's `bind_name` names the record named `name` (letter case ignored).
bool BindNameMatches(QStringView bind_name, QStringView name);

// Writes a key combination (modifier bits 0..3: Ctrl, Shift, Alt, Win; key: a HID usage) and
// function 16. Bytes 4..6 are cleared when the button held another function.
void AssignKeyCombination(ButtonData& button, std::uint8_t modifiers, std::uint8_t key);
// Writes the macro at `index` of its list with its repeat mode and count, and function 17.
void AssignMacro(ButtonData& button, const MacroData& macro, int index, int repeat_mode,
                 int repeat_count);
// Writes the pattern at `index` of its list with its repeat count, repeat mode 2 and
// function 18.
void AssignGun(ButtonData& button, const GunData& gun, int index, int repeat_count);

// Brings every macro and pattern assignment of every profile (button records 0..17 with a
// name) in step with the lists after they were edited: the copy of the actions or steps, the
// count and the index are taken again from the record of the same name; a button whose record
// is gone gets back the record of its slot's defaults (its default function). Other buttons
// are untouched. Returns whether profile `current` holds such an assignment (kept or reset).
bool ResyncAssignments(ProfileList& profiles, const MacroList& macros, const GunList& guns,
                       int current);

}  // namespace mokta
