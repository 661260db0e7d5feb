// The dump listing, checked against texts written out by hand.
#include "tool/Dump.h"
#include "ToolTestSupport.h"
#include "base/FileIO.h"
#include "tool/Stamp.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <unistd.h>

using namespace patchwise;
using namespace pwtest;
using namespace airtest;

namespace {

class DumpFixture : public ::testing::Test {
protected:
    TempDir dir;
    ToolDefinitions defs;
    std::string ini() const { return dir.file("Tarlo.ini"); }
    std::string dump(const Bytes& air, bool full, const std::string& defPath)
    {
        writeBytes(dir.file("plane.air"), air);
        EXPECT_EQ(writeDump(dir.file("plane.air"), dir.file("plane.txt"), defPath, full, defs), 0);
        return readText(dir.file("plane.txt"));
    }
};

Bytes wingData()
{
    Bytes d;
    appendLE<std::uint16_t>(d, 2275); // 0x00 ang16
    appendLE<std::int8_t>(d, -3); // 0x02 int8
    appendLE<std::uint16_t>(d, 8192); // 0x03 16pct
    appendLE<std::uint16_t>(d, 6400); // 0x05 prpm
    appendLE<std::uint16_t>(d, 10240); // 0x07 mach
    appendLE<std::uint16_t>(d, 384); // 0x09 fwgt
    appendLE<std::uint16_t>(d, 13005); // 0x0b m256
    appendLE<std::uint32_t>(d, 32000); // 0x0d aspd
    appendLE<std::uint32_t>(d, 1); // 0x11 bool
    appendLE<std::uint32_t>(d, std::uint32_t(-7)); // 0x15 thrust
    appendLE<double>(d, 3.5); // 0x19 double
    d.insert(d.end(), {'H', 'i', 0}); // 0x21 text
    return d;
}

const char* kDefinitions =
    "[records]\n"
    "41=Small,int16\n"
    "300=Title,text\n"
    "200=Wing,record\n"
    "1505=Lift curve,tbldb\n"
    "[200]\n"
    "1=0,ang16,Bank limit\n"
    "1h=Help lines are no fields\n"
    "2=2,int8,Flaps\n"
    "3=3,16pct,Trim\n"
    "4=5,prpm,Prop\n"
    "5=7,mach,Mach max\n"
    "6=9,fwgt,Fuel\n"
    "7=b,m256,M\n"
    "8=d,aspd,Speed\n"
    "9=11,bool,Gear\n"
    "a=15,thrust,Thrust\n"
    "b=19,double,Ratio\n"
    "c=21,text,Label\n"
    "d=30,bogus,Ignored\n";

} // namespace

TEST(RecordClasses, FixedListsById)
{
    for (std::uint32_t id : {0x410u, 0x413u, 0x423u, 0x430u, 0x433u, 0x443u, 0x450u, 0x455u, 0x459u, 0x463u, 0x465u, 0x601u, 0x606u})
        EXPECT_EQ(classifyRecord(id), RecordClass::Int16List) << std::hex << id;
    for (std::uint32_t id : {0x341u, 0x343u, 0x400u, 0x401u, 0x404u, 0x451u, 0x456u, 0x460u, 0x464u, 0x473u, 0x506u,
                             0x509u, 0x514u, 0x517u, 0x519u, 0x536u, 0x539u, 0x546u, 0x1505u, 0x1508u, 0x1524u,
                             0x1525u, 0x1531u, 0x1535u, 0x1538u})
        EXPECT_EQ(classifyRecord(id), RecordClass::PointTable) << std::hex << id;
    for (std::uint32_t id : {0x511u, 0x512u, 0x1502u, 0x1504u, 0x1506u, 0x1507u})
        EXPECT_EQ(classifyRecord(id), RecordClass::Grid) << std::hex << id;
    for (std::uint32_t id : {0x0u, 0x40fu, 0x414u, 0x431u, 0x432u, 0x458u, 0x466u, 0x600u, 0x607u, 0x1199u,
                             0x510u, 0x1501u, 0x1505u + 4, 0x1539u})
        EXPECT_EQ(classifyRecord(id), RecordClass::Unclassified) << std::hex << id;
}

