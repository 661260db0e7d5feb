#pragma once
// The operations of the table windows on a rectangle of values: set, add,
// multiply by a percentage, interpolate and smooth, checked before anything
// changes. A curve is a table of one row. No Qt.
#include "tables/TableText.h"

#include <optional>

namespace tables {

// A rectangle of cells: first row and column, and how many of each.
struct CellRange {
    int top = 0, left = 0, rows = 1, cols = 1;
    int bottom() const { return top + rows - 1; }
    int right() const { return left + cols - 1; }
    bool contains(int r, int c) const { return r >= top && r <= bottom() && c >= left && c <= right(); }
};

enum class TableOp {
    Set, // every cell to the operand
    Add, // operand added
    Scale, // multiplied by operand percent
    InterpolateRows, // each row linear between its first and last cell
    InterpolateCols, // each column linear between its first and last cell
    Bilinear, // bilinear from the four corners
    Smooth, // three-point average along rows, then along columns; ends kept
};

// The first cell whose result the cell cannot hold (table coordinates).
struct OpRefusal {
    int row = 0, col = 0;
    double value = 0;
};

// Applies op over range of table (row-major, table.cols wide). Word16
// results are rounded half away from zero. A result the kind cannot hold
// (not finite; for Word16 outside 0 to 65535) refuses the whole operation:
// the table is left as it was and the first such cell answered.
std::optional<OpRefusal> applyOp(
        ValueBlock& table, const CellRange& range, TableOp op, double operand, CellKind kind);

// A double curve's ys from first to last made linear in x between the two
// ends (by index when the ends share an x); a table of one row.
std::optional<OpRefusal> interpolateByX(const std::vector<double>& xs, ValueBlock& ys, int first, int last);

// The block of values inside range.
ValueBlock extract(const ValueBlock& table, const CellRange& range);

} // namespace tables
