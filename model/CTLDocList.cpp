// The record list built from the file image, and the image composed from the list.
#include "model/CTLDoc.h"

#include "base/Bytes.h"
#include "model/Definitions.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace model {

struct CTLDoc::ParsedDefinitions {
    struct Field {
        SharedText name, help;
        FieldType type = FieldType::Raw;
        std::uint32_t length = 0;
        std::uint32_t offset = 0;
    };
    struct Definition {
        SharedText name, help;
        FieldType type = FieldType::Raw;
        std::vector<Field> fields;
    };

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

    // Each id's definitions are looked up once, however often files repeat it.
    const Definition& of(std::uint32_t id)
    {
        auto [it, fresh] = byId.try_emplace(id);
        Definition& def = it->second;
        if (!fresh)
            return def;
        RecordDefinition rd = ReadRecordDefinition(*ini, id);
        def.name = intern(std::move(rd.name));
        def.help = intern(std::move(rd.help));
        def.type = lookupType(rd.typeKeyword).type;
        if (def.type == FieldType::Record)
            for (int n = 1; n <= kMaxFieldNumber; ++n) {
                auto fd = ReadFieldDefinition(*ini, id, n);
                if (!fd)
                    break;
                const TypeLookup tl = lookupType(fd->typeKeyword);
                Field f;
                // A field of type "record" has no extent of its own: raw, size 0.
                f.type = tl.type == FieldType::Record ? FieldType::Raw : tl.type;
                f.length = tl.type == FieldType::Record ? 0 : tl.size;
                f.offset = fd->offset;
                f.name = intern(std::move(fd->name));
                f.help = intern(std::move(fd->help));
                def.fields.push_back(std::move(f));
            }
        return def;
    }

    std::shared_ptr<const Ini> ini;
    std::unordered_map<std::uint32_t, Definition> byId;
    std::unordered_map<std::string_view, SharedText> texts;
};

void CTLDoc::ParseImage()
{
    definitions_ =
            std::make_shared<ParsedDefinitions>(std::make_shared<const Ini>(Ini::load(definitionsPath_)));
    parseWith(*definitions_);
}

void CTLDoc::ParseImage(const Ini& defs)
{
    // The caller keeps its Ini: it is used for this call only.
    ParsedDefinitions once(std::shared_ptr<const Ini>(std::shared_ptr<const Ini>(), &defs));
    definitions_.reset();
    parseWith(once);
}

void CTLDoc::ReparseImage()
{
    if (!definitions_)
        return ParseImage();
    parseWith(*definitions_);
}

// Records and fields hold no bytes of their own; this keeps the list at one
// small entry per item however large the file.
static_assert(sizeof(void*) != 8 || sizeof(RecordEntry) <= 48);

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
    assignFreshKeys();
    defs.listBuilt();
}

void CTLDoc::startList(ParsedDefinitions& defs)
{
    trailing_.clear();
    blocks_.clear();
    moved_.clear();
    recordCount_ = 0;
    // A first walk sizes the list, so it is allocated once and exactly.
    const std::span<const std::uint8_t> img(image_);
    std::size_t entries = 1;
    for (std::size_t pos = 0; pos < img.size() && wholeRecordAt(img, pos); pos = nextRecord(img, pos))
        entries += 1 + defs.of(*base::bytes::u32(img, pos)).fields.size();
    RecordList fresh;
    fresh.reserve(entries);
    list_.swap(fresh);
    RecordList().swap(fresh);

    RecordEntry root;
    root.length = std::uint32_t(image_.size());
    root.name = fileName_;
    list_.push_back(std::move(root));
}

