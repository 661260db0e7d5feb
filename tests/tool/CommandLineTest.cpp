// The command line: parsing, default names, and both commands end to end.
#include "ToolTestSupport.h"
#include "tool/CommandLine.h"

#include <gtest/gtest.h>
#include <limits>
#include <sstream>

using namespace patchwise;
using namespace pwtest;
using namespace airtest;
using Mode = ToolCommandLine::Mode;

TEST(CommandLineParsing, ModesOptionsAndMistakes)
{
    EXPECT_EQ(parseCommandLine({}).mode, Mode::Dialog);
    EXPECT_EQ(parseCommandLine({"--help"}).mode, Mode::Help);
    EXPECT_EQ(parseCommandLine({"dump", "--help"}).mode, Mode::Help);
    EXPECT_EQ(parseCommandLine({"--version"}).mode, Mode::Version);

    auto cl = parseCommandLine({"dump", "--full", "--definitions", "d.ini", "a.air", "-o", "out.txt"});
    EXPECT_EQ(cl.mode, Mode::Dump);
    EXPECT_TRUE(cl.full);
    EXPECT_EQ(cl.definitions, "d.ini");
    EXPECT_EQ(cl.air, "a.air");
    EXPECT_EQ(cl.output, "out.txt");

    cl = parseCommandLine({"update", "--log=my.log", "a.air", "--definitions=x.ini", "s.txt"});
    EXPECT_EQ(cl.mode, Mode::Update);
    EXPECT_EQ(cl.log, "my.log");
    EXPECT_EQ(cl.definitions, "x.ini");
    EXPECT_EQ(cl.air, "a.air");
    EXPECT_EQ(cl.script, "s.txt");
    cl = parseCommandLine({"merge", "--conflicts=c.txt", "b.air", "o.air", "-o", "m.air", "--", "-t.air"});
    EXPECT_EQ(cl.mode, Mode::Merge);
    EXPECT_EQ(cl.airs, (std::vector<std::string>{"b.air", "o.air", "-t.air"}));
    EXPECT_EQ(cl.output, "m.air");
    EXPECT_EQ(cl.conflicts, "c.txt");
    EXPECT_EQ(parseCommandLine({"merge", "b", "--help"}).mode, Mode::Help);
    EXPECT_TRUE(parseCommandLine({"diff", "--json", "a", "b"}).json);
    EXPECT_FALSE(parseCommandLine({"dump", "a.air"}).definitions);
    EXPECT_EQ(parseCommandLine({"dump", "--", "-odd.air"}).air, "-odd.air");

    for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{{"frobnicate"}, {"dump"},
                 {"dump", "a", "b"}, {"dump", "--log", "l", "a.air"}, {"update", "a.air"},
                 {"update", "--full", "a", "s"}, {"dump", "a.air", "-o"},
                 {"update", "a", "s", "--definitions"}, {"dump", "a.air", "-o", ""},
                 {"update", "--log=", "a", "s"}, {"dump", "--definitions", "", "a"}, {"merge", "b", "o"},
                 {"merge", "b", "o", "t", "-o", "-"}, {"merge", "--strict", "b", "o", "t"},
                 {"merge", "b", "o", "t", "--conflicts"}, {"diff", "--json", "--script", "a", "b"},
                 {"dump", "--json", "a"}}) {
        auto r = parseCommandLine(bad);
        EXPECT_EQ(r.mode, Mode::Usage) << bad[0];
        EXPECT_FALSE(r.error.empty());
    }
    std::ostringstream out, err;
    EXPECT_EQ(runCommandLine(parseCommandLine({"dump"}), out, err), 2);
    EXPECT_EQ(err.str(), "patchwise: dump needs an AIR file\nTry 'patchwise --help'.\n");
    err.str("");
    EXPECT_EQ(runCommandLine(parseCommandLine({"merge", "b", "o", "t", "--bogus"}), out, err), 2);
    EXPECT_EQ(err.str(), "patchwise: unknown option '--bogus'\nTry 'patchwise --help'.\n");
    EXPECT_EQ(runCommandLine(parseCommandLine({"--version"}), out, err), 0);
    EXPECT_EQ(out.str(), std::string("patchwise (Tarlo) ") + TARLO_VERSION + "\n");
}

TEST(CommandLineParsing, DumpFileNameReplacesTheExtension)
{
    EXPECT_EQ(dumpFileName("plane.air"), "plane.txt");
    EXPECT_EQ(dumpFileName("my.plane.AIR"), "my.plane.txt");
    EXPECT_EQ(dumpFileName("plane"), "txt");
    EXPECT_EQ(defaultDumpPath("/data/planes/plane.air"), "/data/planes/plane.txt");
    EXPECT_EQ(defaultDumpPath("plane.air"), "plane.txt");
    EXPECT_EQ(defaultDumpPath("/data/v1.0/plane"), "/data/v1.0/txt");
}

