#pragma once

// The control commands, one text line each, as the control socket and
// `VirtualMouse::Control` take them.

#include <string>
#include <string_view>

#include "virtual_mouse.h"

namespace mokta::virtual_detail {

// Runs one command on `mouse` and returns the answer line: "ok ..." or "error ...".
std::string RunControlCommand(VirtualMouse& mouse, std::string_view line);

// The state as one line of space-separated key=value items.
std::string DescribeState(const VirtualMouseState& state);

}  // namespace mokta::virtual_detail
