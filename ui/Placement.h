#pragma once
// Where a window opens and what it remembers: its outer rectangle (frame
// included) as "Left", "Top", "Right", "Bottom" under a settings section,
// clamped to the desktop when read and when written, then kept wholly on
// the free area of its screen. The main window and the table windows differ
// only in their section, defaults and size limits.
#include <QMargins>
#include <QRect>
#include <QSize>
#include <QString>

class QWidget;

namespace ui {

// Edges as the settings store them: right and bottom are exclusive.
struct Edges {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// The smallest size a placement keeps. A stored width or height below the
// minimum opens at `opened` instead.
struct SizeLimits {
    QSize minimum;
    QSize opened;
};
inline constexpr SizeLimits kMainWindowLimits{QSize(20, 20), QSize(100, 100)};
inline constexpr SizeLimits kTableWindowLimits{QSize(100, 40), QSize(100, 40)};

// The window rectangle to open with, as (x, y, width, height), from the
// stored edges. desk is the whole desktop with exclusive right/bottom edges.
QRect openRect(const Edges& stored, const Edges& desk, const SizeLimits& limits);
// The edges to store for a window whose outer rectangle is r.
Edges savedEdges(const Edges& r, const Edges& desk, const SizeLimits& limits);

// The whole desktop (all screens) that w is on, or the primary screen's.
Edges desktopEdges(const QWidget* w = nullptr);

// Settings access: section / "Left" .. "Bottom".
Edges readPlacement(const QString& section, const Edges& defaults);
void writePlacement(const QString& section, const Edges& e);

// Where a window goes so that its outer rectangle (frame included) is
// `outer`, moved and then shrunk as little as needed to lie wholly inside
// `available`: the answer is the client rectangle (QWidget::setGeometry's
// rectangle), at least minClient in size. A window that cannot fit keeps its
// left and top edges (title bar) on the area.
QRect fitOuterRect(const QRect& outer, const QMargins& frame, const QRect& available,
        const QSize& minClient = QSize(1, 1));

// The frame a window manager put around the top-level window w (zero before
// the window is shown, or on a platform without frames).
QMargins frameMarginsOf(const QWidget* w);
// The available area (without panels) of the screen under r's centre, or of
// the primary screen.
QRect availableAreaFor(const QRect& r);

// Gives the top-level window w the outer rectangle `outer`, kept wholly on
// the available area of its screen. The frame is known only once the window
// is shown: until then the frame of the last framed window is assumed, and
// the placement is made again as soon as the real frame appears.
void placeOuter(QWidget* w, const QRect& outer);

// The outer rectangle w returns to: while it is minimised or maximised, its
// normal rectangle with the frame around it.
QRect restoredOuterRect(const QWidget* w);

// Applies the stored placement to a top-level window that is not yet shown.
void applyPlacement(QWidget* w, const QString& section, const Edges& defaults, const SizeLimits& limits);
// Stores the placement of w: its outer rectangle.
void savePlacement(const QWidget* w, const QString& section, const SizeLimits& limits);

} // namespace ui
