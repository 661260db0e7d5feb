#include "tables/Tbl16Model.h"

#include "model/FieldType.h"

#include <algorithm>

namespace tables {

std::optional<Tbl16Model::Action> Tbl16Model::actionForKey(int key, Qt::KeyboardModifiers mods)
{
    const bool keypad = mods & Qt::KeypadModifier;
    switch (key) {
    case Qt::Key_Left: return Action::Prev;
    case Qt::Key_Right: return Action::Next;
    case Qt::Key_Up: return Action::Plus1;
    case Qt::Key_Down: return Action::Minus1;
    default: break;
    }
    if (!keypad)
        return std::nullopt;
    switch (key) {
    case Qt::Key_4: return Action::Prev;
    case Qt::Key_6: return Action::Next;
    case Qt::Key_7: return Action::Plus10;
    case Qt::Key_8: return Action::Plus100;
    case Qt::Key_9: return Action::Plus1000;
    case Qt::Key_1: return Action::Minus10;
    case Qt::Key_2: return Action::Minus100;
    case Qt::Key_3: return Action::Minus1000;
    default: return std::nullopt;
    }
}

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
    auto raise = [&](std::uint32_t by) { v = std::min<std::uint32_t>(v + by, kUpperLimit); };
    auto lower = [&](std::uint32_t by) { v = v > by ? v - by : 0; };
    switch (a) {
    case Action::Plus1: raise(1); break;
    case Action::Plus10: raise(10); break;
    case Action::Plus100: raise(100); break;
    case Action::Plus1000: raise(1000); break;
    case Action::Minus1: lower(1); break;
    case Action::Minus10: lower(10); break;
    case Action::Minus100: lower(100); break;
    case Action::Minus1000: lower(1000); break;
    default: break;
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

} // namespace tables