TEST_F(DumpFixture, PlainDumpListsTablesRevisionAndCount)
{
    writeText(ini(), kDefinitions);
    Bytes revision(128, 0);
    Bytes air = AirImage()
                        .record(0x41, u16s({-5}))
                        .record(0x410, concat({u16s({1, -2, 3}), Bytes{0x7F}})) // odd length 7
                        .record(0x1505, points({{0.5, 1.0}, {-2.25, 3.125}}))
                        .record(0x511, doubles({2, 3}, {1, 2, 3, 4, 5, 6}))
                        .record(0x1199, revision)
                        .bytes();
    storeRevision(air, "Rev A\n");
    const std::string expected = "Found " + ini() + "\n"
                                 "\nRecord: 0410 \n"
                                 "Points: 3\n1\n-2\n3\n"
                                 "\nRecord: 1505 Lift curve\n"
                                 "Points: 2\n0.500000\t1.000000\n-2.250000\t3.125000\n"
                                 "\nRecord: 0511 \n"
                                 "columns: 3  rows: 2\n"
                                 "1.000000\t2.000000\t3.000000\t\n"
                                 "4.000000\t5.000000\t6.000000\t\n"
                                 "\nRev A\n"
                                 "\nRecord count: 5\n";
    EXPECT_EQ(dump(air, false, ini()), expected);
    // The definitions stay loaded: the second dump has no "Found" line.
    EXPECT_EQ(dump(air, false, ini()), expected.substr(expected.find('\n') + 1));
}

TEST_F(DumpFixture, FullDumpListsFieldsByDefinitionOrInHex)
{
    writeText(ini(), kDefinitions);
    Bytes hex18, hex16;
    for (int i = 0; i < 18; ++i) hex18.push_back(std::uint8_t(i));
    for (int i = 0; i < 16; ++i) hex16.push_back(std::uint8_t(0xa0 + i));
    const Bytes air = AirImage()
                              .record(0x41, u16s({-5}))
                              .record(0x300, cString("Hello"))
                              .record(0x200, wingData())
                              .record(0x999, hex18)
                              .record(0x998, {})
                              .record(0x997, hex16)
                              .bytes();
    const std::string full = "Found " + ini() + "\n"
                             "\nRecord: 0041 Small\n"
                             "FIELD 0x41\t0x0\tINT16\t-5\tSmall\n"
                             "\nRecord: 0300 Title\n"
                             "TEXT 0x300\tHello\n"
                             "\nRecord: 0200 Wing\n"
                             "FIELD 0x200\t0x0\tANG16\t12.500000\tBank limit\n"
                             "FIELD 0x200\t0x2\tINT8\t-3\tFlaps\n"
                             "FIELD 0x200\t0x3\tPCT16\t0.500000\tTrim\n"
                             "FIELD 0x200\t0x5\tPRPM\t3000.000000\tProp\n"
                             "FIELD 0x200\t0x7\tMACH\t0.500000\tMach max\n"
                             "FIELD 0x200\t0x9\tFWGT\t1.500000\tFuel\n"
                             "FIELD 0x200\t0xb\tM256\t2000.000000\tM\n"
                             "FIELD 0x200\t0xd\tASPD\t250.000000\tSpeed\n"
                             "FIELD 0x200\t0x11\tINT32\t1\tGear\n"
                             "FIELD 0x200\t0x15\tINT32\t-7\tThrust\n"
                             "FIELD 0x200\t0x19\tDOUBLE\t3.500000\tRatio\n"
                             "TEXT 0x200\tHi\n"
                             "WARNING: Actual size: 36, Tarlo size: 35\n"
                             "\nRecord: 0999 \n"
                             "Points: 18\n"
                             "00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f \n"
                             "10 11 \n"
                             "\nRecord: 0998 \n"
                             "Points: 0\n"
                             "\nRecord: 0997 \n"
                             "Points: 16\n"
                             "a0 a1 a2 a3 a4 a5 a6 a7 a8 a9 aa ab ac ad ae af \n"
                             "\n"
                             "\nRecord count: 6\n";
    EXPECT_EQ(dump(air, true, ini()), full);
    // A plain dump of a file without table records: revision line and count.
    EXPECT_EQ(dump(air, false, ini()), "\n\nRecord count: 6\n");
}

