#pragma once
// The keys of the two curve windows, the same in both: Left and Right walk
// the points (wrapping), Up and Down step the current value by 1, and the
// keypad digits (Num Lock on) walk with 4 and 6 and step by 10, 100 and 1000
// with 7/8/9 up and 1/2/3 down.
#include <Qt>

#include <optional>

namespace tables {

enum class CurveKey { Prev, Next, Up1, Up10, Up100, Up1000, Down1, Down10, Down100, Down1000 };

// The action a key stands for. Keypad digits arrive with the keypad
// modifier; with Num Lock off keypad 4/6/8/2 come as arrows.
std::optional<CurveKey> curveKeyFor(int key, Qt::KeyboardModifiers mods);

// How far an Up or Down action moves the value: positive up, negative down,
// 0 for Prev and Next.
int curveKeyStep(CurveKey action);

} // namespace tables
