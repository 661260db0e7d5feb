// The recovery record: its byte layout, its reader, its replay and the log
// of a document's edits it is written from.
#include "model/Recovery.h"

#include "base/FileIO.h"
#include "model/CTLDoc.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace model::recovery {

namespace {

constexpr char kMagic[8] = {'T', 'A', 'R', 'L', 'O', 'R', 'E', 'C'};
// Kind, ordinal, id, offset and three lengths: the least an edit takes.
constexpr std::size_t kEditMinimum = 1 + 4 + 4 + 8 + 4 + 4 + 4;

class Writer {
public:
    void raw(const void* p, std::size_t n)
    {
        const auto* b = static_cast<const std::uint8_t*>(p);
        out.insert(out.end(), b, b + n);
    }
    void u8(std::uint8_t v) { out.push_back(v); }
    void u32(std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            out.push_back(std::uint8_t(v >> (8 * i)));
    }
    void u64(std::uint64_t v)
    {
        for (int i = 0; i < 8; ++i)
            out.push_back(std::uint8_t(v >> (8 * i)));
    }
    void bytes(std::span<const std::uint8_t> b)
    {
        u32(std::uint32_t(b.size()));
        out.insert(out.end(), b.begin(), b.end());
    }
    void text(const std::string& s) { bytes({reinterpret_cast<const std::uint8_t*>(s.data()), s.size()}); }
    std::vector<std::uint8_t> out;
};

// Reads front to back; every read checks what is left, and the first
// failure sticks (later reads give zeros).
class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> b) : b_(b) {}
    bool ok() const { return ok_; }
    std::size_t left() const { return b_.size(); }
    std::span<const std::uint8_t> take(std::size_t n)
    {
        if (!ok_ || n > b_.size()) {
            ok_ = false;
            return {};
        }
        auto p = b_.first(n);
        b_ = b_.subspan(n);
        return p;
    }
    std::uint8_t u8()
    {
        auto p = take(1);
        return p.empty() ? 0 : p[0];
    }
    std::uint32_t u32()
    {
        auto p = take(4);
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < p.size(); ++i)
            v |= std::uint32_t(p[i]) << (8 * i);
        return v;
    }
    std::uint64_t u64()
    {
        auto p = take(8);
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < p.size(); ++i)
            v |= std::uint64_t(p[i]) << (8 * i);
        return v;
    }
    std::vector<std::uint8_t> bytes()
    {
        auto p = take(u32());
        return {p.begin(), p.end()};
    }
    std::string text()
    {
        auto p = take(u32());
        return {reinterpret_cast<const char*>(p.data()), p.size()};
    }

private:
    std::span<const std::uint8_t> b_;
    bool ok_ = true;
};

const char* kDamaged = "The recovery record is damaged or cut short.";

// List indexes of the records, in order.
std::vector<int> recordIndexes(const CTLDoc& doc)
{
    std::vector<int> out;
    out.reserve(std::size_t(std::max(0, doc.recordCount())));
    for (int i = 1; i <= doc.highestIndex(); ++i)
        if (doc.isRecord(i))
            out.push_back(i);
    return out;
}

