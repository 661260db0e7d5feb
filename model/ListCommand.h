#pragma once
// The editor's headless commands: --list, --help, --version.
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace model {

// True when the arguments (argv[1..]) ask for a command that runs without a
// display: --list, --help or --version.
bool isHeadlessCommand(const std::vector<std::string>& args);

// Runs the command; returns the exit status. programPath is argv[0] (used to
// find the default definition file beside the program).
int runListCommand(const std::vector<std::string>& args, const std::string& programPath,
                   std::ostream& out, std::ostream& err);

// The listing of a loaded document (root line, entries, trailing bytes line).
class CTLDoc;
std::string listDocument(const CTLDoc& doc, bool sorted);

// An item text made printable: CR, LF, TAB and backslash as \r \n \t \\,
// other control bytes and 0x7F as \xHH, bytes 0x80..0xFF as UTF-8 of Latin-1.
std::string escapeItemText(std::string_view latin1);

// "tarlo" version string.
const char* version();

} // namespace model