TEST(CommandLineRun, DumpAndUpdateEndToEnd)
{
    TempDir dir;
    ScopedCwd cwd(dir.path());
    writeText(dir.file("TARLO.ini"), "[records]\n410=Elevator,tbl16\n");
    writeBytes(dir.file("plane.air"), record(0x410, u16s({3, -4})));
    writeText(dir.file("patch.txt"), "record: 410\nPoints: 1\n8\n");
    std::ostringstream out, err;

    // Without --definitions: tarlo.ini of the current folder, any case.
    EXPECT_EQ(runCommandLine(parseCommandLine({"dump", dir.file("plane.air")}), out, err), 0) << err.str();
    EXPECT_EQ(readText(dir.file("plane.txt")),
              "Found " + dir.file("TARLO.ini") + "\n\nRecord: 0410 Elevator\nPoints: 2\n3\n-4\n\n\nRecord count: 1\n");

    EXPECT_EQ(runCommandLine(parseCommandLine({"update", "plane.air", "patch.txt"}), out, err), 0) << err.str();
    EXPECT_TRUE(std::filesystem::exists(dir.file("plane.air.001")));
    EXPECT_NE(readText(dir.file("amod_log.txt")).find("Replacement record: 0410 Length 2"), std::string::npos);
    EXPECT_TRUE(err.str().empty());

    // Failures: exit 1 and a sentence on stderr.
    EXPECT_EQ(runCommandLine(parseCommandLine({"dump", "missing.air", "-o", "m.txt"}), out, err), 1);
    EXPECT_NE(err.str().find("missing.air"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.file("m.txt")));
    err.str("");
    EXPECT_EQ(runCommandLine(parseCommandLine({"update", "plane.air", "nope.txt"}), out, err), 1);
    EXPECT_NE(err.str().find("nope.txt"), std::string::npos);
}

#include "tool/ToolText.h"

#include <cmath>

TEST(ScriptWords, ReadAsTheFormattedInputConversionsDo)
{
    text::Scanner s("  0x1C 1cz -1 +7 12.7 .5e1 1e 0x1p3 -inf 1e999 abc");
    EXPECT_EQ(s.hex(), 0x1Cu);
    EXPECT_EQ(s.hex(), 0x1Cu);       // stops at 'z' ...
    EXPECT_FALSE(s.integer());       // ... which no number starts with
    EXPECT_EQ(s.word(), "z");
    EXPECT_EQ(s.integer(), -1);
    EXPECT_EQ(s.integer(), 7);
    EXPECT_EQ(s.integer(), 12);      // "%d" stops at the point
    EXPECT_EQ(s.real(), 0.7);        // and "%lf" goes on from there
    EXPECT_EQ(s.real(), 5.0);
    EXPECT_EQ(s.real(), 1.0);        // an exponent without digits is not read
    EXPECT_EQ(s.word(), "e");
    EXPECT_EQ(s.real(), 8.0);
    EXPECT_EQ(s.real(), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(s.real(), std::numeric_limits<double>::infinity());
    EXPECT_FALSE(s.real());
    EXPECT_EQ(s.word(), "abc");
    EXPECT_FALSE(s.word());
    EXPECT_EQ(text::Scanner("-1").hex(), 0xFFFFFFFFu);
    EXPECT_EQ(text::Scanner("99999999999").integer(), static_cast<std::int32_t>(0xFFFFFFFFu & 99999999999ll));
    EXPECT_EQ(text::fixed6(-0.0000004), "-0.000000");
    EXPECT_EQ(text::fixed6(1e20), "100000000000000000000.000000");
    EXPECT_EQ(text::hex(0x41, 4), "0041");
}

// Out of range reads as strtod gives it: HUGE_VAL on overflow, 0 on
// underflow, however the number is written; subnormals are exact.
TEST(ScriptWords, RealsBeyondTheRangeOfADouble)
{
    const double inf = std::numeric_limits<double>::infinity();
    const std::string zeros400(400, '0');
    struct Case {
        std::string text;
        double value;
    } cases[] = {
        {"0x1p-5000", 0.0},
        {"-0x1p-5000", -0.0},
        {"0x0.0001p-1070", 0.0},
        {"0x1p5000", inf},
        {"0x1000p1021", inf},
        {"0x1p-1074", std::numeric_limits<double>::denorm_min()},
        {"0." + zeros400 + "1", 0.0},
        {"-0." + zeros400 + "1", -0.0},
        {"0." + zeros400 + "1e300", 1e-101},
        {"1" + zeros400, inf},
        {"1" + zeros400 + "e-800", 0.0},
        {"0.0001e-400", 0.0},
        {"1e-400", 0.0},
        {"1e400", inf},
        {"1e-999999999999999999999", 0.0},
        {"4.9406564584124654e-324", std::numeric_limits<double>::denorm_min()},
        {"2.2250738585072014e-308", std::numeric_limits<double>::min()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        const std::string line = c.text + " next";
        text::Scanner sc(line);
        auto v = sc.real();
        ASSERT_TRUE(v);
        EXPECT_EQ(*v, c.value);
        EXPECT_EQ(std::signbit(*v), std::signbit(c.value));
        EXPECT_EQ(sc.word(), "next"); // the whole number was read
    }
}
