// "tarlo --list", --help and --version as a terminal sees them, and where
// the program finds its data files.
#include "editor/DataFiles.h"
#include "editor/StartCommand.h"
#include "model/TextEscape.h"

#include "common/AirImage.h"
#include "common/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cerrno>
#include <sstream>
#include <streambuf>
#include <utility>

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
    // The _values files show table values and raw bytes in hex.
    for (const Case& c : {Case{"sample.air", false, "sample.txt"},
                 Case{"sample.air", true, "sample_sorted.txt"}, Case{"oddities.air", false, "oddities.txt"},
                 Case{"empty.air", false, "empty.txt"}, Case{"sample.air", false, "sample_values.txt"},
                 Case{"oddities.air", false, "oddities_values.txt"}}) {
        std::vector<std::string> args{"--list", "--definitions", kDefinitions};
        if (c.sorted)
            args.push_back("--sorted");
        if (std::string_view(c.expected).find("_values") != std::string_view::npos)
            args.push_back("--values");
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

    // A missing --definitions file, or one that is no regular file, is a
    // warning; the listing still comes.
    for (const auto& [named, problem] :
            {std::pair{dir.file("none.ini"), "was not found"}, std::pair{dir.path(), "is a folder"},
                    std::pair{std::string("/dev/null"), "is not a regular file"}}) {
        const RunResult w = run({"--list", "--definitions", named, air});
        EXPECT_EQ(w.status, 0);
        EXPECT_EQ(w.out, "d.air\n  20  Unknown\n");
        EXPECT_EQ(w.err, "tarlo: warning: " + named + " " + problem + "; records are listed as Unknown.\n");
    }
}

namespace {

// Takes nothing, as a full disk does.
struct FullDisk : std::streambuf {
    int overflow(int) override
    {
        errno = ENOSPC;
        return traits_type::eof();
    }
    std::streamsize xsputn(const char*, std::streamsize) override
    {
        errno = ENOSPC;
        return 0;
    }
};

} // namespace

TEST(ListCommand, OutputThatCannotBeWrittenIsSaidWithStatus1)
{
    TempDir dir;
    const std::string air = dir.write("d.air", record(0x20, {7}));
    for (const auto& [args, what] : {std::pair{std::vector<std::string>{"--list", air}, "the listing"},
                 std::pair{std::vector<std::string>{"--list", "--json", air}, "the listing"},
                 std::pair{std::vector<std::string>{"--help"}, "the help text"},
                 std::pair{std::vector<std::string>{"--version"}, "the version"}}) {
        FullDisk full;
        std::ostream out(&full);
        std::ostringstream err;
        EXPECT_EQ(runListCommand(args, "/nowhere/tarlo", out, err), 1) << args[0];
        EXPECT_EQ(err.str(),
                "tarlo: " + std::string(what) + " could not be written: No space left on device\n");
    }
}

TEST(ListCommand, ValuesShowRawBytesSixteenALineWithOffsets)
{
    TempDir dir;
    const std::string defs = dir.write("defs.ini",
            "[Records]\n10=Blob,raw\n20=Parts,record\n"
            "[20]\n1=1,3,Three raw\n2=0,int8,Small\n3=6,2,Past end\n");
    std::vector<std::uint8_t> blob(18);
    for (std::size_t i = 0; i < blob.size(); ++i)
        blob[i] = std::uint8_t(0xF0 + i);
    const std::vector<std::uint8_t> img =
            AirImage().record(0x10, blob).record(0x20, {9, 0xAB, 0xCD, 0xEF, 1}).raw({1, 2}).bytes();
    const std::string air = dir.write("r.air", img);
    const std::string head = "r.air\n"
                             "  10  Blob\n";
    EXPECT_EQ(run({"--list", "--values", "--definitions", defs, air}).out,
            head
                    + "    0000: f0 f1 f2 f3 f4 f5 f6 f7 f8 f9 fa fb fc fd fe ff\n"
                      "    0010: 00 01\n"
                      "  20  Parts\n"
                      "    Three raw\n"
                      "      0000: ab cd ef\n"
                      "    Small=9\n"
                      "    Past end (outside record)\n"
                      "  (2 trailing bytes)\n"
                      "    0000: 01 02\n");
    // Without --values the lines are as they always were.
    EXPECT_EQ(run({"--list", "--definitions", defs, air}).out,
            head
                    + "  20  Parts\n    Three raw\n    Small=9\n    Past end (outside record)\n"
                      "  (2 trailing bytes)\n");
}

