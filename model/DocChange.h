#pragma once
// What one change of the document did, as a value: the edit API of CTLDoc
// returns it, its listeners receive it, and the undo history keeps it to
// take the change back or make it again.
#include <cstdint>
#include <string>
#include <vector>

namespace model {

// A stable identity of a list entry. Indexes change whenever a record is
// added or removed; a key stays with its record (and a field's key with its
// field) across those rebuilds, and also across undo and redo of them.
// 0 is no entry. A load gives every entry a new key.
using EntryKey = std::uint64_t;

enum class ChangeKind {
    Bytes, // bytes inside one record's data, same length
    RecordData, // a record's whole data replaced (its length may change)
    Insert, // a record (with its fields) added to the list
    Remove, // a record (with its fields) taken out of the list
};

enum class ChangeOrigin { Edit, Undo, Redo };

struct Change {
    ChangeKind kind = ChangeKind::Bytes;
    // Published changes carry where they come from; a stored edit is Edit.
    ChangeOrigin origin = ChangeOrigin::Edit;
    // The entry that was edited (a field or a record) and its record. For
    // Insert and Remove both are the record.
    EntryKey entry = 0;
    EntryKey record = 0;
    // List indexes when the change was applied: of the entry and of its
    // record. Insert: where the new record stands now. Remove: where the
    // record stood before.
    int index = -1;
    int recordIndex = -1;
    // Insert, Remove: how many entries the list gained or lost (the record
    // and its fields).
    int entries = 0;
    // Bytes: first byte of the range, counted from the start of the record's
    // data. 0 for the other kinds.
    std::size_t offset = 0;
    // Bytes: the range before and after. RecordData: the whole data before
    // and after. Insert: newBytes is the new record's data. Remove: oldBytes
    // is the removed record's data.
    std::vector<std::uint8_t> oldBytes;
    std::vector<std::uint8_t> newBytes;
    std::uint32_t recordId = 0;
    // Names the change for the Undo and Redo commands ("Edit Idle speed").
    std::string label;

    // Kept to replay Insert and Remove: the record's place among the records
    // (0 = first record) and the keys of its fields.
    int recordOrdinal = -1;
    std::vector<EntryKey> fieldKeys;
    // The document state this change leads to (see CTLDoc::isModified).
    std::uint64_t serial = 0;
};

// Told about every change of the document. Calls arrive synchronously, on
// the thread that made the change; a listener must not change the document
// from inside them.
class DocListener {
public:
    virtual ~DocListener() = default;
    // Before an Insert or Remove, while the list is still as it was: `pending`
    // has kind, origin, index (where the record will stand, or stands) and
    // recordId.
    virtual void aboutToChange(const Change& pending) { (void)pending; }
    // After every change, the list already changed. For an undo the change
    // published is the one that happened: undoing an Insert publishes a
    // Remove, undoing Bytes publishes Bytes with old and new swapped.
    virtual void changed(const Change& change) { (void)change; }
    // The modified state flipped.
    virtual void modifiedChanged(bool modified) { (void)modified; }
    // A load replaced the whole document; the history before it is void.
    virtual void loaded() {}
    // A save succeeded: the current state is the saved one.
    virtual void saved() {}
};

} // namespace model
