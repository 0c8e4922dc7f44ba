#pragma once

// Compares what a virtual mouse holds with what a profile sets on it when it is sent whole:
// the fields of commands 0x04, 0x05, 0x06 and 0x08, and the slot messages of its macro and
// recoil-pattern buttons, numbered as the apply pass numbers them, as the mouse read them. For
// tests: it links the program's data records, which the driver libraries must not. It works
// out the expected values from the profile's fields by itself and never calls the program's
// encoders, so that a fault in an encoder cannot be repeated in what it is compared with.
//
// Fields are expected within the ranges the program lets a user set; a value the wire cannot
// carry (for example a breathing speed above 9) is compared as the wire would carry it only
// where that is a plain truncation.

#include <string>
#include <vector>

#include "data/profile_data.h"
#include "virtual_mouse.h"

namespace mokta {

// One line per field that differs, e.g. "dpi[5]: mouse 22000, profile 20000"; empty when the
// mouse holds what the profile sets. Slots the profile does not use are not compared.
std::vector<std::string> ProfileDifferences(const VirtualMouseSettings& settings,
                                            const ProfileData& profile);

inline bool MatchesProfile(const VirtualMouseSettings& settings, const ProfileData& profile) {
  return ProfileDifferences(settings, profile).empty();
}

}  // namespace mokta
