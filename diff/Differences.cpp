#include "diff/Differences.h"

#include "base/Bytes.h"

#include <algorithm>

namespace diff {

namespace {

namespace bytes = base::bytes;

using Kind = Difference::Kind;

// Reads at offsets the caller has checked.
std::int32_t i32(ByteView d, std::size_t at)
{
    return bytes::i32(d, at).value();
}

bool sameBytes(ByteView a, ByteView b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

class Comparer {
public:
    Comparer(const RecordList& oldList, const RecordList& newList, const Layouts& layouts)
            : old_(oldList), new_(newList), layouts_(layouts)
    {}

    std::vector<Difference> run()
    {
        const Matching m = matchRecords(old_, new_);
        for (std::size_t i = 0; i < old_.size(); ++i) {
            if (m.newOf[i] == kNone)
                push({.kind = Kind::OnlyInOld, .oldRecord = i});
            else
                compareRecord(i, m.newOf[i]);
        }
        for (std::size_t j = 0; j < new_.size(); ++j)
            if (m.oldOf[j] == kNone)
                push({.kind = Kind::OnlyInNew, .newRecord = j});
        if (m.reordered)
            push({.kind = Kind::Order});
        if (!sameBytes(old_.trailer(), new_.trailer()))
            byteRanges(Kind::TrailerBytes, old_.trailer(), new_.trailer(), nullptr);
        return std::move(out_);
    }

private:
    void push(Difference d) { out_.push_back(std::move(d)); }

    void compareRecord(std::size_t i, std::size_t j)
    {
        const ByteView a = old_[i].data, b = new_[j].data;
        if (sameBytes(a, b))
            return;
        push({.kind = Kind::Record, .oldRecord = i, .newRecord = j});
        RecordLayout layout = layouts_.layoutOf(old_[i].id);
        if (layout.table != TableKind::None && isTableForm(layout.table, a) && isTableForm(layout.table, b)) {
            compareTable(layout.table, a, b);
            return;
        }
        std::vector<bool> covered(std::max(a.size(), b.size()), false);
        for (FieldLayout& f : layout.fields)
            compareField(std::move(f), a, b, covered);
        byteRanges(Kind::Bytes, a, b, &covered);
    }

    static bool fits(const FieldLayout& f, ByteView d)
    {
        if (f.text)
            return f.offset <= d.size();
        return f.width >= 1 && f.width <= 8 && f.offset <= d.size() && d.size() - f.offset >= f.width;
    }

    void compareField(FieldLayout f, ByteView a, ByteView b, std::vector<bool>& covered)
    {
        if (!fits(f, a) || !fits(f, b))
            return;
        const std::size_t width =
                f.text ? std::max(textLength(a, f.offset), textLength(b, f.offset)) + 1 : f.width;
        const std::size_t end = std::min<std::size_t>(f.offset + width, covered.size());
        bool changed = false;
        for (std::size_t i = f.offset; i < end; ++i)
            changed = changed || i >= a.size() || i >= b.size() || a[i] != b[i];
        if (!changed)
            return;
        std::fill(covered.begin() + std::ptrdiff_t(f.offset), covered.begin() + std::ptrdiff_t(end), true);
        Difference d{.kind = Kind::Field};
        d.field = std::move(f);
        push(std::move(d));
    }

    void item(TableKind table, std::size_t row, std::size_t column, bool inOld, bool inNew, std::size_t oldAt,
            std::size_t newAt)
    {
        push({.kind = Kind::TableItem,
                .table = table,
                .row = row,
                .column = column,
                .inOld = inOld,
                .inNew = inNew,
                .oldAt = oldAt,
                .newAt = newAt});
    }

    void size(TableKind table, TableSize a, TableSize b)
    {
        if (a.rows != b.rows || a.columns != b.columns)
            push({.kind = Kind::TableSize, .table = table, .oldSize = a, .newSize = b});
    }

    void compareTable(TableKind table, ByteView a, ByteView b)
    {
        switch (table) {
        case TableKind::Int16List:
        case TableKind::PointTable:
            compareList(table, a, b);
            break;
        case TableKind::Grid:
            compareGrid(a, b);
            break;
        case TableKind::None:
            break;
        }
    }

    void compareList(TableKind table, ByteView a, ByteView b)
    {
        const bool points = table == TableKind::PointTable;
        const std::size_t na = points ? std::size_t(i32(a, 0)) : a.size() / 2;
        const std::size_t nb = points ? std::size_t(i32(b, 0)) : b.size() / 2;
        size(table, {na, 1}, {nb, 1});
        const std::size_t start = points ? 4 : 0, step = points ? 16 : 2;
        for (std::size_t i = 0; i < std::max(na, nb); ++i) {
            const bool pa = i < na, pb = i < nb;
            const std::size_t at = start + step * i;
            if (pa && pb && sameBytes(a.subspan(at, step), b.subspan(at, step)))
                continue;
            item(table, i, 0, pa, pb, at, at);
        }
    }

    void compareGrid(ByteView a, ByteView b)
    {
        const std::size_t ra = std::size_t(i32(a, 0)), ca = std::size_t(i32(a, 4));
        const std::size_t rb = std::size_t(i32(b, 0)), cb = std::size_t(i32(b, 4));
        size(TableKind::Grid, {ra, ca}, {rb, cb});
        for (std::size_t r = 0; r < std::max(ra, rb); ++r)
            for (std::size_t c = 0; c < std::max(ca, cb); ++c) {
                const bool pa = r < ra && c < ca, pb = r < rb && c < cb;
                if (!pa && !pb)
                    continue;
                const std::size_t ia = 8 + 8 * (r * ca + c), ib = 8 + 8 * (r * cb + c);
                if (pa && pb && sameBytes(a.subspan(ia, 8), b.subspan(ib, 8)))
                    continue;
                item(TableKind::Grid, r, c, pa, pb, ia, ib);
            }
    }

    // Changed bytes as ranges; `covered` marks bytes already shown as fields.
    // A range never spans the end of the shorter side.
    void byteRanges(Kind kind, ByteView a, ByteView b, const std::vector<bool>* covered)
    {
        const std::size_t len = std::max(a.size(), b.size()), common = std::min(a.size(), b.size());
        auto differs = [&](std::size_t i) {
            if (covered && i < covered->size() && (*covered)[i])
                return false;
            return i >= common || a[i] != b[i];
        };
        for (std::size_t i = 0; i < len;) {
            if (!differs(i)) {
                ++i;
                continue;
            }
            std::size_t j = i;
            while (j < len && differs(j) && (i < common) == (j < common))
                ++j;
            push({.kind = kind, .from = i, .to = j});
            i = j;
        }
    }

    const RecordList& old_;
    const RecordList& new_;
    const Layouts& layouts_;
    std::vector<Difference> out_;
};

} // namespace

std::size_t textLength(ByteView data, std::size_t offset)
{
    if (offset > data.size())
        return 0;
    const auto rest = data.subspan(offset);
    return std::size_t(std::find(rest.begin(), rest.end(), std::uint8_t(0)) - rest.begin());
}

bool isTableForm(TableKind kind, ByteView d)
{
    switch (kind) {
    case TableKind::Int16List:
        return d.size() % 2 == 0;
    case TableKind::PointTable:
        if (d.size() < 4 || i32(d, 0) < 0)
            return false;
        return d.size() == 4 + 16 * std::uint64_t(i32(d, 0));
    case TableKind::Grid:
        if (d.size() < 8 || i32(d, 0) < 0 || i32(d, 4) < 0)
            return false;
        return d.size() == 8 + 8 * std::uint64_t(i32(d, 0)) * std::uint64_t(i32(d, 4));
    case TableKind::None:
        break;
    }
    return false;
}

std::vector<Difference> compareRecords(
        const RecordList& oldList, const RecordList& newList, const Layouts& layouts)
{
    return Comparer(oldList, newList, layouts).run();
}

} // namespace diff
