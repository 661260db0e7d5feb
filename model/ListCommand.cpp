#include "model/ListCommand.h"

#include "model/CTLDoc.h"
#include "model/DataFiles.h"

#include <algorithm>
#include <filesystem>
#include <numeric>
#include <ostream>
#include <system_error>

namespace model {

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
        << "  or:  " << kProgram << " --list [--definitions FILE] [--sorted] AIRFILE\n"
        << "Edit an AIR aircraft file, or print its record tree as text.\n"
        << "\n"
        << "  --list              print the record tree of AIRFILE and exit\n"
        << "  --definitions FILE  read the record definitions from FILE instead of\n"
        << "                        the Tarlo.ini beside the program\n"
        << "  --sorted            list the records in order of their identifiers\n"
        << "  --help              display this help and exit\n"
        << "  --version           output version information and exit\n"
        << "\n"
        << "The listing has the file name on its first line, then one line per record\n"
        << "(two spaces, the identifier in hexadecimal, two spaces, name and value) and\n"
        << "one line per field (four spaces, name and value). Control characters are\n"
        << "written as \\r, \\n, \\t, \\\\ or \\xHH; text is Latin-1, written as UTF-8.\n"
        << "Exit status is 0 on success, 1 when AIRFILE cannot be read, 2 on a usage error.\n";
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
        if (a == "--list" || a == "--help" || a == "--version")
            return true;
    }
    return false;
}

std::string escapeItemText(std::string_view latin1)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(latin1.size());
    for (char ch : latin1) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\\': out += "\\\\"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                out += "\\x";
                out += kHex[c >> 4];
                out += kHex[c & 15];
            } else if (c >= 0x80) {
                out += char(0xC0 | (c >> 6));
                out += char(0x80 | (c & 0x3F));
            } else {
                out += char(c);
            }
        }
    }
    return out;
}

std::string listDocument(const CTLDoc& doc, bool sorted)
{
    std::string out = escapeItemText(doc.itemText(0));
    out += '\n';
    std::vector<int> records;
    for (int i = 1; i <= doc.highestIndex(); ++i)
        if (doc.isRecord(i))
            records.push_back(i);
    if (sorted)
        std::stable_sort(records.begin(), records.end(),
                         [&](int a, int b) { return doc.entry(a).id < doc.entry(b).id; });
    for (int r : records) {
        out += "  ";
        out += escapeItemText(doc.itemText(r));
        out += '\n';
        // A record's fields follow it directly in the list.
        for (int f = r + 1; f <= doc.highestIndex() && doc.isField(f) && doc.entry(f).parent == r; ++f) {
            out += "    ";
            out += escapeItemText(doc.itemText(f));
            out += '\n';
        }
    }
    if (!doc.trailingBytes().empty()) {
        out += "  ";
        out += doc.trailingText();
        out += '\n';
    }
    return out;
}

int runListCommand(const std::vector<std::string>& args, const std::string& programPath,
                   std::ostream& out, std::ostream& err)
{
    bool list = false, sorted = false, help = false, showVersion = false;
    std::string definitions;
    bool haveDefinitions = false;
    std::vector<std::string> files;
    bool onlyFiles = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (onlyFiles || a == "-" || a.empty() || a[0] != '-') {
            files.push_back(a);
        } else if (a == "--") {
            onlyFiles = true;
        } else if (a == "--list") {
            list = true;
        } else if (a == "--sorted") {
            sorted = true;
        } else if (a == "--help") {
            help = true;
        } else if (a == "--version") {
            showVersion = true;
        } else if (a == "--definitions") {
            if (i + 1 >= args.size()) {
                usageError(err, "option '--definitions' requires an argument");
                return 2;
            }
            definitions = args[++i];
            haveDefinitions = true;
        } else if (a.rfind("--definitions=", 0) == 0) {
            definitions = a.substr(14);
            haveDefinitions = true;
        } else {
            usageError(err, "unrecognized option '" + a + "'");
            return 2;
        }
    }
    if (help) {
        printHelp(out);
        return 0;
    }
    if (showVersion) {
        out << kProgram << " (Tarlo) " << version() << "\n";
        return 0;
    }
    if (!list) {
        usageError(err, "no command given");
        return 2;
    }
    if (files.size() != 1) {
        usageError(err, files.empty() ? "missing AIR file operand" : "extra operand '" + files[1] + "'");
        return 2;
    }

    if (!haveDefinitions)
        definitions = findDataFile(programDir(resolveProgramPath(programPath)), "Tarlo.ini");
    else if (!fileio::exists(definitions))
        err << kProgram << ": warning: " << definitions
            << " was not found; records are listed as Unknown.\n";

    CTLDoc doc;
    doc.setDefinitionsPath(definitions);
    if (fileio::Error e = doc.load(files[0])) {
        err << kProgram << ": " << e.message << "\n";
        return 1;
    }
    out << listDocument(doc, sorted);
    out.flush();
    return out ? 0 : 1;
}

} // namespace model
