#pragma once

// PatternPathView: a picture of a recoil pattern, the path the pointer takes while the button
// is held. It draws the origin, a line through the running sums of the steps' x and y (one
// point per step, positive y down as on the screen), scaled to fit with the same scale on
// both axes, and the current step highlighted. Its accessible description states the total
// horizontal and vertical offset and the total time; the window's caption may show it too.
//
// UI thread only. It takes the keyboard focus by Tab only, so a screen reader can reach it; it
// has no keys of its own.

#include <QWidget>
#include <span>

#include "ui/gun_editing.h"

namespace mokta {

class PatternPathView : public QWidget {
 public:
  explicit PatternPathView(QWidget* parent = nullptr);

  // The steps in use (none: nothing is drawn) and the step to highlight (0-based, -1: none).
  void SetSteps(std::span<const GunStep> steps);
  void SetCurrentStep(int index);

  const PatternPath& path() const { return path_; }
  int current_step() const { return current_; }
  // Where step `index`'s point is drawn in the widget's coordinates (index -1: the origin).
  QPointF PointPosition(int index) const;

  QSize sizeHint() const override { return {240, 320}; }
  QSize minimumSizeHint() const override { return {120, 120}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  PatternPath path_;
  int current_ = -1;
};

}  // namespace mokta
