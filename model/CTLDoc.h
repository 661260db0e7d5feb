#pragma once
// The editor's document: the file image, the record list built from it and
// the definition file, load and save.
#include "base/FileIO.h"
#include "model/DocChange.h"
#include "model/Ini.h"
#include "model/RecordEntry.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace model {

class CTLDoc {
public:
    CTLDoc() = default;

    // Definition file read by ParseImage (parsed once per ParseImage; inserts
    // and removals reuse what the last one parsed).
    void setDefinitionsPath(std::string path) { definitionsPath_ = std::move(path); }
    const std::string& definitionsPath() const { return definitionsPath_; }

    // Reads the whole file, parses it, clears the modified flag and tells the
    // listeners loaded(). A file that cannot be read leaves the document as
    // it was; one whose record list does not fit in memory closes it (no
    // data, no path) and tells loaded() too.
    base::fileio::Error load(const std::string& path);
    // The same, from bytes already in memory (no file is touched).
    void loadImage(std::vector<std::uint8_t> image, std::string fullPath);
    base::fileio::Error reload() { return load(fullPath_); }
    // Composes the image and writes it atomically. Does nothing (and succeeds)
    // while the document has no data. On failure the path, name and modified
    // flag are kept; on success the listeners are told saved().
    base::fileio::Error save(const std::string& path);
    // "Wrote %d bytes to %s" for the last save.
    std::string wroteMessage() const;

    // Builds the record list from the image. The definition file is read
    // and parsed again on every call (so load and reload see its changes);
    // the overload takes an already parsed one.
    void ParseImage();
    void ParseImage(const Ini& definitions);
    // The same with the definitions the list was last built from, without
    // reading the file again (after an insert or a removal); reads the file
    // when there are none yet.
    void ReparseImage();
    // Builds a new image from the records of the list, in list order, followed
    // by the trailing bytes.
    void ComposeImage();

    // ---- the record list ----
    // Only the records are kept; a field's entry is made from its record and
    // the definitions when asked for, so a list of millions of fields costs
    // nothing until they are read.
    std::size_t entryCount() const { return entryCount_; }
    int highestIndex() const { return static_cast<int>(entryCount_) - 1; }
    bool validIndex(int i) const { return i >= 0 && std::size_t(i) < entryCount_; }
    // Precondition: validIndex(i) (else std::out_of_range). A copy: changes go
    // through the edit API.
    RecordEntry entry(int i) const;
    bool isRecord(int i) const;
    bool isField(int i) const;
    // The cheap parts of entry(i): its record's list index for a field, 0
    // otherwise (-1 for an invalid index), and its id.
    int parentOf(int i) const;
    std::uint32_t idOf(int i) const;
    // The number of fields of record i (0 for anything else).
    int fieldCount(int recordIndex) const;
    // Records by their place in the file (ordinal): the n-th record's list
    // index (entryCount() for n == recordCount()), and the ordinal of the
    // record entry i is or belongs to (-1 for the root and invalid indexes).
    int recordAt(int ordinal) const;
    int ordinalOf(int i) const;
    // The id of the n-th record (0 when there is none).
    std::uint32_t idOfRecordAt(int ordinal) const;
    // The entry's stable identity, 0 for an invalid index.
    EntryKey keyOf(int i) const;
    // The list index of the entry with key k, -1 when it is not in the list.
    int indexOf(EntryKey k) const;

    // The bytes of entry i: a record's whole data, a field's bytes inside its
    // record (for "text" from its offset to the end of the record). Empty for
    // the root, invalid indexes and fields outside their record.
    std::span<const std::uint8_t> data(int i) const;
    // A field whose bytes do not lie wholly inside its record's data.
    bool outsideRecord(int i) const;
    // The tree's item text of entry i: root -> file name; record -> "%x  " +
    // value text; field -> value text, or name + " (outside record)".
    std::string itemText(int i) const;

    // ---- the edit API ----
    // Every change of the record list goes through these. Each one marks the
    // document modified, publishes the change to the listeners and returns it; it
    // returns nothing (and changes nothing) when refused or when the new bytes
    // equal the old ones. An empty label gets the default ("Edit <name>",
    // "Add Record <id> <name>", "Remove Record <id> <name>").

