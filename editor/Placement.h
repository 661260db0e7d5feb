#pragma once
// Window placement rules of the main window: what is read from the settings
// is forced onto the desktop, and what is written back is kept sane.

#include <QRect>

namespace tarlo {

struct StoredRect {
    int left = 10, top = 10, right = 300, bottom = 400;
};

// Outer rectangle for a new main window from the stored values, against the
// desktop rectangle `desk` (right/bottom exclusive, as QRect::x()+width()).
QRect placementFromSettings(const StoredRect& s, const QRect& desk);

// Values to store for the window's outer rectangle `outer` at close.
StoredRect placementForSettings(const QRect& outer, const QRect& desk);

} // namespace tarlo
