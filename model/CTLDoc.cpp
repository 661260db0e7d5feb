#include "model/CTLDoc.h"

#include "model/Bytes.h"
#include "model/Definitions.h"

#include <algorithm>
#include <cerrno>
#include <new>
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
    if (fileio::Error e = fileio::readFile(path, bytes, &identity)) return e;
    try {
        loadImage(std::move(bytes), path);
    } catch (const std::bad_alloc&) {
        // The file fitted, its record list did not: the document is closed
        // rather than left half built.
        image_ = {};
        trailing_ = {};
        list_ = {};
        recordCount_ = 0;
        ++listRevision_;
        hasData_ = false;
        modified_ = false;
        fileName_.clear();
        fullPath_.clear();
        diskIdentity_ = {};
        notifyRebuild();
        return {ENOMEM, fileio::describe(ENOMEM, path)};
    }
    diskIdentity_ = identity;
    return {};
}

void CTLDoc::loadImage(std::vector<std::uint8_t> image, std::string fullPath)
{
    image_ = std::move(image);
    fullPath_ = std::move(fullPath);
    diskIdentity_ = {};
    fileName_ = fileNameOf(fullPath_);
    ParseImage();
    modified_ = false;
    notifyRebuild();
}

fileio::Error CTLDoc::save(const std::string& path)
{
    if (!hasData_)
        return {};
    ComposeImage();
    fileio::FileIdentity written;
    if (fileio::Error e = fileio::writeFileAtomic(path, image_, &written)) return e;
    diskIdentity_ = written;
    fileName_ = fileNameOf(path);
    if (!list_.empty())
        list_[0].name = fileName_;
    const bool newPath = path != fullPath_;
    fullPath_ = path;
    modified_ = false;
    if (newPath)
        notifyRebuild();
    return {};
}

std::string CTLDoc::wroteMessage() const
{
    return "Wrote " + std::to_string(image_.size()) + " bytes to " + fileName_;
}

void CTLDoc::ParseImage()
{
    ParseImage(Ini::load(definitionsPath_));
}

void CTLDoc::ParseImage(const Ini& defs)
{
    ++listRevision_;
    list_.clear();
    trailing_.clear();
    recordCount_ = 0;

    RecordEntry root;
    root.length = std::uint32_t(image_.size());
    root.name = fileName_;
    list_.push_back(std::move(root));

    struct Definition {
        std::string name, help;
        FieldType type = FieldType::Raw;
        std::vector<FieldDefinition> fields;
    };
    std::unordered_map<std::uint32_t, Definition> cache;

    const std::span<const std::uint8_t> img(image_);
    const std::size_t size = img.size();
    std::size_t pos = 0;
    // Every record is read to the end of the image, zero ids and lengths
    // included. What cannot form a whole record is kept as trailing bytes.
    while (pos < size) {
        if (size - pos < 8 || *bytes::u32(img, pos + 4) > size - pos - 8) {
            trailing_.assign(img.begin() + std::ptrdiff_t(pos), img.end());
            break;
        }
        const std::uint32_t id = *bytes::u32(img, pos);
        const std::uint32_t len = *bytes::u32(img, pos + 4);
        const std::size_t dataPos = pos + 8;

        // Files repeat ids; each id's definitions are looked up once per call.
        auto [it, fresh] = cache.try_emplace(id);
        Definition& def = it->second;
        if (fresh) {
            RecordDefinition rd = ReadRecordDefinition(defs, id);
            def.name = std::move(rd.name);
            def.help = std::move(rd.help);
            def.type = lookupType(rd.typeKeyword).type;
            if (def.type == FieldType::Record)
                for (int n = 1; n <= kMaxFieldNumber; ++n) {
                    auto fd = ReadFieldDefinition(defs, id, n);
                    if (!fd)
                        break;
                    def.fields.push_back(std::move(*fd));
                }
        }
        RecordEntry rec;
        rec.id = id;
        rec.length = len;
        rec.type = def.type;
        rec.fileOffset = std::uint32_t(dataPos);
        rec.parent = 0;
        rec.data.assign(img.begin() + std::ptrdiff_t(dataPos), img.begin() + std::ptrdiff_t(dataPos + len));
        rec.name = def.name;
        rec.help = def.help;
        const std::int32_t recIndex = std::int32_t(list_.size());
        list_.push_back(std::move(rec));
        ++recordCount_;

        for (const FieldDefinition& fd : def.fields) {
            const TypeLookup tl = lookupType(fd.typeKeyword);
            RecordEntry f;
            f.id = id;
            // A field of type "record" has no extent of its own: raw, size 0.
            f.type = tl.type == FieldType::Record ? FieldType::Raw : tl.type;
            f.length = tl.type == FieldType::Record ? 0 : tl.size;
            f.fileOffset = std::uint32_t(dataPos + fd.offset);
            f.parent = recIndex;
            f.fieldOffset = fd.offset;
            f.name = fd.name;
            f.help = fd.help;
            list_.push_back(std::move(f));
        }
        pos = dataPos + len;
    }
    hasData_ = true;
}

