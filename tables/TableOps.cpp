// Set, add, scale, interpolate and smooth over a rectangle of table values.
#include "tables/TableOps.h"

#include "model/FieldType.h"

#include <cmath>

namespace tables {

ValueBlock extract(const ValueBlock& table, const CellRange& range)
{
    ValueBlock b;
    b.rows = range.rows;
    b.cols = range.cols;
    b.values.reserve(std::size_t(range.rows) * std::size_t(range.cols));
    for (int r = range.top; r <= range.bottom(); ++r)
        for (int c = range.left; c <= range.right(); ++c)
            b.values.push_back(table.at(r, c));
    return b;
}

namespace {

double lerp(double a, double b, int i, int n)
{
    return n <= 1 ? a : a + (b - a) * double(i) / double(n - 1);
}

// Three-point average along one line of n values, stride apart; ends kept.
void smoothLine(double* v, int n, std::size_t stride)
{
    if (n < 3)
        return;
    double prev = v[0];
    for (int i = 1; i + 1 < n; ++i) {
        double& cur = v[std::size_t(i) * stride];
        const double next = v[std::size_t(i + 1) * stride];
        const double was = cur;
        cur = (prev + cur + next) / 3.0;
        prev = was;
    }
}

// The operation's raw results over the range, row-major.
ValueBlock compute(const ValueBlock& table, const CellRange& g, TableOp op, double operand)
{
    ValueBlock b = extract(table, g);
    const int R = g.rows, C = g.cols;
    auto at = [&](int r, int c) -> double& {
        return b.values[std::size_t(r) * std::size_t(C) + std::size_t(c)];
    };
    const ValueBlock in = b;
    switch (op) {
    case TableOp::Set:
        for (double& v : b.values)
            v = operand;
        break;
    case TableOp::Add:
        for (double& v : b.values)
            v += operand;
        break;
    case TableOp::Scale:
        for (double& v : b.values)
            v = v * operand / 100.0;
        break;
    case TableOp::InterpolateRows:
        for (int r = 0; r < R; ++r)
            for (int c = 0; c < C; ++c)
                at(r, c) = lerp(in.at(r, 0), in.at(r, C - 1), c, C);
        break;
    case TableOp::InterpolateCols:
        for (int r = 0; r < R; ++r)
            for (int c = 0; c < C; ++c)
                at(r, c) = lerp(in.at(0, c), in.at(R - 1, c), r, R);
        break;
    case TableOp::Bilinear:
        for (int r = 0; r < R; ++r) {
            const double left = lerp(in.at(0, 0), in.at(R - 1, 0), r, R);
            const double right = lerp(in.at(0, C - 1), in.at(R - 1, C - 1), r, R);
            for (int c = 0; c < C; ++c)
                at(r, c) = lerp(left, right, c, C);
        }
        break;
    case TableOp::Smooth:
        for (int r = 0; r < R; ++r)
            smoothLine(&at(r, 0), C, 1);
        for (int c = 0; c < C; ++c)
            smoothLine(&at(0, c), R, std::size_t(C));
        break;
    }
    return b;
}

} // namespace

std::optional<OpRefusal> applyOp(
        ValueBlock& table, const CellRange& range, TableOp op, double operand, CellKind kind)
{
    if (range.rows <= 0 || range.cols <= 0 || range.top < 0 || range.left < 0 || range.bottom() >= table.rows
            || range.right() >= table.cols)
        return std::nullopt;
    ValueBlock b = compute(table, range, op, operand);
    for (std::size_t i = 0; i < b.values.size(); ++i) {
        double& v = b.values[i];
        const bool fits =
                kind == CellKind::Word16 ? std::isfinite(v) && v > -0.5 && v < 65535.5 : std::isfinite(v);
        if (!fits)
            return OpRefusal{range.top + int(i) / range.cols, range.left + int(i) % range.cols, v};
        if (kind == CellKind::Word16)
            v = double(model::roundHalfAwayFromZero(v));
    }
    for (int r = 0; r < range.rows; ++r)
        for (int c = 0; c < range.cols; ++c)
            table.values[std::size_t(range.top + r) * std::size_t(table.cols) + std::size_t(range.left + c)] =
                    b.at(r, c);
    return std::nullopt;
}

std::optional<OpRefusal> interpolateByX(const std::vector<double>& xs, ValueBlock& ys, int first, int last)
{
    if (first < 0 || last >= ys.cols || last >= int(xs.size()) || first > last || ys.rows != 1)
        return std::nullopt;
    const double x0 = xs[std::size_t(first)], x1 = xs[std::size_t(last)];
    if (!(x1 != x0) || !std::isfinite(x1 - x0))
        return applyOp(
                ys, CellRange{0, first, 1, last - first + 1}, TableOp::InterpolateRows, 0, CellKind::Real);
    const double y0 = ys.values[std::size_t(first)], y1 = ys.values[std::size_t(last)];
    std::vector<double> out;
    for (int i = first; i <= last; ++i) {
        const double v = y0 + (y1 - y0) * (xs[std::size_t(i)] - x0) / (x1 - x0);
        if (!std::isfinite(v))
            return OpRefusal{0, i, v};
        out.push_back(v);
    }
    std::copy(out.begin(), out.end(), ys.values.begin() + first);
    return std::nullopt;
}

} // namespace tables
