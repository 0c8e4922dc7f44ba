#pragma once

// The colour dialog of the settings page's colour buttons (the DPI stages' colours and the
// lighting colour): a small modal window placed next to the clicked button. The user picks a
// colour on the palette, with one of 16 preset buttons, or by typing its red, green and blue
// components; OK ends it with 1, Cancel (or Escape) with 0.
//
// Colours here are ARGB (0xAARRGGBB); the caller converts to the form it stores.

#include <QPoint>
#include <cstdint>

#include "framework/skin_window.h"

class QLineEdit;

namespace mokta {

class ColorPalette;

class CDpiColorWnd : public SkinWindow {
 public:
  explicit CDpiColorWnd(QWidget* parent);

  // The colour the dialog opens with; 0xFF000000 until set.
  void set_color(std::uint32_t argb);
  // The colour picked so far: after Run returned 1, the user's choice.
  std::uint32_t color() const { return color_; }
  // Where the dialog's top-left corner goes, in screen coordinates. It is moved as little as
  // needed to lie wholly on the screen.
  void set_position(QPoint top_left) { position_ = top_left; }

  // Shows the dialog modally at its position; 1 for OK, 0 otherwise.
  int Run();

  // The point next to `button` where the page opens the dialog: 200 to the left of the
  // button's left edge, at its bottom edge.
  static QPoint PositionBeside(const QWidget& button);

 protected:
  void Notify(const Notification& notification) override;

 private:
  // Shows color_ in the three edits and the colour field.
  void ShowColor();
  void ShowSwatch();
  // The user typed into edit `component` (0 red, 1 green, 2 blue).
  void OnComponentEdited(int component);

  std::uint32_t color_ = 0xFF000000u;
  QPoint position_;
  ColorPalette* palette_ = nullptr;
  QWidget* swatch_ = nullptr;
  QLineEdit* edits_[3] = {};
};

}  // namespace mokta
