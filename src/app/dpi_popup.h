#pragma once

// The on-screen display of a DPI change: a small window in the bottom-right corner of the
// screen's work area showing "DPI :" and the value. It takes no focus, stays above other
// windows and deletes itself when it is closed; its owner keeps a QPointer to it.

#include <QString>

#include "framework/skin_window.h"

namespace mokta {

class CDPIMsg : public SkinWindow {
 public:
  explicit CDPIMsg(QString text, QWidget* parent = nullptr);

  // Shows the pop-up in its corner without activating it.
  void Popup();
  // Replaces the text on the label at once.
  void SetText(const QString& text);
  const QString& text() const { return text_; }

 private:
  QString text_;
};

// "DPI :" followed by the DPI of stage code `code`.
QString DpiPopupText(std::int32_t code);

}  // namespace mokta
