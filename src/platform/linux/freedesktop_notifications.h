#pragma once

// Notices through the freedesktop notification service ("org.freedesktop.Notifications" on
// the session bus), which every Linux desktop with a notification area offers.

#include "platform/desktop_notifications.h"

namespace mokta {

class FreedesktopNotifications : public DesktopNotifications {
 public:
  // `icon` is the icon name the desktop shows beside the notice ("mokta-mouse").
  explicit FreedesktopNotifications(QString app_name, QString icon);

  bool Available() override;
  bool Notify(const QString& title, const QString& text) override;

 private:
  QString app_name_;
  QString icon_;
};

}  // namespace mokta
