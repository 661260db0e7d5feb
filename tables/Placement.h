#pragma once
// Where a table window opens and what it remembers: its outer rectangle as
// "Left", "Top", "Right", "Bottom" under a settings section of its own,
// clamped to the screen when read and when written.
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

// Applies the stored placement to a top-level window that is not yet shown.
void applyPlacement(QWidget* w, const QString& section, const Edges& defaults);
// Stores the placement of w (its frame position and its size).
void savePlacement(const QWidget* w, const QString& section);

} // namespace tables
