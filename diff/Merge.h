#pragma once
// The three-way merge of two files' records against their common base:
// every change either side made, and the items both changed differently.
#include "diff/Differences.h"

#include <deque>
#include <functional>
#include <vector>

namespace diff {

struct MergeConflict {
    enum class Kind {
        Item, // both changed [from, to) of the record's data differently
        Record, // both changed the record differently and its size differs among the three
        DeletedByOurs, // ours deleted it, theirs changed it
        DeletedByTheirs, // theirs deleted it, ours changed it
        Trailer, // both changed [from, to) of the bytes after the last record
    };
    Kind kind = Kind::Item;
    std::size_t base = kNone, ours = kNone, theirs = kNone; // the record in each list
    std::size_t from = 0, to = 0;
    bool isField = false; // Item: the field's bytes
    FieldLayout field{};
    bool isCell = false; // Item: a table value or cell (row and column; lists: column 0)
    TableKind table = TableKind::None;
    std::size_t row = 0, column = 0;
};

struct MergedRecord {
    std::uint32_t id = 0;
    ByteView data; // into one of the inputs or the result's own storage
};

struct MergeResult {
    std::vector<MergedRecord> records;
    std::vector<std::uint8_t> trailer;
    std::vector<MergeConflict> conflicts;
    std::deque<std::vector<std::uint8_t>> storage; // the records the merge made
};

struct MergeOptions {
    // A conflict takes THEIRS's side instead of OURS's (to write what would
    // take THEIRS).
    bool theirsOnConflict = false;
    // Bytes that never conflict (a stamp): taken together from THEIRS when
    // OURS left all of a record's as in BASE, else OURS's stay.
    std::function<bool(const Record&, std::size_t at)> quiet;
};

// OURS with every change THEIRS made against BASE where OURS left the item
// as in BASE. Items: a field (a text to its zero byte), a table value or cell
// (with the table's size), a run of bytes no field covers, a whole record
// whose size differs, a record added or deleted. Records THEIRS added stand
// after the record they follow in THEIRS. When one side changed nothing, the
// result is the other side, order and all.
MergeResult mergeRecords(const RecordList& base, const RecordList& ours, const RecordList& theirs,
        const Layouts& layouts, const MergeOptions& options = {});

} // namespace diff
