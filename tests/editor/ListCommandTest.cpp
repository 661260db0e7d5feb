// "tarlo --list", --help and --version as a terminal sees them, and where
// the program finds its data files.
#include "editor/DataFiles.h"
#include "editor/StartCommand.h"
#include "model/TextEscape.h"

#include "common/AirImage.h"
#include "common/TempDir.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace tarlo;
using namespace airtest;

namespace {

const std::string kSource = TARLO_SOURCE_DIR;
const std::string kDefinitions = kSource + "/data/Tarlo.ini";

struct RunResult {
    int status;
    std::string out;
    std::string err;
};

RunResult run(std::vector<std::string> args, const std::string& program = "/nowhere/tarlo")
{
    std::ostringstream out, err;
    const int status = runListCommand(args, program, out, err);
    return {status, out.str(), err.str()};
}

} // namespace

TEST(ListCommand, SampleListingsMatchTheCheckedFiles)
{
    struct Case {
        const char* file;
        bool sorted;
        const char* expected;
    };
    for (const Case& c :
            {Case{"sample.air", false, "sample.txt"}, Case{"sample.air", true, "sample_sorted.txt"},
                    Case{"oddities.air", false, "oddities.txt"}, Case{"empty.air", false, "empty.txt"}}) {
        std::vector<std::string> args{"--list", "--definitions", kDefinitions};
        if (c.sorted)
            args.push_back("--sorted");
        args.push_back(kSource + "/data/samples/" + c.file);
        const RunResult r = run(args);
        EXPECT_EQ(r.status, 0) << c.file;
        EXPECT_EQ(r.err, "") << c.file;
        EXPECT_EQ(r.out, readText(kSource + "/tests/editor/expected/" + c.expected)) << c.expected;
    }
}

TEST(ListCommand, SortedIsUnsignedAndStableWithFieldsBeneath)
{
    TempDir dir;
    const std::string defs = dir.write("defs.ini",
            "[Records]\n10=Ten,record\n2=Two,int8\n80000000=Top,bool\n"
            "[10]\n1=0,int8,First\n2=1,int8,Second\n");
    const std::vector<std::uint8_t> img = AirImage()
                                                  .record(0x10, {1, 2})
                                                  .record(0x2, {5})
                                                  .record(0x80000000u, {0, 0, 0, 0})
                                                  .record(0x2, {6})
                                                  .record(0x10, {3, 4})
                                                  .bytes();
    const std::string air = dir.write("s.air", img);

    EXPECT_EQ(run({"--list", "--sorted", "--definitions", defs, air}).out,
            "s.air\n"
            "  2  Two=5\n"
            "  2  Two=6\n"
            "  10  Ten\n"
            "    First=1\n"
            "    Second=2\n"
            "  10  Ten\n"
            "    First=3\n"
            "    Second=4\n"
            "  80000000  Top=FALSE(0)\n");
    // Without --sorted: file order. Option order does not matter.
    EXPECT_EQ(run({air, "--definitions=" + defs, "--list"}).out,
            "s.air\n"
            "  10  Ten\n"
            "    First=1\n"
            "    Second=2\n"
            "  2  Two=5\n"
            "  80000000  Top=FALSE(0)\n"
            "  2  Two=6\n"
            "  10  Ten\n"
            "    First=3\n"
            "    Second=4\n");
}

TEST(ListCommand, EscapesControlBytesAndWritesLatin1AsUtf8)
{
    EXPECT_EQ(model::escapeItemText("a\rb\nc\td\\e"), "a\\rb\\nc\\td\\\\e");
    EXPECT_EQ(model::escapeItemText(std::string("\x00\x01\x1f\x7f", 4)), "\\x00\\x01\\x1f\\x7f");
    EXPECT_EQ(model::escapeItemText("\x80\xA0\xE9\xFF"), "\xC2\x80\xC2\xA0\xC3\xA9\xC3\xBF");
    EXPECT_EQ(model::escapeItemText(" ~plain"), " ~plain");

    // The file name is escaped too, and trailing bytes get the last line.
    TempDir dir;
    const std::vector<std::uint8_t> img = AirImage().record(0x1f5, {'x', '\n', 0}).raw({1, 2, 3}).bytes();
    const std::string air = dir.write("tab\there.air", img);
    EXPECT_EQ(run({"--list", "--definitions", kDefinitions, air}).out,
            "tab\\there.air\n"
            "  1f5  Type name=x\\n\n"
            "  (3 trailing bytes)\n");
}

TEST(ListCommand, UnreadableFileIsOneErrorLineAndStatus1)
{
    TempDir dir;
    for (const std::string& path : {dir.file("missing.air"), dir.path()}) {
        const RunResult r = run({"--list", "--definitions", kDefinitions, path});
        EXPECT_EQ(r.status, 1) << path;
        EXPECT_EQ(r.out, "") << path;
        ASSERT_FALSE(r.err.empty());
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err; // exactly one line
        EXPECT_EQ(r.err.rfind("tarlo: ", 0), 0u) << r.err;
    }
}

TEST(ListCommand, HelpVersionAndUsageErrors)
{
    RunResult r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: tarlo", 0), 0u);
    EXPECT_EQ(r.err, "");
    r = run({"--list", "x.air", "--help"}); // --help wins, nothing is read
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: tarlo", 0), 0u);

    r = run({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("tarlo (Tarlo) ") + version() + "\n");

    for (const std::vector<std::string>& bad :
            {std::vector<std::string>{"--list"}, {"--list", "a.air", "b.air"}, {"--list", "--bogus", "a.air"},
                    {"--list", "a.air", "--definitions"}}) {
        r = run(bad);
        EXPECT_EQ(r.status, 2) << bad.back();
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("Try 'tarlo --help'"), std::string::npos);
    }

    EXPECT_TRUE(isHeadlessCommand({"--list", "a.air"}));
    EXPECT_TRUE(isHeadlessCommand({"a.air", "--version"}));
    EXPECT_FALSE(isHeadlessCommand({"a.air"}));
    EXPECT_FALSE(isHeadlessCommand({"--", "--list"})); // a file named --list
    EXPECT_FALSE(isHeadlessCommand({}));
}

TEST(ListCommand, DefaultDefinitionsBesideTheProgramInAnyLetterCase)
{
    TempDir dir;
    dir.write("TARLO.INI", "[Records]\n20=Found beside,int8\n");
    std::vector<std::uint8_t> img = record(0x20, {7});
    const std::string air = dir.write("d.air", img);
    const RunResult r = run({"--list", air}, dir.file("tarlo"));
    EXPECT_EQ(r.out, "d.air\n  20  Found beside=7\n");

    // A missing --definitions file is a warning; the listing still comes.
    const RunResult w = run({"--list", "--definitions", dir.file("none.ini"), air});
    EXPECT_EQ(w.status, 0);
    EXPECT_EQ(w.out, "d.air\n  20  Unknown\n");
    EXPECT_NE(w.err.find("warning"), std::string::npos);
}
