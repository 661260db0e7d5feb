#include "base/FileIO.h"
#include "model/CTLDoc.h"
#include "model/Definitions.h"
#include "model/FieldType.h"
#include "model/Ini.h"
#include "model/Listing.h"
#include "model/StartCommand.h"
#include "model/TextEscape.h"

#include "SampleFiles.h"
#include "common/AirImage.h"
#include "common/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

using namespace model;
using namespace airtest;
namespace fs = std::filesystem;

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
    for (const Case& c : {Case{"sample.air", false, "sample.txt"}, Case{"sample.air", true, "sample_sorted.txt"},
                          Case{"oddities.air", false, "oddities.txt"}, Case{"empty.air", false, "empty.txt"}}) {
        std::vector<std::string> args{"--list", "--definitions", kDefinitions};
        if (c.sorted)
            args.push_back("--sorted");
        args.push_back(kSource + "/data/samples/" + c.file);
        const RunResult r = run(args);
        EXPECT_EQ(r.status, 0) << c.file;
        EXPECT_EQ(r.err, "") << c.file;
        EXPECT_EQ(r.out, readText(kSource + "/tests/model/expected/" + c.expected)) << c.expected;
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
    EXPECT_EQ(escapeItemText("a\rb\nc\td\\e"), "a\\rb\\nc\\td\\\\e");
    EXPECT_EQ(escapeItemText(std::string("\x00\x01\x1f\x7f", 4)), "\\x00\\x01\\x1f\\x7f");
    EXPECT_EQ(escapeItemText("\x80\xA0\xE9\xFF"), "\xC2\x80\xC2\xA0\xC3\xA9\xC3\xBF");
    EXPECT_EQ(escapeItemText(" ~plain"), " ~plain");

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

TEST(Samples, CommittedFilesAreTheGeneratorsOutput)
{
    for (const samples::SampleFile& f : samples::allSamples()) {
        std::vector<std::uint8_t> committed;
        ASSERT_FALSE(base::fileio::readFile(kSource + "/data/samples/" + f.name, committed)) << f.name;
        EXPECT_EQ(committed, f.bytes) << f.name << ": run gen_samples data/samples";
    }
}

TEST(Samples, LoadAndSaveAreByteIdentical)
{
    TempDir dir;
    for (const samples::SampleFile& f : samples::allSamples()) {
        CTLDoc doc;
        doc.setDefinitionsPath(kDefinitions);
        doc.loadImage(f.bytes, dir.file(f.name));
        ASSERT_FALSE(doc.save(dir.file(f.name)));
        std::vector<std::uint8_t> back;
        ASSERT_FALSE(base::fileio::readFile(dir.file(f.name), back));
        EXPECT_EQ(back, f.bytes) << f.name;
    }
}

TEST(ShippedDefinitions, AgreeWithTheToolsRecordClasses)
{
    const Ini ini = Ini::load(kDefinitions);
    ASSERT_FALSE(ini.empty());
    auto range = [](std::set<std::uint32_t>& s, std::uint32_t a, std::uint32_t b) {
        for (std::uint32_t i = a; i <= b; ++i)
            s.insert(i);
    };
    std::set<std::uint32_t> lists, points, grids;
    range(lists, 0x410, 0x413); range(lists, 0x420, 0x423); lists.insert({0x430, 0x433});
    range(lists, 0x440, 0x443); lists.insert(0x450); range(lists, 0x452, 0x455);
    lists.insert(0x459); range(lists, 0x461, 0x463); lists.insert(0x465); range(lists, 0x601, 0x606);
    range(points, 0x341, 0x343); points.insert({0x400, 0x401, 0x404, 0x451, 0x456, 0x460, 0x464, 0x473});
    range(points, 0x506, 0x509); points.insert(0x514); range(points, 0x517, 0x519);
    range(points, 0x536, 0x539); points.insert({0x546, 0x1505, 0x1508, 0x1524, 0x1525, 0x1531});
    range(points, 0x1535, 0x1538);
    grids.insert({0x511, 0x512, 0x1506, 0x1507}); range(grids, 0x1502, 0x1504);

    auto typeOf = [&](std::uint32_t id) { return lookupType(ReadRecordDefinition(ini, id).typeKeyword).type; };
    for (auto id : lists)
        EXPECT_EQ(typeOf(id), FieldType::Tbl16) << std::hex << id;
    for (auto id : points)
        EXPECT_EQ(typeOf(id), FieldType::TblDb) << std::hex << id;
    for (auto id : grids)
        EXPECT_EQ(typeOf(id), FieldType::Tbl3d) << std::hex << id;
    EXPECT_EQ(ReadRecordDefinition(ini, 0x1199).name, "Revision and certification");

    // Every type keyword names at least one record, and the structured
    // records together have fields of every type.
    std::set<FieldType> recordTypes, fieldTypes;
    for (std::uint32_t id = 0; id < 0x2000; ++id) {
        if (!ini.contains("Records", hexId(id)))
            continue;
        const FieldType t = typeOf(id);
        recordTypes.insert(t);
        EXPECT_NE(ReadRecordDefinition(ini, id).name, "") << std::hex << id;
        if (t != FieldType::Record)
            continue;
        int n = 1;
        for (; auto fd = ReadFieldDefinition(ini, id, n); ++n) {
            fieldTypes.insert(lookupType(fd->typeKeyword).type);
            EXPECT_EQ(fd->name.find(','), std::string::npos);
        }
        EXPECT_GT(n, 1) << "record " << std::hex << id << " has no fields";
        // No keys hide behind a gap in the numbering.
        EXPECT_FALSE(ini.contains(hexId(id), std::to_string(n + 1))) << std::hex << id;
    }
    EXPECT_EQ(recordTypes.size(), std::size_t(kFieldTypeCount));
    EXPECT_EQ(fieldTypes.size(), std::size_t(kFieldTypeCount));
}

TEST(ListCommand, ListingIsWrittenAsItIsMadeAndFailuresAreTold)
{
    // Enough records for many pieces of the streamed listing.
    AirImage many;
    for (std::uint32_t r = 0; r < 20000; ++r)
        many.record(0x20u + r % 3, u32s({r}));
    const std::vector<std::uint8_t> img = many.raw({7}).bytes(); // a trailing byte
    CTLDoc doc;
    doc.setDefinitionsPath(kDefinitions);
    doc.loadImage(img, "/x/many.air");
    for (bool sorted : {false, true})
        for (bool values : {false, true}) {
            std::ostringstream out;
            EXPECT_TRUE(writeListing(doc, sorted, values, out));
            EXPECT_EQ(out.str(), listDocument(doc, sorted, values));
            EXPECT_GT(out.str().size(), 200000u);
        }
    std::ostringstream broken;
    broken.setstate(std::ios::badbit);
    EXPECT_FALSE(writeListing(doc, false, false, broken));
}
