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

void plotAll(const std::vector<double>& v, double divisor, std::vector<std::int32_t>& out, std::int32_t& extent)
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

std::optional<TblDblModel::Action> TblDblModel::actionForKey(int key, Qt::KeyboardModifiers mods)
{
    switch (key) {
    case Qt::Key_Left: return Action::Prev;
    case Qt::Key_Right: return Action::Next;
    case Qt::Key_Up: return Action::Up1;
    case Qt::Key_Down: return Action::Down1;
    default: break;
    }
    if (!(mods & Qt::KeypadModifier))
        return std::nullopt;
    switch (key) {
    case Qt::Key_4: return Action::Prev;
    case Qt::Key_6: return Action::Next;
    case Qt::Key_7: return Action::Up10;
    case Qt::Key_8: return Action::Up100;
    case Qt::Key_9: return Action::Up1000;
    case Qt::Key_1: return Action::Down10;
    case Qt::Key_2: return Action::Down100;
    case Qt::Key_3: return Action::Down1000;
    default: return std::nullopt;
    }
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
    double step = 0;
    bool down = false;
    switch (a) {
    case Action::Up1: step = 1; break;
    case Action::Up10: step = 10; break;
    case Action::Up100: step = 100; break;
    case Action::Up1000: step = 1000; break;
    case Action::Down1: step = 1; down = true; break;
    case Action::Down10: step = 10; down = true; break;
    case Action::Down100: step = 100; down = true; break;
    case Action::Down1000: step = 1000; down = true; break;
    default: break;
    }
    step /= DblLayout::kScale;
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
