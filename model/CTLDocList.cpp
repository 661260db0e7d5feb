// The record list built from the file image, and the image composed from the list.
#include "model/CTLDoc.h"

#include "base/Bytes.h"
#include "model/Definitions.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace model {

struct CTLDoc::Kind {
    struct Field {
        SharedText name, help;
        FieldType type = FieldType::Raw;
        std::uint32_t length = 0;
        std::uint32_t offset = 0;
    };
    SharedText name, help;
    FieldType type = FieldType::Raw;
    std::vector<Field> fields;
};

struct CTLDoc::ParsedDefinitions {
    explicit ParsedDefinitions(std::shared_ptr<const Ini> i) : ini(std::move(i)) {}

    // Equal texts (the default help text above all) are kept once while a
    // list is built; the key views the shared copy's own characters.
    SharedText intern(std::string text)
    {
        if (auto it = texts.find(text); it != texts.end())
            return it->second;
        SharedText shared(std::move(text));
        texts.emplace(std::string_view(shared.str()), shared);
        return shared;
    }
    // The texts stay shared by the definitions and the list; the table that
    // found equal ones is not needed until ids not met yet come (an insert).
    void listBuilt() { std::unordered_map<std::string_view, SharedText>().swap(texts); }

    // Each id's definitions are looked up once, however often files repeat
    // it. The kinds stay where they are (the records point at them).
    const Kind& of(std::uint32_t id)
    {
        auto [it, fresh] = byId.try_emplace(id);
        Kind& def = it->second;
        if (!fresh)
            return def;
        RecordDefinition rd = ReadRecordDefinition(*ini, id);
        def.name = intern(std::move(rd.name));
        def.help = intern(std::move(rd.help));
        def.type = lookupType(rd.typeKeyword).type;
        for (ResolvedField& rf : ReadRecordFields(*ini, id, def.type)) {
            Kind::Field f;
            f.type = rf.type;
            f.length = rf.size;
            f.offset = rf.definition.offset;
            f.name = intern(std::move(rf.definition.name));
            f.help = intern(std::move(rf.definition.help));
            def.fields.push_back(std::move(f));
        }
        return def;
    }

    std::shared_ptr<const Ini> ini;
    std::unordered_map<std::uint32_t, Kind> byId;
    std::unordered_map<std::string_view, SharedText> texts;
};

void CTLDoc::ParseImage()
{
    definitions_ =
            std::make_shared<ParsedDefinitions>(std::make_shared<const Ini>(Ini::load(definitionsPath_)));
    parseWith(*definitions_);
    listDefinitions_ = definitions_;
}

void CTLDoc::ParseImage(const Ini& defs)
{
    // The caller keeps its Ini: it is read during this call only. The kinds
    // found stay with the list.
    auto once = std::make_shared<ParsedDefinitions>(
            std::shared_ptr<const Ini>(std::shared_ptr<const Ini>(), &defs));
    definitions_.reset();
    parseWith(*once);
    once->ini.reset();
    listDefinitions_ = std::move(once);
}

void CTLDoc::ReparseImage()
{
    if (!definitions_)
        return ParseImage();
    parseWith(*definitions_);
    listDefinitions_ = definitions_;
}

namespace {
// Whether a whole record (header and data) starts at pos. Every record is
// read to the end of the image, zero ids and lengths included.
bool wholeRecordAt(std::span<const std::uint8_t> img, std::size_t pos)
{
    return img.size() - pos >= 8 && *base::bytes::u32(img, pos + 4) <= img.size() - pos - 8;
}

std::size_t nextRecord(std::span<const std::uint8_t> img, std::size_t pos)
{
    return pos + 8 + std::size_t(*base::bytes::u32(img, pos + 4));
}

// Offsets are kept in 32 bits; a record beyond them keeps a block of its own.
bool viewable(std::size_t dataPos, std::size_t length)
{
    return dataPos <= UINT32_MAX && length <= UINT32_MAX - dataPos;
}
} // namespace

void CTLDoc::parseWith(ParsedDefinitions& defs)
{
    startList(defs);
    const std::span<const std::uint8_t> img(image_);
    std::size_t pos = 0;
    while (pos < img.size() && wholeRecordAt(img, pos)) {
        appendRecord(defs, pos);
        pos = nextRecord(img, pos);
    }
    // What cannot form a whole record is kept as it is and written back.
    trailing_.assign(img.begin() + std::ptrdiff_t(pos), img.end());
    hasData_ = true;
    finishList();
    defs.listBuilt();
}

void CTLDoc::startList(ParsedDefinitions&)
{
    trailing_.clear();
    blocks_.clear();
    moved_.clear();
    recordCount_ = 0;
    entryCount_ = 0;
    stepOrdinal_.clear();
    // A first walk sizes the slots, so they are allocated once and exactly.
    const std::span<const std::uint8_t> img(image_);
    std::size_t records = 0;
    for (std::size_t pos = 0; pos < img.size() && wholeRecordAt(img, pos); pos = nextRecord(img, pos))
        ++records;
    std::vector<Slot> fresh;
    fresh.reserve(records);
    slots_.swap(fresh);
    std::vector<Slot>().swap(fresh);
    rootLength_ = std::uint32_t(image_.size());
    entryCount_ = 1; // the root
}

