#include "tool/ToolText.h"

#include "base/AsciiText.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace patchwise::text {

using base::ascii::equalsIgnoreCase;
using base::ascii::isBlank;

std::string dec(long long v)
{
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string hex(std::uint32_t v, int minDigits)
{
    char buf[16];
    auto r = std::to_chars(buf, buf + sizeof buf, v, 16);
    std::string s(buf, r.ptr);
    if (static_cast<int>(s.size()) < minDigits)
        s.insert(0, static_cast<std::size_t>(minDigits) - s.size(), '0');
    return s;
}

std::string fixed6(double v)
{
    // DBL_MAX in fixed notation has 309 digits before the point.
    char buf[400];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 6);
    if (r.ec != std::errc())
        return "0.000000";
    return std::string(buf, r.ptr);
}

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// strtoul-like accumulation: saturates at 64 bits.
struct Acc {
    std::uint64_t v = 0;
    bool over = false;
    void add(unsigned base, unsigned d)
    {
        if (over)
            return;
        if (v > (std::numeric_limits<std::uint64_t>::max() - d) / base) {
            over = true;
            v = std::numeric_limits<std::uint64_t>::max();
            return;
        }
        v = v * base + d;
    }
};

// The value strtod gives a number that from_chars found out of range:
// HUGE_VAL when it overflows, 0 when it underflows (subnormal results are in
// range). num is the unsigned number, digits and exponent, without any "0x".
// The two are told apart by the power of the first non-zero digit plus the
// exponent: out of range, that sum is far beyond either end.
double outOfRange(std::string_view num, bool hexDigits)
{
    const std::size_t mantissaEnd = num.find_first_of(hexDigits ? "pP" : "eE");
    std::string_view mantissa = num.substr(0, mantissaEnd);
    const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
    long long power = 0;
    bool any = false;
    for (std::size_t i = 0; i < mantissa.size(); ++i) {
        if (mantissa[i] == '.' || mantissa[i] == '0')
            continue;
        power = i < point ? static_cast<long long>(point - i - 1) : -static_cast<long long>(i - point);
        any = true;
        break;
    }
    if (!any)
        return 0.0;
    long long exponent = 0;
    if (mantissaEnd != std::string_view::npos) {
        std::size_t q = mantissaEnd + 1;
        const bool negative = q < num.size() && num[q] == '-';
        if (q < num.size() && (num[q] == '-' || num[q] == '+'))
            ++q;
        for (; q < num.size() && isDigit(num[q]); ++q)
            exponent = std::min(exponent * 10 + (num[q] - '0'), 1000000000000LL);
        if (negative)
            exponent = -exponent;
    }
    // A hexadecimal digit is four binary places.
    if (hexDigits)
        power *= 4;
    return power + exponent < 0 ? 0.0 : std::numeric_limits<double>::infinity();
}

// Where the decimal number at p ends ("%lf"'s digits, point and exponent),
// or npos when there are no digits.
std::size_t decimalEnd(std::string_view s, std::size_t p)
{
    const std::size_t intStart = p;
    while (p < s.size() && isDigit(s[p]))
        ++p;
    const std::size_t nInt = p - intStart;
    std::size_t nFrac = 0;
    if (p < s.size() && s[p] == '.') {
        std::size_t q = p + 1;
        while (q < s.size() && isDigit(s[q]))
            ++q;
        nFrac = q - p - 1;
        if (nInt + nFrac > 0)
            p = q;
    }
    if (nInt + nFrac == 0)
        return std::string_view::npos;
    if (p < s.size() && (s[p] == 'e' || s[p] == 'E')) {
        std::size_t q = p + 1;
        if (q < s.size() && (s[q] == '+' || s[q] == '-'))
            ++q;
        const std::size_t expDigits = q;
        while (q < s.size() && isDigit(s[q]))
            ++q;
        if (q > expDigits)
            p = q;
    }
    return p;
}

} // namespace

void Scanner::skipSpace()
{
    while (pos_ < s_.size() && isBlank(s_[pos_]))
        ++pos_;
}

std::optional<std::string> Scanner::word()
{
    skipSpace();
    std::size_t start = pos_;
    while (pos_ < s_.size() && !isBlank(s_[pos_]))
        ++pos_;
    if (pos_ == start)
        return std::nullopt;
    return std::string(s_.substr(start, pos_ - start));
}