void CTLDoc::appendRecord(ParsedDefinitions& defs, std::size_t headerPos)
{
    const std::span<const std::uint8_t> img(image_);
    const std::uint32_t id = *base::bytes::u32(img, headerPos);
    const std::uint32_t len = *base::bytes::u32(img, headerPos + 4);
    const std::size_t dataPos = headerPos + 8;
    const ParsedDefinitions::Definition& def = defs.of(id);

    RecordEntry rec;
    rec.id = id;
    rec.length = len;
    rec.type = def.type;
    rec.fileOffset = std::uint32_t(dataPos);
    rec.name = def.name;
    rec.help = def.help;
    if (!viewable(dataPos, len)) {
        blocks_.emplace_back(
                img.begin() + std::ptrdiff_t(dataPos), img.begin() + std::ptrdiff_t(dataPos + len));
        rec.fieldOffset = std::uint32_t(blocks_.size());
    }
    const std::int32_t recIndex = std::int32_t(list_.size());
    list_.push_back(std::move(rec));
    ++recordCount_;

    for (const ParsedDefinitions::Field& fd : def.fields) {
        RecordEntry f;
        f.id = id;
        f.type = fd.type;
        f.length = fd.length;
        f.fileOffset = std::uint32_t(dataPos + fd.offset);
        f.parent = recIndex;
        f.fieldOffset = fd.offset;
        f.name = fd.name;
        f.help = fd.help;
        list_.push_back(std::move(f));
    }
}

void CTLDoc::assignFreshKeys()
{
    for (RecordEntry& e : list_)
        e.key = ++nextKey_;
}

std::vector<CTLDoc::KeptKeys> CTLDoc::keysByRecord() const
{
    std::vector<KeptKeys> out;
    out.reserve(std::size_t(recordCount_) + 1);
    for (std::size_t i = 1; i < list_.size(); ++i) {
        if (list_[i].parent == 0)
            out.push_back({list_[i].key, {}});
        else if (!out.empty())
            out.back().fields.push_back(list_[i].key);
    }
    return out;
}

void CTLDoc::rebuildKeeping(const std::vector<KeptKeys>& keys)
{
    const EntryKey rootKey = list_.empty() ? 0 : list_[0].key;
    ComposeImage();
    // The definitions the list was built from, not the file again: an insert
    // or removal in a large file must not re-read and re-parse it.
    ReparseImage();
    if (!list_.empty() && rootKey != 0)
        list_[0].key = rootKey;
    std::size_t n = 0;
    std::size_t field = 0;
    for (std::size_t i = 1; i < list_.size(); ++i) {
        RecordEntry& e = list_[i];
        if (e.parent == 0) {
            if (n >= keys.size())
                break;
            field = 0;
            e.key = keys[n++].record;
        } else if (n > 0 && field < keys[n - 1].fields.size()) {
            // Only when the definitions had to be read again (the list was
            // built from a caller's Ini) can a record gain fields; a field
            // beyond the ones known before keeps its fresh key.
            e.key = keys[n - 1].fields[field++];
        }
    }
}

void CTLDoc::ComposeImage()
{
    std::size_t total = trailing_.size();
    for (std::size_t i = 1; i < list_.size(); ++i)
        if (list_[i].parent == 0)
            total += 8 + std::size_t(list_[i].length);
    std::vector<std::uint8_t> img(total);
    std::vector<std::vector<std::uint8_t>> blocks;
    // Filled only once a record lands elsewhere than its file offset says.
    std::vector<std::uint32_t> moved;
    std::size_t pos = 0;
    for (std::size_t i = 1; i < list_.size(); ++i) {
        RecordEntry& r = list_[i];
        if (r.parent != 0)
            continue;
        const std::span<const std::uint8_t> bytes = recordBytes(r);
        base::bytes::writeLE<std::uint32_t>(img, pos, r.id);
        base::bytes::writeLE<std::uint32_t>(img, pos + 4, r.length);
        std::copy(bytes.begin(), bytes.end(), img.begin() + std::ptrdiff_t(pos + 8));
        // From here on the record views the new image.
        r.fieldOffset = 0;
        if (!viewable(pos + 8, r.length)) {
            blocks.emplace_back(bytes.begin(), bytes.end());
            r.fieldOffset = std::uint32_t(blocks.size());
        } else if (!moved.empty()) {
            moved[i] = std::uint32_t(pos + 8);
        } else if (pos + 8 != r.fileOffset) {
            // Every record before this one stands where its offset says.
            moved.resize(list_.size());
            for (std::size_t j = 1; j < i; ++j)
                moved[j] = list_[j].fileOffset;
            moved[i] = std::uint32_t(pos + 8);
        }
        pos += 8 + std::size_t(r.length);
    }
    std::copy(trailing_.begin(), trailing_.end(), img.begin() + std::ptrdiff_t(pos));
    image_ = std::move(img);
    blocks_ = std::move(blocks);
    moved_ = std::move(moved);
}

} // namespace model
