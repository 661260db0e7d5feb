#pragma once
// Finding the program's data files (Tarlo.ini, Tarlo.html).
#include <string>

namespace tarlo {

// The file `name` in programDir (base::paths::parentFolder of the program),
// matched without regard to letter case; else the same in the installed data
// folder (TARLO_DATA_DIR); else the path beside the program (which may not
// exist).
std::string findDataFile(const std::string& programDir, const std::string& name);

} // namespace tarlo
