#pragma once
// The 19 type pictures of the record tree: grey 32 x 18 labels carrying the
// type names, one per field type code. Drawn at run time, so they stay sharp
// at any device pixel ratio.

#include <QIcon>
#include <QPalette>
#include <QPixmap>
#include <QSize>

namespace browser {

inline constexpr QSize kTypePictureSize{32, 18};

// Picture of type code `code` (0..18; anything else gives the raw picture)
// rendered for device pixel ratio `dpr`, in the greys of a light palette or
// the colours of a dark one (by default the application's).
QPixmap typePicture(int code, qreal dpr, const QPalette& palette = QPalette());

// An icon holding the picture at 1x, 2x and `extraDpr` (the screen's ratio).
QIcon typeIcon(int code, qreal extraDpr = 1.0, const QPalette& palette = QPalette());

} // namespace browser
