// Patchwise as a Unix tool: "-" is standard output, devices are written in
// place, a dry run writes nothing, warnings carry line numbers, --strict.
#include "ToolTestSupport.h"
#include "tool/CommandLine.h"
#include "tool/Dump.h"
#include "tool/Output.h"
#include "tool/Update.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <sys/stat.h>

using namespace patchwise;
using namespace pwtest;
using namespace airtest;
namespace fs = std::filesystem;

namespace {

const char* kIni = "[records]\n1f4=Engine limits,record\n[1f4]\n1=0,int16,Idle speed\n2=2,int16,Top speed\n";

// Every file of a folder with its bytes.
std::map<std::string, Bytes> snapshot(const std::string& dir)
{
    std::map<std::string, Bytes> files;
    for (const auto& e : fs::directory_iterator(dir)) files[e.path().filename().string()] = readBytes(e.path().string());
    return files;
}

class UnixTool : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override
    {
        writeText(dir.file("Tarlo.ini"), kIni);
        writeBytes(dir.file("plane.air"),
                concat({record(0x1f4, u16s({600, 90})), record(0x410, u16s({3, -4}))}));
    }
    std::string ini() const { return dir.file("Tarlo.ini"); }
};

} // namespace

TEST_F(UnixTool, DumpToStandardOutputEqualsTheFileDump)
{
    for (bool full : {false, true}) {
        ToolDefinitions toFile, toStdout;
        ASSERT_EQ(writeDump(dir.file("plane.air"), dir.file("plane.txt"), ini(), full, toFile), 0);
        std::ostringstream stdoutDump;
        ASSERT_EQ(writeDump(dir.file("plane.air"), "-", ini(), full, toStdout, nullptr, &stdoutDump), 0);
        EXPECT_EQ(stdoutDump.str(), readText(dir.file("plane.txt")));
        EXPECT_NE(stdoutDump.str().find("\nRecord: 0410 \nPoints: 2\n3\n-4\n"), std::string::npos);
        EXPECT_FALSE(fs::exists(dir.file("-")));
    }
    EXPECT_EQ(parseCommandLine({"dump", "a.air", "-o", "-"}).output, "-");

    // Through the command line: standard output, and nothing on disk.
    const auto before = snapshot(dir.path());
    std::ostringstream out, err;
    ASSERT_EQ(runCommandLine(parseCommandLine({"dump", "--full", "--definitions", ini(), dir.file("plane.air"), "-o",
                                               "-"}),
                             out, err),
              0)
        << err.str();
    EXPECT_NE(out.str().find("\nRecord count: 2\n"), std::string::npos) << out.str();
    EXPECT_EQ(snapshot(dir.path()), before);
}

TEST_F(UnixTool, DevicesAndLinksToThemAreWrittenInPlace)
{
    struct stat st {};
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    ASSERT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_FALSE(writeOutput("/dev/null", std::string_view("listing\n")));
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));

    // A link to a device stays a link; no temporary file is left beside it.
    fs::create_symlink("/dev/null", dir.file("sink"));
    EXPECT_FALSE(writeOutput(dir.file("sink"), std::string_view("listing\n")));
    EXPECT_TRUE(fs::is_symlink(dir.file("sink")));
    std::ostringstream out, err;
    EXPECT_EQ(runCommandLine(parseCommandLine({"update", "--definitions", ini(), "--log", dir.file("sink"),
                                               dir.file("plane.air"), dir.file("Tarlo.ini")}),
                             out, err),
              0)
        << err.str();
    EXPECT_TRUE(fs::is_symlink(dir.file("sink")));
    EXPECT_FALSE(fs::exists(dir.file("amod_log.txt")));

    // A regular file is still replaced whole.
    writeText(dir.file("old.txt"), "a much longer earlier listing\n");
    EXPECT_FALSE(writeOutput(dir.file("old.txt"), std::string_view("new\n")));
    EXPECT_EQ(readText(dir.file("old.txt")), "new\n");
    std::ostringstream std;
    EXPECT_FALSE(writeOutput("-", std::string_view("to stdout\n"), &std));
    EXPECT_EQ(std.str(), "to stdout\n");
    EXPECT_TRUE(isStandardOutput("/dev/stdout"));
    EXPECT_FALSE(isStandardOutput("./-x"));
    // A folder is refused as before.
    EXPECT_TRUE(writeOutput(dir.path(), std::string_view("x")));
}

