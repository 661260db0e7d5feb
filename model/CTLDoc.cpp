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
        list_ = {};
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
    fileName_ = fileNameOf(path);
    if (!list_.empty())
        list_[0].name = fileName_;
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
    return commitEdit(std::move(c), std::move(label), "Edit " + list_[std::size_t(i)].name, was);
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
    return commitEdit(std::move(c), std::move(label), "Edit " + list_[std::size_t(i)].name, was);
}

std::optional<Change> CTLDoc::insertRecord(
        int before, std::uint32_t id, std::vector<std::uint8_t> data, std::string label)
{
    if (!hasData_ || (before != int(list_.size()) && !isRecord(before)))
        return std::nullopt;
    const bool was = isModified();
    Change c = applyInsert(recordOrdinal(before), id, std::move(data), ++nextKey_, {}, ChangeOrigin::Edit);
    std::string fallback = "Add Record " + hexId(id) + " " + list_[std::size_t(c.index)].name;
    return commitEdit(std::move(c), std::move(label), std::move(fallback), was);
}

std::optional<Change> CTLDoc::removeRecord(int i, std::string label)
{
    if (!isRecord(i))
        return std::nullopt;
    const bool was = isModified();
    std::string fallback =
            "Remove Record " + hexId(list_[std::size_t(i)].id) + " " + list_[std::size_t(i)].name;
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
        if (!isRecord(r) || c.offset > list_[std::size_t(r)].length
                || list_[std::size_t(r)].length - c.offset < bytes.size())
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
