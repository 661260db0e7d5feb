#pragma once
// The tool's own reading of the record definition file and its own table of
// field types. It reads the file as plain text and scans it with rules of its
// own, which differ from the editor's INI lookups in several places.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Where the definition file is found lives beside this (callers of one use the other).
#include "tool/DefinitionsFile.h"

namespace patchwise {

enum class ToolType {
    None,
    Bool,
    Int8,
    Int16,
    Int32,
    Double,
    Thrust,
    Pct16,
    Ang16,
    Aspd,
    Prpm,
    Text,
    Mach,
    Fwgt,
    M256
};

// How a type's value is stored: a signed integer of the type's width, a
// double, a signed integer counting steps of a unit, or a text.
enum class ToolValue { None, Integer, Double, Scaled, Text };

struct ToolTypeRow {
    ToolType type;
    const char* name;
    int width; // bytes
    const char* label; // dump label; "TEXT" for text lines
    ToolValue value;
    // Scaled: `units` units are `steps` stored steps (value = stored * units / steps).
    double units = 1;
    double steps = 1;
};

extern const std::array<ToolTypeRow, 15> ToolTypeTable;

// A row's type for a name matched whole, ignoring case. "none" and every name
// not in the table give no type. "PCT16", the dump's label, also names 16pct.
std::optional<ToolType> lookupTypeName(std::string_view name);
const ToolTypeRow& typeRow(ToolType t);
int typeWidth(std::optional<ToolType> t);

struct RecordLookup {
    std::optional<ToolType> type;
    std::string name;
};

// The same answer without a copy: the name views the loaded text and stays
// valid until the definitions are unloaded.
struct RecordLookupView {
    std::optional<ToolType> type;
    std::string_view name;
};

struct FieldLine {
    std::uint32_t offset = 0;
    std::optional<ToolType> type;
    std::string typeName;
    std::string name;
};

struct FieldLineResult {
    FieldLine field;
    std::size_t next = 0; // position of the following line
};

// The loaded definition text and the lookups in it. Once loaded it stays
// loaded for the life of the object (one run of the tool).
//
// Loading reads the text once into an index, so every lookup costs O(1)
// however many records the file names; the answers are those of scanning the
// lines in file order (the first matching line wins).
class ToolDefinitions {
public:
    ToolDefinitions() = default;
    // The lines view the object's own copy of the text.
    ToolDefinitions(const ToolDefinitions&) = delete;
    ToolDefinitions& operator=(const ToolDefinitions&) = delete;
    // Appends "Found %s\n" or "Can't find %s\n" to out. An empty path stands
    // for tarlo.ini (any letter case) in the current directory.
    bool loadDefinitions(const std::string& path, std::string& out);
    bool loaded() const { return loaded_; }
    void unload();
    // Takes file bytes as loading a file with them would (no output line).
    void loadText(std::string_view bytes);

    RecordLookup lookupRecord(std::uint32_t id) const;
    RecordLookupView findRecord(std::uint32_t id) const;
    std::optional<std::size_t> findRecordSection(std::uint32_t id) const;
    // nullopt at the end of the section.
    std::optional<FieldLineResult> nextFieldLine(std::size_t position) const;
    // The field lines of the record's own section in file order (what
    // nextFieldLine walks from findRecordSection); nullopt without a section.
    std::optional<std::span<const FieldLine>> sectionFields(std::uint32_t id) const;
    // 0 means "not defined".
    std::uint32_t definedRecordSize(std::uint32_t id, const std::string& path, std::string& out);

    // The stored lines, sentinel included (for tests).
    std::vector<std::string> lines() const;

private:
    void loadBytes(std::vector<std::uint8_t> bytes);
    void buildIndex();
    std::span<const FieldLine> fieldsFrom(std::size_t position) const;

    struct RecordLine {
        std::optional<ToolType> type;
        std::uint32_t line = 0; // into lines_
        std::uint32_t nameBegin = 0; // the name's place in that line
        std::uint32_t nameLength = 0;
    };

    std::vector<std::uint8_t> text_; // the file's bytes as loaded
    std::vector<std::string_view> lines_; // views into text_, then the sentinel
    bool loaded_ = false;
    // The index, built once from lines_.
    std::unordered_map<std::uint32_t, RecordLine> records_; // the first records line per id
    std::unordered_map<std::uint32_t, std::uint32_t> sections_; // id -> line after its first header
    std::vector<FieldLine> fields_; // every line that reads as a field line, in file order
    std::vector<std::uint32_t> fieldLine_; // the line of each of fields_
    std::vector<std::uint32_t> fieldsBefore_; // per line (and one past the end): field lines before it
    std::vector<std::uint32_t>
            endFrom_; // per line (and one past): first line at or after it that ends a section
    std::unordered_map<std::uint32_t, std::uint32_t> sizes_; // definedRecordSize, once per id
};

// The definitions of this run of the program.
ToolDefinitions& processDefinitions();

// Splits file bytes into the stored lines: pieces of at most 255 characters
// (as a line reader with a 256-byte buffer takes them), each cut at its first
// LF, CR or zero byte, empty ones dropped; then the sentinel "[+]".
std::vector<std::string> splitDefinitionText(std::string_view bytes);

} // namespace patchwise