TEST_F(DumpFixture, WithoutDefinitionsEveryRecordIsHex)
{
    Bytes air = concat({record(0x41, u16s({-5})), record(0x410, u16s({7}))});
    const std::string missing = dir.file("missing.ini");
    const std::string expected = "Can't find " + missing + "\n"
                                 "Tarlo record formats not available.\n"
                                 "\nRecord: 0041 \nPoints: 2\nfb ff \n"
                                 "\nRecord: 0410 \nPoints: 1\n7\n"
                                 "\n"
                                 "\nRecord count: 2\n";
    EXPECT_EQ(dump(air, true, missing), expected);
    EXPECT_EQ(dump(air, true, missing), expected);  // tried again every time
}

TEST_F(DumpFixture, ListingsNeverReadPastARecordOrTheFile)
{
    const Bytes liar = doubles({5}, {1, 2, 3}); // claims 5 points, holds one and a half
    const Bytes grid = doubles({2, 2}, {1, 2, 3}); // 2 x 2 claimed, 3 values present
    const Bytes negative = u32s({std::uint32_t(-3)});
    Bytes cut = record(0x410, u16s({1, 2, 3, 4}));
    cut[4] = 100;  // length 100, 8 bytes present
    Bytes air = concat({record(0x341, liar), record(0x1502, grid), record(0x342, negative), record(0x343, {1, 2}), cut});
    const std::string expected = "Can't find " + dir.file("none.ini") + "\n"
                                 "Tarlo record formats not available.\n"
                                 "\nRecord: 0341 \nPoints: 5\n1.000000\t2.000000\n"
                                 "\nRecord: 1502 \ncolumns: 2  rows: 2\n1.000000\t2.000000\t\n3.000000\t\n"
                                 "\nRecord: 0342 \nPoints: -3\n"
                                 "\nRecord: 0343 \nPoints: 0\n"
                                 "\nRecord: 0410 \nPoints: 50\n1\n2\n3\n4\n"
                                 "\n"
                                 "\nRecord count: 5\n";
    EXPECT_EQ(dump(air, false, dir.file("none.ini")), expected);

    // A tail too short for a header is no record.
    Bytes tail = concat({record(0x410, u16s({9})), Bytes{1, 2, 3}});
    EXPECT_EQ(dump(tail, false, dir.file("none.ini")),
              "Can't find " + dir.file("none.ini") + "\nTarlo record formats not available.\n"
              "\nRecord: 0410 \nPoints: 1\n9\n\n\nRecord count: 1\n");
}

TEST_F(DumpFixture, GridOfNoColumnsListsOneEmptyLinePerRow)
{
    auto grid = [](std::int32_t rows, std::int32_t cols) {
        return u32s({std::uint32_t(rows), std::uint32_t(cols)});
    };
    Bytes air = concat({record(0x511, grid(2, 0)), record(0x512, grid(0, 0)), record(0x1502, grid(-1, 0))});
    const std::string expected = "Can't find " + dir.file("none.ini") + "\n"
                                 "Tarlo record formats not available.\n"
                                 "\nRecord: 0511 \ncolumns: 0  rows: 2\n\n\n"
                                 "\nRecord: 0512 \ncolumns: 0  rows: 0\n"
                                 "\nRecord: 1502 \ncolumns: 0  rows: -1\n"
                                 "\n"
                                 "\nRecord count: 3\n";
    EXPECT_EQ(dump(air, false, dir.file("none.ini")), expected);

    // Rows of no columns cost nothing to claim: a huge count stays bounded.
    std::string out;
    appendTableListing(out, RecordClass::Grid, grid(2000000000, 0), 8);
    EXPECT_EQ(out, "columns: 0  rows: 2000000000\n" + std::string(std::size_t(kMaxEmptyGridRows), '\n'));
}