void CTLDoc::appendRecord(ParsedDefinitions& defs, std::size_t headerPos)
{
    const std::span<const std::uint8_t> img(image_);
    Slot rec;
    rec.id = *base::bytes::u32(img, headerPos);
    rec.length = *base::bytes::u32(img, headerPos + 4);
    const std::size_t dataPos = headerPos + 8;
    rec.fileOffset = std::uint32_t(dataPos);
    rec.kind = &defs.of(rec.id);
    if (!viewable(dataPos, rec.length)) {
        blocks_.emplace_back(
                img.begin() + std::ptrdiff_t(dataPos), img.begin() + std::ptrdiff_t(dataPos + rec.length));
        rec.block = std::uint32_t(blocks_.size());
    }
    rec.index = std::uint32_t(entryCount_);
    entryCount_ += 1 + rec.kind->fields.size();
    slots_.push_back(rec);
    ++recordCount_;
}

void CTLDoc::finishList()
{
    // Fields are not kept: a record costs one slot however many fields it has.
    static_assert(sizeof(void*) != 8 || sizeof(Slot) <= 48);
    rootKey_ = ++nextKey_;
    for (Slot& s : slots_) {
        s.key = ++nextKey_;
        s.firstFieldKey = nextKey_ + 1;
        nextKey_ += fieldsOf(s);
    }
    // The step table: index k * kOrdinalStep lies in the last record that
    // starts at or before it.
    stepOrdinal_.assign((entryCount_ + kOrdinalStep - 1) / kOrdinalStep, 0);
    std::size_t step = 1; // step 0 holds the root: it keeps ordinal 0
    for (std::size_t o = 0; o < slots_.size(); ++o) {
        const std::size_t end = slots_[o].index + 1 + fieldsOf(slots_[o]);
        for (; step < stepOrdinal_.size() && step * kOrdinalStep < end; ++step)
            stepOrdinal_[step] = std::uint32_t(o);
    }
}

std::size_t CTLDoc::fieldsOf(const Slot& s) const
{
    return s.kind ? s.kind->fields.size() : 0;
}

std::size_t CTLDoc::slotOf(std::size_t i) const
{
    // Entries are mostly read in list order (a record, then its fields, then
    // the next record): the record found last, or the one after it.
    const std::size_t last = lastSlot_.at.load(std::memory_order_relaxed);
    for (std::size_t o = last; o < last + 2 && o < slots_.size(); ++o)
        if (slots_[o].index <= i && (o + 1 == slots_.size() || i < slots_[o + 1].index)) {
            lastSlot_.at.store(o, std::memory_order_relaxed);
            return o;
        }
    const std::size_t step = i / kOrdinalStep;
    const std::size_t lo = stepOrdinal_[step];
    const std::size_t hi = step + 1 < stepOrdinal_.size() ? stepOrdinal_[step + 1] + 1 : slots_.size();
    // The last record starting at or before i.
    const auto it = std::upper_bound(slots_.begin() + std::ptrdiff_t(lo), slots_.begin() + std::ptrdiff_t(hi),
            i, [](std::size_t v, const Slot& s) { return v < s.index; });
    const std::size_t found = std::size_t(it - slots_.begin()) - 1;
    lastSlot_.at.store(found, std::memory_order_relaxed);
    return found;
}

const CTLDoc::Slot* CTLDoc::recordSlot(int i) const
{
    if (i < 1 || !validIndex(i))
        return nullptr;
    const Slot& s = slots_[slotOf(std::size_t(i))];
    return s.index == std::uint32_t(i) ? &s : nullptr;
}

RecordEntry CTLDoc::fieldEntry(const Slot& s, std::size_t j) const
{
    const Kind::Field& fd = s.kind->fields[j];
    RecordEntry f;
    f.id = s.id;
    f.type = fd.type;
    f.length = fd.length;
    f.fileOffset = std::uint32_t(std::size_t(s.fileOffset) + fd.offset);
    f.parent = std::int32_t(s.index);
    f.fieldOffset = fd.offset;
    f.key = s.firstFieldKey + j;
    f.name = fd.name;
    f.help = fd.help;
    return f;
}

RecordEntry CTLDoc::entry(int i) const
{
    if (!validIndex(i))
        throw std::out_of_range("CTLDoc::entry");
    if (i == 0) {
        RecordEntry root;
        root.length = rootLength_;
        root.key = rootKey_;
        root.name = fileName_;
        return root;
    }
    const Slot& s = slots_[slotOf(std::size_t(i))];
    if (s.index != std::uint32_t(i))
        return fieldEntry(s, std::size_t(i) - s.index - 1);
    RecordEntry rec;
    rec.id = s.id;
    rec.length = s.length;
    rec.type = s.kind->type;
    rec.fileOffset = s.fileOffset;
    rec.fieldOffset = s.block;
    rec.key = s.key;
    rec.name = s.kind->name;
    rec.help = s.kind->help;
    return rec;
}

bool CTLDoc::isRecord(int i) const
{
    return recordSlot(i) != nullptr;
}

