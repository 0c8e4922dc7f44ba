#pragma once

// The dry run of an apply: the command messages a send-all pass would send for a profile,
// written as text instead of being sent.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <span>

#include "data/profile_data.h"

namespace mokta {

// The bytes as upper-case hexadecimal pairs separated by single spaces ("0C 0A 01").
QString HexBytes(std::span<const std::uint8_t> bytes);

// One line per message of a send-all pass for `profile`, in sending order, each holding the
// message's own length of bytes (a slot message 111, never the padding of its buffer).
QStringList DryRunLines(const ProfileData& profile);

}  // namespace mokta
