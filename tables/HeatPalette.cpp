// Sequential heat-map palettes and the text colour that reads on them.
#include "tables/HeatPalette.h"

#include <algorithm>
#include <cmath>

namespace tables {

namespace {
// Nine evenly spaced stops of each palette, linearly blended between.
constexpr Rgb kViridis[] = {{68, 1, 84}, {71, 45, 123}, {59, 82, 139}, {44, 114, 142}, {33, 145, 140},
        {40, 174, 128}, {94, 201, 98}, {170, 220, 50}, {253, 231, 37}};
constexpr Rgb kCividis[] = {{0, 34, 78}, {35, 62, 108}, {72, 87, 111}, {102, 111, 114}, {125, 124, 120},
        {153, 149, 118}, {186, 176, 106}, {219, 204, 84}, {254, 232, 56}};

double channel(std::uint8_t c)
{
    const double s = c / 255.0;
    return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
}
} // namespace

Rgb heatColor(HeatPalette palette, double t)
{
    const Rgb* stops = palette == HeatPalette::Cividis ? kCividis : kViridis;
    if (!(t > 0))
        return stops[0];
    if (t >= 1)
        return stops[8];
    const double x = t * 8;
    const int i = std::min(int(x), 7);
    const double f = x - i;
    auto mix = [f](std::uint8_t a, std::uint8_t b) { return std::uint8_t(std::lround(a + (b - a) * f)); };
    return Rgb{mix(stops[i].r, stops[i + 1].r), mix(stops[i].g, stops[i + 1].g),
            mix(stops[i].b, stops[i + 1].b)};
}

double heatPlace(double v, double lo, double hi)
{
    if (!(hi > lo))
        return 0.5;
    return std::clamp((v - lo) / (hi - lo), 0.0, 1.0);
}

Rgb textOn(Rgb bg)
{
    // Relative luminance; black text from the point where it contrasts more.
    const double l = 0.2126 * channel(bg.r) + 0.7152 * channel(bg.g) + 0.0722 * channel(bg.b);
    return (l + 0.05) / 0.05 >= 1.05 / (l + 0.05) ? Rgb{0, 0, 0} : Rgb{255, 255, 255};
}

} // namespace tables
