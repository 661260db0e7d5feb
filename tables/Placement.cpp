#include "tables/Placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>

namespace tables {

QRect openRect(const Edges& stored, const Edges& s)
{
    int x = stored.left;
    int y = stored.top;
    // 64-bit differences: stored values come from a file the user can edit.
    long long w = (long long)stored.right - x;
    long long h = (long long)stored.bottom - y;
    if (x < 0)
        x = 0;
    if (y < 0)
        y = 0;
    if (w < 100)
        w = 100;
    if (h < 40)
        h = 40;
    if (x > s.right - 100)
        x = s.right - 100;
    if (y > s.bottom - 100)
        y = s.bottom - 100;
    if (x + w > s.right)
        w = s.right - x;
    if (y + h > s.bottom)
        h = s.bottom - y;
    return QRect(x, y, int(w), int(h));
}

Edges savedEdges(const Edges& r, const Edges& s)
{
    Edges e = r;
    if (e.left < 0)
        e.left = 0;
    if (e.top < 0)
        e.top = 0;
    if (e.right < e.left + 100)
        e.right = e.left + 100;
    if (e.bottom < e.top + 40)
        e.bottom = e.top + 40;
    if (e.right > s.right)
        e.right = s.right;
    if (e.bottom > s.bottom)
        e.bottom = s.bottom;
    return e;
}

Edges desktopEdges()
{
    QRect g(0, 0, 1024, 768);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        g = screen->virtualGeometry();
    return {g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
}


Edges readPlacement(const QString& section, const Edges& d)
{
    QSettings s(QStringLiteral("Kestrel Loft"), QStringLiteral("Tarlo"));
    s.beginGroup(section);
    Edges e{s.value(QStringLiteral("Left"), d.left).toInt(), s.value(QStringLiteral("Top"), d.top).toInt(),
            s.value(QStringLiteral("Right"), d.right).toInt(),
            s.value(QStringLiteral("Bottom"), d.bottom).toInt()};
    s.endGroup();
    return e;
}

void writePlacement(const QString& section, const Edges& e)
{
    QSettings s(QStringLiteral("Kestrel Loft"), QStringLiteral("Tarlo"));
    s.beginGroup(section);
    s.setValue(QStringLiteral("Left"), e.left);
    s.setValue(QStringLiteral("Right"), e.right);
    s.setValue(QStringLiteral("Top"), e.top);
    s.setValue(QStringLiteral("Bottom"), e.bottom);
    s.endGroup();
}

void applyPlacement(QWidget* w, const QString& section, const Edges& defaults)
{
    const QRect r = openRect(readPlacement(section, defaults), desktopEdges());
    w->move(r.topLeft());
    w->resize(r.size());
}

void savePlacement(const QWidget* w, const QString& section)
{
    const QPoint p = w->pos();
    const Edges r{p.x(), p.y(), p.x() + w->width(), p.y() + w->height()};
    writePlacement(section, savedEdges(r, desktopEdges()));
}

} // namespace tables
