#pragma once
// The merge command: a three-way merge of AIR files for people and for git.
#include "tool/ToolDefinitions.h"

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <vector>

namespace patchwise {

struct MergeOutcome {
    std::vector<std::uint8_t> merged; // OURS's values where both changed an item
    std::vector<std::string> conflicts; // one line each: where, and base / ours / theirs
    std::string script; // an update script taking THEIRS's values of the conflicts
};

// Stamp slots (0x404) and revision slots (0x1199) changed by both sides keep
// OURS's bytes and are no conflict; changed by one side, they are its.
MergeOutcome mergeFiles(std::span<const std::uint8_t> base, std::span<const std::uint8_t> ours,
        std::span<const std::uint8_t> theirs, const std::string& definitionPath, ToolDefinitions& defs,
        bool wantScript);

// "merge [--definitions F] BASE OURS THEIRS [-o OUT] [--conflicts FILE]", parsed.
struct MergeCommand {
    std::string base, ours, theirs;
    std::string output; // empty: OURS
    std::string conflicts; // empty: no conflicts script
    std::string definitions; // the definition file; empty: none
};

// 0 clean, 1 conflicts, 2 trouble.
int runMergeCommand(const MergeCommand& command, std::ostream& err);

} // namespace patchwise
