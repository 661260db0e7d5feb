#pragma once
// The picture of the two curve windows (16-bit and double tables).
#include <QPointF>

#include <cstddef>
#include <vector>

class QPainter;
class QSize;

namespace tables {

// Paints in logical coordinates x 0..extentX and y 0..extentY mapped onto an
// area of `area` pixels (LogicalMapping::curve): a vertical line from 0 to
// extentY at each point's x (blue at `current`, grey elsewhere), the grey
// axis from the first x to the last, and the curve through the points in
// red. `points` holds at least one point.
void paintCurve(QPainter& p, const QSize& area, const std::vector<QPointF>& points, double extentX,
        double extentY, std::size_t current);

} // namespace tables
