// Opening the grid window on a grid table's bytes and storing its cells back.
#include "tables/PageWnd.h"

#include "ui/Messages.h"

#include "base/Bytes.h"
#include "model/FieldType.h"

namespace tables {

CPageWnd* openGridTable(std::unique_ptr<TableTarget> target, QWidget* owner)
{
    if (!target)
        return nullptr;
    QString why;
    const auto table = decodeTbl3d(target->bytes(), &why);
    if (!table) {
        ui::tell(owner, QStringLiteral("The Record is not editable as a grid table: %1").arg(why),
                ui::Tone::Warning);
        return nullptr;
    }
    if ((long long)table->groups * table->perGroup > CPageWnd::kMaxCells) {
        ui::tell(owner,
                QStringLiteral("The Record is not editable as a grid table: %1 x %2 cells are too many.")
                        .arg(table->groups)
                        .arg(table->perGroup),
                ui::Tone::Warning);
        return nullptr;
    }
    auto* w = new CPageWnd(table->groups, table->perGroup, std::move(target), owner);
    for (int g = 0; g < table->groups; ++g)
        for (int k = 0; k < table->perGroup; ++k) {
            const double v = table->values[std::size_t(g) * std::size_t(table->perGroup) + std::size_t(k)];
            w->SetCellText(g, k, formatFixed(v));
            // The cell shows "%f" but keeps the value itself: a cell nobody
            // edits is written back with the bits it was read with.
            w->GetCell(k, g)->exact = v;
        }
    w->bringToFront();
    return w;
}

bool storeGridTable(CPageWnd& grid)
{
    TableTarget* t = grid.target();
    if (!t)
        return false;
    const int cols = grid.GetColCount(), rows = grid.GetRowCount();
    const bool ok = grid.writeBack([&](Bytes& b) {
        base::bytes::writeLE<std::uint32_t>(b, 0, std::uint32_t(cols));
        base::bytes::writeLE<std::uint32_t>(b, 4, std::uint32_t(rows));
        for (int j = 0; j < cols; ++j)
            for (int i = 0; i < rows; ++i)
                model::setTbl3dValue(b, std::uint32_t(j), std::uint32_t(i), grid.cellValue(i, j));
    });
    if (ok)
        t->markModified();
    return ok;
}

} // namespace tables
