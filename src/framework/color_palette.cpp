#include "framework/color_palette.h"

#include <QColor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "framework/notification.h"
#include "framework/skin_window.h"

namespace mokta {
namespace {

constexpr int kMarkerRadius = 5;

int Scale(int value, int from_max, int to_max) {
  if (from_max <= 0) return 0;
  return static_cast<int>(std::lround(static_cast<double>(value) * to_max / from_max));
}

}  // namespace

ColorPalette::ColorPalette(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::CrossCursor);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAccessibleName(QStringLiteral("Colour palette"));
  marker_ = PointFor(selected_);
  UpdateDescription();
}

QRect ColorPalette::Area() const {
  return rect().adjusted(1, 1, -1, -1);
}

std::uint32_t ColorPalette::ColorAt(QPoint point) const {
  const QRect area = Area();
  if (area.isEmpty()) return 0xFF000000u;
  const int x = std::clamp(point.x(), area.left(), area.right()) - area.left();
  const int y = std::clamp(point.y(), area.top(), area.bottom()) - area.top();
  const int hue = Scale(x, area.width() - 1, 359);
  const int lightness = 255 - Scale(y, area.height() - 1, 255);
  return QColor::fromHsl(hue, 255, lightness).rgba();
}

QPoint ColorPalette::PointFor(std::uint32_t argb) const {
  const QRect area = Area();
  if (area.isEmpty()) return area.topLeft();
  const QColor color = QColor::fromRgba(argb);
  const int hue = std::max(0, color.hslHue());  // -1 for greys
  const int lightness = color.lightness();
  return {area.left() + Scale(hue, 359, area.width() - 1),
          area.top() + Scale(255 - lightness, 255, area.height() - 1)};
}

void ColorPalette::SetSelectColor(std::uint32_t argb) {
  selected_ = argb;
  marker_ = PointFor(argb);
  UpdateDescription();
  update();
}

void ColorPalette::UpdateDescription() {
  const QColor color = QColor::fromRgba(selected_);
  setAccessibleDescription(QStringLiteral("Red %1, green %2, blue %3")
                               .arg(color.red())
                               .arg(color.green())
                               .arg(color.blue()));
}

void ColorPalette::PickAt(QPoint point, bool button_up) {
  const QRect area = Area();
  if (area.isEmpty()) return;
  marker_ = QPoint(std::clamp(point.x(), area.left(), area.right()),
                   std::clamp(point.y(), area.top(), area.bottom()));
  selected_ = ColorAt(marker_);
  UpdateDescription();
  update();
  SendNotify(this, button_up ? notify::kColorChangedButtonUp : notify::kColorChanged, selected_);
}

void ColorPalette::resizeEvent(QResizeEvent*) {
  const QRect area = Area();
  map_ = QImage(area.size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
  for (int y = 0; y < map_.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(map_.scanLine(y));
    for (int x = 0; x < map_.width(); ++x) line[x] = ColorAt(area.topLeft() + QPoint(x, y));
  }
  marker_ = PointFor(selected_);
}

void ColorPalette::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), hasFocus() ? QColor(0x2f, 0xd3, 0xb5) : QColor(0x3a, 0x41, 0x50));
  painter.drawImage(Area().topLeft(), map_);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(Qt::black, 3));
  painter.drawEllipse(marker_, kMarkerRadius, kMarkerRadius);
  painter.setPen(QPen(Qt::white, 1.5));
  painter.drawEllipse(marker_, kMarkerRadius, kMarkerRadius);
}

void ColorPalette::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  dragging_ = true;
  PickAt(event->position().toPoint(), false);
}

void ColorPalette::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_) return QWidget::mouseMoveEvent(event);
  PickAt(event->position().toPoint(), false);
}

void ColorPalette::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !dragging_) return QWidget::mouseReleaseEvent(event);
  dragging_ = false;
  PickAt(event->position().toPoint(), true);
}

void ColorPalette::keyPressEvent(QKeyEvent* event) {
  const int step = (event->modifiers() & Qt::ShiftModifier) ? 10 : 1;
  QPoint move;
  switch (event->key()) {
    case Qt::Key_Left:
      move = {-step, 0};
      break;
    case Qt::Key_Right:
      move = {step, 0};
      break;
    case Qt::Key_Up:
      move = {0, -step};
      break;
    case Qt::Key_Down:
      move = {0, step};
      break;
    default:
      return QWidget::keyPressEvent(event);
  }
  PickAt(marker_ + move, false);
}

}  // namespace mokta
