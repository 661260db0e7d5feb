#include "diff/Merge.h"

#include "base/Bytes.h"

#include <algorithm>

namespace diff {

namespace {

using CKind = MergeConflict::Kind;

bool same(ByteView a, ByteView b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

bool sameLists(const RecordList& a, const RecordList& b)
{
    if (a.size() != b.size() || !same(a.trailer(), b.trailer()))
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].id != b[i].id || !same(a[i].data, b[i].data))
            return false;
    return true;
}

void copyList(const RecordList& from, MergeResult& r)
{
    for (const Record& rec : from.records())
        r.records.push_back({rec.id, rec.data});
    r.trailer.assign(from.trailer().begin(), from.trailer().end());
}

// A unit of a record that changes as one: a field or a table item.
struct Unit {
    std::size_t from = 0, to = 0;
    MergeConflict item;
};

class Merger {
public:
    Merger(const RecordList& b, const RecordList& o, const RecordList& t, const Layouts& layouts,
            const MergeOptions& options)
            : b_(b), o_(o), t_(t), layouts_(layouts), opt_(options)
    {}

    MergeResult run()
    {
        const Matching bo = matchRecords(b_, o_), bt = matchRecords(b_, t_);
        // Where THEIRS's records of its own go: after the OURS record the
        // THEIRS record before them is (slot j + 1), or first (slot 0).
        std::vector<std::vector<std::size_t>> after(o_.size() + 1);
        std::size_t anchor = 0;
        for (std::size_t t = 0; t < t_.size(); ++t) {
            const std::size_t b = bt.oldOf[t];
            if (b != kNone && bo.newOf[b] != kNone) {
                anchor = bo.newOf[b] + 1;
                continue;
            }
            if (b == kNone) {
                // Both added it alike: it is OURS's already.
                const std::size_t o = o_.find(t_[t].id, t_[t].occurrence);
                if (o == kNone || bo.oldOf[o] != kNone || !same(o_[o].data, t_[t].data))
                    after[anchor].push_back(t);
                continue;
            }
            // Deleted by OURS: a loss only when THEIRS changed it.
            if (same(b_[b].data, t_[t].data))
                continue;
            conflict({.kind = CKind::DeletedByOurs, .base = b, .theirs = t});
            if (opt_.theirsOnConflict)
                after[anchor].push_back(t);
        }
        auto placeTheirs = [&](std::size_t slot) {
            for (std::size_t t : after[slot])
                out_.records.push_back({t_[t].id, t_[t].data});
        };
        placeTheirs(0);
        for (std::size_t o = 0; o < o_.size(); ++o) {
            const std::size_t b = bo.oldOf[o];
            if (b == kNone) {
                out_.records.push_back({o_[o].id, o_[o].data});
            } else if (bt.newOf[b] != kNone) {
                mergeRecord(b, o, bt.newOf[b]);
            } else if (!same(b_[b].data, o_[o].data)) {
                conflict({.kind = CKind::DeletedByTheirs, .base = b, .ours = o});
                if (!opt_.theirsOnConflict)
                    out_.records.push_back({o_[o].id, o_[o].data});
            }
            placeTheirs(o + 1);
        }
        mergeTrailer();
        return std::move(out_);
    }

private:
    void conflict(MergeConflict c) { out_.conflicts.push_back(std::move(c)); }

    void mergeRecord(std::size_t b, std::size_t o, std::size_t t)
    {
        const ByteView db = b_[b].data, dO = o_[o].data, dt = t_[t].data;
        const std::uint32_t id = o_[o].id;
        if (same(db, dO)) {
            out_.records.push_back({id, dt});
        } else if (same(db, dt) || same(dO, dt)) {
            out_.records.push_back({id, dO});
        } else if (db.size() == dO.size() && db.size() == dt.size()) {
            mergeBytes(b, o, t);
        } else {
            conflict({.kind = CKind::Record, .base = b, .ours = o, .theirs = t});
            out_.records.push_back({id, opt_.theirsOnConflict ? dt : dO});
        }
    }

    std::vector<Unit> unitsOf(std::uint32_t id, ByteView b, ByteView o, ByteView t) const
    {
        std::vector<Unit> units;
        RecordLayout layout = layouts_.layoutOf(id);
        const TableKind table = layout.table;
        if (table != TableKind::None && isTableForm(table, b) && isTableForm(table, o)
                && isTableForm(table, t)) {
            // Equal sizes and the table's form: the same shape in all three,
            // unless a count changed, which the head unit holds.
            const std::size_t head = table == TableKind::Grid ? 8 : table == TableKind::PointTable ? 4 : 0;
            const std::size_t step = table == TableKind::Grid ? 8 : table == TableKind::PointTable ? 16 : 2;
            if (head)
                units.push_back({0, head, {.table = table}});
            const bool sameShape = same(b.first(head), o.first(head)) && same(b.first(head), t.first(head));
            const std::size_t columns =
                    table == TableKind::Grid ? std::size_t(base::bytes::i32(b, 4).value_or(1)) : 1;
            for (std::size_t at = head, k = 0; sameShape && at + step <= b.size(); at += step, ++k)
                units.push_back({at, at + step,
                        {.isCell = true,
                                .table = table,
                                .row = columns ? k / columns : k,
                                .column = columns ? k % columns : 0}});
            return units;
        }
        for (FieldLayout& f : layout.fields) {
            std::size_t width = f.width;
            if (f.text) {
                if (f.offset > b.size())
                    continue;
                width = std::max({textLength(b, f.offset), textLength(o, f.offset), textLength(t, f.offset)})
                        + 1;
                width = std::min<std::size_t>(width, b.size() - f.offset);
            } else if (f.width < 1 || f.width > 8 || f.offset > b.size() || b.size() - f.offset < f.width) {
                continue;
            }
            if (width == 0)
                continue;
            Unit u{f.offset, f.offset + width, {.isField = true}};
            u.item.field = std::move(f);
            units.push_back(std::move(u));
        }
        return units;
    }

