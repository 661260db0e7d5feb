#pragma once
// Colours of the custom-drawn controls under light and dark palettes.
#include <QColor>
#include <QPalette>

namespace ui {

// A dark palette: its base (the window colour of text areas) is darker than
// its text. The controls keep their fixed colours under light palettes and
// take the palette's own under dark ones.
bool isDark(const QPalette& p);

// `fixed` under a light palette, the palette's colour for `role` under a
// dark one.
QColor lightOr(const QPalette& p, QColor fixed, QPalette::ColorRole role);

// The colour `t` of the way from a to b (0 gives a, 1 gives b).
QColor mix(const QColor& a, const QColor& b, double t);

} // namespace ui
