#pragma once
// Path names: the folder part of a path, and a file found in any letter case.
#include <string>

namespace base::paths {

// The folder part of a path: "." without one, "/" for a name in the root.
std::string parentFolder(const std::string& path);

// The regular file `name` in folder ("" is the current folder), letter case
// ignored: the exact spelling when there is one, else the first other
// spelling in byte order, so that the choice is the same every time. The
// folder joined with the name found, or "" when there is none.
std::string findAnyCase(const std::string& folder, const std::string& name);

} // namespace base::paths
