#include "model/CTLDoc.h"

#include "model/Bytes.h"
#include "model/Definitions.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace model {

std::string fileNameOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

fileio::Error CTLDoc::load(const std::string& path)
{
    std::vector<std::uint8_t> bytes;
    fileio::FileIdentity identity;
    if (fileio::Error e = fileio::readFile(path, bytes, &identity))
        return e;
    try {
        loadImage(std::move(bytes), path);
    } catch (const std::bad_alloc&) {
        // The file fitted, its record list did not: the document is closed
        // rather than left half built.
        image_ = {};
        blocks_ = {};
        moved_ = {};
        trailing_ = {};
        list_ = {};
        recordCount_ = 0;
        ++listRevision_;
        hasData_ = false;
        const bool wasModified = isModified();
        statePath_.clear();
        savedState_ = 0;
        forcedModified_ = false;
        fileName_.clear();
        fullPath_.clear();
        diskIdentity_ = {};
        // Nothing left to undo into.
        notify([](DocListener& l) { l.loaded(); });
        if (wasModified)
            notify([](DocListener& l) { l.modifiedChanged(false); });
        notifyRebuild();
        return {ENOMEM, fileio::describe(ENOMEM, path)};
    }
    diskIdentity_ = identity;
    return {};
}

void CTLDoc::loadImage(std::vector<std::uint8_t> image, std::string fullPath)
{
    const bool wasModified = isModified();
    image_ = std::move(image);
    fullPath_ = std::move(fullPath);
    diskIdentity_ = {};
    fileName_ = fileNameOf(fullPath_);
    ParseImage();
    statePath_.clear();
    savedState_ = 0;
    forcedModified_ = false;
    notify([](DocListener& l) { l.loaded(); });
    if (wasModified)
        notify([](DocListener& l) { l.modifiedChanged(false); });
    notifyRebuild();
}

fileio::Error CTLDoc::save(const std::string& path)
{
    if (!hasData_)
        return {};
    ComposeImage();
    fileio::FileIdentity written;
    if (fileio::Error e = fileio::writeFileAtomic(path, image_, &written))
        return e;
    diskIdentity_ = written;
    fileName_ = fileNameOf(path);
    if (!list_.empty())
        list_[0].name = fileName_;
    const bool newPath = path != fullPath_;
    fullPath_ = path;
    const bool wasModified = isModified();
    savedState_ = stateTop();
    forcedModified_ = false;
    notify([](DocListener& l) { l.saved(); });
    if (wasModified)
        notify([](DocListener& l) { l.modifiedChanged(false); });
    if (newPath)
        notifyRebuild();
    return {};
}

std::string CTLDoc::wroteMessage() const
{
    return "Wrote " + std::to_string(image_.size()) + " bytes to " + fileName_;
}

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
        for (ResolvedField& rf : ReadRecordFields(*ini, id, def.type)) {
            Field f;
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
    return img.size() - pos >= 8 && *bytes::u32(img, pos + 4) <= img.size() - pos - 8;
}

