#include "base/Paths.h"

#include "base/AsciiText.h"

#include <filesystem>
#include <system_error>

namespace base::paths {

namespace fs = std::filesystem;

std::string parentFolder(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string findAnyCase(const std::string& folderIn, const std::string& name)
{
    const fs::path folder(folderIn.empty() ? std::string(".") : folderIn);
    std::error_code ec;
    if (fs::is_regular_file(folder / name, ec))
        return (folder / name).string();
    std::string best;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string candidate = it->path().filename().string();
        if (ascii::equalsIgnoreCase(candidate, name) && it->is_regular_file(ec)
                && (best.empty() || candidate < best))
            best = candidate;
    }
    return best.empty() ? std::string() : (folder / best).string();
}

} // namespace base::paths
