#pragma once

namespace mokta {

// Why the Bluetooth LE mouse is not reachable, as far as the system can tell.
enum class BleDiagnosis {
  kNone,               // nothing to say: connected, or never paired by Bluetooth
  kServiceNotRunning,  // the system's Bluetooth service is not running
  kNoAdapter,          // no Bluetooth adapter
  kAdapterOff,         // every adapter is switched off
  kPairedNotConnected  // the mouse is paired but not connected
};

}  // namespace mokta
