#include "tables/CurvePainter.h"

#include "tables/LogicalMapping.h"

#include <QPainter>
#include <QPolygonF>
#include <QSize>

namespace tables {

void paintCurve(QPainter& p, const QSize& area, const std::vector<QPointF>& points, double extentX,
        double extentY, std::size_t current)
{
    const LogicalMapping m = LogicalMapping::curve(area.width(), area.height(), extentX, extentY);
    const QPen grey(QColor(192, 192, 192), 1);
    const QPen red(QColor(192, 0, 0), 1);
    const QPen blue(QColor(0, 0, 192), 1);
    for (std::size_t i = 0; i < points.size(); ++i) {
        p.setPen(i == current ? blue : grey);
        p.drawLine(m.map(points[i].x(), 0), m.map(points[i].x(), extentY));
    }
    p.setPen(grey);
    p.drawLine(m.map(points.front().x(), 0), m.map(points.back().x(), 0));
    p.setPen(red);
    QPolygonF curve;
    for (const QPointF& pt : points)
        curve << m.map(pt.x(), pt.y());
    p.drawPolyline(curve);
}

} // namespace tables
