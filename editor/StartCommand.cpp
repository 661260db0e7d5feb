#include "editor/StartCommand.h"

#include "base/FileIO.h"
#include "base/Paths.h"
#include "editor/DataFiles.h"
#include "model/Listing.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <string_view>
#include <system_error>

namespace tarlo {

const char* version()
{
    return TARLO_VERSION;
}

namespace {

constexpr const char* kProgram = "tarlo";

void usageError(std::ostream& err, const std::string& what)
{
    err << kProgram << ": " << what << "\n"
        << "Try '" << kProgram << " --help' for more information.\n";
}

void printHelp(std::ostream& out)
{
    out << "Usage: " << kProgram << " [AIRFILE]\n"
        << "  or:  " << kProgram << " --list [--definitions FILE] [--sorted] [--values | --json] AIRFILE\n"
        << "Edit an AIR aircraft file, or print its record tree as text.\n"
        << "\n"
        << "  --list              print the record tree of AIRFILE and exit\n"
        << "  --definitions FILE  read the record definitions from FILE instead of\n"
        << "                        the Tarlo.ini beside the program\n"
        << "  --sorted            list the records in order of their identifiers\n"
        << "  --values            list the values of every table under its item\n"
        << "                        (16-bit values, points, grid rows), and the bytes\n"
        << "                        of raw items and trailing bytes in hex\n"
        << "  --json              list every record and field as JSON (see the man page)\n"
        << "  -h, --help          display this help and exit\n"
        << "  --version           output version information and exit\n"
        << "\n"
        << "The listing has the file name on its first line, then one line per record\n"
        << "(two spaces, the identifier in hexadecimal, two spaces, name and value) and\n"
        << "one line per field (four spaces, name and value). Control characters are\n"
        << "written as \\r, \\n, \\t, \\\\ or \\xHH; text is Latin-1, written as UTF-8.\n"
        << "Exit status is 0 on success, 1 when AIRFILE cannot be read or the output\n"
        << "cannot be written, 2 on a usage error.\n"
        << "\n"
        << "In a window: " << kProgram << " AIRFILE opens the file; /p AIRFILE and /pt AIRFILE ...\n"
        << "open it without showing the window and end; /Unregister removes the file\n"
        << "association and the settings.\n"
        << "\n"
        << "Examples:\n"
        << "  " << kProgram << " --list --values plane.air\n"
        << "  git config diff.air.textconv \"" << kProgram << " --list --values\"\n";
}

// The program's own path: argv[0] when it names a folder, else the running
// executable (a bare name was found through PATH).
std::string resolveProgramPath(const std::string& programPath)
{
    if (programPath.find('/') != std::string::npos)
        return programPath;
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? programPath : self.string();
}

} // namespace

bool isHeadlessCommand(const std::vector<std::string>& args)
{
    for (const std::string& a : args) {
        if (a == "--")
            break;
        if (a == "--list" || a == "--help" || a == "-h" || a == "--version")
            return true;
    }
    return false;
}

namespace {

// "/x", "-x" or "--x" in any letter case.
bool isSwitch(const std::string& arg, std::string_view name)
{
    std::string_view body(arg);
    if (body.size() < 2 || (body[0] != '/' && body[0] != '-'))
        return false;
    body.remove_prefix(1);
    if (arg[0] == '-' && !body.empty() && body[0] == '-')
        body.remove_prefix(1);
    if (body.size() != name.size())
        return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        char c = body[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != name[i])
            return false;
    }
    return true;
}

bool isRegularFile(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

} // namespace

StartCommand parseStartCommand(const std::vector<std::string>& args)
{
    using Kind = StartCommand::Kind;
    if (isHeadlessCommand(args))
        return {Kind::Headless, {}, {}};
    // An absolute path begins with '/', a file may be named "-p".
    if (args.size() == 1 && isRegularFile(args[0]))
        return {Kind::Window, args[0], {}};
    StartCommand command;
    std::size_t files = 0;
    bool onlyFiles = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!onlyFiles && a == "--") {
            onlyFiles = true;
            continue;
        }
        if (!onlyFiles) {
            if (isSwitch(a, "unregister") || isSwitch(a, "unregserver"))
                return {Kind::Unregister, {}, {}};
            // The print forms take the rest of the line as their operands:
            // the file, then a printer, driver and port that are not used.
            if (isSwitch(a, "p") || isSwitch(a, "pt"))
                return {Kind::Print, i + 1 < args.size() ? args[i + 1] : std::string(), {}};
            if (a.size() > 1 && a[0] == '-')
                return {Kind::Usage, {}, "unrecognized option '" + a + "'"};
        }
        if (++files > 1)
            return {Kind::Usage, {}, "extra operand '" + a + "'"};
        command.file = a;
    }
    return command;
}

