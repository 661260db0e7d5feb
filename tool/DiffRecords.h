#pragma once
// An AIR file's records and layouts as the diff engine takes them, and the
// small pieces the diff listing and the diff script both use.
#include "diff/Differences.h"
#include "tool/Dump.h"
#include "tool/ToolDefinitions.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace patchwise::diffing {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// The whole records in walk order, perhaps a last record cut off by the end
// of the file (its bytes present), and the stray bytes after them.
struct ParsedFile {
    diff::RecordList list;
    std::optional<diff::Record> cut; // kept apart unless asked to list it
    std::uint32_t cutLength = 0; // its stored length
};

ParsedFile readRecords(ByteView file, bool cutAmongRecords);

// The fields the definitions give a record: its own type at offset 0, or the
// field lines of its section. Each field's type is its ToolType.
std::vector<diff::FieldLayout> fieldsOf(
        const ToolDefinitions& defs, std::uint32_t id, const RecordLookup& lookup);

diff::TableKind tableKindOf(RecordClass cls);

// Layouts from the tool's definitions and record classes.
class DefinitionLayouts : public diff::Layouts {
public:
    explicit DefinitionLayouts(const ToolDefinitions& defs) : defs_(defs) {}
    diff::RecordLayout layoutOf(std::uint32_t id) const override;

private:
    const ToolDefinitions& defs_;
};

// The two files as the listing compares them: the stamp slots cleared, and a
// changed revision text cleared too (it is one change, not a row of bytes).
struct ComparedPair {
    Bytes oldBytes, newBytes;
    bool revisionChanged = false;
    std::string oldRevision, newRevision;
};

ComparedPair comparedPair(ByteView oldFile, ByteView newFile);

// The matched records that moved (old indexes, in old order): those outside a
// longest run kept in the same order.
std::vector<std::size_t> movedRecords(const diff::RecordList& o, const diff::RecordList& n);

// Reads at offsets the caller has checked.
std::int16_t i16(ByteView d, std::size_t at);
std::int32_t i32(ByteView d, std::size_t at);
double f64(ByteView d, std::size_t at);

// Slot k of the stamp (record 0x404) and of the revision store (0x1199).
inline std::size_t stampSlot(std::size_t k)
{
    return 4 + 8 * k;
}
inline std::size_t revisionSlot(std::size_t k)
{
    return 8 * k;
}

// Control characters shown as escapes, for one-line messages.
std::string printable(std::string_view s);

// "Record: <id> <name>"
std::string recordHeader(std::uint32_t id, const std::string& name);

} // namespace patchwise::diffing
