#include "tables/TableBytes.h"

#include "model/FieldType.h"

#include <QByteArray>

#include <algorithm>
#include <bit>
#include <charconv>

namespace tables {

QString formatFixed(double v)
{
    return QString::number(v, 'f', 6);
}

// [blanks] [+|-] (digits [. digits] | . digits) [(e|E) [+|-] digits]
double parseGeneralRealPrefix(std::string_view text)
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
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::general);
    if (ec == std::errc::invalid_argument)
        return 0.0;
    // Out of range: from_chars leaves v alone; the text names a huge or tiny number.
    if (ec == std::errc::result_out_of_range)
        return 0.0;
    (void)end;
    return v;
}

double parseGeneralRealPrefix(const QString& text)
{
    const QByteArray latin = text.toLatin1();
    return parseGeneralRealPrefix(std::string_view(latin.constData(), std::size_t(latin.size())));
}

std::vector<std::uint32_t> decodeTbl16(const Bytes& b)
{
    const std::vector<std::uint16_t> values = model::readTbl16(b);
    return std::vector<std::uint32_t>(values.begin(), values.end());
}

std::optional<DoubleTable> decodeTblDbl(const Bytes& b)
{
    const std::size_t n = model::tbldbEditCount(b);
    if (b.empty() || b.size() != 16 * n + 4)
        return std::nullopt;
    DoubleTable t;
    for (const model::DoublePoint& p : model::readTbldb(b, n)) {
        t.xs.push_back(p.x);
        t.ys.push_back(p.y);
    }
    return t;
}

Bytes encodeTblDbl(const std::vector<double>& xs, const std::vector<double>& ys)
{
    std::vector<model::DoublePoint> points(std::min(xs.size(), ys.size()));
    for (std::size_t k = 0; k < points.size(); ++k)
        points[k] = {xs[k], ys[k]};
    return model::composeTbldb(points);
}

std::optional<GridTable> decodeTbl3d(const Bytes& b, QString* why)
{
    auto fail = [&](const QString& text) -> std::optional<GridTable> {
        if (why)
            *why = text;
        return std::nullopt;
    };
    const auto shape = model::tbl3dShape(b);
    if (!shape)
        return fail(QStringLiteral("The record is only %1 bytes long; a grid table needs at least 8.")
                            .arg(b.size()));
    // The window counts in int: a count with the top bit set reads as negative.
    const auto a = std::bit_cast<std::int32_t>(shape->groups);
    const auto bb = std::bit_cast<std::int32_t>(shape->values);
    if (a <= 0 || bb <= 0)
        return fail(QStringLiteral("The record's table size %1 x %2 is not valid.").arg(a).arg(bb));
    if (!model::tbl3dValuesFit(b)) {
        const std::uint64_t cells = std::uint64_t(a) * std::uint64_t(bb);
        return fail(QStringLiteral(
                "The record's table size %1 x %2 needs %3 bytes, but the record holds only %4.")
                            .arg(a)
                            .arg(bb)
                            .arg(QString::number(8.0 + 8.0 * double(cells), 'f', 0))
                            .arg(b.size()));
    }
    GridTable t;
    t.groups = a;
    t.perGroup = bb;
    t.values.reserve(std::size_t(a) * std::size_t(bb));
    for (std::uint32_t g = 0; g < shape->groups; ++g)
        for (std::uint32_t k = 0; k < shape->values; ++k)
            t.values.push_back(*model::tbl3dValue(b, g, k));
    return t;
}

} // namespace tables
