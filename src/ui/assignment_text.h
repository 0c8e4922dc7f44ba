#pragma once

// The text a button of the page shows for what it is assigned: a function's language text, a
// key combination ("Ctrl+Shift+A"), or the name of a macro or recoil pattern behind its
// language prefix. UI thread (language texts of the program).

#include <QString>

#include "data/keyboard_layout.h"
#include "data/profile_data.h"

namespace mokta {

// An unknown function code shows nothing. The key of a key combination is named as `layout`
// types it.
QString AssignmentText(const ButtonData& button, const KeyboardLayout& layout);

}  // namespace mokta
