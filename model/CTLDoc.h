#pragma once
// The editor's document: the file image, the record list built from it and
// the definition file, load and save.
#include "model/FileIO.h"
#include "model/Ini.h"
#include "model/RecordEntry.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace model {

class CTLDoc {
public:
    CTLDoc() = default;

    // Definition file read by ParseImage (parsed once per ParseImage).
    void setDefinitionsPath(std::string path) { definitionsPath_ = std::move(path); }
    const std::string& definitionsPath() const { return definitionsPath_; }

    // Reads the whole file, parses it, clears the modified flag and asks the
    // tree to rebuild. On failure the document is left as it was.
    fileio::Error load(const std::string& path);
    // The same, from bytes already in memory (no file is touched).
    void loadImage(std::vector<std::uint8_t> image, std::string fullPath);
    fileio::Error reload() { return load(fullPath_); }
    // Composes the image and writes it atomically. Does nothing (and succeeds)
    // while the document has no data. On failure the path, name and modified
    // flag are kept. A save under a new path asks the tree to rebuild.
    fileio::Error save(const std::string& path);
    // "Wrote %d bytes to %s" for the last save.
    std::string wroteMessage() const;

    // Builds the record list from the image. The definition file is parsed
    // once per call; the overload takes an already parsed one.
    void ParseImage();
    void ParseImage(const Ini& definitions);
    // Builds a new image from the records of the list, in list order, followed
    // by the trailing bytes.
    void ComposeImage();

    // ---- the record list ----
    std::size_t entryCount() const { return list_.size(); }
    int highestIndex() const { return static_cast<int>(list_.size()) - 1; }
    bool validIndex(int i) const { return i >= 0 && std::size_t(i) < list_.size(); }
    // Precondition: validIndex(i).
    RecordEntry& entry(int i) { return list_.at(std::size_t(i)); }
    const RecordEntry& entry(int i) const { return list_.at(std::size_t(i)); }
    const RecordList& entries() const { return list_; }
    bool isRecord(int i) const;
    bool isField(int i) const;

    // The bytes of entry i: a record's whole data, a field's bytes inside its
    // record (for "text" from its offset to the end of the record). Empty for
    // the root, invalid indexes and fields outside their record.
    std::span<std::uint8_t> data(int i);
    std::span<const std::uint8_t> data(int i) const;
    // A field whose bytes do not lie wholly inside its record's data.
    bool outsideRecord(int i) const;
    // The tree's item text of entry i: root -> file name; record -> "%x  " +
    // value text; field -> value text, or name + " (outside record)".
    std::string itemText(int i) const;

    // Gives record i new data (length follows). Returns false for a non-record.
    bool setRecordData(int i, std::vector<std::uint8_t> bytes);
    // Inserts an entry at index i (1..entryCount()); parent indexes of later
    // fields are kept pointing at their records.
    bool insertEntry(int i, RecordEntry e);
    // Removes the entry at index i (>= 1); fields of a removed record go with it
    // only through removeRecord().
    bool removeEntry(int i);
    // Removes record i and its fields.
    bool removeRecord(int i);

    int recordCount() const { return recordCount_; }
    bool hasData() const { return hasData_; }
    // Bumped by every ParseImage, insertEntry and removal: list indexes taken
    // before may refer to other entries (used by windows that outlive a rebuild).
    std::uint64_t listRevision() const { return listRevision_; }
    // The file on disk as it was read by the last load or written by the last
    // save; invalid before any and after loadImage().
    const fileio::FileIdentity& diskIdentity() const { return diskIdentity_; }
    const std::string& fileName() const { return fileName_; }
    const std::string& fullPath() const { return fullPath_; }
    bool isModified() const { return modified_; }
    void setModified(bool m = true) { modified_ = m; }

    const std::vector<std::uint8_t>& image() const { return image_; }
    std::size_t imageLength() const { return image_.size(); }

    // Bytes at the end of the image that do not form a whole record (fewer than
    // 8 bytes for a header, or a length past the end). Kept verbatim and
    // written back after the records.
    const std::vector<std::uint8_t>& trailingBytes() const { return trailing_; }
    // "(N trailing bytes)", or "" when there are none.
    std::string trailingText() const;

    // Called at the end of a load, and of a save under a new path.
    void setRebuildCallback(std::function<void()> cb) { rebuild_ = std::move(cb); }

private:
    void notifyRebuild();

    std::string definitionsPath_;
    std::vector<std::uint8_t> image_;
    std::vector<std::uint8_t> trailing_;
    RecordList list_;
    int recordCount_ = 0;
    std::uint64_t listRevision_ = 0;
    bool hasData_ = false;
    bool modified_ = false;
    std::string fileName_;
    std::string fullPath_;
    fileio::FileIdentity diskIdentity_;
    std::function<void()> rebuild_;
};

// The file name part of a path (after the last '/' or '\\').
std::string fileNameOf(const std::string& path);

} // namespace model
