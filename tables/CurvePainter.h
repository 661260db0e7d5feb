#pragma once
// The picture of the two curve windows (16-bit and double tables).
#include <QPen>
#include <QPointF>

#include <cstddef>
#include <vector>

class QPainter;
class QPalette;
class QSize;

namespace tables {

// A second curve drawn under the current one, in logical coordinates of the
// same mapping.
struct ReferenceCurve {
    std::vector<QPointF> points;
    QPen pen;
};

// The reference curve's pen on a window of this palette: dashed, two pixels
// wide, in a colour half way between the text and the background, so it
// tells itself apart by its line and never hides the current curve.
QPen referencePen(const QPalette& palette);

// Paints in logical coordinates x 0..extentX and y 0..extentY mapped onto an
// area of `area` pixels (LogicalMapping::curve): a vertical line from 0 to
// extentY at each point's x (blue at `current`, grey elsewhere), the grey
// axis from the first x to the last, and the curve through the points in
// red. `points` holds at least one point. A reference curve goes after the
// lines and the axis and before the red curve.
void paintCurve(QPainter& p, const QSize& area, const std::vector<QPointF>& points, double extentX,
        double extentY, std::size_t current, const ReferenceCurve* reference = nullptr);

} // namespace tables
