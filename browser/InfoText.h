#pragma once
#include <cstdint>
#include <string>

namespace browser {

// The text of "Info": byte count, file offset (at least four hex digits) and help.
std::string composeInfoText(std::uint32_t length, std::uint32_t fileOffset, const std::string& help);

} // namespace browser