    // Writes `bytes` over entry i's bytes from `offset` on (offset counted in
    // data(i)). Refused when i is no record or field, or the range does not
    // lie inside data(i).
    std::optional<Change> setBytes(
            int i, std::size_t offset, std::span<const std::uint8_t> bytes, std::string label = {});
    // Gives record i new data; its length follows. Refused for a non-record.
    std::optional<Change> setRecordData(int i, std::vector<std::uint8_t> bytes, std::string label = {});
    // Inserts a record before record `before` (or appends it when `before` is
    // entryCount()), then rebuilds the list (ComposeImage + ReparseImage), so the
    // new record gets its name, type and fields. Keys survive the rebuild.
    std::optional<Change> insertRecord(
            int before, std::uint32_t id, std::vector<std::uint8_t> data, std::string label = {});
    // Removes record i with its fields and rebuilds the list.
    std::optional<Change> removeRecord(int i, std::string label = {});

    // Takes back a change returned by the edit API, or makes it again. They
    // expect the document to be in the state right after the change (undo)
    // or right before it (redo), as an undo history keeps it; false when the
    // change's record cannot be found or its bytes no longer fit.
    bool undo(const Change& change);
    bool redo(const Change& change);

    void addListener(DocListener* listener);
    void removeListener(DocListener* listener);

    int recordCount() const { return recordCount_; }
    bool hasData() const { return hasData_; }
    // The file on disk as it was read by the last load or written by the last
    // save; invalid before any and after loadImage().
    const base::fileio::FileIdentity& diskIdentity() const { return diskIdentity_; }
    const std::string& fileName() const { return fileName_; }
    const std::string& fullPath() const { return fullPath_; }
    // Modified while the state differs from the one last loaded or saved:
    // undoing back to it makes the document unmodified again.
    bool isModified() const { return forcedModified_ || stateTop() != savedState_; }
    // Modified without new bytes: modified whatever the history says, until
    // the next load, save, undo or redo (for a table window that holds a
    // change not yet written, or wrote values equal to the old ones).
    void markModified() { setModified(true); }
    // true: as markModified(). false: the current state counts as saved.
    void setModified(bool m = true);

    const std::vector<std::uint8_t>& image() const { return image_; }
    std::size_t imageLength() const { return image_.size(); }

    // Bytes at the end of the image that do not form a whole record (fewer than
    // 8 bytes for a header, or a length past the end). Kept verbatim and
    // written back after the records.
    const std::vector<std::uint8_t>& trailingBytes() const { return trailing_; }
    // "(N trailing bytes)", or "" when there are none.
    std::string trailingText() const;

private:
    struct KeptKeys {
        EntryKey record = 0;
        // The fields' keys follow one another from the first.
        EntryKey firstField = 0;
        std::size_t fields = 0;
    };
    struct ParsedDefinitions;
    struct Kind; // what the definitions say of one id
    // One record of the list; its fields are made from it and its kind.
    struct Slot {
        std::uint32_t id = 0;
        std::uint32_t length = 0;
        // Offset of its data in the file when the list was last built.
        std::uint32_t fileOffset = 0;
        // 0 while its bytes are the image's, else 1 + which of blocks_.
        std::uint32_t block = 0;
        // List index of the record; its fields follow it.
        std::uint32_t index = 0;
        const Kind* kind = nullptr;
        EntryKey key = 0;
        EntryKey firstFieldKey = 0;
    };
    static constexpr int kOrdinalStep = 64;
    // ParseImage's steps: the list sized and started with its root, then one
    // record (and its fields) per whole record header, then the rest kept.
    void parseWith(ParsedDefinitions& defs);
    void startList(ParsedDefinitions& defs);
    void appendRecord(ParsedDefinitions& defs, std::size_t headerPos);
    // Ends the list's building: keys, entry count and the ordinal steps.
    void finishList();
    // The ordinal of the record holding list index i (1 <= i < entryCount_).
    std::size_t slotOf(std::size_t i) const;
    const Slot* recordSlot(int i) const;
    // Field j of the record in slot s.
    RecordEntry fieldEntry(const Slot& s, std::size_t j) const;
    std::size_t fieldsOf(const Slot& s) const;
    // A record's bytes: its own block, else the image's at its offset.
    std::span<const std::uint8_t> recordBytes(std::size_t ordinal) const;
    // The record's own block (made from its current bytes at the first edit).
    std::vector<std::uint8_t>& ownBytes(std::size_t ordinal);
    void assignFreshKeys();
    std::vector<KeptKeys> keysByRecord() const;
    // ComposeImage + ReparseImage, then gives record n (in list order) and its
    // fields the keys in keys[n].
    void rebuildKeeping(const std::vector<KeptKeys>& keys);
    std::uint64_t stateTop() const { return statePath_.empty() ? 0 : statePath_.back(); }

