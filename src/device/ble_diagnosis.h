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

// The diagnosis in a few English words, for logs and the command-line tool ("" for kNone).
inline const char* BleDiagnosisDescription(BleDiagnosis diagnosis) {
  switch (diagnosis) {
    case BleDiagnosis::kNone:
      return "";
    case BleDiagnosis::kServiceNotRunning:
      return "the system's Bluetooth service (BlueZ) is not running";
    case BleDiagnosis::kNoAdapter:
      return "this computer has no Bluetooth adapter";
    case BleDiagnosis::kAdapterOff:
      return "Bluetooth is switched off";
    case BleDiagnosis::kPairedNotConnected:
      return "the mouse is paired but not connected";
  }
  return "";
}

}  // namespace mokta
