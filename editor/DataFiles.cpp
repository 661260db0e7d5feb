#include "editor/DataFiles.h"

#include <filesystem>
#include <system_error>

namespace tarlo {

namespace fs = std::filesystem;

namespace {
bool equalNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto low = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (low(a[i]) != low(b[i]))
            return false;
    }
    return true;
}
} // namespace

std::string programDir(const std::string& programPath)
{
    const std::size_t slash = programPath.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return programPath.substr(0, slash);
}

std::string findInDir(const std::string& dir, const std::string& name)
{
    std::error_code ec;
    const fs::path exact = fs::path(dir) / name;
    if (fs::is_regular_file(exact, ec))
        return exact.string();
    // Several spellings may exist; pick the smallest name so the choice is stable.
    std::string best;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string candidate = it->path().filename().string();
        if (equalNoCase(candidate, name) && it->is_regular_file(ec) && (best.empty() || candidate < best))
            best = candidate;
    }
    return best.empty() ? std::string() : (fs::path(dir) / best).string();
}

std::string findDataFile(const std::string& dir, const std::string& name)
{
    if (std::string found = findInDir(dir, name); !found.empty())
        return found;
#ifdef TARLO_DATA_DIR
    if (std::string found = findInDir(TARLO_DATA_DIR, name); !found.empty())
        return found;
#endif
    return (fs::path(dir) / name).string();
}

} // namespace tarlo
