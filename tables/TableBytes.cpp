#include "tables/TableBytes.h"

#include <QByteArray>

#include <bit>
#include <charconv>
#include <cstring>

namespace tables {

namespace {
bool fits(const Bytes& b, std::size_t offset, std::size_t n)
{
    return offset <= b.size() && n <= b.size() - offset;
}

std::uint64_t readLE(const Bytes& b, std::size_t offset, std::size_t n)
{
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i)
        v |= std::uint64_t(b[offset + i]) << (8 * i);
    return v;
}

void writeLE(Bytes& b, std::size_t offset, std::size_t n, std::uint64_t v)
{
    for (std::size_t i = 0; i < n; ++i)
        b[offset + i] = std::uint8_t(v >> (8 * i));
}
} // namespace

std::optional<std::uint16_t> readU16(const Bytes& b, std::size_t offset)
{
    if (!fits(b, offset, 2))
        return std::nullopt;
    return std::uint16_t(readLE(b, offset, 2));
}

std::optional<std::uint32_t> readU32(const Bytes& b, std::size_t offset)
{
    if (!fits(b, offset, 4))
        return std::nullopt;
    return std::uint32_t(readLE(b, offset, 4));
}

std::optional<std::int32_t> readI32(const Bytes& b, std::size_t offset)
{
    auto v = readU32(b, offset);
    if (!v)
        return std::nullopt;
    return std::bit_cast<std::int32_t>(*v);
}

std::optional<double> readF64(const Bytes& b, std::size_t offset)
{
    if (!fits(b, offset, 8))
        return std::nullopt;
    return std::bit_cast<double>(readLE(b, offset, 8));
}

bool writeU16(Bytes& b, std::size_t offset, std::uint16_t v)
{
    if (!fits(b, offset, 2))
        return false;
    writeLE(b, offset, 2, v);
    return true;
}

bool writeU32(Bytes& b, std::size_t offset, std::uint32_t v)
{
    if (!fits(b, offset, 4))
        return false;
    writeLE(b, offset, 4, v);
    return true;
}

bool writeF64(Bytes& b, std::size_t offset, double v)
{
    if (!fits(b, offset, 8))
        return false;
    writeLE(b, offset, 8, std::bit_cast<std::uint64_t>(v));
    return true;
}

QString formatFixed(double v)
{
    return QString::number(v, 'f', 6);
}

// [blanks] [+|-] (digits [. digits] | . digits) [(e|E) [+|-] digits]
double parseLeadingReal(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    text.remove_prefix(i);
    bool plus = !text.empty() && text.front() == '+';
    if (plus)
        text.remove_prefix(1);
    if (!text.empty() && (text.front() == '+' || (plus && text.front() == '-')))
        return 0.0;
    double v = 0.0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v,
                                     std::chars_format::general);
    if (ec == std::errc::invalid_argument)
        return 0.0;
    // Out of range: from_chars leaves v alone; the text names a huge or tiny number.
    if (ec == std::errc::result_out_of_range)
        return 0.0;
    (void)end;
    return v;
}

double parseLeadingReal(const QString& text)
{
    const QByteArray latin = text.toLatin1();
    return parseLeadingReal(std::string_view(latin.constData(), std::size_t(latin.size())));
}

std::vector<std::uint32_t> decodeTbl16(const Bytes& b)
{
    std::vector<std::uint32_t> out;
    out.reserve(b.size() / 2);
    for (std::size_t i = 0; i + 1 < b.size(); i += 2)
        out.push_back(*readU16(b, i));
    return out;
}

std::optional<DoubleTable> decodeTblDbl(const Bytes& b)
{
    if (b.empty())
        return std::nullopt;
    const std::size_t n = b[0];
    if (b.size() != 16 * n + 4)
        return std::nullopt;
    DoubleTable t;
    for (std::size_t k = 0; k < n; ++k) {
        t.xs.push_back(*readF64(b, 4 + 16 * k));
        t.ys.push_back(*readF64(b, 12 + 16 * k));
    }
    return t;
}

Bytes encodeTblDbl(const std::vector<double>& xs, const std::vector<double>& ys)
{
    const std::size_t p = std::min(xs.size(), ys.size());
    Bytes b(16 * p + 4);
    writeU32(b, 0, std::uint32_t(p));
    for (std::size_t k = 0; k < p; ++k) {
        writeF64(b, 4 + 16 * k, xs[k]);
        writeF64(b, 12 + 16 * k, ys[k]);
    }
    return b;
}

std::optional<GridTable> decodeTbl3d(const Bytes& b, QString* why)
{
    auto fail = [&](const QString& text) -> std::optional<GridTable> {
        if (why)
            *why = text;
        return std::nullopt;
    };
    const auto a = readI32(b, 0);
    const auto bb = readI32(b, 4);
    if (!a || !bb)
        return fail(QStringLiteral("The record is only %1 bytes long; a grid table needs at least 8.")
                        .arg(b.size()));
    if (*a <= 0 || *bb <= 0)
        return fail(QStringLiteral("The record's table size %1 x %2 is not valid.").arg(*a).arg(*bb));
    // Counts below 2^31 each: A * B fits in 64 bits, but 8 * A * B may not,
    // so the cells are compared with the room the record has for them.
    const std::uint64_t cells = std::uint64_t(*a) * std::uint64_t(*bb);
    if (cells > (b.size() - 8) / 8)
        return fail(QStringLiteral("The record's table size %1 x %2 needs %3 bytes, but the record holds only %4.")
                        .arg(*a).arg(*bb).arg(QString::number(8.0 + 8.0 * double(cells), 'f', 0)).arg(b.size()));
    GridTable t;
    t.groups = *a;
    t.perGroup = *bb;
    const std::size_t count = std::size_t(*a) * std::size_t(*bb);
    t.values.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        t.values.push_back(*readF64(b, 8 + 8 * i));
    return t;
}

} // namespace tables
