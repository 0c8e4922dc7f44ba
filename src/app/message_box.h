#pragma once

// The program's message box: a modal window with a title and a message, both language keys,
// and the buttons OK (result 1) and Cancel (result 0). Every warning and confirmation of the
// program uses it; callers act only on 1.

#include <QString>

#include "framework/skin_window.h"

namespace mokta {

inline constexpr char kWarningTitleKey[] = "warning_title_text";

class CMsgWnd : public SkinWindow {
 public:
  // The caller owns the box (a local object); it never deletes itself.
  CMsgWnd(QWidget* parent, QString title_key, QString message_key);

  // Shows the box modally, centred on its parent; 1 for OK, 0 for Cancel or any other close.
  int Run();

 protected:
  void OnClick(const Notification& notification) override;

 private:
  QString title_key_;
  QString message_key_;
};

// Shows a message box with the usual title; returns its result.
int ShowMessageBox(QWidget* parent, const QString& message_key,
                   const QString& title_key = kWarningTitleKey);

}  // namespace mokta
