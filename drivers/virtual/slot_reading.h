#pragma once

// The mouse's own reading of the parts of a message that carry more than plain values: the
// items of a slot message and the function triples of the button map. Written from the wire
// format alone, so that a fault in the program's encoders cannot hide behind a reading that
// shares it.

#include <cstdint>
#include <span>

#include "virtual_mouse.h"

namespace mokta::virtual_detail {

// Reads a whole slot message (byte 2 its slot, 1..255). Returns nullptr and fills `out` when
// every item is one the mouse knows and the message is laid out as the mouse expects, else a
// short reason and `out` is unspecified. The checksum is not looked at.
const char* ReadSlotMessage(std::span<const std::uint8_t, kVirtualSlotMessageSize> message,
                            VirtualSlot& out);

// nullptr when the three bytes of one button are a function the mouse knows, else a reason.
const char* CheckButtonTriple(const VirtualTriple& triple);

}  // namespace mokta::virtual_detail
