#pragma once
// The editor's command line: the start command read before any window
// exists, and the headless commands --list, --help, --version.
#include <iosfwd>
#include <string>
#include <vector>

namespace model {

// True when the arguments (argv[1..]) ask for a command that runs without a
// display: --list, -h/--help or --version.
bool isHeadlessCommand(const std::vector<std::string>& args);

// The editor's command line, read before any window exists.
struct StartCommand {
    enum class Kind { Headless, Window, Unregister, Usage };
    Kind kind = Kind::Window;
    std::string error; // Usage: what is wrong, for "tarlo: %s"
};
// Headless: --list, --help, --version (runListCommand). Window: no argument,
// one file, or the print forms "/p FILE", "/pt FILE ..." (also with '-').
// Unregister: "/Unregister" or "/Unregserver" (any case, '/' or '-'). Usage:
// an unknown option, or more than one file. A lone argument that names an
// existing file is that file, whatever it looks like; "--" ends the options.
StartCommand classifyStartCommand(const std::vector<std::string>& args);

// Runs the command; returns the exit status. programPath is argv[0] (used to
// find the default definition file beside the program).
int runListCommand(const std::vector<std::string>& args, const std::string& programPath, std::ostream& out,
        std::ostream& err);

// "tarlo" version string.
const char* version();

} // namespace model
