#pragma once
// The heat map's colours: a value's place in a range as a colour of a
// sequential palette that colour-blind readers can tell apart, and the text
// colour that reads on it. No Qt.
#include <cstdint>

namespace tables {

enum class HeatPalette { Viridis, Cividis };

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

// t from 0 (low) to 1 (high), clamped; NaN gives the low end.
Rgb heatColor(HeatPalette palette, double t);

// The place of v between lo and hi; 0.5 when the range is empty.
double heatPlace(double v, double lo, double hi);

// Black or white, whichever contrasts more with the background.
Rgb textOn(Rgb background);

} // namespace tables
