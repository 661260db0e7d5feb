#pragma once
// Where a table window opens and what it remembers: its outer rectangle as
// "Left", "Top", "Right", "Bottom" under a settings section of its own,
// clamped to the screen when read and when written.
#include <QMargins>
#include <QRect>
#include <QString>

class QWidget;

namespace tables {

// Edges as the settings store them: right and bottom are exclusive.
struct Edges {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// The window rectangle to open with, as (x, y, width, height). screen is the
// whole desktop with exclusive right/bottom edges.
QRect openRect(const Edges& stored, const Edges& screen);
// The edges to store for a window now at r.
Edges savedEdges(const Edges& r, const Edges& screen);

// The whole desktop (all screens), as exclusive edges.
Edges desktopEdges();

// Settings access: QSettings("Kestrel Loft", "Tarlo"), section / key.
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

// Applies the stored placement to a top-level window that is not yet shown.
void applyPlacement(QWidget* w, const QString& section, const Edges& defaults);
// Stores the placement of w: its outer rectangle (frameGeometry).
void savePlacement(const QWidget* w, const QString& section);

} // namespace tables
