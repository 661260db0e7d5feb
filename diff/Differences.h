#pragma once
// What differs between two files, record by record, as plain data: fields,
// texts, table values and cells, raw byte ranges, records in one file only,
// the order of the records.
#include "diff/Records.h"

#include <string>
#include <vector>

namespace diff {

// The table layouts a record may have: 16-bit values; a count and pairs of
// doubles; rows, columns and a double per cell.
enum class TableKind { None, Int16List, PointTable, Grid };

struct FieldLayout {
    std::uint32_t offset = 0;
    std::size_t width = 0; // 1 to 8 bytes; a text runs to its zero byte
    bool text = false;
    std::string name;
    int type = 0; // the caller's own type, passed through
};

// How one record id is laid out. A table whose bytes do not have its form is
// compared field by field.
struct RecordLayout {
    TableKind table = TableKind::None;
    std::vector<FieldLayout> fields;
};

// Where the layouts come from: the caller's record definitions.
class Layouts {
public:
    virtual ~Layouts() = default;
    virtual RecordLayout layoutOf(std::uint32_t id) const = 0;
};

// Rows and columns of a table; lists have one column.
struct TableSize {
    std::size_t rows = 0, columns = 0;
};

struct Difference {
    enum class Kind {
        OnlyInOld, // oldRecord has no match in the new file
        OnlyInNew, // newRecord has no match in the old file
        Record, // the matched records differ; the differences after it up to the next
                // record-level one are theirs
        TableSize, // oldSize -> newSize
        TableItem, // a value, point or cell, at oldAt / newAt where present
        Field, // field changed (its bytes, or its text)
        Bytes, // [from, to) of the record's data, bytes no field covers
        Order, // the matched records stand in another order
        TrailerBytes, // [from, to) of the bytes after the last record
    };
    Kind kind = Kind::Record;
    std::size_t oldRecord = kNone, newRecord = kNone;
    TableKind table = TableKind::None;
    TableSize oldSize{}, newSize{};
    std::size_t row = 0, column = 0; // TableItem: index (lists) or row and column (grids)
    bool inOld = false, inNew = false;
    std::size_t oldAt = 0, newAt = 0;
    FieldLayout field{};
    std::size_t from = 0, to = 0;
};

// A text field's bytes up to its zero byte (or the end of the data).
std::size_t textLength(ByteView data, std::size_t offset);

// Whether data has the form of the table kind (sizes that add up).
bool isTableForm(TableKind kind, ByteView data);

// Every difference, in the order a listing shows them: per old record, its
// absence or its changes; then the new records without a match; then the
// order; then the trailer.
std::vector<Difference> compareRecords(
        const RecordList& oldList, const RecordList& newList, const Layouts& layouts);

} // namespace diff
