#pragma once
// The tool's own reading of the record definition file and its own table of
// field types. It reads the file as plain text and scans it with rules of its
// own, which differ from the editor's INI lookups in several places.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace patchwise {

enum class ToolType { None, Bool, Int8, Int16, Int32, Double, Thrust, Pct16, Ang16, Aspd, Prpm, Text, Mach, Fwgt, M256 };

struct ToolTypeRow {
    ToolType type;
    const char* name;
    int width;          // bytes
    const char* label;  // dump label; "TEXT" for text lines
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

struct FieldLine {
    std::uint32_t offset = 0;
    std::optional<ToolType> type;
    std::string typeName;
    std::string name;
};

struct FieldLineResult {
    FieldLine field;
    std::size_t next = 0;  // position of the following line
};

// The loaded definition text and the lookups in it. Once loaded it stays
// loaded for the life of the object (one run of the tool).
class ToolDefinitions {
public:
    // Appends "Found %s\n" or "Can't find %s\n" to out. An empty path stands
    // for tarlo.ini (any letter case) in the current directory.
    bool loadDefinitions(const std::string& path, std::string& out);
    bool loaded() const { return loaded_; }
    void unload();

    RecordLookup lookupRecord(std::uint32_t id) const;
    std::optional<std::size_t> findRecordSection(std::uint32_t id) const;
    // nullopt at the end of the section.
    std::optional<FieldLineResult> nextFieldLine(std::size_t position) const;
    // 0 means "not defined".
    std::uint32_t definedRecordSize(std::uint32_t id, const std::string& path, std::string& out);

    // The stored lines, sentinel included (for tests).
    const std::vector<std::string>& lines() const { return lines_; }

private:
    std::vector<std::string> lines_;
    bool loaded_ = false;
};

// The definitions of this run of the program.
ToolDefinitions& processDefinitions();

// Splits file bytes into the stored lines: pieces of at most 255 characters
// (as a line reader with a 256-byte buffer takes them), each cut at its first
// LF, CR or zero byte, empty ones dropped; then the sentinel "[+]".
std::vector<std::string> splitDefinitionText(std::string_view bytes);

// --- Finding the definition file -------------------------------------------

// The definition path at program start: from the editor's registered open
// command, else tarlo.ini in the current directory, else empty.
std::string locateDefinitionFile();

// The editor's open command as recorded in its desktop entry
// ($XDG_DATA_HOME/applications/tarlo.desktop): X-Tarlo-OpenCommand, else Exec.
// fromExec, when given, tells whether the value came from Exec.
std::optional<std::string> readOpenCommand(const std::string& desktopFile, bool* fromExec = nullptr);
// The program path at the start of an open command (quotes honoured).
std::string programFromOpenCommand(std::string_view command);
// The definition file for an editor program path: a .exe path gets its
// extension letters replaced by "ini"; otherwise Tarlo.ini beside the
// program, or in the installed data folder; empty when none exists.
std::string definitionPathForProgram(const std::string& program);
// dir + "/" + the name of the file in dir called tarlo.ini in any letter
// case; empty when there is none.
std::string findTarloIni(const std::string& dir);
std::string currentDirectory();

} // namespace patchwise
