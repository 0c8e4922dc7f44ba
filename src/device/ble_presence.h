#pragma once

// Whether the Bluetooth LE mouse is reachable, as the system tells it. The device host asks
// this when the driver libraries offer no Bluetooth LE link of their own; each platform has
// its own implementation (src/platform/<name>/).

#include <functional>

namespace mokta {

class BlePresenceSource {
 public:
  virtual ~BlePresenceSource() = default;
  // Whether the mouse is connected now. UI thread, at start-up.
  virtual bool PresentNow() = 0;
  // Starts following the mouse: `changed(arrived)` is called, from any thread, each time it
  // connects (true) or goes (false), until `Stop` returns. A mouse present at the start is not
  // announced.
  virtual void Start(std::function<void(bool arrived)> changed) = 0;
  // Once it returns `changed` is not called again; harmless when not started.
  virtual void Stop() = 0;
};

}  // namespace mokta