bool sameBytes(std::span<const std::uint8_t> a, const std::vector<std::uint8_t>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

// Replays every edit on doc; stops at the first that does not apply and says
// which. doc is then left part-way: callers try a copy first.
std::string replay(CTLDoc& doc, const Record& record, bool strict)
{
    std::vector<int> records = recordIndexes(doc);
    std::size_t n = 0;
    for (const Edit& e : record.edits) {
        ++n;
        const std::string which = "Edit " + std::to_string(n) + " of the recovery record ";
        const bool existing = e.kind != ChangeKind::Insert;
        if (existing ? e.ordinal >= records.size() : e.ordinal > records.size())
            return which + "names a record the file does not have.";
        const int at = e.ordinal < records.size() ? records[e.ordinal] : int(doc.entryCount());
        if (existing && doc.entry(at).id != e.recordId)
            return which + "names a record the file does not have.";
        const auto now = existing ? doc.data(at) : std::span<const std::uint8_t>{};
        switch (e.kind) {
        case ChangeKind::Bytes:
            if (e.oldBytes.size() != e.newBytes.size() || e.newBytes.empty() || e.offset > now.size()
                    || now.size() - e.offset < e.newBytes.size())
                return which + "does not fit its record.";
            if (strict && !sameBytes(now.subspan(std::size_t(e.offset), e.oldBytes.size()), e.oldBytes))
                return which + "does not match the file.";
            (void)doc.setBytes(at, std::size_t(e.offset), e.newBytes, e.label);
            break;
        case ChangeKind::RecordData:
            if (strict && !sameBytes(now, e.oldBytes))
                return which + "does not match the file.";
            (void)doc.setRecordData(at, e.newBytes, e.label);
            break;
        case ChangeKind::Insert:
            if (!doc.insertRecord(at, e.recordId, e.newBytes, e.label))
                return which + "cannot add its record.";
            records = recordIndexes(doc);
            break;
        case ChangeKind::Remove:
            if (strict && !sameBytes(now, e.oldBytes))
                return which + "does not match the file.";
            if (!doc.removeRecord(at, e.label))
                return which + "cannot remove its record.";
            records = recordIndexes(doc);
            break;
        }
    }
    return {};
}

} // namespace

std::uint32_t crc32(std::span<const std::uint8_t> bytes)
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::uint8_t b : bytes)
        c = table[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

std::uint64_t hashBytes(std::span<const std::uint8_t> bytes)
{
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (std::uint8_t b : bytes) {
        h ^= b;
        h *= 0x100000001b3ull;
    }
    return h;
}

std::vector<std::uint8_t> encode(const Record& record)
{
    Writer w;
    w.raw(kMagic, sizeof kMagic);
    w.u32(kVersion);
    w.u64(std::uint64_t(record.writtenAt));
    w.text(record.base.path);
    w.u64(std::uint64_t(record.base.size));
    w.u64(std::uint64_t(record.base.mtimeNs));
    w.u64(record.base.hash);
    w.u32(std::uint32_t(record.edits.size()));
    for (const Edit& e : record.edits) {
        w.u8(std::uint8_t(e.kind));
        w.u32(e.ordinal);
        w.u32(e.recordId);
        w.u64(e.offset);
        w.text(e.label);
        w.bytes(e.oldBytes);
        w.bytes(e.newBytes);
    }
    w.u32(crc32(w.out));
    return std::move(w.out);
}

std::string decode(std::span<const std::uint8_t> bytes, Record& out)
{
    const std::size_t magicSeen = std::min(bytes.size(), sizeof kMagic);
    if (magicSeen == 0 || std::memcmp(bytes.data(), kMagic, magicSeen) != 0)
        return "The file is no recovery record of Tarlo.";
    if (bytes.size() < sizeof kMagic + 4 + 4)
        return kDamaged;
    Reader head(bytes.subspan(sizeof kMagic));
    const std::uint32_t version = head.u32();
    if (version > kVersion)
        return "The recovery record was written by a newer version of Tarlo (format "
                + std::to_string(version) + ").";
    if (version == 0)
        return kDamaged;
    const std::size_t body = bytes.size() - 4;
    Reader tail(bytes.subspan(body));
    if (tail.u32() != crc32(bytes.first(body)))
        return kDamaged;

    Reader r(bytes.subspan(sizeof kMagic + 4, body - sizeof kMagic - 4));
    Record rec;
    rec.writtenAt = std::int64_t(r.u64());
    rec.base.path = r.text();
    rec.base.size = std::int64_t(r.u64());
    rec.base.mtimeNs = std::int64_t(r.u64());
    rec.base.hash = r.u64();
    const std::uint32_t count = r.u32();
    if (!r.ok() || rec.base.path.empty() || rec.base.path.find('\0') != std::string::npos
            || count > r.left() / kEditMinimum)
        return kDamaged;
    rec.edits.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        Edit e;
        const std::uint8_t kind = r.u8();
        if (kind > std::uint8_t(ChangeKind::Remove))
            return kDamaged;
        e.kind = ChangeKind(kind);
        e.ordinal = r.u32();
        e.recordId = r.u32();
        e.offset = r.u64();
        e.label = r.text();
        e.oldBytes = r.bytes();
        e.newBytes = r.bytes();
        if (!r.ok())
            return kDamaged;
        const bool fits = e.kind == ChangeKind::Bytes
                ? !e.newBytes.empty() && e.oldBytes.size() == e.newBytes.size()
                : e.offset == 0;
        if (!fits || (e.kind == ChangeKind::Insert && !e.oldBytes.empty())
                || (e.kind == ChangeKind::Remove && !e.newBytes.empty()))
            return kDamaged;
        rec.edits.push_back(std::move(e));
    }
    if (!r.ok() || r.left() != 0)
        return kDamaged;
    out = std::move(rec);
    return {};
}

