#pragma once
// Checks of the files the tool writes (the dump, the log) against the files
// it must never overwrite: the AIR file itself and its numbered backups.
#include <string>

namespace patchwise {

// The file a path names once symbolic links are followed, as an absolute
// path; for a path that does not exist yet, its folder resolved.
std::string resolvedPath(const std::string& path);

// True when `name` is a backup name of `airTarget` (a resolved path): the same
// folder and the AIR file's name followed by "." and three or more digits.
bool isBackupName(const std::string& name, const std::string& airTarget);

// True when writing `output` would replace the AIR file (through any link),
// one of its existing backups, or the backup that an update would create next.
bool replacesAirOrBackup(const std::string& output, const std::string& airPath);

} // namespace patchwise
