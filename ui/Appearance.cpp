// Colours of the custom-drawn controls under light and dark palettes.
#include "ui/Appearance.h"

namespace ui {

bool isDark(const QPalette& p)
{
    return p.color(QPalette::Base).lightness() < p.color(QPalette::Text).lightness();
}

QColor lightOr(const QPalette& p, QColor fixed, QPalette::ColorRole role)
{
    return isDark(p) ? p.color(role) : fixed;
}

QColor mix(const QColor& a, const QColor& b, double t)
{
    const auto channel = [t](int x, int y) { return qRound(x + (y - x) * t); };
    return QColor(channel(a.red(), b.red()), channel(a.green(), b.green()), channel(a.blue(), b.blue()));
}

} // namespace ui
