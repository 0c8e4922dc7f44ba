#include "framework/window_placement.h"

#include <algorithm>

namespace mokta {
namespace {

// `size` no smaller than `minimum`, and no larger than `area` unless `minimum` is.
QSize FitSize(QSize size, const QSize& minimum, const QRect& area) {
  size = size.expandedTo(minimum);
  return size.boundedTo(area.size().expandedTo(minimum));
}

// `rect` moved as little as needed to lie inside `area`; when it is larger, its top left
// corner stays inside.
QRect MovedInside(QRect rect, const QRect& area) {
  const int x =
      std::clamp(rect.x(), area.left(), std::max(area.left(), area.right() + 1 - rect.width()));
  const int y =
      std::clamp(rect.y(), area.top(), std::max(area.top(), area.bottom() + 1 - rect.height()));
  rect.moveTopLeft(QPoint(x, y));
  return rect;
}

}  // namespace

QRect PlaceWindow(const QRect& saved, const QString& saved_screen, const QList<ScreenArea>& screens,
                  const QSize& minimum, const QSize& fallback) {
  const bool has_saved = saved.isValid();
  if (screens.isEmpty()) return has_saved ? saved : QRect(QPoint(0, 0), fallback);
  if (has_saved) {
    for (const ScreenArea& screen : screens) {
      if (screen.name != saved_screen) continue;
      return MovedInside(QRect(saved.topLeft(), FitSize(saved.size(), minimum, screen.available)),
                         screen.available);
    }
  }
  const QRect& primary = screens.front().available;
  QRect centred(QPoint(0, 0), FitSize(has_saved ? saved.size() : fallback, minimum, primary));
  centred.moveCenter(primary.center());
  return MovedInside(centred, primary);
}

QRect ResizedGeometry(const QRect& start, Qt::Edges edges, const QPoint& delta,
                      const QSize& minimum, const QSize& maximum) {
  auto limit = [](int length, int low, int high) {
    return std::clamp(length, low, std::max(low, high));
  };
  QRect r = start;
  if (edges & Qt::LeftEdge) {
    const int width = limit(start.width() - delta.x(), minimum.width(), maximum.width());
    r.setLeft(start.right() + 1 - width);
  } else if (edges & Qt::RightEdge) {
    r.setWidth(limit(start.width() + delta.x(), minimum.width(), maximum.width()));
  }
  if (edges & Qt::TopEdge) {
    const int height = limit(start.height() - delta.y(), minimum.height(), maximum.height());
    r.setTop(start.bottom() + 1 - height);
  } else if (edges & Qt::BottomEdge) {
    r.setHeight(limit(start.height() + delta.y(), minimum.height(), maximum.height()));
  }
  return r;
}

}  // namespace mokta
