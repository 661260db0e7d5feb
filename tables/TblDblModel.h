#pragma once
// The points of a double curve table being edited, their plotted layout and
// the key actions; no widgets.
#include "tables/CurveKeys.h"
#include "tables/TableBytes.h"

#include <cstdint>
#include <vector>

namespace tables {

// Plotted coordinates: value x 10000, divided so the largest magnitude plots
// at 16000 when it would pass 16300, truncated, then shifted so the smallest
// plotted x and y are 0. Extents of 0 become 1. Non-finite values plot at 0.
struct DblLayout {
    static constexpr double kScale = 10000.0;
    std::vector<std::int32_t> px, py;
    std::int32_t maxX = 1, maxY = 1;
    double xDivisor = 0, yDivisor = 0; // 0: no divisor
};
DblLayout computeDblLayout(const std::vector<double>& xs, const std::vector<double>& ys);

class TblDblModel {
public:
    using Action = CurveKey;

    TblDblModel(std::vector<double> xs, std::vector<double> ys) : xs_(std::move(xs)), ys_(std::move(ys)) {}

    void apply(Action a);

    // A committed value from the value box.
    void setValue(std::size_t index, bool isX, double v);

    // Points put in whole (a paste, an operation, an undo): sets the mark.
    void setPoints(std::vector<double> xs, std::vector<double> ys)
    {
        xs_ = std::move(xs);
        ys_ = std::move(ys);
        changed_ = true;
    }
    void setCurrent(std::size_t i) { current_ = i < xs_.size() ? i : current_; }

    std::size_t size() const { return xs_.size(); }
    const std::vector<double>& xs() const { return xs_; }
    const std::vector<double>& ys() const { return ys_; }
    std::size_t current() const { return current_; }
    bool changed() const { return changed_; }

private:
    std::vector<double> xs_, ys_;
    std::size_t current_ = 0;
    bool changed_ = false;
};

} // namespace tables
