#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

// Keeps top-level windows on the screen they open on: a first size or a stored geometry
// from a larger screen never puts the status bar or the title bar out of reach.
namespace WindowPlacement {

// The largest size up to wanted whose window, title bar and frame included, fits in the
// available area.
QSize fittedSize(const QSize &wanted, const QRect &available, int frameHeight);

// The client geometry moved and shrunk as little as needed so that the framed window
// lies inside the available area.
QRect fittedGeometry(const QRect &geometry, const QRect &available, int frameHeight);

// The top-left corner of the index-th window of a cascade that starts one step down and
// to the right of anchor's corner; a step that would leave the available area starts a
// new run from the area's corner.
QPoint cascadePosition(const QRect &anchor, int index, const QSize &size, const QRect &available,
                       int frameHeight);

// Fits the window's current geometry into the available area of its screen.
void fitToScreen(QWidget *window);

// Frame allowance above the client area, for windows that have not been shown yet (the
// window manager adds its frame only then).
int frameAllowance(const QWidget *window);

} // namespace WindowPlacement