bool CTLDoc::isField(int i) const
{
    return i >= 1 && validIndex(i) && recordSlot(i) == nullptr;
}

int CTLDoc::parentOf(int i) const
{
    if (!validIndex(i))
        return -1;
    if (i == 0)
        return 0;
    const Slot& s = slots_[slotOf(std::size_t(i))];
    return s.index == std::uint32_t(i) ? 0 : int(s.index);
}

std::uint32_t CTLDoc::idOf(int i) const
{
    return i >= 1 && validIndex(i) ? slots_[slotOf(std::size_t(i))].id : 0;
}

int CTLDoc::fieldCount(int recordIndex) const
{
    const Slot* s = recordSlot(recordIndex);
    return s ? int(fieldsOf(*s)) : 0;
}

int CTLDoc::recordAt(int ordinal) const
{
    if (ordinal >= 0 && std::size_t(ordinal) < slots_.size())
        return int(slots_[std::size_t(ordinal)].index);
    return int(entryCount_);
}

std::uint32_t CTLDoc::idOfRecordAt(int ordinal) const
{
    return ordinal >= 0 && std::size_t(ordinal) < slots_.size() ? slots_[std::size_t(ordinal)].id : 0;
}

int CTLDoc::ordinalOf(int i) const
{
    return i >= 1 && validIndex(i) ? int(slotOf(std::size_t(i))) : -1;
}

EntryKey CTLDoc::keyOf(int i) const
{
    if (!validIndex(i))
        return 0;
    if (i == 0)
        return rootKey_;
    const Slot& s = slots_[slotOf(std::size_t(i))];
    return s.index == std::uint32_t(i) ? s.key : s.firstFieldKey + (std::size_t(i) - s.index - 1);
}

int CTLDoc::indexOf(EntryKey k) const
{
    if (k == 0 || entryCount_ == 0)
        return -1;
    if (k == rootKey_)
        return 0;
    for (const Slot& s : slots_) {
        if (s.key == k)
            return int(s.index);
        if (k >= s.firstFieldKey && k - s.firstFieldKey < fieldsOf(s))
            return int(s.index + 1 + (k - s.firstFieldKey));
    }
    return -1;
}

std::vector<CTLDoc::KeptKeys> CTLDoc::keysByRecord() const
{
    std::vector<KeptKeys> out;
    out.reserve(slots_.size());
    for (const Slot& s : slots_)
        out.push_back({s.key, s.firstFieldKey, fieldsOf(s)});
    return out;
}

void CTLDoc::rebuildKeeping(const std::vector<KeptKeys>& keys)
{
    const EntryKey rootKey = rootKey_;
    ComposeImage();
    // The definitions the list was built from, not the file again: an insert
    // or removal in a large file must not re-read and re-parse it.
    ReparseImage();
    if (entryCount_ > 0 && rootKey != 0)
        rootKey_ = rootKey;
    for (std::size_t n = 0; n < slots_.size() && n < keys.size(); ++n) {
        Slot& s = slots_[n];
        s.key = keys[n].record;
        // Only when the definitions had to be read again (the list was built
        // from a caller's Ini) can a record gain fields; its fields then keep
        // the fresh keys of the parse.
        if (keys[n].fields >= fieldsOf(s) && keys[n].fields > 0)
            s.firstFieldKey = keys[n].firstField;
    }
}

void CTLDoc::ComposeImage()
{
    std::size_t total = trailing_.size();
    for (const Slot& s : slots_)
        total += 8 + std::size_t(s.length);
    std::vector<std::uint8_t> img(total);
    std::vector<std::vector<std::uint8_t>> blocks;
    // Filled only once a record lands elsewhere than its file offset says.
    std::vector<std::uint32_t> moved;
    std::size_t pos = 0;
    for (std::size_t o = 0; o < slots_.size(); ++o) {
        Slot& r = slots_[o];
        const std::span<const std::uint8_t> bytes = recordBytes(o);
        base::bytes::writeLE<std::uint32_t>(img, pos, r.id);
        base::bytes::writeLE<std::uint32_t>(img, pos + 4, r.length);
        std::copy(bytes.begin(), bytes.end(), img.begin() + std::ptrdiff_t(pos + 8));
        // From here on the record views the new image.
        r.block = 0;
        if (!viewable(pos + 8, r.length)) {
            blocks.emplace_back(bytes.begin(), bytes.end());
            r.block = std::uint32_t(blocks.size());
        } else if (!moved.empty()) {
            moved[o] = std::uint32_t(pos + 8);
        } else if (pos + 8 != r.fileOffset) {
            // Every record before this one stands where its offset says.
            moved.resize(slots_.size());
            for (std::size_t j = 0; j < o; ++j)
                moved[j] = slots_[j].fileOffset;
            moved[o] = std::uint32_t(pos + 8);
        }
        pos += 8 + std::size_t(r.length);
    }
    std::copy(trailing_.begin(), trailing_.end(), img.begin() + std::ptrdiff_t(pos));
    image_ = std::move(img);
    blocks_ = std::move(blocks);
    moved_ = std::move(moved);
}

} // namespace model
