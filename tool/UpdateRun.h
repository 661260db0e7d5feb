#pragma once
// One update over an AIR file that is read where needed: the script's
// commands first, then the new file written in pieces.
#include "tool/Update.h"
#include "tool/UpdateSource.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace patchwise {

class ScriptRun;

class UpdateRun {
public:
    UpdateRun(UpdateSource source, std::string_view script, const std::string& definitionPath,
            ToolDefinitions& defs);
    ~UpdateRun();
    UpdateRun(const UpdateRun&) = delete;
    UpdateRun& operator=(const UpdateRun&) = delete;

    // Runs the script's commands over the record list; nothing is written.
    void runCommands();
    bool stoppedOnUnknownType() const;
    const std::vector<ScriptWarning>& warnings() const;

    // The stamp's bytes (the whole data of the stamp record) and where they
    // go in the new file: the stamp holds the CRC of everything, so it is
    // known only after the rest was handed out.
    struct Stamp {
        std::uint64_t offset = 0;
        std::vector<std::uint8_t> bytes;
    };
    // Finishes the file (record count, revision text, stamp slots cleared),
    // hands it to put in pieces, in order, and completes the log with its
    // CRC. Returns the stamp to put in place, none when the file has no
    // record for it.
    std::optional<Stamp> writeFile(
            const std::function<void(std::span<const std::uint8_t>)>& put, std::time_t time);
    std::uint64_t newSize() const;
    // The log so far; complete after writeFile().
    std::string& log();
    // The warnings, to be moved out once the run is over.
    std::vector<ScriptWarning>& takeWarnings();

private:
    std::unique_ptr<ScriptRun> run_;
};

} // namespace patchwise