    // The primitives behind the edit API and undo/redo: each makes its change
    // (an insert or removal tells aboutToChange first) and returns it; the
    // callers keep the history and publish it.
    Change applyBytes(int entryIndex, int recordIndex, std::size_t offset, std::vector<std::uint8_t> bytes,
            ChangeOrigin origin);
    Change applyRecordData(int recordIndex, std::vector<std::uint8_t> bytes, ChangeOrigin origin);
    Change applyInsert(int ordinal, std::uint32_t id, std::vector<std::uint8_t> data, EntryKey key,
            std::vector<EntryKey> fieldKeys, ChangeOrigin origin);
    Change applyRemove(int recordIndex, ChangeOrigin origin);
    // The edit API's end: the label (fallback when none was given), a new
    // step of the history, and the news to the listeners.
    Change commitEdit(Change c, std::string label, std::string fallback, bool wasModified);
    // Undo (forward false) or redo of a change.
    bool replay(const Change& c, bool forward);
    template <typename F>
    void notify(F&& f);
    void publish(const Change& c, bool wasModified);

    std::string definitionsPath_;
    // What the definition file says of each id met so far, with the names and
    // help texts the record list shares.
    std::shared_ptr<ParsedDefinitions> definitions_;
    std::vector<std::uint8_t> image_;
    // The definitions the records' kinds belong to (definitions_, or those
    // of a caller's Ini).
    std::shared_ptr<ParsedDefinitions> listDefinitions_;
    std::vector<std::uint8_t> trailing_;
    std::vector<Slot> slots_;
    // The list: 0 entries before any parse, else the root, then the records
    // and their fields.
    std::size_t entryCount_ = 0;
    std::uint32_t rootLength_ = 0; // image length when the list was built
    EntryKey rootKey_ = 0;
    // For every kOrdinalStep-th list index, the ordinal of the record
    // holding it: finding an entry's record searches one step's records.
    std::vector<std::uint32_t> stepOrdinal_;
    // Where slotOf found the last record: a hint it checks before searching
    // (atomic only so that reading a document from two threads stays sound).
    struct SlotHint {
        std::atomic<std::size_t> at{0};
        SlotHint() = default;
        SlotHint(const SlotHint&) {}
        SlotHint& operator=(const SlotHint&) { return *this; }
    };
    mutable SlotHint lastSlot_;
    // The bytes of records given new data since the image was last composed
    // or parsed (the others view image_); a record's block says which.
    std::vector<std::vector<std::uint8_t>> blocks_;
    // A save composes a new image but leaves the entries' file offsets as the
    // list was built (they are what Info shows until the next parse). Where a
    // record's data moved, this gives its place in image_, by ordinal; empty
    // while every record's data stands at its file offset.
    std::vector<std::uint32_t> moved_;
    int recordCount_ = 0;
    bool hasData_ = false;
    // Each edit gets a fresh serial; statePath_ is the chain of serials that
    // leads to the current state (undo pops, redo pushes). The state is the
    // saved one while its last serial is savedState_.
    std::vector<std::uint64_t> statePath_;
    std::uint64_t savedState_ = 0;
    std::uint64_t nextSerial_ = 0;
    bool forcedModified_ = false;
    EntryKey nextKey_ = 0;
    std::vector<DocListener*> listeners_;
    std::string fileName_;
    std::string fullPath_;
    base::fileio::FileIdentity diskIdentity_;
};

// The file name part of a path (after the last '/' or '\\').
std::string fileNameOf(const std::string& path);

} // namespace model
