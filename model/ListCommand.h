#pragma once
// The editor's headless commands: --list, --help, --version.
#include <iosfwd>
#include <string>
#include <string_view>
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
int runListCommand(const std::vector<std::string>& args, const std::string& programPath,
                   std::ostream& out, std::ostream& err);

// The listing of a loaded document (root line, entries, trailing bytes line).
// values: each table item is followed by its values, two blanks deeper:
// "[i] v" for tbl16, "[i] x y" for tbldb, "row k: v v ..." for tbl3d, numbers
// as the shortest text that reads back exactly.
class CTLDoc;
std::string listDocument(const CTLDoc& doc, bool sorted, bool values = false);
// The same listing written to out as it is made; false when writing failed.
bool writeListing(const CTLDoc& doc, bool sorted, bool values, std::ostream& out);

// An item text made printable: CR, LF, TAB and backslash as \r \n \t \\,
// other control bytes and 0x7F as \xHH, bytes 0x80..0xFF as UTF-8 of Latin-1.
std::string escapeItemText(std::string_view latin1);

// "tarlo" version string.
const char* version();

} // namespace model
