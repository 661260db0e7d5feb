#include "tool/CommandLine.h"

#include "base/FileIO.h"
#include "tool/Check.h"
#include "tool/DefinitionsFile.h"
#include "tool/Diff.h"
#include "tool/Dump.h"
#include "tool/Merge.h"
#include "tool/Output.h"
#include "tool/ToolDefinitions.h"
#include "tool/Update.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <stdlib.h>

namespace patchwise {

std::string dumpFileName(const std::string& name)
{
    auto dot = name.find_last_of('.');
    if (dot == std::string::npos)
        return "txt";
    return name.substr(0, dot + 1) + "txt";
}

std::string defaultDumpPath(const std::string& airPath)
{
    auto slash = airPath.find_last_of('/');
    if (slash == std::string::npos)
        return dumpFileName(airPath);
    return airPath.substr(0, slash) + "/" + dumpFileName(airPath.substr(slash + 1));
}

std::string usageText()
{
    return "Usage:\n"
           "  patchwise                      open the dialog\n"
           "  patchwise dump [--full] [--definitions FILE] [--strict] AIRFILE [-o DUMPFILE]\n"
           "  patchwise update [--definitions FILE] [--log LOGFILE] [--dry-run] [--strict]\n"
           "                   AIRFILE SCRIPT\n"
           "  patchwise update [options as above] --script SCRIPT AIRFILE...\n"
           "  patchwise diff [--definitions FILE] [--script | --json] [--strict] OLD.air NEW.air\n"
           "  patchwise merge [--definitions FILE] BASE.air OURS.air THEIRS.air [-o OUT.air]\n"
           "                  [--conflicts SCRIPT]\n"
           "  patchwise check [--definitions FILE] [AIRFILE...]\n"
           "  patchwise --help | --version\n"
           "\n"
           "dump     writes a text listing of AIRFILE (default: its name with the\n"
           "         extension \"txt\", beside it; -o - writes it to standard output);\n"
           "         --full lists every record.\n"
           "update   applies SCRIPT to AIRFILE, keeping the old file as AIRFILE.001,\n"
           "         .002, ...; the log goes to amod_log.txt in the current folder\n"
           "         (--log - writes it to standard output). Lines it cannot carry out\n"
           "         are warnings on standard error with their line numbers.\n"
           "         --dry-run  runs the script in memory and prints the log; nothing\n"
           "                    is written: no backup, no log file, AIRFILE untouched\n"
           "         --strict   any warning fails the update (exit 1), nothing written\n"
           "         --script SCRIPT applies one script to each AIRFILE in turn, each\n"
           "                    all or nothing with its own backups, into one log\n"
           "diff     shows what differs between two AIR files, record by record;\n"
           "         --script writes an update script that turns OLD.air into NEW.air;\n"
           "         --json writes the differences as JSON (see the manual page).\n"
           "         Exit status 0 the same, 1 different, 2 trouble.\n"
           "merge    takes into OURS.air every change THEIRS.air made against BASE.air\n"
           "         and writes the result to OUT.air (default: OURS.air). An item both\n"
           "         changed differently keeps OURS's value and is listed on standard\n"
           "         error; --conflicts writes an update script that takes THEIRS's.\n"
           "         Exit status 0 merged, 1 conflicts, 2 trouble.\n"
           "check    lists the definition file's problems (file:line) and, for each\n"
           "         AIRFILE, its stamp and what the definitions do not cover.\n"
           "         Exit status 0 clean, 1 problems, 2 trouble.\n"
           "Without --definitions the record definitions are the editor's Tarlo.ini,\n"
           "else tarlo.ini in the current folder, else Tarlo.ini beside patchwise,\n"
           "else the one in the installed data folder. When none is found, or\n"
           "--definitions names no file, a warning says so (--strict: exit 1).\n"
           "SOURCE_DATE_EPOCH, when set, is the time written into the update stamp.\n"
           "Exit status: 0 success, 1 failure, 2 wrong usage.\n"
           "\n"
           "Examples:\n"
           "  patchwise dump --full plane.air -o - | less\n"
           "  patchwise update --dry-run --strict plane.air fixes.txt\n"
           "  patchwise diff --script old.air new.air > carry-over.txt\n";
}

namespace {

using Mode = ToolCommandLine::Mode;

ToolCommandLine usage(const std::string& message)
{
    ToolCommandLine cl;
    cl.mode = Mode::Usage;
    cl.error = message;
    return cl;
}

std::optional<Mode> commandMode(const std::string& verb)
{
    if (verb == "dump")
        return Mode::Dump;
    if (verb == "update")
        return Mode::Update;
    if (verb == "diff")
        return Mode::Diff;
    if (verb == "merge")
        return Mode::Merge;
    if (verb == "check")
        return Mode::Check;
    return std::nullopt;
}

// Reads the option at args[i] into cl (moving i past a value given as the
// next argument). Returns what is wrong with it, or nothing.
std::string takeOption(ToolCommandLine& cl, const std::vector<std::string>& args, std::size_t& i)
{
    const std::string& a = args[i];
    const bool dump = cl.mode == Mode::Dump, update = cl.mode == Mode::Update, diff = cl.mode == Mode::Diff,
               merge = cl.mode == Mode::Merge, check = cl.mode == Mode::Check;
    std::string name = a, value;
    bool inlineValue = false;
    if (auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
        name = a.substr(0, eq);
        value = a.substr(eq + 1);
        inlineValue = true;
    }
    auto takeValue = [&]() -> bool {
        if (inlineValue)
            return true;
        if (i + 1 >= args.size())
            return false;
        value = args[++i];
        return true;
    };
    auto fileOption = [&](auto& into) -> std::string {
        if (!takeValue())
            return name + " needs a file";
        if (value.empty())
            return name + " needs a file name, not an empty one";
        into = value;
        return {};
    };
    if (name == "--full" && dump && !inlineValue) {
        cl.full = true;
    } else if (name == "--definitions") {
        return fileOption(cl.definitions);
    } else if ((name == "-o" || name == "--output") && (dump || merge)) {
        return fileOption(cl.output);
    } else if (name == "--log" && update) {
        return fileOption(cl.log);
    } else if (name == "--dry-run" && update && !inlineValue) {
        cl.dryRun = true;
    } else if (name == "--conflicts" && merge) {
        return fileOption(cl.conflicts);
    } else if (name == "--strict" && !merge && !check && !inlineValue) {
        cl.strict = true;
    } else if (name == "--script" && diff && !inlineValue) {
        cl.diffScript = true;
    } else if (name == "--json" && diff && !inlineValue) {
        cl.json = true;
    } else if (name == "--script" && update) {
        if (!takeValue() || value.empty())
            return "--script needs a script file";
        cl.script = value;
    } else {
        return "unknown option '" + a + "'";
    }
    return {};
}

// Gives the command its files. Returns what is wrong with them, or nothing.
std::string placeFiles(ToolCommandLine& cl, const std::vector<std::string>& files)
{
    switch (cl.mode) {
    case Mode::Dump:
        if (files.size() != 1)
            return files.empty() ? "dump needs an AIR file" : "dump takes one AIR file";
        cl.air = files[0];
        return {};
    case Mode::Diff:
        if (cl.diffScript && cl.json)
            return "diff writes a script or JSON, not both";
        if (files.size() != 2)
            return "diff needs an old and a new AIR file";
        cl.air = files[0];
        cl.newAir = files[1];
        return {};
    case Mode::Check:
        cl.airs = files;
        return {};
    case Mode::Merge:
        if (files.size() != 3)
            return "merge needs a base, our and their AIR file";
        if (cl.output == "-")
            return "merge writes an AIR file, not standard output";
        cl.airs = files;
        return {};
    default:
        break;
    }
    if (!cl.script.empty()) {
        if (files.empty())
            return "update --script needs at least one AIR file";
        cl.airs = files;
        return {};
    }
    if (files.size() != 2)
        return "update needs an AIR file and a script";
    cl.air = files[0];
    cl.script = files[1];
    return {};
}

} // namespace

ToolCommandLine parseCommandLine(const std::vector<std::string>& args)
{
    ToolCommandLine cl;
    if (args.empty())
        return cl;
    const std::string& verb = args[0];
    if (verb == "--help" || verb == "-h" || verb == "help") {
        cl.mode = Mode::Help;
        return cl;
    }
    if (verb == "--version") {
        cl.mode = Mode::Version;
        return cl;
    }
    const std::optional<Mode> mode = commandMode(verb);
    if (!mode)
        return usage("unknown command '" + verb + "'");
    cl.mode = *mode;
    std::vector<std::string> files;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
            files.push_back(a);
        } else if (a == "--") {
            optionsEnded = true;
        } else if (a == "--help" || a == "-h") {
            cl.mode = Mode::Help;
            return cl;
        } else if (std::string problem = takeOption(cl, args, i); !problem.empty()) {
            return usage(problem);
        }
    }
    if (std::string problem = placeFiles(cl, files); !problem.empty())
        return usage(problem);
    return cl;
}

