#pragma once

// Readable dumps of records, as text for a person and as JSON for scripts. Both show the same
// content: every setting a user changes, with the codes as stored and, beside them, what they
// stand for (DPI values, #RRGGBB colours, key names on a US layout). Counts are shown as
// stored; the entries listed are only those inside the record (the bounded counts), so a
// damaged count is visible without anything being read outside the record.

#include <QJsonObject>
#include <QString>
#include <cstdint>

#include "cli/record_file.h"
#include "data/gun_data.h"
#include "data/macro_data.h"
#include "data/profile_data.h"

namespace mokta {

// "#RRGGBB" of a colour as records store it (0x00BBGGRR).
QString ColorText(std::uint32_t stored);

// The key a stored key code stands for on a US layout ("A", "F1", "LCtrl", "L_Button"), or an
// empty text for a code without a name.
QString KeyName(std::uint8_t code);

// Field names are the record's own (`dpi_step`, `prate`, `breathspeed`, ...).
QJsonObject ProfileToJson(const ProfileData& profile);
QJsonObject MacroToJson(const MacroData& macro);
QJsonObject GunToJson(const GunData& gun);
// The whole file: "file", "kind", "size", then "profile", "macro" or "gun" for an exchange
// file, or "selected" and "profiles", or "macros", or "guns" for a store.
QJsonObject RecordFileToJson(const RecordFile& file);

// The text dump of a whole file, lines ending in "\n".
QString RecordFileToText(const RecordFile& file);

}  // namespace mokta
