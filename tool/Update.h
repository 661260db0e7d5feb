#pragma once
// Applies an update script to an AIR file: numbered backup, log, stamp.
#include "tool/ToolDefinitions.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace patchwise {

inline constexpr const char* kDefaultLogName = "amod_log.txt";
// A script line is read in pieces of at most this many characters, line break included.
inline constexpr std::size_t kScriptPiece = 1022;

// A script line the update could not carry out: a "CANNOT PROCESS" line, an
// undefined section, or the stop at an unknown type.
struct ScriptWarning {
    std::size_t line = 0; // 1-based line of the script
    std::string message; // without a line break
};

struct UpdateOptions {
    std::string logPath = kDefaultLogName; // relative paths: the current directory; "-": standardOutput
    std::optional<std::time_t> time; // the stamp's time; default stampTime()
    bool dryRun = false; // run in memory only; the log goes to standardOutput
    bool strict = false; // any warning fails the update before anything is written
    std::ostream* standardOutput = nullptr; // std::cout when null
    std::function<void(const ScriptWarning&)> warning = {}; // called for each warning, in script order
};

// What running a script over a file in memory gives.
struct ScriptResult {
    std::vector<std::uint8_t> file;
    std::string log;
    bool stoppedOnUnknownType = false;
    std::vector<ScriptWarning> warnings;
};

// The stored integer of a scaled field type for a value read from a script:
// the value times the type's scale, truncated toward zero (out of range and
// NaN give INT32_MIN). Only the low bytes of the type's width are stored.
std::int32_t scaledFieldValue(ToolType type, double value);

// Runs the script and the finish (record count, stamp, CRC) in memory.
ScriptResult runUpdateScript(std::vector<std::uint8_t> file, std::string_view script,
        const std::string& definitionPath, ToolDefinitions& defs, std::time_t time);

// The first "<air>.NNN" (three digits at least, from 001) under which no file exists.
std::string nextBackupName(const std::string& airPath);

// 0 on success, 1 on failure. On failure after the backup rename the
// original is renamed back, so the AIR path never ends empty or half written.
// A dry run or a strict run with warnings writes nothing at all.
int applyUpdateScript(const std::string& airPath, const std::string& scriptPath,
        const std::string& definitionPath, ToolDefinitions& defs, const UpdateOptions& options = {},
        std::string* error = nullptr);
inline int applyUpdateScript(
        const std::string& airPath, const std::string& scriptPath, const std::string& definitionPath)
{
    return applyUpdateScript(airPath, scriptPath, definitionPath, processDefinitions());
}

} // namespace patchwise