void CTLDoc::ComposeImage()
{
    std::size_t total = trailing_.size();
    for (std::size_t i = 1; i < list_.size(); ++i)
        if (list_[i].parent == 0)
            total += 8 + list_[i].data.size();
    std::vector<std::uint8_t> img(total);
    std::size_t pos = 0;
    for (std::size_t i = 1; i < list_.size(); ++i) {
        RecordEntry& r = list_[i];
        if (r.parent != 0)
            continue;
        // The data block is the truth; the length follows it.
        r.length = std::uint32_t(r.data.size());
        bytes::writeLE<std::uint32_t>(img, pos, r.id);
        bytes::writeLE<std::uint32_t>(img, pos + 4, std::uint32_t(r.data.size()));
        std::copy(r.data.begin(), r.data.end(), img.begin() + std::ptrdiff_t(pos + 8));
        pos += 8 + r.data.size();
    }
    std::copy(trailing_.begin(), trailing_.end(), img.begin() + std::ptrdiff_t(pos));
    image_ = std::move(img);
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
    const std::uint64_t recLen = list_[std::size_t(f.parent)].data.size();
    if (f.type == FieldType::Text)
        return f.fieldOffset >= recLen;
    return std::uint64_t(f.fieldOffset) + f.length > recLen;
}

std::span<const std::uint8_t> CTLDoc::data(int i) const
{
    if (isRecord(i))
        return list_[std::size_t(i)].data;
    if (!isField(i) || outsideRecord(i))
        return {};
    const RecordEntry& f = list_[std::size_t(i)];
    std::span<const std::uint8_t> rec(list_[std::size_t(f.parent)].data);
    if (f.type == FieldType::Text)
        return rec.subspan(f.fieldOffset);
    return rec.subspan(f.fieldOffset, f.length);
}

std::span<std::uint8_t> CTLDoc::data(int i)
{
    std::span<const std::uint8_t> c = std::as_const(*this).data(i);
    return {const_cast<std::uint8_t*>(c.data()), c.size()};
}

std::string CTLDoc::itemText(int i) const
{
    if (!validIndex(i))
        return {};
    const RecordEntry& e = list_[std::size_t(i)];
    if (i == 0)
        return e.name;
    if (isRecord(i))
        return recordItemText(e.id, e.name, e.type, e.data);
    if (outsideRecord(i))
        return e.name + std::string(kOutsideRecordSuffix);
    return valueText(e.name, e.type, data(i));
}

bool CTLDoc::setRecordData(int i, std::vector<std::uint8_t> bytes)
{
    if (!isRecord(i))
        return false;
    RecordEntry& r = list_[std::size_t(i)];
    r.length = std::uint32_t(bytes.size());
    r.data = std::move(bytes);
    return true;
}

bool CTLDoc::insertEntry(int i, RecordEntry e)
{
    if (i < 1 || std::size_t(i) > list_.size())
        return false;
    for (RecordEntry& x : list_)
        if (x.parent >= i)
            ++x.parent;
    if (e.parent == 0)
        e.length = std::uint32_t(e.data.size());
    list_.insert(list_.begin() + i, std::move(e));
    ++listRevision_;
    return true;
}

bool CTLDoc::removeEntry(int i)
{
    if (i < 1 || !validIndex(i))
        return false;
    list_.erase(list_.begin() + i);
    ++listRevision_;
    for (RecordEntry& x : list_) {
        if (x.parent == i)
            x.parent = -1; // orphaned field: shows as outside its record
        else if (x.parent > i)
            --x.parent;
    }
    return true;
}

bool CTLDoc::removeRecord(int i)
{
    if (!isRecord(i))
        return false;
    std::size_t end = std::size_t(i) + 1;
    while (end < list_.size() && list_[end].parent == i)
        ++end;
    const int removed = int(end - std::size_t(i));
    list_.erase(list_.begin() + i, list_.begin() + std::ptrdiff_t(end));
    ++listRevision_;
    for (RecordEntry& x : list_)
        if (x.parent > i)
            x.parent -= removed;
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
