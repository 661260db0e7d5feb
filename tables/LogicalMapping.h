#pragma once
// Logical-to-device mapping with independent x and y scales, given as a
// window origin and extent mapped onto a viewport origin and extent (a
// negative extent flips the axis, so y can grow upward).
#include <QPointF>

namespace tables {

struct LogicalMapping {
    double viewportX = 0, viewportY = 0, viewportW = 1, viewportH = 1;
    double windowX = 0, windowY = 0, windowW = 1, windowH = 1;

    QPointF map(double x, double y) const
    {
        const double ww = windowW == 0 ? 1 : windowW;
        const double wh = windowH == 0 ? 1 : windowH;
        return {viewportX + (x - windowX) * viewportW / ww, viewportY + (y - windowY) * viewportH / wh};
    }

    // The curve windows' mapping for a client area w x h: logical x 0..extentX
    // onto device 8..w-8, logical y 0..extentY onto device h-28..8 (the bottom
    // 28 pixels are the margin and the status bar).
    static LogicalMapping curve(int w, int h, double extentX, double extentY)
    {
        LogicalMapping m;
        m.viewportX = 8;
        m.viewportY = h - 28;
        m.viewportW = w - 16;
        m.viewportH = h - 36;
        m.windowW = extentX;
        m.windowH = -extentY;
        return m;
    }
};

} // namespace tables
