#include "tables/CurvePainter.h"

#include "tables/LogicalMapping.h"

#include <QPainter>
#include <QPalette>
#include <QPolygonF>
#include <QSize>

#include <cmath>

namespace tables {

namespace {

// The device pixels of one logical unit along x, where the painter draws
// aliased lines through a plain scale and shift; 0 elsewhere.
double devicePixelsPerUnit(const QPainter& p)
{
    const QTransform t = p.deviceTransform();
    if (t.type() > QTransform::TxScale || p.testRenderHint(QPainter::Antialiasing) || t.m11() <= 0)
        return 0;
    return t.m11();
}

QPen greyPen()
{
    return {QColor(192, 192, 192), 1};
}

QPen bluePen()
{
    return {QColor(0, 0, 192), 1};
}

// The vertical lines of the points, from the axis to the top of the area.
struct PointLines {
    QPainter& p;
    double bottom, top;

    void line(double x) const { p.drawLine(QPointF(x, bottom), QPointF(x, top)); }

    // One line per point, blue at `current`.
    void paintEach(const std::vector<double>& xs, std::size_t current) const
    {
        for (std::size_t i = 0; i < xs.size(); ++i) {
            p.setPen(i == current ? bluePen() : greyPen());
            line(xs[i]);
        }
    }

    // A line lights a band of pixel columns of one width, and the band moves
    // with its x. Lines at most a device pixel apart therefore light every
    // column from the first band to the last: such a run is drawn a device
    // pixel at a time, however many points it holds. The pixels are the ones
    // a line for each point gives.
    void paintRuns(const std::vector<double>& xs, std::size_t current, double scale) const
    {
        const double step = 1 / scale;
        p.setPen(greyPen());
        double from = xs.front(), to = from;
        for (double x : xs) {
            if (x >= from && x <= to)
                continue; // its column is lit already
            if (x > to && x - to <= step) {
                to = x;
            } else if (x < from && from - x <= step) {
                from = x;
            } else {
                paintRun(from, to, step);
                from = to = x;
            }
        }
        paintRun(from, to, step);
        // The current line shows where no later line covered it; only lines
        // within a pen width and a pixel of it can.
        if (current < xs.size()) {
            p.setPen(bluePen());
            line(xs[current]);
            p.setPen(greyPen());
            for (std::size_t i = current + 1; i < xs.size(); ++i)
                if (std::abs(xs[i] - xs[current]) < 1 + step)
                    line(xs[i]);
        }
    }

    void paintRun(double from, double to, double step) const
    {
        const auto n = static_cast<long>(std::floor((to - from) / step));
        for (long k = 0; k <= n; ++k)
            line(from + double(k) * step);
        if (from + double(n) * step < to)
            line(to);
    }
};

void paintReference(QPainter& p, const LogicalMapping& m, const ReferenceCurve& reference)
{
    QPolygonF other;
    for (const QPointF& pt : reference.points)
        other << m.map(pt.x(), pt.y());
    p.save();
    p.setPen(reference.pen);
    p.drawPolyline(other);
    p.restore();
}

} // namespace

QPen referencePen(const QPalette& palette)
{
    const QColor a = palette.color(QPalette::WindowText), b = palette.color(QPalette::Base);
    const QColor mid((a.red() + b.red()) / 2, (a.green() + b.green()) / 2, (a.blue() + b.blue()) / 2);
    QPen pen(mid, 2, Qt::DashLine);
    pen.setCapStyle(Qt::FlatCap);
    return pen;
}

void paintCurve(QPainter& p, const QSize& area, const std::vector<QPointF>& points, double extentX,
        double extentY, std::size_t current, const ReferenceCurve* reference)
{
    const LogicalMapping m = LogicalMapping::curve(area.width(), area.height(), extentX, extentY);
    const PointLines lines{p, m.map(0, 0).y(), m.map(0, extentY).y()};
    std::vector<double> xs;
    xs.reserve(points.size());
    for (const QPointF& pt : points)
        xs.push_back(m.map(pt.x(), 0).x());

    if (const double scale = devicePixelsPerUnit(p); scale == 0)
        lines.paintEach(xs, current);
    else
        lines.paintRuns(xs, current, scale);
    p.setPen(greyPen());
    p.drawLine(m.map(points.front().x(), 0), m.map(points.back().x(), 0));
    if (reference && !reference->points.empty())
        paintReference(p, m, *reference);
    p.setPen(QPen(QColor(192, 0, 0), 1));
    QPolygonF curve;
    for (const QPointF& pt : points)
        curve << m.map(pt.x(), pt.y());
    p.drawPolyline(curve);
}

} // namespace tables
