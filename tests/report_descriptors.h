#pragma once

// Report descriptors of the mouse's interfaces as the tests fake them.

#include <cstdint>
#include <vector>

namespace mokta::test {

// A pointer collection (input report 1, 4 bytes) and a keyboard collection (input report 2,
// 8 bytes) on one interface, as a gaming mouse's first interface has them; no feature reports.
inline const std::vector<std::uint8_t> kMouseAndKeyboardDescriptor = {
    0x05, 0x01,  // Usage Page (generic desktop)
    0x09, 0x02,  // Usage (mouse)
    0xA1, 0x01,  // Collection (application)
    0x85, 0x01,  //   Report ID 1
    0x75, 0x08,  //   Report Size 8
    0x95, 0x04,  //   Report Count 4
    0x81, 0x02,  //   Input
    0xC0,        // End Collection
    0x09, 0x06,  // Usage (keyboard)
    0xA1, 0x01,  // Collection (application)
    0x85, 0x02,  //   Report ID 2
    0x95, 0x08,  //   Report Count 8
    0x81, 0x02,  //   Input
    0xC0,        // End Collection
};

}  // namespace mokta::test
