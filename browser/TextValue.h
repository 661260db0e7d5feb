#pragma once
// A "text" value that lies inside a larger record is written in place.
#include <cstdint>
#include <span>
#include <string_view>

namespace browser {

// Writes a text into a fixed slot inside a record. Refuses (returns false,
// slot untouched) unless the text and its 0 byte fit the slot. On success the
// remainder of the old text is cleared to 0 so no stale characters stay
// behind; bytes of the slot past the old text's 0 byte are left alone.
bool writeTextInSlot(std::span<std::uint8_t> slot, std::string_view text);

} // namespace browser