namespace {

// One of several updates, its log at logPath; says on err how it went.
bool updateOneOf(const ToolCommandLine& cl, const std::string& air, const std::string& logPath,
        const std::string& definitions, std::ostream& out, std::ostream& err)
{
    UpdateOptions options;
    options.logPath = logPath;
    options.dryRun = cl.dryRun;
    options.strict = cl.strict;
    options.standardOutput = &out;
    options.warning = [&](const ScriptWarning& w) {
        err << "patchwise: " << air << ": " << cl.script << ":" << w.line << ": " << w.message << "\n";
    };
    const std::string backup = nextBackupName(air);
    std::string error;
    if (applyUpdateScript(air, cl.script, definitions, processDefinitions(), options, &error) == 0) {
        err << "patchwise: " << air << ": "
            << (cl.dryRun ? std::string("would be updated") : "updated, the old file kept as " + backup)
            << "\n";
        return true;
    }
    err << "patchwise: " << air
        << ": failed, left as it was: " << (error.empty() ? std::string("the update failed.") : error)
        << "\n";
    return false;
}

// The logs kept aside, each under its AIR file's name, become the one log.
bool joinLogs(const std::vector<std::pair<std::string, std::string>>& logs, const std::string& logTarget,
        std::ostream& out, std::ostream& err)
{
    if (logs.empty())
        return true;
    std::string all;
    for (const auto& [air, log] : logs) {
        std::vector<std::uint8_t> bytes;
        all += "AIR file: " + air + "\n";
        if (!base::fileio::readFile(log, bytes))
            all.append(bytes.begin(), bytes.end());
    }
    if (auto e = writeOutput(logTarget, all, &out)) {
        err << "patchwise: the log " << logTarget << " could not be written: " << e.message << "\n";
        return false;
    }
    return true;
}

// One script over several files: each file is its own update; their logs,
// kept aside while they run, become one log at the end.
int updateMany(
        const ToolCommandLine& cl, const std::string& definitions, std::ostream& out, std::ostream& err)
{
    namespace fs = std::filesystem;
    const std::string logTarget = cl.log.empty() ? std::string(kDefaultLogName) : cl.log;
    const bool collect = !cl.dryRun && !writesInPlace(logTarget);
    std::string logDir;
    if (collect) {
        std::string pattern = (fs::temp_directory_path() / "patchwise-log-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) {
            err << "patchwise: no folder for the logs can be made.\n";
            return 1;
        }
        logDir = pattern;
    }
    std::vector<std::string> failed;
    std::vector<std::pair<std::string, std::string>> logs; // AIR file, its log
    for (std::size_t i = 0; i < cl.airs.size(); ++i) {
        const std::string& air = cl.airs[i];
        const std::string logPath = collect ? logDir + "/" + std::to_string(i) : logTarget;
        if (!updateOneOf(cl, air, logPath, definitions, out, err))
            failed.push_back(air);
        if (collect && fs::exists(logPath))
            logs.emplace_back(air, logPath);
    }
    int result = failed.empty() ? 0 : 1;
    if (collect) {
        if (!joinLogs(logs, logTarget, out, err))
            result = 1;
        std::error_code ec;
        fs::remove_all(logDir, ec);
    }
    if (!failed.empty()) {
        err << "patchwise: the update failed for:";
        for (const std::string& f : failed)
            err << " " << f;
        err << "\n";
    }
    return result;
}

// Help or version text on standard output; a failed write is an error.
int printText(const std::string& text, const char* what, std::ostream& out, std::ostream& err)
{
    out << text;
    out.flush();
    if (!out) {
        err << "patchwise: the " << what << " could not be written.\n";
        return 1;
    }
    return 0;
}

// Warns when there is no usable definition file; false when --strict makes that fatal.
bool definitionsUsable(const ToolCommandLine& cl, const std::string& definitions, std::ostream& err)
{
    if (cl.definitions) {
        if (std::string problem = definitionFileProblem(definitions); !problem.empty()) {
            err << "patchwise: " << (cl.strict ? "" : "warning: ") << "the definition file " << definitions
                << " " << problem << "\n";
            return !cl.strict;
        }
    } else if (definitions.empty()) {
        err << "patchwise: " << (cl.strict ? "" : "warning: ")
            << "no definition file found (tarlo.ini of the editor, in the current folder, beside patchwise "
               "or in the data folder); records are listed without their formats\n";
        return !cl.strict;
    }
    return true;
}

int runDump(const ToolCommandLine& cl, const std::string& definitions, std::ostream& out, std::ostream& err,
        std::string& error)
{
    // An AIR file that cannot be read leaves no dump behind.
    if (std::ifstream air(cl.air, std::ios::binary);
            base::fileio::kindOf(cl.air) != base::fileio::FileKind::Regular || !air) {
        err << "patchwise: cannot read " << cl.air << "\n";
        return 1;
    }
    return writeDump(cl.air, cl.output.empty() ? defaultDumpPath(cl.air) : cl.output, definitions, cl.full,
            processDefinitions(), &error, &out);
}

int runUpdate(const ToolCommandLine& cl, const std::string& definitions, std::ostream& out, std::ostream& err,
        std::string& error)
{
    UpdateOptions options;
    if (!cl.log.empty())
        options.logPath = cl.log;
    options.dryRun = cl.dryRun;
    options.strict = cl.strict;
    options.standardOutput = &out;
    options.warning = [&](const ScriptWarning& w) {
        err << "patchwise: " << cl.script << ":" << w.line << ": " << w.message << "\n";
    };
    return applyUpdateScript(cl.air, cl.script, definitions, processDefinitions(), options, &error);
}

// The commands that read AIR files with the record definitions.
int runWithDefinitions(const ToolCommandLine& cl, std::ostream& out, std::ostream& err)
{
    const std::string definitions = cl.definitions ? *cl.definitions : searchDefinitionFile();
    if (!definitionsUsable(cl, definitions, err))
        return 1;
    if (cl.mode == Mode::Merge)
        return runMergeCommand(
                {cl.airs[0], cl.airs[1], cl.airs[2], cl.output, cl.conflicts, definitions}, err);
    if (cl.mode == Mode::Diff)
        return runDiff(cl.air, cl.newAir, definitions,
                cl.diffScript     ? DiffFormat::Script
                        : cl.json ? DiffFormat::Json
                                  : DiffFormat::Listing,
                processDefinitions(), out, err, cl.strict);
    if (cl.mode == Mode::Update && !cl.airs.empty())
        return updateMany(cl, definitions, out, err);
    std::string error;
    const int status = cl.mode == Mode::Dump ? runDump(cl, definitions, out, err, error)
                                             : runUpdate(cl, definitions, out, err, error);
    if (status != 0)
        err << "patchwise: " << (error.empty() ? "the operation failed." : error) << "\n";
    return status;
}

} // namespace

int runCommandLine(const ToolCommandLine& cl, std::ostream& out, std::ostream& err)
{
    switch (cl.mode) {
    case Mode::Help:
        return printText(usageText(), "help text", out, err);
    case Mode::Version:
        return printText(std::string("patchwise (Tarlo) ") + TARLO_VERSION + "\n", "version", out, err);
    case Mode::Usage:
        err << "patchwise: " << cl.error << "\nTry 'patchwise --help'.\n";
        return 2;
    case Mode::Dialog:
        err << "patchwise: this build has no dialog\nTry 'patchwise --help'.\n";
        return 2;
    case Mode::Check:
        return runCheck(cl.definitions ? *cl.definitions : searchDefinitionFile(), cl.airs, out, err);
    case Mode::Merge:
    case Mode::Dump:
    case Mode::Update:
    case Mode::Diff:
        break;
    }
    return runWithDefinitions(cl, out, err);
}

} // namespace patchwise
