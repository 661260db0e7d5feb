#pragma once
// The text listing of an AIR file.
#include "tool/ToolDefinitions.h"

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace patchwise {

// The fixed classification of table records by id, shared by the dump and
// the update's "record:" command.
enum class RecordClass { Unclassified, Int16List, PointTable, Grid };
RecordClass classifyRecord(std::uint32_t id);

// Appends the listing of a table record: "Points: %d" or "columns: %d  rows: %d"
// and its values, reading only the bytes in `data` (the bytes present).
// `length` is the record's stored length. A grid of 0 columns lists one
// empty line per row, at most kMaxEmptyGridRows of them.
inline constexpr std::int32_t kMaxEmptyGridRows = 65536;
void appendTableListing(
        std::string& out, RecordClass cls, std::span<const std::uint8_t> data, std::uint32_t length);

// A scaled field's stored integer in its units: stored * units / steps.
double unitsOf(const ToolTypeRow& row, std::int64_t stored);
// The value of a field as the dump shows it: a text up to its 0 byte, a
// number as "%d" or "%f"; nullopt when it does not lie wholly inside `data`.
std::optional<std::string> fieldValueText(
        ToolType type, std::span<const std::uint8_t> data, std::size_t offset);

// True when both paths name one existing file (or are the same text).
bool sameFile(const std::string& a, const std::string& b);

// Receives the listing in pieces, in order; false stops the dump.
using DumpSink = std::function<bool(std::string_view)>;

// Writes the dump of the bytes of an AIR file to sink as it goes, in pieces
// of some tens of kilobytes. False when the sink stopped it.
bool dumpTo(std::span<const std::uint8_t> file, const std::string& definitionPath, bool full,
        ToolDefinitions& defs, const DumpSink& sink);

// Builds the whole dump text for the bytes of an AIR file.
std::string dumpText(std::span<const std::uint8_t> file, const std::string& definitionPath, bool full,
        ToolDefinitions& defs);

// 0 on success; 1 when the AIR file cannot be read or the dump not written.
// `error`, when given, receives a sentence for the user on failure. A dump
// path "-" writes to standardOutput (std::cout when null); see writeOutput.
int writeDump(const std::string& airPath, const std::string& dumpPath, const std::string& definitionPath,
        bool full, ToolDefinitions& defs, std::string* error = nullptr,
        std::ostream* standardOutput = nullptr);
inline int writeDump(
        const std::string& airPath, const std::string& dumpPath, const std::string& definitionPath, bool full)
{
    return writeDump(airPath, dumpPath, definitionPath, full, processDefinitions());
}

} // namespace patchwise