TEST_F(UnixTool, DryRunWritesNothingAndPrintsTheLogOfARealRun)
{
    writeText(dir.file("fix.txt"), "field 1f4 2 int16 95\nrecord: 410\nPoints: 1\n8\ntext revid R2\n");
    ScopedCwd cwd(dir.path());
    const auto before = snapshot(dir.path());

    ToolDefinitions dryDefs;
    std::ostringstream printed;
    UpdateOptions dry;
    dry.dryRun = true;
    dry.time = 1000;
    dry.standardOutput = &printed;
    dry.logPath = dir.file("never.txt");
    ASSERT_EQ(applyUpdateScript(dir.file("plane.air"), dir.file("fix.txt"), ini(), dryDefs, dry), 0);
    EXPECT_EQ(snapshot(dir.path()), before);
    EXPECT_NE(printed.str().find("1f4:2 := 95\n"), std::string::npos) << printed.str();

    ToolDefinitions realDefs;
    UpdateOptions real;
    real.time = 1000;
    ASSERT_EQ(applyUpdateScript(dir.file("plane.air"), dir.file("fix.txt"), ini(), realDefs, real), 0);
    EXPECT_EQ(printed.str(), readText(dir.file("amod_log.txt")));
    EXPECT_TRUE(fs::exists(dir.file("plane.air.001")));

    // The command line: the log on standard output, the folder as it was.
    const auto after = snapshot(dir.path());
    std::ostringstream out, err;
    EXPECT_EQ(runCommandLine(parseCommandLine({"update", "--dry-run", "--definitions", ini(), "plane.air", "fix.txt"}),
                             out, err),
              0);
    EXPECT_NE(out.str().find("\nReplacement record: 0410 Length 2\n"), std::string::npos) << out.str();
    EXPECT_EQ(snapshot(dir.path()), after);
    EXPECT_TRUE(parseCommandLine({"update", "--dry-run", "a", "s"}).dryRun);
    EXPECT_EQ(parseCommandLine({"dump", "--dry-run", "a"}).mode, ToolCommandLine::Mode::Usage);
}

TEST_F(UnixTool, WarningsCarryLineNumbersAndStrictFailsBeforeWriting)
{
    writeText(dir.file("bad.txt"), "; a comment\n"
                                   "field 1f4 0 int16 abc\n"
                                   "field 9999 0 int16 1\n"
                                   "record: 777\n"
                                   "field 1f4 0 int16 700\n");
    ScopedCwd cwd(dir.path());
    const auto before = snapshot(dir.path());
    const std::string expected = "patchwise: bad.txt:2: CANNOT PROCESS: field 1f4 0 int16 abc\n"
                                 "patchwise: bad.txt:3: Section 9999 not defined in "
            + ini()
            + "\n"
              "patchwise: bad.txt:4: CANNOT PROCESS: record: 777\n";
    {
        std::ostringstream out, err;
        EXPECT_EQ(runCommandLine(parseCommandLine({"update", "--strict", "--definitions", ini(), "plane.air", "bad.txt"}),
                                 out, err),
                  1);
        EXPECT_EQ(err.str().substr(0, expected.size()), expected);
        EXPECT_NE(err.str().find("nothing was written"), std::string::npos) << err.str();
        EXPECT_EQ(snapshot(dir.path()), before);
        // A strict dry run fails the same way.
        EXPECT_EQ(runCommandLine(parseCommandLine({"update", "--strict", "--dry-run", "--definitions", ini(),
                                                   "plane.air", "bad.txt"}),
                                 out, err),
                  1);
        EXPECT_EQ(snapshot(dir.path()), before);
    }
    {
        // Without --strict: the same warnings, the update done, exit 0.
        std::ostringstream out, err;
        EXPECT_EQ(runCommandLine(parseCommandLine({"update", "--definitions", ini(), "plane.air", "bad.txt"}), out, err),
                  0);
        EXPECT_EQ(err.str(), expected);
        EXPECT_EQ(get16(readBytes(dir.file("plane.air")), 8), 700);
        EXPECT_TRUE(fs::exists(dir.file("plane.air.001")));
    }
    {
        // A stop at an unknown type, and a long line read in pieces keeps its number.
        writeText(dir.file("stop.txt"), "text 1200 " + std::string(1500, 'x') + "\nfield 1f4 0 int17 5\n"
                                        "field 1f4 0 int16 1\n");
        ToolDefinitions defs;
        std::vector<ScriptWarning> seen;
        UpdateOptions options;
        options.dryRun = true;
        std::ostringstream log;
        options.standardOutput = &log;
        options.warning = [&](const ScriptWarning& w) { seen.push_back(w); };
        EXPECT_EQ(applyUpdateScript("plane.air", "stop.txt", ini(), defs, options), 1);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].line, 2u);
        EXPECT_EQ(seen[0].message, "unknown type 'int17': the rest of the script is not applied");
    }
}