std::size_t nextRecord(std::span<const std::uint8_t> img, std::size_t pos)
{
    return pos + 8 + std::size_t(*bytes::u32(img, pos + 4));
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
    ++listRevision_;
    trailing_.clear();
    blocks_.clear();
    moved_.clear();
    recordCount_ = 0;
    // A first walk sizes the list, so it is allocated once and exactly.
    const std::span<const std::uint8_t> img(image_);
    std::size_t entries = 1;
    for (std::size_t pos = 0; pos < img.size() && wholeRecordAt(img, pos); pos = nextRecord(img, pos))
        entries += 1 + defs.of(*bytes::u32(img, pos)).fields.size();
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
    const std::uint32_t id = *bytes::u32(img, headerPos);
    const std::uint32_t len = *bytes::u32(img, headerPos + 4);
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
        bytes::writeLE<std::uint32_t>(img, pos, r.id);
        bytes::writeLE<std::uint32_t>(img, pos + 4, r.length);
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

std::span<const std::uint8_t> CTLDoc::recordBytes(const RecordEntry& r) const
{
    if (r.fieldOffset != 0)
        return blocks_[r.fieldOffset - 1];
    std::size_t at = r.fileOffset;
    if (!moved_.empty()) {
        const auto i = std::size_t(&r - list_.data());
        if (i < moved_.size())
            at = moved_[i];
    }
    const std::span<const std::uint8_t> img(image_);
    if (at > img.size() || img.size() - at < r.length)
        return {};
    return img.subspan(at, r.length);
}

std::vector<std::uint8_t>& CTLDoc::ownBytes(int recordIndex)
{
    RecordEntry& r = list_[std::size_t(recordIndex)];
    if (r.fieldOffset == 0) {
        const std::span<const std::uint8_t> bytes = recordBytes(r);
        blocks_.emplace_back(bytes.begin(), bytes.end());
        r.fieldOffset = std::uint32_t(blocks_.size());
    }
    return blocks_[r.fieldOffset - 1];
}

bool CTLDoc::isRecord(int i) const
{
    return i >= 1 && validIndex(i) && list_[std::size_t(i)].parent == 0;
}

bool CTLDoc::isField(int i) const
{
    return validIndex(i) && list_[std::size_t(i)].parent != 0;
}

bool CTLDoc::outsideRecord(int i) const
{
    if (!isField(i))
        return false;
    const RecordEntry& f = list_[std::size_t(i)];
    if (!isRecord(f.parent))
        return true;
    const std::uint64_t recLen = list_[std::size_t(f.parent)].length;
    if (f.type == FieldType::Text)
        return f.fieldOffset >= recLen;
    return std::uint64_t(f.fieldOffset) + f.length > recLen;
}

std::span<const std::uint8_t> CTLDoc::data(int i) const
{
    if (isRecord(i))
        return recordBytes(list_[std::size_t(i)]);
    if (!isField(i) || outsideRecord(i))
        return {};
    const RecordEntry& f = list_[std::size_t(i)];
    const std::span<const std::uint8_t> rec = recordBytes(list_[std::size_t(f.parent)]);
    if (f.type == FieldType::Text)
        return rec.subspan(f.fieldOffset);
    return rec.subspan(f.fieldOffset, f.length);
}

std::string CTLDoc::itemText(int i) const
{
    if (!validIndex(i))
        return {};
    const RecordEntry& e = list_[std::size_t(i)];
    if (i == 0)
        return e.name;
    if (isRecord(i))
        return recordItemText(e.id, e.name, e.type, data(i));
    if (outsideRecord(i))
        return e.name + std::string(kOutsideRecordSuffix);
    return valueText(e.name, e.type, data(i));
}

int CTLDoc::indexOf(EntryKey k) const
{
    if (k == 0)
        return -1;
    for (std::size_t i = 0; i < list_.size(); ++i)
        if (list_[i].key == k)
            return int(i);
    return -1;
}

int CTLDoc::recordOrdinal(int recordIndex) const
{
    int n = 0;
    for (int i = 1; i < recordIndex && std::size_t(i) < list_.size(); ++i)
        if (list_[std::size_t(i)].parent == 0)
            ++n;
    return n;
}

int CTLDoc::indexOfOrdinal(int ordinal) const
{
    int n = 0;
    for (std::size_t i = 1; i < list_.size(); ++i)
        if (list_[i].parent == 0 && n++ == ordinal)
            return int(i);
    return int(list_.size());
}

// ---------------------------------------------------------------------------
// Listeners

void CTLDoc::addListener(DocListener* listener)
{
    if (listener && std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
        listeners_.push_back(listener);
}

void CTLDoc::removeListener(DocListener* listener)
{
    std::erase(listeners_, listener);
}

template <typename F>
void CTLDoc::notify(F&& f)
{
    // A copy: a listener may go away (a window closing) while it is told.
    const std::vector<DocListener*> now = listeners_;
    for (DocListener* l : now)
        if (std::find(listeners_.begin(), listeners_.end(), l) != listeners_.end())
            f(*l);
}

void CTLDoc::publish(const Change& c, bool wasModified)
{
    notify([&c](DocListener& l) { l.changed(c); });
    const bool now = isModified();
    if (now != wasModified)
        notify([now](DocListener& l) { l.modifiedChanged(now); });
}

void CTLDoc::setModified(bool m)
{
    const bool was = isModified();
    if (m) {
        forcedModified_ = true;
    } else {
        forcedModified_ = false;
        savedState_ = stateTop();
    }
    if (isModified() != was)
        notify([m](DocListener& l) { l.modifiedChanged(m); });
}

// ---------------------------------------------------------------------------
// Primitives: they change the list and publish; the callers keep the history

Change CTLDoc::applyBytes(int entryIndex, int recordIndex, std::size_t offset,
        std::vector<std::uint8_t> bytes, ChangeOrigin origin)
{
    RecordEntry& rec = list_[std::size_t(recordIndex)];
    Change c;
    c.kind = ChangeKind::Bytes;
    c.origin = origin;
    c.entry = list_[std::size_t(entryIndex)].key;
    c.record = rec.key;
    c.index = entryIndex;
    c.recordIndex = recordIndex;
    c.offset = offset;
    c.recordId = rec.id;
    std::vector<std::uint8_t>& own = ownBytes(recordIndex);
    const auto first = own.begin() + std::ptrdiff_t(offset);
    c.oldBytes.assign(first, first + std::ptrdiff_t(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), first);
    c.newBytes = std::move(bytes);
    return c;
}

Change CTLDoc::applyRecordData(int recordIndex, std::vector<std::uint8_t> bytes, ChangeOrigin origin)
{
    RecordEntry& rec = list_[std::size_t(recordIndex)];
    Change c;
    c.kind = ChangeKind::RecordData;
    c.origin = origin;
    c.entry = c.record = rec.key;
    c.index = c.recordIndex = recordIndex;
    c.recordId = rec.id;
    std::vector<std::uint8_t>& own = ownBytes(recordIndex);
    c.oldBytes = std::move(own);
    own = std::move(bytes);
    rec.length = std::uint32_t(own.size());
    c.newBytes = own;
    return c;
}

Change CTLDoc::applyInsert(int ordinal, std::uint32_t id, std::vector<std::uint8_t> data, EntryKey key,
        std::vector<EntryKey> fieldKeys, ChangeOrigin origin)
{
    const int at = indexOfOrdinal(ordinal);
    Change pending;
    pending.kind = ChangeKind::Insert;
    pending.origin = origin;
    pending.index = pending.recordIndex = at;
    pending.recordId = id;
    pending.recordOrdinal = ordinal;
    notify([&pending](DocListener& l) { l.aboutToChange(pending); });

    std::vector<KeptKeys> keys = keysByRecord();
    keys.insert(keys.begin() + std::min<std::ptrdiff_t>(ordinal, std::ptrdiff_t(keys.size())),
            KeptKeys{key, std::move(fieldKeys)});
    RecordEntry e;
    e.id = id;
    e.length = std::uint32_t(data.size());
    blocks_.push_back(data);
    e.fieldOffset = std::uint32_t(blocks_.size());
    list_.insert(list_.begin() + at, std::move(e));
    rebuildKeeping(keys);

    Change c = std::move(pending);
    const RecordEntry& rec = list_[std::size_t(at)];
    c.entry = c.record = rec.key;
    c.newBytes = std::move(data);
    c.entries = 1;
    for (std::size_t j = std::size_t(at) + 1; j < list_.size() && list_[j].parent == at; ++j) {
        c.fieldKeys.push_back(list_[j].key);
        ++c.entries;
    }
    return c;
}

Change CTLDoc::applyRemove(int recordIndex, ChangeOrigin origin)
{
    const RecordEntry& rec = list_[std::size_t(recordIndex)];
    Change c;
    c.kind = ChangeKind::Remove;
    c.origin = origin;
    c.entry = c.record = rec.key;
    c.index = c.recordIndex = recordIndex;
    c.recordId = rec.id;
    c.recordOrdinal = recordOrdinal(recordIndex);
    notify([&c](DocListener& l) { l.aboutToChange(c); });

    const std::span<const std::uint8_t> old = recordBytes(rec);
    c.oldBytes.assign(old.begin(), old.end());
    std::size_t end = std::size_t(recordIndex) + 1;
    while (end < list_.size() && list_[end].parent == recordIndex)
        c.fieldKeys.push_back(list_[end++].key);
    c.entries = int(end - std::size_t(recordIndex));

    std::vector<KeptKeys> keys = keysByRecord();
    keys.erase(keys.begin() + c.recordOrdinal);
    list_.erase(list_.begin() + recordIndex, list_.begin() + std::ptrdiff_t(end));
    rebuildKeeping(keys);
    return c;
}

// ---------------------------------------------------------------------------
// The edit API

std::optional<Change> CTLDoc::setBytes(
        int i, std::size_t offset, std::span<const std::uint8_t> bytes, std::string label)
{
    if (i < 1 || !validIndex(i) || bytes.empty())
        return std::nullopt;
    const std::span<const std::uint8_t> target = data(i);
    if (offset > target.size() || target.size() - offset < bytes.size())
        return std::nullopt;
    if (std::equal(bytes.begin(), bytes.end(), target.begin() + std::ptrdiff_t(offset)))
        return std::nullopt;
    const int r = isRecord(i) ? i : list_[std::size_t(i)].parent;
    const std::size_t inRecord = (isField(i) ? list_[std::size_t(i)].fieldOffset : 0) + offset;
    const bool was = isModified();
    Change c = applyBytes(
            i, r, inRecord, std::vector<std::uint8_t>(bytes.begin(), bytes.end()), ChangeOrigin::Edit);
    c.label = label.empty() ? "Edit " + list_[std::size_t(i)].name : std::move(label);
    c.serial = ++nextSerial_;
    statePath_.push_back(c.serial);
    publish(c, was);
    return c;
}

std::optional<Change> CTLDoc::setRecordData(int i, std::vector<std::uint8_t> bytes, std::string label)
{
    if (!isRecord(i))
        return std::nullopt;
    const std::span<const std::uint8_t> now = data(i);
    if (std::equal(now.begin(), now.end(), bytes.begin(), bytes.end()))
        return std::nullopt;
    const bool was = isModified();
    Change c = applyRecordData(i, std::move(bytes), ChangeOrigin::Edit);
    c.label = label.empty() ? "Edit " + list_[std::size_t(i)].name : std::move(label);
    c.serial = ++nextSerial_;
    statePath_.push_back(c.serial);
    publish(c, was);
    return c;
}

std::optional<Change> CTLDoc::insertRecord(
        int before, std::uint32_t id, std::vector<std::uint8_t> data, std::string label)
{
    if (!hasData_ || (before != int(list_.size()) && !isRecord(before)))
        return std::nullopt;
    const bool was = isModified();
    Change c = applyInsert(recordOrdinal(before), id, std::move(data), ++nextKey_, {}, ChangeOrigin::Edit);
    c.label = label.empty() ? "Add Record " + hexId(id) + " " + list_[std::size_t(c.index)].name
                            : std::move(label);
    c.serial = ++nextSerial_;
    statePath_.push_back(c.serial);
    publish(c, was);
    return c;
}

std::optional<Change> CTLDoc::removeRecord(int i, std::string label)
{
    if (!isRecord(i))
        return std::nullopt;
    const bool was = isModified();
    const std::string name = list_[std::size_t(i)].name;
    Change c = applyRemove(i, ChangeOrigin::Edit);
    c.label = label.empty() ? "Remove Record " + hexId(c.recordId) + " " + name : std::move(label);
    c.serial = ++nextSerial_;
    statePath_.push_back(c.serial);
    publish(c, was);
    return c;
}

// ---------------------------------------------------------------------------
// Undo and redo

namespace {
// The entry of a change found again through its record: a field lies the same
// distance after its record as when the change was made.
int entryAgain(const CTLDoc& doc, const Change& c, int recordIndex)
{
    const int i = recordIndex + (c.index - c.recordIndex);
    return doc.keyOf(i) == c.entry ? i : recordIndex;
}
} // namespace

bool CTLDoc::undo(const Change& c)
{
    const int r = indexOf(c.record);
    const bool was = isModified();
    Change done;
    switch (c.kind) {
    case ChangeKind::Bytes: {
        if (!isRecord(r) || c.offset > list_[std::size_t(r)].length
                || list_[std::size_t(r)].length - c.offset < c.oldBytes.size())
            return false;
        done = applyBytes(entryAgain(*this, c, r), r, c.offset, c.oldBytes, ChangeOrigin::Undo);
        break;
    }
    case ChangeKind::RecordData:
        if (!isRecord(r))
            return false;
        done = applyRecordData(r, c.oldBytes, ChangeOrigin::Undo);
        break;
    case ChangeKind::Insert:
        if (!isRecord(r))
            return false;
        done = applyRemove(r, ChangeOrigin::Undo);
        break;
    case ChangeKind::Remove:
        if (r >= 0 || c.recordOrdinal < 0 || c.recordOrdinal > recordCount_)
            return false;
        done = applyInsert(
                c.recordOrdinal, c.recordId, c.oldBytes, c.record, c.fieldKeys, ChangeOrigin::Undo);
        break;
    }
    done.label = c.label;
    forcedModified_ = false; // from here on the history tells
    if (!statePath_.empty() && statePath_.back() == c.serial)
        statePath_.pop_back();
    done.serial = stateTop();
    publish(done, was);
    return true;
}

bool CTLDoc::redo(const Change& c)
{
    const int r = indexOf(c.record);
    const bool was = isModified();
    Change done;
    switch (c.kind) {
    case ChangeKind::Bytes:
        if (!isRecord(r) || c.offset > list_[std::size_t(r)].length
                || list_[std::size_t(r)].length - c.offset < c.newBytes.size())
            return false;
        done = applyBytes(entryAgain(*this, c, r), r, c.offset, c.newBytes, ChangeOrigin::Redo);
        break;
    case ChangeKind::RecordData:
        if (!isRecord(r))
            return false;
        done = applyRecordData(r, c.newBytes, ChangeOrigin::Redo);
        break;
    case ChangeKind::Insert:
        if (r >= 0 || c.recordOrdinal < 0 || c.recordOrdinal > recordCount_)
            return false;
        done = applyInsert(
                c.recordOrdinal, c.recordId, c.newBytes, c.record, c.fieldKeys, ChangeOrigin::Redo);
        break;
    case ChangeKind::Remove:
        if (!isRecord(r))
            return false;
        done = applyRemove(r, ChangeOrigin::Redo);
        break;
    }
    done.label = c.label;
    forcedModified_ = false;
    statePath_.push_back(c.serial);
    done.serial = c.serial;
    publish(done, was);
    return true;
}

std::string CTLDoc::trailingText() const
{
    if (trailing_.empty())
        return {};
    std::string text = "(";
    text += std::to_string(trailing_.size());
    text += " trailing bytes)";
    return text;
}

void CTLDoc::notifyRebuild()
{
    if (rebuild_)
        rebuild_();
}

} // namespace model
