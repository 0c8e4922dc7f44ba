#pragma once

// Readable dumps of records, as text for a person and as JSON for scripts. Both show the same
// content: every setting a user changes, with the codes as stored and, beside them, what they
// stand for (DPI values, #RRGGBB colours, key names as a keyboard layout types them). Counts are
// shown as stored; the entries listed are only those inside the record (the bounded counts), so a
// damaged count is visible without anything being read outside the record.

#include <QJsonObject>
#include <QString>
#include <cstdint>

#include "cli/record_file.h"
#include "data/gun_data.h"
#include "data/keyboard_layout.h"
#include "data/macro_data.h"
#include "data/profile_data.h"

namespace mokta {

// "#RRGGBB" of a colour as records store it (0x00BBGGRR).
QString ColorText(std::uint32_t stored);

// A US layout (the key table's own columns), the default of the dumps below.
const KeyboardLayout& UsLayout();

// The key a stored key code stands for on `layout` ("A", "F1", "LCtrl", "L_Button"), or an
// empty text for a code without a name.
QString KeyName(std::uint8_t code, const KeyboardLayout& layout = UsLayout());

// Field names are the record's own (`dpi_step`, `prate`, `breathspeed`, ...). Keys are named
// as `layout` types them.
QJsonObject ProfileToJson(const ProfileData& profile, const KeyboardLayout& layout = UsLayout());
QJsonObject MacroToJson(const MacroData& macro, const KeyboardLayout& layout = UsLayout());
QJsonObject GunToJson(const GunData& gun);
// The whole file: "file", "kind", "size", then "profile", "macro" or "gun" for an exchange
// file, or "selected" and "profiles", or "macros", or "guns" for a store.
QJsonObject RecordFileToJson(const RecordFile& file, const KeyboardLayout& layout = UsLayout());

// The text dump of a whole file, lines ending in "\n".
QString RecordFileToText(const RecordFile& file, const KeyboardLayout& layout = UsLayout());

}  // namespace mokta