TEST_F(DumpFixture, FailuresReturnOne)
{
    writeText(ini(), kDefinitions);
    // AIR file missing: the dump says so.
    EXPECT_EQ(writeDump(dir.file("absent.air"), dir.file("out.txt"), ini(), false, defs), 1);
    EXPECT_EQ(readText(dir.file("out.txt")), "Can't open " + dir.file("absent.air") + "\n");
    EXPECT_FALSE(defs.loaded());

    // Dump file not creatable: nothing written, and the "Found" line is
    // still due in the next dump.
    writeBytes(dir.file("plane.air"), record(0x41, u16s({1})));
    std::string error;
    EXPECT_EQ(writeDump(dir.file("plane.air"), dir.file("no/such/folder/out.txt"), ini(), false, defs, &error), 1);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(writeDump(dir.file("plane.air"), dir.file("out.txt"), ini(), false, defs), 0);
    EXPECT_EQ(readText(dir.file("out.txt")), "Found " + ini() + "\n\n\nRecord count: 1\n");

    // A dump name that is the AIR file's own name is refused, not written over it.
    EXPECT_EQ(writeDump(dir.file("plane.air"), dir.path() + "/./plane.air", ini(), false, defs), 1);
    EXPECT_EQ(readBytes(dir.file("plane.air")), record(0x41, u16s({1})));
}

TEST_F(DumpFixture, ListingIsWrittenInPiecesAsItGoes)
{
    writeText(ini(), kDefinitions);
    // Enough records for several pieces: plain and full listings.
    Bytes air;
    for (int i = 0; i < 6000; ++i) {
        Bytes rec = record(i % 2 ? 0x200 : 0x41, i % 2 ? wingData() : u16s({i}));
        air.insert(air.end(), rec.begin(), rec.end());
        Bytes table = record(0x410, u16s({1, 2, i}));
        air.insert(air.end(), table.begin(), table.end());
    }
    for (bool full : {false, true}) {
        ToolDefinitions a, b;
        const std::string whole = dumpText(air, ini(), full, a);
        std::vector<std::string> pieces;
        EXPECT_TRUE(dumpTo(air, ini(), full, b, [&](std::string_view p) {
            pieces.emplace_back(p);
            return true;
        }));
        EXPECT_GT(pieces.size(), 3u);
        std::string joined;
        for (const auto& p : pieces) {
            EXPECT_LE(p.size(), 80000u);  // bounded, not the whole listing at the end
            joined += p;
        }
        EXPECT_EQ(joined, whole);
        EXPECT_EQ(whole.substr(whole.size() - 21), "\nRecord count: 12000\n");

        // A sink that refuses stops the dump at once.
        ToolDefinitions c;
        int calls = 0;
        EXPECT_FALSE(dumpTo(air, ini(), full, c, [&](std::string_view) { return ++calls < 2; }));
        EXPECT_EQ(calls, 2);
    }
}

TEST_F(DumpFixture, AWriteFailureHalfwayLeavesNoDumpBehind)
{
    namespace fio = base::fileio;
    writeText(ini(), kDefinitions);
    Bytes air;
    for (int i = 0; i < 20000; ++i) {
        Bytes rec = record(0x410, u16s({i % 30000, 7}));
        air.insert(air.end(), rec.begin(), rec.end());
    }
    writeBytes(dir.file("plane.air"), air);
    writeText(dir.file("plane.txt"), "the old listing\n");

    static int writes;
    writes = 0;
    fio::Ops failing = fio::defaultOps();
    failing.write = [](int fd, const void* p, std::size_t n) -> ssize_t {
        if (++writes == 3) {
            errno = ENOSPC;
            return -1;
        }
        return ::write(fd, p, n);
    };
    std::string error;
    {
        fio::ScopedOps scoped(failing);
        EXPECT_EQ(writeDump(dir.file("plane.air"), dir.file("plane.txt"), ini(), false, defs, &error), 1);
    }
    EXPECT_EQ(writes, 3);  // stopped at the failing write
    EXPECT_EQ(error, "Destination disk drive is full.");
    EXPECT_EQ(readText(dir.file("plane.txt")), "the old listing\n");
    std::size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) files += !e.path().empty();
    EXPECT_EQ(files, 3u);  // Tarlo.ini, plane.air, plane.txt: no temporary left
    EXPECT_FALSE(defs.loaded());  // the "Found" line is still due

    EXPECT_EQ(writeDump(dir.file("plane.air"), dir.file("plane.txt"), ini(), false, defs), 0);
    ToolDefinitions fresh;
    EXPECT_EQ(readText(dir.file("plane.txt")), dumpText(air, ini(), false, fresh));
}
