// The diff command: reads the two files and writes the listing or the script.
#include "tool/Diff.h"

#include "base/FileIO.h"
#include "tool/DiffScript.h"

#include <algorithm>
#include <ostream>

namespace patchwise {

DiffResult diffScript(std::span<const std::uint8_t> oldFile, std::span<const std::uint8_t> newFile,
        const std::string& definitionPath, ToolDefinitions& defs)
{
    using diffing::ScriptWriter;
    std::string scratch;
    defs.loadDefinitions(definitionPath, scratch);
    bool orderBroken = false;
    DiffResult inOrder = ScriptWriter(defs, definitionPath).run(oldFile, newFile, true, &orderBroken);
    if (inOrder.warnings.empty() || !orderBroken)
        return inOrder;
    return ScriptWriter(defs, definitionPath).run(oldFile, newFile, false);
}

int runDiff(const std::string& oldPath, const std::string& newPath, const std::string& definitionPath,
        DiffFormat format, ToolDefinitions& defs, std::ostream& out, std::ostream& err, bool strict)
{
    namespace fio = base::fileio;
    std::vector<std::uint8_t> a, b;
    for (auto [path, bytes] : {std::pair{&oldPath, &a}, std::pair{&newPath, &b}}) {
        if (auto e = fio::readFile(*path, *bytes)) {
            err << "patchwise: " << e.message << "\n";
            return 2;
        }
    }
    DiffResult r = format == DiffFormat::Script ? diffScript(a, b, definitionPath, defs)
            : format == DiffFormat::Json        ? diffJson(a, b, definitionPath, defs)
                                                : diffListing(a, b, definitionPath, defs);
    for (const std::string& w : r.warnings)
        err << "patchwise: " << w << "\n";
    out << r.text;
    out.flush();
    if (!out) {
        err << "patchwise: the output could not be written.\n";
        return 2;
    }
    const bool incomplete = std::any_of(r.warnings.begin(), r.warnings.end(),
            [](const std::string& w) { return w.rfind("cannot express", 0) == 0; });
    if (strict && incomplete) {
        err << "patchwise: the script cannot turn " << oldPath << " into " << newPath << " completely.\n";
        return 2;
    }
    return r.different ? 1 : 0;
}

} // namespace patchwise
