#include "model/CTLDoc.h"
#include "model/DataFiles.h"
#include "model/Definitions.h"
#include "model/FieldType.h"
#include "model/FileIO.h"
#include "model/Ini.h"
#include "model/Listing.h"
#include "model/StartCommand.h"
#include "model/TextEscape.h"

#include "SampleFiles.h"
#include "common/AirImage.h"
#include "common/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

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

    EXPECT_EQ(findInDir(dir.path(), "Tarlo.ini"), dir.file("TARLO.INI"));
    EXPECT_EQ(findInDir(dir.path(), "Tarlo.html"), "");
    EXPECT_EQ(programDir("/usr/bin/tarlo"), "/usr/bin");
    EXPECT_EQ(programDir("tarlo"), ".");
    EXPECT_EQ(programDir("/tarlo"), "/");

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
        ASSERT_FALSE(fileio::readFile(kSource + "/data/samples/" + f.name, committed)) << f.name;
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
        ASSERT_FALSE(fileio::readFile(dir.file(f.name), back));
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

namespace {

// What a listing run sees of a file: its bytes and its definitions.
struct ListedFile {
    std::string name;
    std::vector<std::uint8_t> image;
    Ini definitions;
};

// Every sample with the shipped definitions, every fuzz corpus file as an AIR
// file; the image corpus as its fuzz target reads it: a 16-bit length, that
// many bytes of definitions, then the image.
std::vector<ListedFile> samplesAndCorpus()
{
    std::vector<ListedFile> files;
    const Ini shipped = Ini::load(kDefinitions);
    for (const samples::SampleFile& f : samples::allSamples())
        files.push_back({f.name, f.bytes, shipped});
    for (const auto& kind : fs::directory_iterator(kSource + "/fuzz/corpus")) {
        std::vector<fs::path> paths;
        for (const auto& f : fs::directory_iterator(kind.path()))
            paths.push_back(f.path());
        std::sort(paths.begin(), paths.end());
        for (const fs::path& p : paths) {
            ListedFile f{kind.path().filename().string() + "-" + p.filename().string(), {}, shipped};
            EXPECT_FALSE(fileio::readFile(p.string(), f.image)) << p;
            if (kind.path().filename() == "image") {
                const std::size_t n = f.image.size() < 2 ? 0 : f.image[0] | f.image[1] << 8;
                const std::size_t part =
                        std::min(n, f.image.size() - std::min<std::size_t>(2, f.image.size()));
                const std::size_t start = std::min<std::size_t>(2, f.image.size());
                f.definitions = Ini::parse(
                        std::string_view(reinterpret_cast<const char*>(f.image.data()) + start, part));
                f.image.erase(f.image.begin(), f.image.begin() + std::ptrdiff_t(start + part));
            }
            files.push_back(std::move(f));
        }
    }
    return files;
}

std::string imageListing(const ListedFile& f, ListingOptions options)
{
    std::ostringstream out;
    EXPECT_TRUE(writeImageListing(f.image, f.name, f.definitions, options, out));
    return out.str();
}

} // namespace

// The listing streamed from the image is the listing of the document built
// from it, byte for byte, in every form; its JSON is strict JSON (the
// parser refuses invalid UTF-8, control bytes in strings, NaN) with one
// element per record line.
TEST(ListCommand, StreamedListingIsTheDocumentsOnSamplesAndCorpus)
{
    const std::vector<ListedFile> files = samplesAndCorpus();
    ASSERT_GT(files.size(), 1000u);
    for (const ListedFile& f : files) {
        CTLDoc doc;
        doc.loadImage(f.image, "/nowhere/" + f.name);
        doc.ParseImage(f.definitions);
        for (bool sorted : {false, true})
            for (bool values : {false, true})
                ASSERT_EQ(imageListing(f, {sorted, values, false}), listDocument(doc, sorted, values))
                        << f.name << (sorted ? " sorted" : "") << (values ? " values" : "");
        nlohmann::json j;
        ASSERT_NO_THROW(j = nlohmann::json::parse(imageListing(f, {false, false, true}))) << f.name;
        ASSERT_EQ(j["records"].size(), std::size_t(doc.recordCount())) << f.name;
        EXPECT_EQ(j["size"], f.image.size()) << f.name;
        EXPECT_EQ(j["trailing"].is_null(), doc.trailingBytes().empty()) << f.name;
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