int runTerminalCommand(const StartCommand& command, const std::vector<std::string>& args,
        const std::string& programPath, std::ostream& out, std::ostream& err)
{
    if (command.kind == StartCommand::Kind::Headless)
        return runListCommand(args, programPath, out, err);
    usageError(err, command.error);
    return 2;
}

namespace {

// The options of the terminal commands, as given.
struct ListOptions {
    bool list = false, sorted = false, values = false, json = false, help = false, showVersion = false;
    std::string definitions;
    bool haveDefinitions = false;
    std::vector<std::string> files;
};

// Reads the options; false (the usage error told) on one it does not know.
bool readListOptions(const std::vector<std::string>& args, ListOptions& o, std::ostream& err)
{
    bool onlyFiles = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (onlyFiles || a == "-" || a.empty() || a[0] != '-') {
            o.files.push_back(a);
        } else if (a == "--") {
            onlyFiles = true;
        } else if (a == "--list") {
            o.list = true;
        } else if (a == "--sorted") {
            o.sorted = true;
        } else if (a == "--values") {
            o.values = true;
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--version") {
            o.showVersion = true;
        } else if (a == "--definitions") {
            if (i + 1 >= args.size()) {
                usageError(err, "option '--definitions' requires an argument");
                return false;
            }
            o.definitions = args[++i];
            o.haveDefinitions = true;
        } else if (a.rfind("--definitions=", 0) == 0) {
            o.definitions = a.substr(14);
            o.haveDefinitions = true;
        } else {
            usageError(err, "unrecognized option '" + a + "'");
            return false;
        }
    }
    return true;
}

// 0, or 1 after saying why `what` could not be written to out.
int written(std::ostream& out, std::ostream& err, const char* what)
{
    if (out)
        return 0;
    // The stream keeps no cause; the failed write left it in errno.
    const int cause = errno;
    err << kProgram << ": " << what << " could not be written";
    if (cause != 0)
        err << ": " << std::strerror(cause);
    err << "\n";
    return 1;
}

// Why a named definition file gives no definitions; null for a regular file.
// Folders, FIFOs and devices are never opened for reading (a FIFO would wait
// for a writer).
const char* definitionsProblem(const std::string& path)
{
    switch (base::fileio::kindOf(path)) {
    case base::fileio::FileKind::Regular:
        return nullptr;
    case base::fileio::FileKind::Missing:
        return "was not found";
    case base::fileio::FileKind::Folder:
        return "is a folder";
    case base::fileio::FileKind::Other:
        break;
    }
    return "is not a regular file";
}

} // namespace

int runListCommand(const std::vector<std::string>& args, const std::string& programPath, std::ostream& out,
        std::ostream& err)
{
    ListOptions o;
    if (!readListOptions(args, o, err))
        return 2;
    if (o.help || o.showVersion) {
        errno = 0;
        if (o.help)
            printHelp(out);
        else
            out << kProgram << " (Tarlo) " << version() << "\n";
        out.flush();
        return written(out, err, o.help ? "the help text" : "the version");
    }
    if (!o.list) {
        usageError(err, "no command given");
        return 2;
    }
    if (o.files.size() != 1) {
        usageError(err, o.files.empty() ? "missing AIR file operand" : "extra operand '" + o.files[1] + "'");
        return 2;
    }

    std::string definitions = o.definitions;
    if (!o.haveDefinitions)
        definitions = findDataFile(base::paths::parentFolder(resolveProgramPath(programPath)), "Tarlo.ini");
    else if (const char* problem = definitionsProblem(definitions))
        err << kProgram << ": warning: " << definitions << " " << problem
            << "; records are listed as Unknown.\n";

    return model::listFile(
            o.files[0], definitions, model::ListingOptions{o.sorted, o.values, o.json}, out, err, kProgram);
}

} // namespace tarlo
