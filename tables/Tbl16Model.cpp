#include "tables/Tbl16Model.h"

#include "model/FieldType.h"

#include <algorithm>

namespace tables {

void Tbl16Model::apply(Action a)
{
    const std::size_t n = values_.size();
    if (a == Action::Prev) {
        if (n)
            current_ = current_ == 0 ? n - 1 : current_ - 1;
        return;
    }
    if (a == Action::Next) {
        if (n)
            current_ = current_ + 1 >= n ? 0 : current_ + 1;
        return;
    }
    // Value keys set the mark even when the value is at its limit.
    changed_ = true;
    if (n == 0)
        return;
    std::uint32_t& v = values_[current_];
    const int step = curveKeyStep(a);
    if (step > 0) {
        v = std::min<std::uint32_t>(v + std::uint32_t(step), kUpperLimit);
    } else {
        const auto by = std::uint32_t(-step);
        v = v > by ? v - by : 0;
    }
}

Tbl16Model::Drawing Tbl16Model::drawing() const
{
    Drawing d;
    std::uint32_t m = 0;
    for (std::uint32_t v : values_)
        m = std::max(m, v);
    d.copy = values_;
    if (m > 32760) {
        d.halved = true;
        for (std::uint32_t& v : d.copy)
            v >>= 1;
        m >>= 1;
    }
    d.max = m == 0 ? 1 : m;
    return d;
}

void Tbl16Model::writeInto(Bytes& bytes) const
{
    for (std::size_t i = 0; i < values_.size(); ++i)
        model::setTbl16Value(bytes, i, std::uint16_t(values_[i]));
}

void Tbl16Model::setValues(std::vector<std::uint32_t> values)
{
    values_ = std::move(values);
    changed_ = true;
    if (current_ >= values_.size())
        current_ = 0;
}

} // namespace tables
