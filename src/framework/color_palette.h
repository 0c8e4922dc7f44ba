#pragma once

// ColorPalette: a colour-picking control. Its area shows the hues from left to right and the
// lightness from white at the top through the full colour in the middle to black at the
// bottom. The user picks by pressing and dragging with the mouse or by moving the marker with
// the arrow keys (Shift: larger steps).
//
// It raises "colorchanged" (wparam: the selected colour, 0xAARRGGBB) whenever the user moves
// the selection, while dragging and for every key step, and "colorchangedbuttonup" when the
// mouse button is released. SetSelectColor never notifies.
//
// Layouts use it under the class name "ColorPalette" (skin_loader.h registers it).

#include <QImage>
#include <QPoint>
#include <QWidget>
#include <cstdint>

namespace mokta {

class ColorPalette : public QWidget {
 public:
  explicit ColorPalette(QWidget* parent = nullptr);

  // The selected colour as ARGB. A colour set here is reported back exactly as set, even when
  // the palette has no point of that colour (greys, dull colours); the marker then shows the
  // nearest hue and lightness.
  void SetSelectColor(std::uint32_t argb);
  std::uint32_t GetSelectColor() const { return selected_; }

  // The colour at a point of the area (clamped into it); opaque.
  std::uint32_t ColorAt(QPoint point) const;

  QSize sizeHint() const override { return {200, 80}; }
  QSize minimumSizeHint() const override { return {60, 30}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // The area the colours fill, inside the frame.
  QRect Area() const;
  // Moves the marker to `point`, selects its colour and notifies with `type`.
  void PickAt(QPoint point, bool button_up);
  // The marker position that shows `argb`.
  QPoint PointFor(std::uint32_t argb) const;
  void UpdateDescription();

  std::uint32_t selected_ = 0xFF000000u;
  QPoint marker_;  // in widget coordinates, inside Area()
  QImage map_;     // the painted colours at the current size
  bool dragging_ = false;
};

}  // namespace mokta
