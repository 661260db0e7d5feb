#include "model/TextEscape.h"

namespace model {

namespace {

bool isPlain(unsigned char c)
{
    return c >= 0x20 && c < 0x7F && c != '\\';
}

} // namespace

void appendEscapedItemText(std::string& out, std::string_view latin1)
{
    static constexpr char kHex[] = "0123456789abcdef";
    // Most texts need no escape: they are copied in runs.
    std::size_t i = 0;
    while (i < latin1.size()) {
        std::size_t run = i;
        while (run < latin1.size() && isPlain(static_cast<unsigned char>(latin1[run])))
            ++run;
        out.append(latin1.data() + i, run - i);
        if (run == latin1.size())
            break;
        const auto c = static_cast<unsigned char>(latin1[run]);
        switch (c) {
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                out += "\\x";
                out += kHex[c >> 4];
                out += kHex[c & 15];
            } else {
                out += char(0xC0 | (c >> 6));
                out += char(0x80 | (c & 0x3F));
            }
        }
        i = run + 1;
    }
}

std::string escapeItemText(std::string_view latin1)
{
    std::string out;
    out.reserve(latin1.size());
    appendEscapedItemText(out, latin1);
    return out;
}

void appendLatin1AsUtf8(std::string& out, std::string_view latin1)
{
    for (char ch : latin1) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        }
    }
}

} // namespace model
