#pragma once
// The values of a 16-bit curve table being edited, the current index, the
// changed mark and the key actions; no widgets.
#include "tables/CurveKeys.h"
#include "tables/TableBytes.h"

#include <cstdint>
#include <vector>

namespace tables {

class Tbl16Model {
public:
    using Action = CurveKey;
    static constexpr std::uint32_t kUpperLimit = 65535;

    explicit Tbl16Model(std::vector<std::uint32_t> values) : values_(std::move(values)) {}

    void apply(Action a);

    const std::vector<std::uint32_t>& values() const { return values_; }
    std::size_t current() const { return current_; }
    bool changed() const { return changed_; }

    // Values put in whole (a paste, an operation, an undo): sets the mark.
    void setValues(std::vector<std::uint32_t> values);
    void setCurrent(std::size_t i) { current_ = i < values_.size() ? i : current_; }

    // What the paint draws: every value halved when the largest is above
    // 32760, and the largest (halved too; at least 1).
    struct Drawing {
        std::vector<std::uint32_t> copy;
        std::uint32_t max = 1;
        bool halved = false;
    };
    Drawing drawing() const;

    // Value i into bytes 2i, 2i+1; bytes beyond the values stay as they are.
    void writeInto(Bytes& bytes) const;

private:
    std::vector<std::uint32_t> values_;
    std::size_t current_ = 0;
    bool changed_ = false;
};

} // namespace tables
