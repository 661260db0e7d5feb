#include "tables/TblDblModel.h"

#include <algorithm>
#include <cmath>

namespace tables {

namespace {
double divisorFor(const std::vector<double>& v)
{
    double m = 0;
    for (double d : v)
        if (std::isfinite(d))
            m = std::max(m, std::fabs(d));
    return m * DblLayout::kScale > 16300 ? m * DblLayout::kScale / 16000 : 0;
}

std::int32_t plot(double v, double divisor)
{
    double p = v * DblLayout::kScale;
    if (divisor != 0)
        p /= divisor;
    // With the divisor every finite value lies within +-16000 (+-16300
    // without); anything else is not a number and plots at 0.
    if (!std::isfinite(p))
        return 0;
    return std::int32_t(std::trunc(std::clamp(p, -16300.0, 16300.0)));
}

void plotAll(
        const std::vector<double>& v, double divisor, std::vector<std::int32_t>& out, std::int32_t& extent)
{
    out.clear();
    for (double d : v)
        out.push_back(plot(d, divisor));
    if (out.empty()) {
        extent = 1;
        return;
    }
    const std::int32_t lo = *std::min_element(out.begin(), out.end());
    for (std::int32_t& p : out)
        p -= lo;
    extent = *std::max_element(out.begin(), out.end());
    if (extent == 0)
        extent = 1;
}
} // namespace

DblLayout computeDblLayout(const std::vector<double>& xs, const std::vector<double>& ys)
{
    DblLayout l;
    l.xDivisor = divisorFor(xs);
    l.yDivisor = divisorFor(ys);
    plotAll(xs, l.xDivisor, l.px, l.maxX);
    plotAll(ys, l.yDivisor, l.py, l.maxY);
    return l;
}

void TblDblModel::apply(Action a)
{
    const std::size_t n = xs_.size();
    if (n == 0)
        return;
    if (a == Action::Prev) {
        current_ = current_ == 0 ? n - 1 : current_ - 1;
        return;
    }
    if (a == Action::Next) {
        current_ = current_ + 1 >= n ? 0 : current_ + 1;
        return;
    }
    changed_ = true;
    const int keyStep = curveKeyStep(a);
    const bool down = keyStep < 0;
    const double step = std::abs(keyStep) / DblLayout::kScale;
    if (!down) {
        ys_[current_] += step;
        return;
    }
    // The lowest point of the plot cannot be lowered by keys. The window
    // repaints after every key, so this layout is that of the last paint.
    if (computeDblLayout(xs_, ys_).py[current_] > 0)
        ys_[current_] -= step;
}

void TblDblModel::setValue(std::size_t index, bool isX, double v)
{
    if (index >= xs_.size())
        return;
    (isX ? xs_ : ys_)[index] = v;
    changed_ = true;
}

} // namespace tables
