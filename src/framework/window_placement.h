#pragma once

// Where a window goes on the screens there are, and how a drag on one of its edges changes
// its geometry. Pure functions over rectangles, so that they are tested with any screens.

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

namespace mokta {

// One screen as placement sees it: its name and the part of it windows may use (the screen
// less panels and docks).
struct ScreenArea {
  QString name;
  QRect available;
};

// The geometry of a window at start. `saved` is the geometry it had when it was last saved
// (invalid when nothing was saved), on the screen named `saved_screen`; `screens` are the
// screens now, the primary one first; `minimum` is the window's smallest size and `fallback`
// its size when nothing was saved.
// - Saved on a screen that is still there: the saved size, no smaller than `minimum` and no
//   larger than that screen's available area unless `minimum` is, moved as little as needed
//   to lie inside the area (its top left corner inside it when the window is larger).
// - Nothing saved, or the screen is gone: centred on the primary screen's available area, with
//   the saved size (limited as above) or else `fallback`.
// - No screens at all: `saved` when valid, else `fallback` at (0, 0).
QRect PlaceWindow(const QRect& saved, const QString& saved_screen, const QList<ScreenArea>& screens,
                  const QSize& minimum, const QSize& fallback);

// The geometry of a window `start` after the pointer pressed on its `edges` (Qt::LeftEdge,
// ...; two for a corner) moved by `delta`: the dragged edges follow the pointer, the others
// stay, and the size stays within `minimum` and `maximum`.
QRect ResizedGeometry(const QRect& start, Qt::Edges edges, const QPoint& delta,
                      const QSize& minimum, const QSize& maximum);

}  // namespace mokta
