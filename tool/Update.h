#pragma once
// Applies an update script to an AIR file: numbered backup, log, stamp.
#include "tool/ToolDefinitions.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace patchwise {

inline constexpr const char* kDefaultLogName = "amod_log.txt";

struct UpdateOptions {
    std::string logPath = kDefaultLogName;     // relative paths: the current directory
    std::optional<std::time_t> time;           // the stamp's time; default stampTime()
};

// What running a script over a file in memory gives.
struct ScriptResult {
    std::vector<std::uint8_t> file;
    std::string log;
    bool stoppedOnUnknownType = false;
};

// Runs the script and the finish (record count, stamp, CRC) in memory.
ScriptResult runUpdateScript(std::vector<std::uint8_t> file, std::string_view script,
                             const std::string& definitionPath, ToolDefinitions& defs, std::time_t time);

// The first "<air>.NNN" (three digits at least, from 001) under which no file exists.
std::string nextBackupName(const std::string& airPath);

// 0 on success, 1 on failure. On failure after the backup rename the
// original is renamed back, so the AIR path never ends empty or half written.
int applyUpdateScript(const std::string& airPath, const std::string& scriptPath, const std::string& definitionPath,
                      ToolDefinitions& defs, const UpdateOptions& options = {}, std::string* error = nullptr);
inline int applyUpdateScript(const std::string& airPath, const std::string& scriptPath,
                             const std::string& definitionPath)
{
    return applyUpdateScript(airPath, scriptPath, definitionPath, processDefinitions());
}

} // namespace patchwise
