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