    // One record's three sides while its bytes are merged, and which unit
    // (or raw, or quiet) each byte belongs to.
    struct ByteMerge {
        static constexpr int raw = -1, quiet = -2;
        std::size_t bi, oi, ti;
        ByteView b, o, t;
        std::vector<std::uint8_t>& merged;
        std::vector<int> unitOf;
        bool oursQuiet = false;
    };

    // Equal sizes on all three sides: item by item.
    void mergeBytes(std::size_t bi, std::size_t oi, std::size_t ti)
    {
        const ByteView b = b_[bi].data, o = o_[oi].data, t = t_[ti].data;
        ByteMerge m{.bi = bi,
                .oi = oi,
                .ti = ti,
                .b = b,
                .o = o,
                .t = t,
                .merged = out_.storage.emplace_back(o.begin(), o.end()),
                .unitOf = std::vector<int>(b.size(), ByteMerge::raw)};
        markQuiet(m);
        std::vector<Unit> units = unitsOf(o_[oi].id, b, o, t);
        for (std::size_t u = 0; u < units.size(); ++u)
            for (std::size_t p = units[u].from; p < units[u].to; ++p)
                if (m.unitOf[p] == ByteMerge::raw)
                    m.unitOf[p] = int(u);
        for (std::size_t u = 0; u < units.size(); ++u)
            settle(m, units[u].from, units[u].to, int(u), std::move(units[u].item));
        settleRest(m);
        out_.records.push_back({o_[oi].id, m.merged});
    }

    // The quiet bytes of a record are one piece: all OURS's when OURS
    // changed any, else all THEIRS's (never a mix of two stamps).
    void markQuiet(ByteMerge& m) const
    {
        for (std::size_t p = 0; opt_.quiet && p < m.b.size(); ++p)
            if (opt_.quiet(o_[m.oi], p)) {
                m.unitOf[p] = ByteMerge::quiet;
                m.oursQuiet = m.oursQuiet || m.o[p] != m.b[p];
            }
    }

    // One item: the bytes of [from, to) that belong to unit `which`.
    void settle(ByteMerge& m, std::size_t from, std::size_t to, int which, MergeConflict item)
    {
        bool byOurs = false, byTheirs = false, alike = true;
        for (std::size_t p = from; p < to; ++p) {
            if (m.unitOf[p] != which)
                continue;
            byOurs = byOurs || m.o[p] != m.b[p];
            byTheirs = byTheirs || m.t[p] != m.b[p];
            alike = alike && m.o[p] == m.t[p];
        }
        if (!byTheirs || alike)
            return;
        if (byOurs) {
            item.kind = CKind::Item;
            item.base = m.bi, item.ours = m.oi, item.theirs = m.ti, item.from = from, item.to = to;
            conflict(std::move(item));
            if (!opt_.theirsOnConflict)
                return;
        }
        for (std::size_t p = from; p < to; ++p)
            if (m.unitOf[p] == which)
                m.merged[p] = m.t[p];
    }

    // The bytes no unit holds: the quiet piece, and each run of changed raw
    // bytes as one item.
    void settleRest(ByteMerge& m)
    {
        const std::size_t n = m.b.size();
        const ByteView b = m.b, o = m.o, t = m.t;
        for (std::size_t p = 0; p < n;) {
            if (m.unitOf[p] == ByteMerge::quiet) {
                if (!m.oursQuiet)
                    m.merged[p] = t[p];
                ++p;
                continue;
            }
            if (m.unitOf[p] != ByteMerge::raw || (o[p] == b[p] && t[p] == b[p])) {
                ++p;
                continue;
            }
            std::size_t q = p;
            while (q < n && m.unitOf[q] == ByteMerge::raw && (o[q] != b[q] || t[q] != b[q]))
                ++q;
            settle(m, p, q, ByteMerge::raw, {});
            p = q;
        }
    }

    void mergeTrailer()
    {
        const ByteView b = b_.trailer(), o = o_.trailer(), t = t_.trailer();
        if (same(b, o) || same(o, t)) {
            out_.trailer.assign(t.begin(), t.end());
            return;
        }
        out_.trailer.assign(o.begin(), o.end());
        if (same(b, t))
            return;
        conflict({.kind = CKind::Trailer, .from = 0, .to = std::max(o.size(), t.size())});
        if (opt_.theirsOnConflict)
            out_.trailer.assign(t.begin(), t.end());
    }

    const RecordList& b_;
    const RecordList& o_;
    const RecordList& t_;
    const Layouts& layouts_;
    const MergeOptions& opt_;
    MergeResult out_;
};

} // namespace

MergeResult mergeRecords(const RecordList& base, const RecordList& ours, const RecordList& theirs,
        const Layouts& layouts, const MergeOptions& options)
{
    MergeResult r;
    if (sameLists(base, ours)) {
        copyList(theirs, r);
        return r;
    }
    if (sameLists(base, theirs) || sameLists(ours, theirs)) {
        copyList(ours, r);
        return r;
    }
    return Merger(base, ours, theirs, layouts, options).run();
}

} // namespace diff