// Skips an optional '+' or '-' at p; true when it was '-'.
bool Scanner::sign(std::size_t& p) const
{
    if (p >= s_.size() || (s_[p] != '+' && s_[p] != '-'))
        return false;
    return s_[p++] == '-';
}

std::optional<std::uint32_t> Scanner::hex()
{
    skipSpace();
    std::size_t p = pos_;
    const bool neg = sign(p);
    bool any = false;
    if (p < s_.size() && s_[p] == '0') {
        any = true;
        ++p;
        if (p < s_.size() && (s_[p] == 'x' || s_[p] == 'X'))
            ++p;
    }
    Acc acc;
    while (p < s_.size() && hexDigit(s_[p]) >= 0) {
        acc.add(16, static_cast<unsigned>(hexDigit(s_[p])));
        any = true;
        ++p;
    }
    if (!any)
        return std::nullopt;
    pos_ = p;
    std::uint64_t v = acc.v;
    if (neg && !acc.over)
        v = ~v + 1;
    return static_cast<std::uint32_t>(v);
}

std::optional<std::int32_t> Scanner::integer()
{
    skipSpace();
    std::size_t p = pos_;
    const bool neg = sign(p);
    std::size_t digits = p;
    Acc acc;
    while (p < s_.size() && isDigit(s_[p])) {
        acc.add(10, static_cast<unsigned>(s_[p] - '0'));
        ++p;
    }
    if (p == digits)
        return std::nullopt;
    pos_ = p;
    // strtol saturation at 64 bits, then the low 32 bits as a plain int gets.
    const std::uint64_t lim = neg ? std::uint64_t(1) << 63 : (std::uint64_t(1) << 63) - 1;
    std::uint64_t mag = (acc.over || acc.v > lim) ? lim : acc.v;
    std::uint64_t bits = neg ? ~mag + 1 : mag;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(bits));
}

std::optional<double> Scanner::real()
{
    skipSpace();
    std::size_t p = pos_;
    const bool neg = sign(p);
    std::size_t body = p;
    auto matchWord = [&](std::string_view w) {
        if (s_.size() - p < w.size())
            return false;
        return equalsIgnoreCase(s_.substr(p, w.size()), w);
    };
    double value = 0;
    if (matchWord("infinity") || matchWord("inf")) {
        p += matchWord("infinity") ? 8 : 3;
        value = std::numeric_limits<double>::infinity();
    } else if (matchWord("nan")) {
        p += 3;
        value = std::numeric_limits<double>::quiet_NaN();
    } else if (s_.size() - p > 2 && s_[p] == '0' && (s_[p + 1] == 'x' || s_[p + 1] == 'X')
            && (hexDigit(s_[p + 2]) >= 0
                    || (s_[p + 2] == '.' && s_.size() - p > 3 && hexDigit(s_[p + 3]) >= 0))) {
        // A hexadecimal floating constant, which "%lf" also reads.
        std::string_view rest = s_.substr(p + 2);
        auto r = std::from_chars(rest.data(), rest.data() + rest.size(), value, std::chars_format::hex);
        if (r.ec == std::errc::result_out_of_range)
            value = outOfRange(rest.substr(0, r.ptr - rest.data()), true);
        else if (r.ec != std::errc())
            return std::nullopt;
        p = static_cast<std::size_t>(r.ptr - s_.data());
    } else {
        p = decimalEnd(s_, p);
        if (p == std::string_view::npos)
            return std::nullopt;
        std::string_view num = s_.substr(body, p - body);
        auto r = std::from_chars(num.data(), num.data() + num.size(), value, std::chars_format::general);
        if (r.ec == std::errc::result_out_of_range) {
            value = outOfRange(num, false);
        } else if (r.ec != std::errc()) {
            return std::nullopt;
        }
    }
    pos_ = p;
    return neg ? -value : value;
}

std::optional<std::uint32_t> scanHex(std::string_view s)
{
    Scanner sc(s);
    return sc.hex();
}

std::optional<std::uint32_t> leadingHexDigits(std::string_view s)
{
    std::uint32_t v = 0;
    std::size_t i = 0;
    for (; i < s.size() && hexDigit(s[i]) >= 0; ++i)
        v = v * 16 + static_cast<std::uint32_t>(hexDigit(s[i]));
    if (i == 0)
        return std::nullopt;
    return v;
}

} // namespace patchwise::text
