#include "browser/TextValue.h"

#include <algorithm>

namespace browser {

bool writeTextInSlot(std::span<std::uint8_t> slot, std::string_view text)
{
    if (text.size() + 1 > slot.size() || text.find('\0') != std::string_view::npos)
        return false;
    const auto oldZero = std::find(slot.begin(), slot.end(), std::uint8_t{0});
    const std::size_t oldEnd = static_cast<std::size_t>(oldZero - slot.begin());
    std::copy(text.begin(), text.end(), slot.begin());
    slot[text.size()] = 0;
    for (std::size_t i = text.size() + 1; i < oldEnd; ++i)
        slot[i] = 0;
    return true;
}

} // namespace browser
