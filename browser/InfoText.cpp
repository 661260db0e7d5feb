#include "browser/InfoText.h"

#include <cstdio>

namespace browser {

std::string composeInfoText(std::uint32_t length, std::uint32_t fileOffset, const std::string& help)
{
    // Integer-only formats: unaffected by the numeric locale.
    char head[96];
    std::snprintf(head, sizeof head, "Bytes in record=%u\nOffset Into File 0x%04x\n", static_cast<unsigned>(length),
                  static_cast<unsigned>(fileOffset));
    return head + help;
}

} // namespace browser
