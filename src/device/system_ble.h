#pragma once

// The system's Bluetooth LE road to the mouse, used when the driver libraries offer none of
// their own: whether the mouse is connected (presence), its GATT link as the link state drives
// it (up, down, subscribe), its writes from the worker, its notifications, and, while it
// cannot be reached, why, in terms a user can act on. Each platform has its own (see
// platform/system_services.h).

#include <cstdint>
#include <functional>

#include "device/ble_diagnosis.h"
#include "device/ble_link_control.h"
#include "device/ble_presence.h"
#include "device/command_sender.h"

namespace mokta {

class SystemBle : public BlePresenceSource, public BleLinkControl, public BleWriter {
 public:
  // What the transport reports besides presence. Either may be called from any thread; they
  // must return soon and must not call back into the transport.
  struct Observers {
    // One notification of the mouse: bytes 0..1 and 2..3 of its value, little-endian.
    std::function<void(std::uint16_t left, std::uint16_t right)> notification;
    // The diagnosis changed.
    std::function<void(BleDiagnosis)> diagnosis;
  };
  // Set before Start; cleared by Stop.
  virtual void SetObservers(Observers observers) = 0;
  // The diagnosis now. UI thread.
  virtual BleDiagnosis Diagnosis() const = 0;
};

}  // namespace mokta
