// The curve picture painted into an image, pixel by pixel.
#include "tables/CurvePainter.h"
#include "tables/LogicalMapping.h"

#include <QImage>
#include <QPainter>
#include <QPolygonF>
#include <QtTest>

#include <cmath>
#include <set>

using namespace tables;

namespace {
const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kGrey = qRgb(192, 192, 192);
const QRgb kRed = qRgb(192, 0, 0);
const QRgb kBlue = qRgb(0, 0, 192);

// 216 x 136 pixels: logical x onto 8..208 and y onto 108..8, 100 pixels a unit
// with extents of 2 and 1.
QImage paint(const std::vector<QPointF>& points, double extentX, double extentY, std::size_t current)
{
    QImage img(216, 136, QImage::Format_RGB32);
    img.fill(kWhite);
    QPainter p(&img);
    paintCurve(p, img.size(), points, extentX, extentY, current);
    p.end();
    return img;
}

// The curve picture in an image of `size` scaled by `scale` (as a
// high-density screen does), painted by paintCurve or, as the yardstick,
// with every point's line drawn on its own, in order.
QImage picture(const std::vector<QPointF>& points, double extentX, double extentY, std::size_t current,
        QSize size, double scale, bool lineByLine, bool antialiased = false)
{
    QImage img(size * scale, QImage::Format_RGB32);
    img.fill(kWhite);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, antialiased);
    p.scale(scale, scale);
    if (!lineByLine) {
        paintCurve(p, size, points, extentX, extentY, current);
        return img;
    }
    const LogicalMapping m = LogicalMapping::curve(size.width(), size.height(), extentX, extentY);
    for (std::size_t i = 0; i < points.size(); ++i) {
        p.setPen(QPen(QColor(i == current ? kBlue : kGrey), 1));
        p.drawLine(m.map(points[i].x(), 0), m.map(points[i].x(), extentY));
    }
    p.setPen(QPen(QColor(kGrey), 1));
    p.drawLine(m.map(points.front().x(), 0), m.map(points.back().x(), 0));
    p.setPen(QPen(QColor(kRed), 1));
    QPolygonF curve;
    for (const QPointF& pt : points)
        curve << m.map(pt.x(), pt.y());
    p.drawPolyline(curve);
    return img;
}

int count(const QImage& img, QRect r, QRgb colour)
{
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += img.pixel(x, y) == colour;
    return n;
}
} // namespace

class CurvePainterTest : public QObject {
    Q_OBJECT
private slots:
    void linesAxisAndCurveWhereTheMappingPutsThem()
    {
        const QImage img = paint({{0, 0}, {1, 1}, {2, 0}}, 2, 1, 1);
        // Vertical lines at the points' x from y 0 up to the extent: the
        // current one blue, the others grey.
        for (int y = 20; y <= 100; y += 20) {
            QCOMPARE(img.pixel(8, y), kGrey);
            QCOMPARE(img.pixel(108, y), kBlue);
            QCOMPARE(img.pixel(208, y), kGrey);
        }
        QCOMPARE(count(img, QRect(108, 9, 1, 99), kBlue), 99);
        // The axis along y = 0 from the first x to the last, over the lines.
        QCOMPARE(img.pixel(58, 108), kGrey);
        QCOMPARE(img.pixel(108, 108), kGrey);
        QCOMPARE(img.pixel(158, 108), kGrey);
        // The curve, y upward, drawn last: through (1, 1) at the top of the
        // blue line and halfway between at the quarter columns.
        QCOMPARE(img.pixel(108, 8), kRed);
        QVERIFY(count(img, QRect(57, 57, 3, 3), kRed) > 0);
        QVERIFY(count(img, QRect(157, 57, 3, 3), kRed) > 0);
        QCOMPARE(count(img, QRect(57, 100, 3, 5), kRed), 0);
        // Nothing in the margins or the bottom 28 pixels.
        QCOMPARE(count(img, QRect(0, 0, 216, 8), kWhite), 216 * 8);
        QCOMPARE(count(img, QRect(0, 109, 216, 27), kWhite), 216 * 27);
        QCOMPARE(count(img, QRect(0, 0, 8, 136), kWhite), 8 * 136);
        QCOMPARE(count(img, QRect(209, 0, 7, 136), kWhite), 7 * 136);
    }

    // Points denser than the pixels: the picture is the one a line for each
    // point gives, pixel for pixel, wherever the current point is, on a
    // plain and a doubled screen, for ordered and for unordered xs.
    void densePointsGiveTheLineByLinePicture_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("ordered");
        QTest::addColumn<double>("scale");
        QTest::addColumn<int>("current");
        for (double scale : {1.0, 2.0, 1.5})
            for (int n : {2, 150, 250, 400, 5000})
                for (int current : std::set<int>{0, 1, n / 3, n - 2, n - 1}) {
                    const QByteArray name = QByteArray::number(n) + " at " + QByteArray::number(current)
                            + " x" + QByteArray::number(scale);
                    QTest::newRow(name) << n << true << scale << current;
                    QTest::newRow(name + " unordered") << n << false << scale << current;
                }
    }
    void densePointsGiveTheLineByLinePicture()
    {
        QFETCH(int, count);
        QFETCH(bool, ordered);
        QFETCH(double, scale);
        QFETCH(int, current);
        // A 16-bit-like table (x = index), or xs in clusters and out of
        // order as a double table may hold them.
        std::vector<QPointF> points;
        for (int i = 0; i < count; ++i) {
            const double x = ordered ? i : std::fmod(i * 7.31, count * 0.6) + (i % 5 == 0 ? count * 0.3 : 0);
            points.emplace_back(x, 500 + 400 * std::sin(i * 0.05));
        }
        const double extentX = ordered ? count - 1 : count;
        const QSize size(216, 136);
        const QImage fast = picture(points, extentX, 1000, std::size_t(current), size, scale, false);
        const QImage slow = picture(points, extentX, 1000, std::size_t(current), size, scale, true);
        QCOMPARE(fast.size(), slow.size());
        int differ = 0;
        for (int y = 0; y < fast.height(); ++y)
            for (int x = 0; x < fast.width(); ++x)
                differ += fast.pixel(x, y) != slow.pixel(x, y);
        QCOMPARE(differ, 0);
    }

    // An antialiased painter has no pixel columns to merge lines into: it
    // gets a line for each point, the current one blue among them.
    void antialiasedPainterDrawsEachPointsLine()
    {
        std::vector<QPointF> points;
        for (int i = 0; i < 400; ++i)
            points.emplace_back(i * 0.37, 500 + 400 * std::sin(i * 0.05));
        const QSize size(216, 136);
        for (const std::size_t current : {std::size_t(0), std::size_t(150), std::size_t(399)}) {
            const QImage fast = picture(points, 150, 1000, current, size, 1.5, false, true);
            const QImage slow = picture(points, 150, 1000, current, size, 1.5, true, true);
            int differ = 0;
            for (int y = 0; y < fast.height(); ++y)
                for (int x = 0; x < fast.width(); ++x)
                    differ += fast.pixel(x, y) != slow.pixel(x, y);
            QCOMPARE(differ, 0);
        }
    }

    void onePointIsItsLine()
    {
        const QImage img = paint({{0, 0.5}}, 1, 1, 0);
        QCOMPARE(count(img, QRect(8, 9, 1, 99), kBlue), 99);
        QCOMPARE(count(img, QRect(9, 0, 207, 136), kWhite), 207 * 136);
    }
};

QTEST_GUILESS_MAIN(CurvePainterTest)
#include "CurvePainterTest.moc"
