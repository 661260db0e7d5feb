#pragma once
// The command line of the patchwise program (everything but the dialog).
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace patchwise {

inline constexpr const char* kVersionText = "Patchwise Version 1.80";

// What a patchwise command line asks for.
struct ToolCommandLine {
    enum class Mode { Dialog, Dump, Update, Diff, Merge, Check, Help, Version, Usage };
    Mode mode = Mode::Dialog;
    bool full = false;
    bool dryRun = false; // update: log to standard output, write nothing
    bool strict = false; // update: a line it cannot carry out fails the update
    bool diffScript = false; // diff: write an update script
    bool json = false; // diff: write the differences as JSON
    std::optional<std::string> definitions;
    std::string air; // diff: the old file
    std::string newAir; // diff: the new file
    std::string output; // dump file; empty: the default beside the AIR file; "-": standard output
                        // merge: the merged file; empty: OURS
    std::string script;
    std::vector<std::string> airs; // update --script SCRIPT AIRFILE...: the files, in order;
                                   // merge: BASE, OURS, THEIRS; check: the files
    std::string log; // empty: amod_log.txt in the current directory; "-": standard output
    std::string error; // for Mode::Usage
    std::string conflicts; // merge: the conflicts script to write; empty: none
};

// args without the program name.
ToolCommandLine parseCommandLine(const std::vector<std::string>& args);

// The AIR file's folder, '/', and its name with everything after the last
// '.' replaced by "txt" (a name without '.' becomes "txt").
std::string dumpFileName(const std::string& airFileName);
std::string defaultDumpPath(const std::string& airPath);

std::string usageText();

// Runs every mode but Dialog; returns the exit status.
int runCommandLine(const ToolCommandLine& cl, std::ostream& out, std::ostream& err);

} // namespace patchwise
