#include "ui/pattern_path_view.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace mokta {
namespace {

constexpr double kMargin = 16.0;
constexpr double kPointRadius = 2.5;
constexpr double kCurrentRadius = 5.5;

// The skin's colours: the input background, its lines, the text, the secondary text and the
// accent.
const QColor kBackground(0x10, 0x12, 0x17);
const QColor kLines(0x2a, 0x2f, 0x39);
const QColor kPathColor(0xd9, 0xdd, 0xe5);
const QColor kPointColor(0x8a, 0x93, 0xa3);
const QColor kAccent(0x2f, 0xd3, 0xb5);

}  // namespace

PatternPathView::PatternPathView(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::TabFocus);
  setAccessibleName(QStringLiteral("Pattern path"));
  setAccessibleDescription(DescribePatternPath(path_));
  setToolTip(accessibleDescription());
}

void PatternPathView::SetSteps(std::span<const GunStep> steps) {
  path_ = ComputePatternPath(steps);
  if (current_ >= static_cast<int>(path_.points.size())) current_ = -1;
  const QString description = DescribePatternPath(path_);
  if (description != accessibleDescription()) {
    setAccessibleDescription(description);
    setToolTip(description);
  }
  update();
}

void PatternPathView::SetCurrentStep(int index) {
  const int current = index >= 0 && index < static_cast<int>(path_.points.size()) ? index : -1;
  if (current == current_) return;
  current_ = current;
  update();
}

QPointF PatternPathView::PointPosition(int index) const {
  const PathPoint point = index >= 0 && index < static_cast<int>(path_.points.size())
                              ? path_.points[index]
                              : PathPoint{};
  // One scale for both axes, so the picture keeps the pattern's proportions; a pattern that
  // does not move at all sits in the middle.
  const double span_x = static_cast<double>(path_.max.x - path_.min.x);
  const double span_y = static_cast<double>(path_.max.y - path_.min.y);
  const double room_x = std::max(1.0, width() - 2 * kMargin);
  const double room_y = std::max(1.0, height() - 2 * kMargin);
  const double scale = std::min(room_x / std::max(span_x, 1.0), room_y / std::max(span_y, 1.0));
  const double mid_x = (static_cast<double>(path_.min.x) + static_cast<double>(path_.max.x)) / 2;
  const double mid_y = (static_cast<double>(path_.min.y) + static_cast<double>(path_.max.y)) / 2;
  return {width() / 2.0 + (static_cast<double>(point.x) - mid_x) * scale,
          height() / 2.0 + (static_cast<double>(point.y) - mid_y) * scale};
}

void PatternPathView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillRect(rect(), kBackground);
  painter.setPen(QPen(hasFocus() ? kAccent : kLines, hasFocus() ? 2 : 1));
  painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));

  // The cross through the origin, where the pointer stands when the button is pressed.
  const QPointF origin = PointPosition(-1);
  painter.setPen(QPen(kLines, 1, Qt::DashLine));
  painter.drawLine(QPointF(0, origin.y()), QPointF(width(), origin.y()));
  painter.drawLine(QPointF(origin.x(), 0), QPointF(origin.x(), height()));
  if (path_.points.empty()) return;

  QPainterPath line(origin);
  for (int i = 0; i < static_cast<int>(path_.points.size()); ++i) line.lineTo(PointPosition(i));
  painter.setPen(QPen(kPathColor, 1.5));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(line);

  painter.setPen(Qt::NoPen);
  painter.setBrush(kPointColor);
  for (int i = 0; i < static_cast<int>(path_.points.size()); ++i) {
    painter.drawEllipse(PointPosition(i), kPointRadius, kPointRadius);
  }
  if (current_ >= 0) {
    painter.setBrush(kAccent);
    painter.drawEllipse(PointPosition(current_), kCurrentRadius, kCurrentRadius);
  }
}

}  // namespace mokta
