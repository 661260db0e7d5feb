#pragma once
// The editor's one command line: what to do and with which file, read before
// any window exists, and the terminal commands --list, --help, --version.
// Pure C++ (no Qt), so that it runs without a display.
#include <iosfwd>
#include <string>
#include <vector>

namespace tarlo {

// True when the arguments (argv[1..]) ask for a command that runs without a
// display: --list, -h/--help or --version (before any "--").
bool isHeadlessCommand(const std::vector<std::string>& args);

// What the command line asks for.
struct StartCommand {
    enum class Kind { Headless, Window, Print, Unregister, Usage };
    Kind kind = Kind::Window;
    std::string file; // Window, Print: the file to open ("" for none)
    std::string error; // Usage: what is wrong, for "tarlo: %s"
};
// Headless: --list, --help, --version (runTerminalCommand). Window: no
// argument or one file. Print: "/p FILE" or "/pt FILE ..." (the file is the
// switch's next argument). Unregister: "/Unregister" or "/Unregserver".
// Switches are matched in any letter case, with '/', '-' or "--". Usage: an
// unknown option ('-' and more), or more than one file. A lone argument that
// names an existing file is that file, whatever it looks like; "--" ends the
// options.
StartCommand parseStartCommand(const std::vector<std::string>& args);

// Runs a Headless command or reports a Usage error; returns the exit status
// (2 for a usage error). programPath is argv[0] (used to find the default
// definition file beside the program).
int runTerminalCommand(const StartCommand& command, const std::vector<std::string>& args,
        const std::string& programPath, std::ostream& out, std::ostream& err);
// The headless commands alone.
int runListCommand(const std::vector<std::string>& args, const std::string& programPath, std::ostream& out,
        std::ostream& err);

// "tarlo" version string.
const char* version();

} // namespace tarlo
