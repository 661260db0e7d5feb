#include "base/FileIO.h"
#include "model/CTLDoc.h"
#include "model/Definitions.h"
#include "model/FieldType.h"
#include "model/Ini.h"
#include "model/Listing.h"
#include "model/TextEscape.h"

#include "SampleFiles.h"
#include "common/AirImage.h"
#include "common/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>

using namespace model;
using namespace airtest;
namespace fs = std::filesystem;

namespace {

const std::string kSource = TARLO_SOURCE_DIR;
const std::string kDefinitions = kSource + "/data/Tarlo.ini";

std::string listed(const std::vector<std::uint8_t>& image, bool values)
{
    CTLDoc doc;
    doc.setDefinitionsPath(kDefinitions);
    doc.loadImage(image, "plane.air");
    return listDocument(doc, false, values);
}

} // namespace

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

TEST(Listing, IsWrittenAsItIsMadeAndFailuresAreTold)
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

TEST(ListValues, TablesListTheirValuesBeneathTheirItems)
{
    const std::vector<std::uint8_t> sample = samples::makeSample();
    const std::string plain = listed(sample, false), values = listed(sample, true);
    for (const char* expected : {"\n  10b  Aileron response\n    [0] 0\n    [1] 4000\n",
                 "\n  10c  Lift curve\n    [0] -4 0\n    [1] -2 0.03125\n",
                 "\n  111  Ground effect grid\n    row 0: 1 1.5 2\n    row 1: 1.125 1.625 2.125\n",
                 "\n    Table field\n      [0] 5\n"})
        EXPECT_NE(values.find(expected), std::string::npos) << expected << "\n--- in:\n" << values;
    // Without --values the listing is as it was: the items alone.
    EXPECT_EQ(plain.find("[0]"), std::string::npos);
    EXPECT_EQ(plain.find("row 0"), std::string::npos);

    // A change of one table value shows (what a git textconv needs).
    auto onePoint = [](double y) { return points({{0.5, y}}); };
    const std::string a = listed(record(0x10c, onePoint(1.0)), true),
                      b = listed(record(0x10c, onePoint(1.0000001)), true);
    EXPECT_NE(a, b);
    EXPECT_NE(a.find("    [0] 0.5 1\n"), std::string::npos) << a;
    EXPECT_NE(b.find("    [0] 0.5 1.0000001\n"), std::string::npos) << b;
    EXPECT_EQ(listed(record(0x10c, onePoint(1.0)), false), listed(record(0x10c, onePoint(1.0000001)), false));
}

TEST(ListValues, CountsThatLieAreNotWalked)
{
    // 0 columns by 4 billion rows, and 4 billion by 4 billion in 8 bytes.
    std::string s = listed(record(0x111, {0, 0, 0, 0, 0xff, 0xff, 0xff, 0xff}), true);
    EXPECT_EQ(s.find("row"), std::string::npos) << s.substr(0, 200);
    s = listed(record(0x111, {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}), true);
    EXPECT_NE(s.find("(4294967295 x 4294967295 values do not fit in 8 bytes)"), std::string::npos) << s;
    s = listed(record(0x10c, {0xff, 0xff, 0xff, 0x7f, 1, 2}), true);
    EXPECT_EQ(s.find("[0]"), std::string::npos) << s;
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
            EXPECT_FALSE(base::fileio::readFile(p.string(), f.image)) << p;
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

// The JSON listing rebuilt from its parse by nlohmann::json's dump(), in the
// listing's frame of one record a line: equal to the listing when the listing
// is in the library's compact form (escapes, number forms, key order).
std::string redumped(const std::string& listing)
{
    const auto j = nlohmann::ordered_json::parse(listing);
    std::string out = "{\"file\":" + j["file"].dump() + ",\"size\":" + j["size"].dump() + ",\"records\":[\n";
    for (std::size_t i = 0; i < j["records"].size(); ++i)
        out += (i ? ",\n" : "") + j["records"][i].dump();
    return out + "\n],\"trailing\":" + j["trailing"].dump() + "}\n";
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
        const std::string listing = imageListing(f, {false, false, true});
        nlohmann::json j;
        ASSERT_NO_THROW(j = nlohmann::json::parse(listing)) << f.name;
        ASSERT_EQ(listing, redumped(listing)) << f.name;
        ASSERT_EQ(j["records"].size(), std::size_t(doc.recordCount())) << f.name;
        EXPECT_EQ(j["size"], f.image.size()) << f.name;
        EXPECT_EQ(j["trailing"].is_null(), doc.trailingBytes().empty()) << f.name;
    }
}

// Every byte a text can hold, quotes and backslashes in names, and numbers
// without a JSON form or at the edges of the number forms.
TEST(ListCommand, JsonIsTheLibrarysCompactForm)
{
    std::vector<std::uint8_t> text;
    for (int c = 1; c < 256; ++c)
        text.push_back(std::uint8_t(c));
    text.push_back(0);
    const double inf = std::numeric_limits<double>::infinity();
    AirImage img;
    img.record(0x106, text)
            .record(0x10c,
                    points({{-0.0, 0.1}, {1e300, 1e-300}, {inf, -inf}, {1e15, 1e16}, {123456.789, 5e-5},
                            {std::nan(""), 2.0 / 3}}));
    img.record(0x777, {1, 2});
    const std::vector<std::uint8_t> bytes = img.raw({0x22, 0x5c}).bytes();
    const Ini defs = Ini::parse(
            "[records]\n106=Maker,text\n10c=Lift curve,tbldb\n777=Odd \"name\" \\ \x01\x7f\xe9,raw\n");
    std::ostringstream out;
    ASSERT_TRUE(writeImageListing(bytes, "f\"\x1f\xff.air", defs, {false, false, true}, out));
    const std::string listing = out.str();
    EXPECT_EQ(listing, redumped(listing));
    for (const char* expected : {"\"Odd \\\"name\\\" \\\\ \\u0001\x7f\xc3\xa9\"",
                 "[-0.0,0.1],[1e+300,1e-300],[null,null],[1e+15,1e+16],[123456.789,5e-05]",
                 "\"file\":\"f\\\"\\u001f\xc3\xbf.air\""})
        EXPECT_NE(listing.find(expected), std::string::npos) << expected << "\n--- in:\n" << listing;
}
