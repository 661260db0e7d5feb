#include "tool/DefinitionsFile.h"

#include "base/AsciiText.h"
#include "base/FileIO.h"
#include "base/Paths.h"
#include "tool/ToolText.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace patchwise {

using base::ascii::equalsIgnoreCase;

namespace {

std::string trim(std::string_view s)
{
    return std::string(base::ascii::trim(s));
}

// Desktop-entry value escapes: \s \n \t \r \\.
std::string unescapeDesktopValue(std::string_view v)
{
    std::string r;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '\\' && i + 1 < v.size()) {
            char n = v[++i];
            switch (n) {
            case 's':
                r += ' ';
                break;
            case 'n':
                r += '\n';
                break;
            case 't':
                r += '\t';
                break;
            case 'r':
                r += '\r';
                break;
            case '\\':
                r += '\\';
                break;
            default:
                r += '\\';
                r += n;
                break;
            }
        } else {
            r += v[i];
        }
    }
    return r;
}

bool isRegularFile(const std::string& path)
{
    return base::fileio::kindOf(path) == base::fileio::FileKind::Regular;
}

std::string joinPath(const std::string& dir, const std::string& name)
{
    if (dir.empty() || dir.back() == '/')
        return dir + name;
    return dir + "/" + name;
}

} // namespace

std::optional<std::string> readOpenCommand(const std::string& desktopFile, bool* fromExec)
{
    std::vector<std::uint8_t> bytes;
    if (base::fileio::readFile(desktopFile, bytes))
        return std::nullopt;
    std::string_view all(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    bool inEntry = false;
    std::optional<std::string> own, exec;
    std::size_t pos = 0;
    while (pos < all.size()) {
        std::size_t nl = all.find('\n', pos);
        std::string_view line =
                all.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
        pos = nl == std::string_view::npos ? all.size() : nl + 1;
        std::string t = trim(line);
        if (t.empty() || t[0] == '#')
            continue;
        if (t[0] == '[') {
            inEntry = t == "[Desktop Entry]";
            continue;
        }
        if (!inEntry)
            continue;
        auto eq = t.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = trim(std::string_view(t).substr(0, eq));
        std::string value = unescapeDesktopValue(trim(std::string_view(t).substr(eq + 1)));
        if (key == "X-Tarlo-OpenCommand" && !own)
            own = value;
        else if (key == "Exec" && !exec)
            exec = value;
    }
    if (fromExec)
        *fromExec = !own && exec;
    if (own)
        return own;
    return exec;
}

std::string programFromOpenCommand(std::string_view command)
{
    std::string cmd = trim(command);
    if (cmd.empty())
        return {};
    if (cmd[0] == '"') {
        std::string program;
        for (std::size_t i = 1; i < cmd.size(); ++i) {
            char c = cmd[i];
            if (c == '"')
                return program;
            if (c == '\\' && i + 1 < cmd.size()
                    && std::string_view("\"`$\\").find(cmd[i + 1]) != std::string_view::npos)
                c = cmd[++i];
            program += c;
        }
        return program;
    }
    // The editor records "<program> \"%1\"", and its program path may hold blanks.
    for (std::string_view suffix : {std::string_view(" \"%1\""), std::string_view(" %1")}) {
        if (cmd.size() > suffix.size() && cmd.compare(cmd.size() - suffix.size(), suffix.size(), suffix) == 0)
            return trim(std::string_view(cmd).substr(0, cmd.size() - suffix.size()));
    }
    auto blank = cmd.find_first_of(" \t");
    return cmd.substr(0, blank);
}

std::string findTarloIni(const std::string& dir)
{
    return base::paths::findAnyCase(dir, "tarlo.ini");
}

std::string currentDirectory()
{
    std::error_code ec;
    auto p = std::filesystem::current_path(ec);
    return ec ? std::string() : p.string();
}

std::string definitionPathForProgram(const std::string& programIn)
{
    std::string program = programIn;
    if (program.empty())
        return {};
    if (program.find('/') == std::string::npos) {
        // A bare program name: look it up on PATH.
        const char* pathEnv = std::getenv("PATH");
        std::string_view paths = pathEnv ? pathEnv : "";
        std::string found;
        while (!paths.empty() && found.empty()) {
            auto colon = paths.find(':');
            std::string dir(paths.substr(0, colon));
            paths = colon == std::string_view::npos ? std::string_view() : paths.substr(colon + 1);
            if (!dir.empty() && isRegularFile(joinPath(dir, program)))
                found = joinPath(dir, program);
        }
        if (found.empty())
            return {};
        program = found;
    }
    if (program.size() > 4
            && equalsIgnoreCase(std::string_view(program).substr(program.size() - 4), ".exe")) {
        std::string ini = program.substr(0, program.size() - 3) + "ini";
        if (isRegularFile(ini))
            return ini;
    }
    // The installed prefix is the folder above the program's, when that has a name.
    std::string dir = base::paths::parentFolder(program);
    if (std::string beside = findTarloIni(dir); !beside.empty())
        return beside;
    std::string prefix = dir.find('/') == std::string::npos ? std::string() : base::paths::parentFolder(dir);
    if (!prefix.empty()) {
        if (std::string shared = findTarloIni(joinPath(prefix, "share/tarlo")); !shared.empty())
            return shared;
    }
    return {};
}

std::string locateDefinitionFile()
{
    std::string dataHome;
    if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x)
        dataHome = x;
    else if (const char* home = std::getenv("HOME"); home && *home)
        dataHome = std::string(home) + "/.local/share";
    // The editor's entry is named after its application id; older versions
    // wrote tarlo.desktop. The first entry with an open command counts.
    for (const char* entry : {"org.kestrelloft.Tarlo.desktop", "tarlo.desktop"}) {
        if (dataHome.empty())
            break;
        bool fromExec = false;
        auto command = readOpenCommand(dataHome + "/applications/" + entry, &fromExec);
        if (!command)
            continue;
        std::string program = programFromOpenCommand(*command);
        if (fromExec) {
            // Exec doubles a literal '%'.
            for (std::size_t at = 0; (at = program.find("%%", at)) != std::string::npos; ++at)
                program.erase(at, 1);
        }
        std::string path = definitionPathForProgram(program);
        if (!path.empty())
            return path;
        break;
    }
    return findTarloIni(currentDirectory());
}

std::string searchDefinitionFile()
{
    if (std::string found = locateDefinitionFile(); !found.empty())
        return found;
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        if (std::string beside = findTarloIni(self.parent_path().string()); !beside.empty())
            return beside;
    }
#ifdef TARLO_DATA_DIR
    return findTarloIni(TARLO_DATA_DIR);
#else
    return {};
#endif
}

std::string definitionFileProblem(const std::string& path)
{
    using base::fileio::FileKind;
    switch (base::fileio::kindOf(path)) {
    case FileKind::Regular:
        return {};
    case FileKind::Missing:
        return "does not exist";
    case FileKind::Folder:
        return "is a folder";
    case FileKind::Other:
        break;
    }
    return "is not a regular file";
}

} // namespace patchwise
