#pragma once
// Number formatting and scanning in the C locale, the way the tool's text
// formats need them: "%d", "%x", "%0Nx", "%f" out; "%s", "%lx", "%d", "%lf"
// in, with the standard library's formatted-input rules (leading white space
// skipped, a number read as far as it goes, the rest left for the next word).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace patchwise::text {

std::string dec(long long v);
std::string hex(std::uint32_t v, int minDigits = 0); // lower case
std::string fixed6(double v); // "%f"

// A formatted-input cursor over text. Each read skips white space first, as
// the conversions do; a failed read leaves the position after that white space.
class Scanner {
public:
    explicit Scanner(std::string_view s, std::size_t pos = 0) : s_(s), pos_(pos) {}

    std::optional<std::string> word(); // "%s"
    std::optional<std::uint32_t> hex(); // "%lx", low 32 bits
    std::optional<std::int32_t> integer(); // "%d"
    std::optional<double> real(); // "%lf"

    std::size_t pos() const { return pos_; }
    bool atEnd() const { return pos_ >= s_.size(); }

private:
    void skipSpace();
    bool sign(std::size_t& p) const;
    std::string_view s_;
    std::size_t pos_;
};

// Reads a hexadecimal number as "%x" does at the start of s; nullopt when
// there is none.
std::optional<std::uint32_t> scanHex(std::string_view s);
// Leading hexadecimal digits only (no blanks, sign or prefix); nullopt when
// s does not start with one.
std::optional<std::uint32_t> leadingHexDigits(std::string_view s);

} // namespace patchwise::text
