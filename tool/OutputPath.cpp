#include "tool/OutputPath.h"

#include "tool/Dump.h"
#include "tool/Update.h"

#include <filesystem>

namespace patchwise {

namespace fs = std::filesystem;

std::string resolvedPath(const std::string& path)
{
    std::error_code ec;
    fs::path p = fs::absolute(path, ec);
    if (ec)
        return path;
    fs::path r = fs::weakly_canonical(p, ec);
    return ec ? p.lexically_normal().string() : r.string();
}

bool isBackupName(const std::string& name, const std::string& airTarget)
{
    const fs::path n(resolvedPath(name)), a(airTarget);
    if (n.parent_path() != a.parent_path())
        return false;
    const std::string file = n.filename().string(), base = a.filename().string() + ".";
    if (file.size() < base.size() + 3 || file.compare(0, base.size(), base) != 0)
        return false;
    return file.find_first_not_of("0123456789", base.size()) == std::string::npos;
}

bool replacesAirOrBackup(const std::string& output, const std::string& airPath)
{
    if (sameFile(output, airPath))
        return true;
    const std::string target = resolvedPath(airPath);
    if (resolvedPath(output) == target || isBackupName(output, target))
        return true;
    // Another name (a hard link) of an existing backup.
    std::error_code ec;
    if (!fs::exists(output, ec))
        return false;
    for (unsigned n = 1;; ++n) {
        std::string number = std::to_string(n);
        while (number.size() < 3)
            number.insert(0, "0");
        const std::string backup = target + "." + number;
        if (!fs::exists(backup, ec))
            return false;
        if (sameFile(output, backup))
            return true;
    }
}

} // namespace patchwise