TEST(ListCommand, JsonHoldsEveryValueAndEscapesHostileTexts)
{
    TempDir dir;
    // Names with a quote, a backslash, control bytes and Latin-1 letters.
    const std::string defs = dir.write("defs.ini",
            "[Records]\n30=Qu\"ote\\ \x01\x1f caf\xe9,text\n"
            "40=Grid,tbl3d\n41=Points,tbldb\n42=List,tbl16\n"
            "50=Parts,record\n[50]\n1=0,int16,Speed\n2=2,bool,On\n3=8,int8,Gone\n");
    const std::vector<std::uint8_t> text{'a', '"', '\\', '\n', 0x7F, 0x01, 0xFF, 0, 'x'};
    const std::vector<std::uint8_t> img = AirImage()
                                                  .record(0x50, {0x2C, 0x01, 1, 0, 0, 0})
                                                  .record(0x30, text)
                                                  .record(0x42, {1, 0, 2, 0})
                                                  .record(0x41, doubles({1}, {0.5, -2}))
                                                  .record(0x40, doubles({2, 1}, {1.5, 2.5}))
                                                  .raw({0xEE})
                                                  .bytes();
    const std::string air = dir.write("ta\tb\"\xe9.air", img);
    const RunResult r = run({"--list", "--json", "--definitions", defs, air});
    ASSERT_EQ(r.status, 0) << r.err;
    // Control bytes are \u escapes; nothing but the record separators is below 0x20.
    EXPECT_NE(r.out.find("\\u0001"), std::string::npos);
    for (char c : r.out)
        EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 && c != '\n');
    const nlohmann::json j = nlohmann::json::parse(r.out);

    EXPECT_EQ(j["file"], "ta\tb\"\u00e9.air");
    EXPECT_EQ(j["size"], img.size());
    const nlohmann::json& recs = j["records"];
    ASSERT_EQ(recs.size(), 5u);
    EXPECT_EQ(recs[0]["id"], 0x50);
    EXPECT_EQ(recs[0]["idHex"], "50");
    EXPECT_EQ(recs[0]["type"], "record");
    EXPECT_EQ(recs[0]["offset"], 0);
    EXPECT_EQ(recs[0]["length"], 6);
    EXPECT_EQ(recs[0]["hex"], "2c0101000000");
    const nlohmann::json& fields = recs[0]["fields"];
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields[0]["value"], "300");
    EXPECT_EQ(fields[0]["offset"], 0);
    EXPECT_EQ(fields[0]["hex"], "2c01");
    EXPECT_EQ(fields[1]["value"], "TRUE(1)");
    EXPECT_EQ(fields[2]["outside"], true);
    EXPECT_FALSE(fields[2].contains("hex"));

    EXPECT_EQ(recs[1]["name"], "Qu\"ote\\ \u0001\u001f caf\u00e9");
    EXPECT_EQ(recs[1]["value"], "a\"\\\n\u007f\u0001\u00ff"); // up to the 0 byte
    EXPECT_EQ(recs[1]["hex"], "61225c0a7f01ff0078");
    EXPECT_EQ(recs[1]["offset"], 14);

    EXPECT_EQ(recs[2]["values"], nlohmann::json::parse("[1, 2]"));
    EXPECT_EQ(recs[3]["count"], 1);
    EXPECT_EQ(recs[3]["points"], nlohmann::json::parse("[[0.5, -2.0]]"));
    EXPECT_EQ(recs[4]["groups"], 2);
    EXPECT_EQ(recs[4]["rows"], 1);
    EXPECT_EQ(recs[4]["grid"], nlohmann::json::parse("[[1.5, 2.5]]"));
    EXPECT_EQ(j["trailing"],
            nlohmann::json::parse(
                    R"({"offset": )" + std::to_string(img.size() - 1) + R"(, "length": 1, "hex": "ee"})"));

    // Sorted: by id, stable.
    const nlohmann::json s =
            nlohmann::json::parse(run({"--list", "--json", "--sorted", "--definitions", defs, air}).out);
    std::vector<int> ids;
    for (const auto& rec : s["records"])
        ids.push_back(rec["id"]);
    EXPECT_EQ(ids, (std::vector<int>{0x30, 0x40, 0x41, 0x42, 0x50}));
}