std::string apply(CTLDoc& doc, const Record& record, bool strict)
{
    if (!doc.hasData())
        return "There is no document to recover the edits into.";
    if (record.edits.empty())
        return {};
    {
        CTLDoc trial;
        trial.setDefinitionsPath(doc.definitionsPath());
        trial.loadImage(doc.image(), doc.fullPath());
        if (std::string why = replay(trial, record, strict); !why.empty())
            return why;
    }
    // The copy took every edit, so the document takes them too.
    return replay(doc, record, strict);
}

// ---------------------------------------------------------------------------
// The log

Log::Log(CTLDoc& doc) : doc_(doc)
{
    doc_.addListener(this);
    restart();
}

Log::~Log()
{
    doc_.removeListener(this);
}

Record Log::snapshot(std::int64_t writtenAt) const
{
    return Record{base(), writtenAt, edits_};
}

void Log::hashBase() const
{
    if (!hashPending_)
        return;
    hashPending_ = false;
    base_.hash = hashBytes(doc_.image());
}

void Log::restart()
{
    edits_.clear();
    indexesValid_ = false;
    recordIndexes_.clear();
    ++revision_;
    base_ = {};
    hashPending_ = false;
    if (!doc_.hasData() || doc_.fullPath().empty())
        return;
    base_.path = doc_.fullPath();
    // The image is the file's bytes right after a load or a save (the
    // document learns the file's identity only after telling its listeners).
    base_.size = std::int64_t(doc_.image().size());
    base_.mtimeNs = base::fileio::identify(doc_.fullPath()).mtimeNs;
    hashPending_ = true;
}

std::uint32_t Log::ordinalOf(int recordIndex)
{
    if (!indexesValid_) {
        recordIndexes_ = recordIndexes(doc_);
        indexesValid_ = true;
    }
    const auto it = std::lower_bound(recordIndexes_.begin(), recordIndexes_.end(), recordIndex);
    return std::uint32_t(it - recordIndexes_.begin());
}

void Log::changed(const Change& c)
{
    if (base_.path.empty())
        return;
    Edit e;
    e.kind = c.kind;
    e.recordId = c.recordId;
    e.label = c.label;
    e.oldBytes = c.oldBytes;
    e.newBytes = c.newBytes;
    if (c.kind == ChangeKind::Bytes || c.kind == ChangeKind::RecordData) {
        e.ordinal = ordinalOf(c.recordIndex);
        e.offset = c.kind == ChangeKind::Bytes ? c.offset : 0;
    } else {
        e.ordinal = std::uint32_t(std::max(0, c.recordOrdinal));
        indexesValid_ = false;
    }
    edits_.push_back(std::move(e));
    ++revision_;
}

} // namespace model::recovery
