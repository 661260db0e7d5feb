#pragma once
// Where the tool finds the record definition file: the editor's registered
// open command, the folders beside that program, the current directory.
#include <optional>
#include <string>
#include <string_view>

namespace patchwise {

// The definition path at program start: from the editor's registered open
// command, else tarlo.ini in the current directory, else empty.
std::string locateDefinitionFile();
// The command line's search: locateDefinitionFile, then tarlo.ini beside the
// running program (any letter case), then the installed data folder; empty
// when none is found.
std::string searchDefinitionFile();
// What is wrong with a named definition file ("does not exist", "is a
// folder", ...); empty when it is a regular file.
std::string definitionFileProblem(const std::string& path);

// The editor's open command as recorded in its desktop entry
// ($XDG_DATA_HOME/applications/org.kestrelloft.Tarlo.desktop, or tarlo.desktop
// from older versions): X-Tarlo-OpenCommand, else Exec.
// fromExec, when given, tells whether the value came from Exec.
std::optional<std::string> readOpenCommand(const std::string& desktopFile, bool* fromExec = nullptr);
// The program path at the start of an open command (quotes honoured).
std::string programFromOpenCommand(std::string_view command);
// The definition file for an editor program path: a .exe path gets its
// extension letters replaced by "ini"; otherwise Tarlo.ini beside the
// program, or in the installed data folder; empty when none exists.
std::string definitionPathForProgram(const std::string& program);
// dir + "/" + the name of the file in dir called tarlo.ini in any letter
// case; empty when there is none.
std::string findTarloIni(const std::string& dir);
std::string currentDirectory();

} // namespace patchwise
