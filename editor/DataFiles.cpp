#include "editor/DataFiles.h"

#include "base/Paths.h"

#include <filesystem>

namespace tarlo {

std::string findDataFile(const std::string& dir, const std::string& name)
{
    if (std::string found = base::paths::findAnyCase(dir, name); !found.empty())
        return found;
#ifdef TARLO_DATA_DIR
    if (std::string found = base::paths::findAnyCase(TARLO_DATA_DIR, name); !found.empty())
        return found;
#endif
    return (std::filesystem::path(dir) / name).string();
}

} // namespace tarlo
