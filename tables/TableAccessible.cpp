// The table windows' accessible interfaces and their registration.
#include "tables/TableAccessible.h"

#include "tables/CurveBench.h"
#include "tables/PageWnd.h"
#include "tables/TableBytes.h"
#include "tables/TableText.h"

namespace tables {

namespace {

// While a window is still being made (or unmade) its own overrides are not
// there yet: the abstract layers answer nothing rather than call them.
bool complete(const QWidget* w)
{
    const QMetaObject* m = w->metaObject();
    return m != &CurveBench::staticMetaObject && m != &TableFrame::staticMetaObject;
}

QAccessibleInterface* factory(const QString&, QObject* o)
{
    if (auto* c = qobject_cast<CurveBench*>(o))
        return new CurveAccessible(c);
    if (auto* g = qobject_cast<CPageWnd*>(o))
        return new GridAccessible(g);
    return nullptr;
}

} // namespace

CurveAccessible::CurveAccessible(CurveBench* w)
        : ui::AccessibleControl(w, QAccessible::Window, QAccessible::ListItem, QStringLiteral("Curve"), {})
{}

QString CurveAccessible::text(QAccessible::Text t) const
{
    const auto* w = static_cast<const CurveBench*>(widget());
    if (t != QAccessible::Description || !w->accessibleDescription().isEmpty() || !complete(w))
        return ui::AccessibleControl::text(t);
    return w->kind() == CellKind::Real
            ? QStringLiteral("A curve of x, y points: Left and Right choose a point, Up and Down change its "
                             "y, X and Y type an exact value")
            : QStringLiteral("A curve of 16-bit values: Left and Right choose a point, Up and Down change "
                             "it, Y types an exact value, Enter writes them back");
}

ui::AccessibleItem CurveAccessible::current() const
{
    const auto* w = static_cast<const CurveBench*>(widget());
    if (!complete(w))
        return {};
    const CurveBench::Points p = w->points();
    const std::size_t i = w->currentIndex();
    if (i >= p.ys.size())
        return {};
    ui::AccessibleItem item;
    item.name = QStringLiteral("index %1").arg(i);
    // The value as the status bar shows it.
    if (p.xs.empty())
        item.value = QStringLiteral("value %1").arg(static_cast<qulonglong>(p.ys[i]));
    else if (i < p.xs.size())
        item.value = QStringLiteral("x %1, y %2").arg(formatFixed(p.xs[i]), formatFixed(p.ys[i]));
    // While comparing, the reference's point there, as the info pane gives it.
    if (const auto& ref = w->referencePoints(); ref && i < ref->ys.size()) {
        const QString y = QString::fromStdString(formatValue(ref->ys[i], w->kind()));
        item.value += ref->xs.empty()
                ? QStringLiteral(", reference %1").arg(y)
                : QStringLiteral(", reference x %1, y %2")
                          .arg(QString::fromStdString(formatValue(ref->xs[i], w->kind())), y);
    }
    if (w->hasRange())
        item.selection = QStringLiteral("selected %1 to %2, %3 points")
                                 .arg(w->rangeFirst())
                                 .arg(w->rangeLast())
                                 .arg(w->rangeLast() - w->rangeFirst() + 1);
    return item;
}

GridAccessible::GridAccessible(CPageWnd* w)
        : ui::AccessibleControl(w, QAccessible::Window, QAccessible::Cell, QStringLiteral("Grid"),
                QStringLiteral("A grid of values: the arrow keys move between cells, typing a number or "
                               "Enter edits the current cell"))
{}

ui::AccessibleItem GridAccessible::current() const
{
    const auto* w = static_cast<const CPageWnd*>(widget());
    const int row = w->currentRow(), col = w->currentCol();
    if (row < 0 || col < 0 || row >= w->GetRowCount() || col >= w->GetColCount())
        return {};
    ui::AccessibleItem item;
    item.name = QStringLiteral("row %1, column %2").arg(row).arg(col);
    const std::optional<QString> text = w->GetCellText(row, col);
    item.value = text && !text->isEmpty() ? *text : QStringLiteral("empty");
    if (w->cellDiffers(row, col)) {
        const auto ref = w->referenceValue(row, col);
        item.value += ref ? QStringLiteral(", differs from the reference %1").arg(formatFixed(*ref))
                          : QStringLiteral(", not in the reference");
    }
    if (w->hasSelection()) {
        const CellRange r = w->selection();
        item.selection = QStringLiteral("selected rows %1 to %2, columns %3 to %4, %5 cells")
                                 .arg(r.top)
                                 .arg(r.bottom())
                                 .arg(r.left)
                                 .arg(r.right())
                                 .arg(qlonglong(r.rows) * r.cols);
    }
    return item;
}

QRect GridAccessible::itemRect() const
{
    const auto* w = static_cast<const CPageWnd*>(widget());
    const QRect r = w->cellRectFor(w->currentRow(), w->currentCol());
    if (r.isNull())
        return rect();
    return QRect(w->mapToGlobal(r.topLeft()), r.size());
}

void enableAccessibility(QWidget* tableWindow)
{
    ui::installAccessibleFactory(factory);
    ui::announceChanges(tableWindow, tableWindow);
}

} // namespace tables
