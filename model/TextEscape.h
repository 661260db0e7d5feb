#pragma once
// Item texts made printable for a terminal or a text file.
#include <string>
#include <string_view>

namespace model {

// An item text made printable: CR, LF, TAB and backslash as \r \n \t \\,
// other control bytes and 0x7F as \xHH, bytes 0x80..0xFF as UTF-8 of Latin-1.
std::string escapeItemText(std::string_view latin1);
// The same, appended to out.
void appendEscapedItemText(std::string& out, std::string_view latin1);
// Latin-1 bytes appended as UTF-8, nothing escaped.
void appendLatin1AsUtf8(std::string& out, std::string_view latin1);

} // namespace model
