#pragma once

// The desktop's notifications: a short notice with a title and a text that the desktop shows
// for a while even when the program's window is hidden. Made by the platform
// (MakeDesktopNotifications); UI thread.

#include <QString>

namespace mokta {

class DesktopNotifications {
 public:
  virtual ~DesktopNotifications() = default;

  // Whether the desktop offers a notification service now.
  virtual bool Available() = 0;
  // Shows a notice; returns at once (the desktop's answer is not waited for). False when it
  // could not be sent.
  virtual bool Notify(const QString& title, const QString& text) = 0;
};

}  // namespace mokta
