#pragma once
// Finding the program's data files (Tarlo.ini, Tarlo.html).
#include <string>

namespace tarlo {

// The folder part of a program path ("" for a bare name -> ".").
std::string programDir(const std::string& programPath);

// The file `name` in programDir, matched without regard to letter case; else
// the same in the installed data folder (TARLO_DATA_DIR); else the path beside
// the program (which may not exist).
std::string findDataFile(const std::string& programDir, const std::string& name);

// The same search in one folder; "" when not found.
std::string findInDir(const std::string& dir, const std::string& name);

} // namespace tarlo
