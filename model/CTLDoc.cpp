// The document: load and save, the record list read, the edit API, undo and redo.
#include "model/CTLDoc.h"

#include "model/Definitions.h"
#include "model/FieldType.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <utility>

namespace model {

std::string fileNameOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

base::fileio::Error CTLDoc::load(const std::string& path)
{
    std::vector<std::uint8_t> bytes;
    base::fileio::FileIdentity identity;
    if (base::fileio::Error e = base::fileio::readFile(path, bytes, &identity))
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
        slots_ = {};
        stepOrdinal_ = {};
        entryCount_ = 0;
        recordCount_ = 0;
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
        return {ENOMEM, base::fileio::describe(ENOMEM, path)};
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
}

base::fileio::Error CTLDoc::save(const std::string& path)
{
    if (!hasData_)
        return {};
    ComposeImage();
    base::fileio::FileIdentity written;
    if (base::fileio::Error e = base::fileio::writeFileAtomic(path, image_, &written))
        return e;
    diskIdentity_ = written;
    fileName_ = fileNameOf(path); // the root's name
    fullPath_ = path;
    const bool wasModified = isModified();
    savedState_ = stateTop();
    forcedModified_ = false;
    notify([](DocListener& l) { l.saved(); });
    if (wasModified)
        notify([](DocListener& l) { l.modifiedChanged(false); });
    return {};
}

std::string CTLDoc::wroteMessage() const
{
    return "Wrote " + std::to_string(image_.size()) + " bytes to " + fileName_;
}

std::span<const std::uint8_t> CTLDoc::recordBytes(std::size_t ordinal) const
{
    const Slot& r = slots_[ordinal];
    if (r.block != 0)
        return blocks_[r.block - 1];
    const std::size_t at = ordinal < moved_.size() ? moved_[ordinal] : r.fileOffset;
    const std::span<const std::uint8_t> img(image_);
    if (at > img.size() || img.size() - at < r.length)
        return {};
    return img.subspan(at, r.length);
}

std::vector<std::uint8_t>& CTLDoc::ownBytes(std::size_t ordinal)
{
    if (slots_[ordinal].block == 0) {
        const std::span<const std::uint8_t> bytes = recordBytes(ordinal);
        blocks_.emplace_back(bytes.begin(), bytes.end());
        slots_[ordinal].block = std::uint32_t(blocks_.size());
    }
    return blocks_[slots_[ordinal].block - 1];
}

bool CTLDoc::outsideRecord(int i) const
{
    if (!isField(i))
        return false;
    const Slot& rec = slots_[slotOf(std::size_t(i))];
    const RecordEntry f = fieldEntry(rec, std::size_t(i) - rec.index - 1);
    if (f.type == FieldType::Text)
        return f.fieldOffset >= rec.length;
    return std::uint64_t(f.fieldOffset) + f.length > rec.length;
}

std::span<const std::uint8_t> CTLDoc::data(int i) const
{
    if (i < 1 || !validIndex(i))
        return {};
    const std::size_t o = slotOf(std::size_t(i));
    const Slot& rec = slots_[o];
    if (rec.index == std::uint32_t(i))
        return recordBytes(o);
    if (outsideRecord(i))
        return {};
    const RecordEntry f = fieldEntry(rec, std::size_t(i) - rec.index - 1);
    const std::span<const std::uint8_t> bytes = recordBytes(o);
    if (f.type == FieldType::Text)
        return bytes.subspan(f.fieldOffset);
    return bytes.subspan(f.fieldOffset, f.length);
}

std::string CTLDoc::itemText(int i) const
{
    if (!validIndex(i))
        return {};
    const RecordEntry e = entry(i);
    if (i == 0)
        return e.name;
    if (e.parent == 0)
        return recordItemText(e.id, e.name, e.type, data(i));
    if (outsideRecord(i))
        return e.name + std::string(kOutsideRecordSuffix);
    return valueText(e.name, e.type, data(i));
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
    const std::size_t o = std::size_t(ordinalOf(recordIndex));
    Change c;
    c.kind = ChangeKind::Bytes;
    c.origin = origin;
    c.entry = keyOf(entryIndex);
    c.record = slots_[o].key;
    c.index = entryIndex;
    c.recordIndex = recordIndex;
    c.offset = offset;
    c.recordId = slots_[o].id;
    std::vector<std::uint8_t>& own = ownBytes(o);
    const auto first = own.begin() + std::ptrdiff_t(offset);
    c.oldBytes.assign(first, first + std::ptrdiff_t(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), first);
    c.newBytes = std::move(bytes);
    return c;
}

Change CTLDoc::applyRecordData(int recordIndex, std::vector<std::uint8_t> bytes, ChangeOrigin origin)
{
    const std::size_t o = std::size_t(ordinalOf(recordIndex));
    Change c;
    c.kind = ChangeKind::RecordData;
    c.origin = origin;
    c.entry = c.record = slots_[o].key;
    c.index = c.recordIndex = recordIndex;
    c.recordId = slots_[o].id;
    std::vector<std::uint8_t>& own = ownBytes(o);
    c.oldBytes = std::move(own);
    own = std::move(bytes);
    slots_[o].length = std::uint32_t(own.size());
    c.newBytes = own;
    return c;
}

Change CTLDoc::applyInsert(int ordinal, std::uint32_t id, std::vector<std::uint8_t> data, EntryKey key,
        std::vector<EntryKey> fieldKeys, ChangeOrigin origin)
{
    const int at = recordAt(ordinal);
    Change pending;
    pending.kind = ChangeKind::Insert;
    pending.origin = origin;
    pending.index = pending.recordIndex = at;
    pending.recordId = id;
    pending.recordOrdinal = ordinal;
    notify([&pending](DocListener& l) { l.aboutToChange(pending); });

    std::vector<KeptKeys> keys = keysByRecord();
    KeptKeys kept{key, 0, 0};
    // Keys a removal gave back; they follow one another, as the list gives them.
    bool consecutive = !fieldKeys.empty();
    for (std::size_t j = 1; j < fieldKeys.size(); ++j)
        consecutive = consecutive && fieldKeys[j] == fieldKeys[0] + j;
    if (consecutive)
        kept = {key, fieldKeys[0], fieldKeys.size()};
    const std::size_t n = std::min<std::size_t>(std::size_t(ordinal), slots_.size());
    keys.insert(keys.begin() + std::ptrdiff_t(n), kept);
    Slot s;
    s.id = id;
    s.length = std::uint32_t(data.size());
    blocks_.push_back(data);
    s.block = std::uint32_t(blocks_.size());
    slots_.insert(slots_.begin() + std::ptrdiff_t(n), s);
    // The places of moved records go by ordinal: the new one (in its own
    // block) takes one too.
    if (!moved_.empty())
        moved_.insert(moved_.begin() + std::ptrdiff_t(n), 0);
    rebuildKeeping(keys);

    Change c = std::move(pending);
    const Slot& rec = slots_[n];
    c.entry = c.record = rec.key;
    c.newBytes = std::move(data);
    c.entries = 1 + int(fieldsOf(rec));
    for (std::size_t j = 0; j < fieldsOf(rec); ++j)
        c.fieldKeys.push_back(rec.firstFieldKey + j);
    return c;
}

Change CTLDoc::applyRemove(int recordIndex, ChangeOrigin origin)
{
    const std::size_t o = std::size_t(ordinalOf(recordIndex));
    Change c;
    c.kind = ChangeKind::Remove;
    c.origin = origin;
    c.entry = c.record = slots_[o].key;
    c.index = c.recordIndex = recordIndex;
    c.recordId = slots_[o].id;
    c.recordOrdinal = int(o);
    notify([&c](DocListener& l) { l.aboutToChange(c); });

    const std::span<const std::uint8_t> old = recordBytes(o);
    c.oldBytes.assign(old.begin(), old.end());
    const Slot& rec = slots_[o];
    for (std::size_t j = 0; j < fieldsOf(rec); ++j)
        c.fieldKeys.push_back(rec.firstFieldKey + j);
    c.entries = 1 + int(fieldsOf(rec));

    std::vector<KeptKeys> keys = keysByRecord();
    keys.erase(keys.begin() + c.recordOrdinal);
    slots_.erase(slots_.begin() + std::ptrdiff_t(o));
    if (o < moved_.size()) // kept by ordinal, as the records are
        moved_.erase(moved_.begin() + std::ptrdiff_t(o));
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
    const RecordEntry e = entry(i);
    const int r = e.parent == 0 ? i : e.parent;
    const std::size_t inRecord = (e.parent != 0 ? e.fieldOffset : 0) + offset;
    const bool was = isModified();
    Change c = applyBytes(
            i, r, inRecord, std::vector<std::uint8_t>(bytes.begin(), bytes.end()), ChangeOrigin::Edit);
    return commitEdit(std::move(c), std::move(label), "Edit " + e.name, was);
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
    return commitEdit(std::move(c), std::move(label), "Edit " + entry(i).name, was);
}

std::optional<Change> CTLDoc::insertRecord(
        int before, std::uint32_t id, std::vector<std::uint8_t> data, std::string label)
{
    const bool atEnd = before == int(entryCount_);
    if (!hasData_ || (!atEnd && !isRecord(before)))
        return std::nullopt;
    const bool was = isModified();
    const int ordinal = atEnd ? recordCount_ : ordinalOf(before);
    Change c = applyInsert(ordinal, id, std::move(data), ++nextKey_, {}, ChangeOrigin::Edit);
    std::string fallback = "Add Record " + hexId(id) + " " + entry(c.index).name;
    return commitEdit(std::move(c), std::move(label), std::move(fallback), was);
}

std::optional<Change> CTLDoc::removeRecord(int i, std::string label)
{
    if (!isRecord(i))
        return std::nullopt;
    const bool was = isModified();
    const RecordEntry e = entry(i);
    std::string fallback = "Remove Record " + hexId(e.id) + " " + e.name;
    Change c = applyRemove(i, ChangeOrigin::Edit);
    return commitEdit(std::move(c), std::move(label), std::move(fallback), was);
}

Change CTLDoc::commitEdit(Change c, std::string label, std::string fallback, bool wasModified)
{
    c.label = label.empty() ? std::move(fallback) : std::move(label);
    c.serial = ++nextSerial_;
    statePath_.push_back(c.serial);
    publish(c, wasModified);
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
    return replay(c, false);
}

bool CTLDoc::redo(const Change& c)
{
    return replay(c, true);
}

bool CTLDoc::replay(const Change& c, bool forward)
{
    const int r = indexOf(c.record);
    const bool was = isModified();
    const ChangeOrigin origin = forward ? ChangeOrigin::Redo : ChangeOrigin::Undo;
    // Undo writes the old bytes back, redo the new ones.
    const std::vector<std::uint8_t>& bytes = forward ? c.newBytes : c.oldBytes;
    // An insert undone or a removal redone takes the record out; a removal
    // undone or an insert redone puts it back.
    const bool takeOut = forward ? c.kind == ChangeKind::Remove : c.kind == ChangeKind::Insert;
    Change done;
    switch (c.kind) {
    case ChangeKind::Bytes:
        if (!isRecord(r) || c.offset > entry(r).length || entry(r).length - c.offset < bytes.size())
            return false;
        done = applyBytes(entryAgain(*this, c, r), r, c.offset, bytes, origin);
        break;
    case ChangeKind::RecordData:
        if (!isRecord(r))
            return false;
        done = applyRecordData(r, bytes, origin);
        break;
    case ChangeKind::Insert:
    case ChangeKind::Remove:
        if (takeOut ? !isRecord(r) : (r >= 0 || c.recordOrdinal < 0 || c.recordOrdinal > recordCount_))
            return false;
        done = takeOut ? applyRemove(r, origin)
                       : applyInsert(c.recordOrdinal, c.recordId, bytes, c.record, c.fieldKeys, origin);
        break;
    }
    done.label = c.label;
    forcedModified_ = false; // from here on the history tells
    if (forward) {
        statePath_.push_back(c.serial);
        done.serial = c.serial;
    } else {
        if (!statePath_.empty() && statePath_.back() == c.serial)
            statePath_.pop_back();
        done.serial = stateTop();
    }
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

} // namespace model
