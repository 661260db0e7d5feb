#include "editor/Placement.h"

#include <algorithm>

namespace tarlo {

QRect placementFromSettings(const StoredRect& s, const QRect& desk)
{
    // 64-bit so that absurd stored values cannot overflow the arithmetic.
    long long x = s.left, y = s.top;
    long long w = static_cast<long long>(s.right) - s.left;
    long long h = static_cast<long long>(s.bottom) - s.top;
    if (x < 0) x = 0;
    if (y < 0) y = 0;
    if (w < 20) w = 100;
    if (h < 20) h = 100;
    const long long dRight = static_cast<long long>(desk.x()) + desk.width();
    const long long dBottom = static_cast<long long>(desk.y()) + desk.height();
    x = std::min(x, dRight - 100);
    y = std::min(y, dBottom - 100);
    if (x + w > dRight) w = dRight - x;
    if (y + h > dBottom) h = dBottom - y;
    // A desktop narrower than 100 pixels would leave nothing visible; keep
    // the window at least 20 pixels wide and on the screen's origin side.
    x = std::max<long long>(x, 0);
    y = std::max<long long>(y, 0);
    w = std::max<long long>(w, 20);
    h = std::max<long long>(h, 20);
    return QRect(int(x), int(y), int(w), int(h));
}

StoredRect placementForSettings(const QRect& outer, const QRect& desk)
{
    long long l = outer.x(), t = outer.y();
    long long r = static_cast<long long>(outer.x()) + outer.width();
    long long b = static_cast<long long>(outer.y()) + outer.height();
    const long long dRight = static_cast<long long>(desk.x()) + desk.width();
    const long long dBottom = static_cast<long long>(desk.y()) + desk.height();
    if (l < 0) l = 0;
    if (t < 0) t = 0;
    r = std::max(r, l + 20);
    b = std::max(b, t + 20);
    r = std::min(r, dRight);
    b = std::min(b, dBottom);
    return StoredRect{int(l), int(t), int(r), int(b)};
}

} // namespace tarlo
