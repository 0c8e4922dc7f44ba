#pragma once

// The Bluetooth LE transport as the link state drives it. UI thread.

namespace mokta {

class BleLinkControl {
 public:
  virtual ~BleLinkControl() = default;
  // Up: the transport looks for the mouse from now on. Down: it forgets the mouse and drops
  // its notification subscription, if any.
  virtual void SetLinkUp(bool up) = 0;
  // Subscribes to the mouse's notifications (run a little after the mouse appeared).
  virtual void OpenGattLink() = 0;
};

}  // namespace mokta
