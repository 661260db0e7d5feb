#pragma once
// The structure-aware comparison of two AIR files: a listing for people, or
// an update script that turns the old file into the new one.
#include "tool/ToolDefinitions.h"

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <vector>

namespace patchwise {

struct DiffResult {
    bool different = false;
    std::string text; // the listing or the script; empty when the files are the same
    std::vector<std::string> warnings; // what the script cannot express, one sentence each
};

// Records are matched by id and occurrence: the k-th record with an id in the
// old file against the k-th in the new one. The stamp slots of record 0x404
// are not compared (every update rewrites them).
DiffResult diffListing(std::span<const std::uint8_t> oldFile, std::span<const std::uint8_t> newFile,
        const std::string& definitionPath, ToolDefinitions& defs);

// An update script that, applied to the old file, gives the new one byte for
// byte (stamp included, when the update runs at the time the new file was
// stamped). What the script language cannot say becomes a line
// "; cannot express: ..." and a warning.
DiffResult diffScript(std::span<const std::uint8_t> oldFile, std::span<const std::uint8_t> newFile,
        const std::string& definitionPath, ToolDefinitions& defs);

// The listing's differences as one JSON document (UTF-8, no NaN or
// Infinity); `different` as for the listing.
DiffResult diffJson(std::span<const std::uint8_t> oldFile, std::span<const std::uint8_t> newFile,
        const std::string& definitionPath, ToolDefinitions& defs);

enum class DiffFormat { Listing, Script, Json };

// The "diff" command: 0 the same, 1 different, 2 trouble (as diff(1)); with
// strict, a script that cannot express every difference is trouble too.
int runDiff(const std::string& oldPath, const std::string& newPath, const std::string& definitionPath,
        DiffFormat format, ToolDefinitions& defs, std::ostream& out, std::ostream& err, bool strict = false);

} // namespace patchwise
