#include "model/ListCommand.h"

#include "model/CTLDoc.h"
#include "model/DataFiles.h"

#include <algorithm>
#include <charconv>
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
        << "  or:  " << kProgram << " --list [--definitions FILE] [--sorted] [--values] AIRFILE\n"
        << "Edit an AIR aircraft file, or print its record tree as text.\n"
        << "\n"
        << "  --list              print the record tree of AIRFILE and exit\n"
        << "  --definitions FILE  read the record definitions from FILE instead of\n"
        << "                        the Tarlo.ini beside the program\n"
        << "  --sorted            list the records in order of their identifiers\n"
        << "  --values            list the values of every table under its item\n"
        << "                        (16-bit values, points, grid rows)\n"
        << "  -h, --help          display this help and exit\n"
        << "  --version           output version information and exit\n"
        << "\n"
        << "The listing has the file name on its first line, then one line per record\n"
        << "(two spaces, the identifier in hexadecimal, two spaces, name and value) and\n"
        << "one line per field (four spaces, name and value). Control characters are\n"
        << "written as \\r, \\n, \\t, \\\\ or \\xHH; text is Latin-1, written as UTF-8.\n"
        << "Exit status is 0 on success, 1 when AIRFILE cannot be read, 2 on a usage error.\n"
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

StartCommand classifyStartCommand(const std::vector<std::string>& args)
{
    using Kind = StartCommand::Kind;
    if (isHeadlessCommand(args))
        return {Kind::Headless, {}};
    if (args.size() == 1 && isRegularFile(args[0]))
        return {Kind::Window, {}};
    std::size_t files = 0;
    bool onlyFiles = false;
    for (const std::string& a : args) {
        if (!onlyFiles && a == "--") {
            onlyFiles = true;
            continue;
        }
        if (!onlyFiles) {
            if (isSwitch(a, "unregister") || isSwitch(a, "unregserver"))
                return {Kind::Unregister, {}};
            // The print forms take the rest of the line as their operands.
            if (isSwitch(a, "p") || isSwitch(a, "pt"))
                return {Kind::Window, {}};
            if (a.size() > 1 && a[0] == '-')
                return {Kind::Usage, "unrecognized option '" + a + "'"};
        }
        if (++files > 1)
            return {Kind::Usage, "extra operand '" + a + "'"};
    }
    return {Kind::Window, {}};
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

namespace {

std::string number(double v)
{
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// The values of a table entry, one line each; nothing for other types.
void appendTableValues(std::string& out, const CTLDoc& doc, int i, const std::string& indent)
{
    const std::span<const std::uint8_t> d = doc.data(i);
    switch (doc.entry(i).type) {
    case FieldType::Tbl16: {
        const std::vector<std::uint16_t> v = readTbl16(d);
        for (std::size_t k = 0; k < v.size(); ++k)
            out += indent + "[" + std::to_string(k) + "] " + std::to_string(v[k]) + "\n";
        break;
    }
    case FieldType::TblDb: {
        const std::vector<DoublePoint> p = readTbldb(d, tbldbStoredCount(d).value_or(0));
        for (std::size_t k = 0; k < p.size(); ++k)
            out += indent + "[" + std::to_string(k) + "] " + number(p[k].x) + " " + number(p[k].y) + "\n";
        break;
    }
    case FieldType::Tbl3d: {
        const auto shape = tbl3dShape(d);
        if (!shape)
            break;
        if (!tbl3dValuesFit(d)) {
            // Counts that claim more than the data holds are not walked.
            out += indent + "(" + std::to_string(shape->groups) + " x " + std::to_string(shape->values)
                    + " values do not fit in " + std::to_string(d.size()) + " bytes)\n";
            break;
        }
        // No groups: no cells, however many rows the count claims.
        for (std::uint32_t k = 0; shape->groups > 0 && k < shape->values; ++k) {
            std::string row = indent + "row " + std::to_string(k) + ":";
            for (std::uint32_t g = 0; g < shape->groups; ++g) {
                row += ' ';
                row += number(tbl3dValue(d, g, k).value_or(0.0));
            }
            out += row + "\n";
        }
        break;
    }
    default:
        break;
    }
}

// The listing line by line; `put` gets each piece in order.
template <typename Put>
void forEachListingPiece(const CTLDoc& doc, bool sorted, bool values, Put&& put)
{
    std::string line = escapeItemText(doc.itemText(0));
    line += '\n';
    put(line);
    std::vector<int> records;
    records.reserve(std::size_t(doc.recordCount()));
    for (int i = 1; i <= doc.highestIndex(); ++i)
        if (doc.isRecord(i))
            records.push_back(i);
    if (sorted)
        std::stable_sort(records.begin(), records.end(),
                         [&](int a, int b) { return doc.entry(a).id < doc.entry(b).id; });
    for (int r : records) {
        line = "  ";
        line += escapeItemText(doc.itemText(r));
        line += '\n';
        if (values)
            appendTableValues(line, doc, r, "    ");
        put(line);
        // A record's fields follow it directly in the list.
        for (int f = r + 1; f <= doc.highestIndex() && doc.isField(f) && doc.entry(f).parent == r; ++f) {
            line = "    ";
            line += escapeItemText(doc.itemText(f));
            line += '\n';
            if (values)
                appendTableValues(line, doc, f, "      ");
            put(line);
        }
    }
    if (!doc.trailingBytes().empty()) {
        line = "  ";
        line += doc.trailingText();
        line += '\n';
        put(line);
    }
}

} // namespace

std::string listDocument(const CTLDoc& doc, bool sorted, bool values)
{
    std::string out;
    forEachListingPiece(doc, sorted, values, [&out](const std::string& piece) { out += piece; });
    return out;
}

bool writeListing(const CTLDoc& doc, bool sorted, bool values, std::ostream& out)
{
    // Written as it is made, in pieces of some tens of kilobytes: the
    // listing of a large file is never held whole.
    std::string buffer;
    buffer.reserve(1 << 16);
    forEachListingPiece(doc, sorted, values, [&](const std::string& piece) {
        buffer += piece;
        if (buffer.size() >= (1 << 16) && out) {
            out.write(buffer.data(), std::streamsize(buffer.size()));
            buffer.clear();
        }
    });
    out.write(buffer.data(), std::streamsize(buffer.size()));
    return bool(out);
}

int runListCommand(const std::vector<std::string>& args, const std::string& programPath,
                   std::ostream& out, std::ostream& err)
{
    bool list = false, sorted = false, values = false, help = false, showVersion = false;
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
        } else if (a == "--values") {
            values = true;
        } else if (a == "--help" || a == "-h") {
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
    writeListing(doc, sorted, values, out);
    out.flush();
    return out ? 0 : 1;
}

} // namespace model
