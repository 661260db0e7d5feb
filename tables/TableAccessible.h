#pragma once
// What the table windows tell assistive technology: the current point of a
// curve (index and value as the window shows them) or the current cell of
// the grid, and the range or block selected.
#include "ui/AccessibleControl.h"

namespace tables {

class CurveBench;
class CPageWnd;

class CurveAccessible : public ui::AccessibleControl {
public:
    explicit CurveAccessible(CurveBench* w);
    QString text(QAccessible::Text t) const override;
    ui::AccessibleItem current() const override;
};

class GridAccessible : public ui::AccessibleControl {
public:
    explicit GridAccessible(CPageWnd* w);
    ui::AccessibleItem current() const override;
    QRect itemRect() const override;
};

// Gives a table window its accessible interface and its announcements; each
// window calls it once, when it is made.
void enableAccessibility(QWidget* tableWindow);

} // namespace tables
