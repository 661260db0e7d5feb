// The curve picture painted into an image, pixel by pixel.
#include "tables/CurvePainter.h"

#include <QImage>
#include <QPainter>
#include <QtTest>

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

    void onePointIsItsLine()
    {
        const QImage img = paint({{0, 0.5}}, 1, 1, 0);
        QCOMPARE(count(img, QRect(8, 9, 1, 99), kBlue), 99);
        QCOMPARE(count(img, QRect(9, 0, 207, 136), kWhite), 207 * 136);
    }
};

QTEST_GUILESS_MAIN(CurvePainterTest)
#include "CurvePainterTest.moc"
