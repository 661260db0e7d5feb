// The update script: every command and its log lines, the finish, backups,
// the stamp round trip with the dump, and the failure paths.
#include "tool/Update.h"
#include "ToolTestSupport.h"
#include "base/FileIO.h"
#include "tool/AirWalk.h"
#include "tool/Dump.h"
#include "tool/Stamp.h"

#include <cerrno>
#include <cstdio>
#include <gtest/gtest.h>
#include <random>

using namespace patchwise;
using namespace pwtest;
using namespace airtest;

namespace {

std::string crcLine(const Bytes& file)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "crc %08x\n", crc32(file));
    return buf;
}

Bytes dataOf(const Bytes& file, std::uint32_t id)
{
    auto r = findFirstRecord(file, id);
    if (!r) return {};
    return Bytes(file.begin() + static_cast<std::ptrdiff_t>(r->data),
                 file.begin() + static_cast<std::ptrdiff_t>(r->data + r->present));
}

std::vector<std::uint32_t> idsOf(const Bytes& file)
{
    std::vector<std::uint32_t> ids;
    forEachRecord(file, [&](const RecordSpan& r) { ids.push_back(r.id); return true; });
    return ids;
}

const char* kDefinitions = "[records]\n"
                           "700=Scalar,int32\n"
                           "[341]\n1=0,int16,A\n2=1c,ang16,Bank\n3=20,double,D\n"
                           "[800]\n1=0,int16,X\n2=2,int16,Y\n3=4,double,Z\n";

class UpdateFixture : public ::testing::Test {
protected:
    TempDir dir;
    ToolDefinitions defs;
    std::string ini() const { return dir.file("Tarlo.ini"); }
    void SetUp() override { writeText(ini(), kDefinitions); }
    ScriptResult run(const Bytes& file, const std::string& script)
    {
        return runUpdateScript(file, script, ini(), defs, 0);
    }
};

} // namespace

TEST_F(UpdateFixture, FieldAssignmentsConvertByTheToolsScales)
{
    auto r = run(record(0x341, Bytes(64, 0)),
                 "field 341 1c ang16 12.5\n"
                 "field 341 0 16pct -0.5\n"
                 "field 341 2 16pct 2.0\n"
                 "field 341 4 int16 70000\n"
                 "field 341 6 int16 12.7\n"
                 "field 341 8 int8 -129\n"
                 "field 341 9 double 2.5\n"
                 "field 341 11 aspd 1.5\n"
                 "field 341 15 prpm 3000\n"
                 "FIELD 341 17 MACH 0.5\n"
                 "field 0x341 0x19 fwgt -1.5 trailing words are ignored\n"
                 "field 341 1e m256 2\n"
                 "field 341 20 int32 -2\n"
                 "field 341 24 thrust 1000000\n"
                 "field 341 28 bool 1\n"
                 "FIELD 0x341\t0x2c\tPCT16\t0.250000\tTrim\n");
    EXPECT_EQ(r.log, "Found " + ini() + "\n"
                     "341:1c := 2275\n"
                     "341:0 := -8192\n"
                     "341:2 := 32768\n"
                     "341:4 := 70000\n"
                     "341:6 := 12\n"
                     "341:8 := -129\n"
                     "341:9 := 2.500000\n"
                     "341:11 := 192\n"
                     "341:15 := 6400\n"
                     "341:17 := 10240\n"
                     "341:19 := -384\n"
                     "341:1e := 13\n"
                     "341:20 := -2\n"
                     "341:24 := 1000000\n"
                     "341:28 := 1\n"
                     "341:2c := 4096\n"
                     "\nRecord count: 1\n" + crcLine(r.file));
    Bytes d = dataOf(r.file, 0x341);
    ASSERT_EQ(d.size(), 64u);
    EXPECT_EQ(get16(d, 0x1c), 2275);
    EXPECT_EQ(get16(d, 0x0), -8192);
    EXPECT_EQ(get16(d, 0x2), -32768);  // 32768 in 16 bits
    EXPECT_EQ(get16(d, 0x4), 4464);    // 70000 in 16 bits
    EXPECT_EQ(get16(d, 0x6), 12);
    EXPECT_EQ(d[0x8], 0x7F);
    EXPECT_EQ(getDouble(d, 0x9), 2.5);
    EXPECT_EQ(get32(d, 0x11), 192u);
    EXPECT_EQ(get16(d, 0x15), 6400);
    EXPECT_EQ(get16(d, 0x17), 10240);
    EXPECT_EQ(get16(d, 0x19), -384);
    EXPECT_EQ(get16(d, 0x1e), 13);
    EXPECT_EQ(get32(d, 0x20), std::uint32_t(-2));
    EXPECT_EQ(get32(d, 0x24), 1000000u);
    EXPECT_EQ(get32(d, 0x28), 1u);
    EXPECT_EQ(get16(d, 0x2c), 4096);
    EXPECT_FALSE(r.stoppedOnUnknownType);
}

// Regression: underflowing reals read as infinity, so 16pct logged
// -2147483648 and a double became inf.
TEST_F(UpdateFixture, UnderflowingRealsAssignZero)
{
    auto r = run(record(0x341, Bytes(64, 0x55)),
                 "field 341 0 16pct 0x1p-5000\n"
                 "field 341 2 ang16 0." + std::string(400, '0') + "1\n"
                 "field 341 20 double -0x1p-5000\n");
    EXPECT_EQ(r.log, "Found " + ini() + "\n"
                     "341:0 := 0\n"
                     "341:2 := 0\n"
                     "341:20 := -0.000000\n"
                     "\nRecord count: 1\n" + crcLine(r.file));
    Bytes d = dataOf(r.file, 0x341);
    EXPECT_EQ(get16(d, 0), 0);
    EXPECT_EQ(get16(d, 2), 0);
    EXPECT_EQ(getDouble(d, 0x20), 0.0);
}

TEST_F(UpdateFixture, RecordsGrowToTheirDefinitionOrAreAdded)
{
    Bytes file = concat({record(0x800, {1, 0, 2, 0}), record(0x900, {})});
    auto r = run(file,
                 "field 800 4 double 1.25\n"
                 "field 800 0 int16 9\n"
                 "field 801 0 int16 1\n"
                 "field 700 0 int32 5\n"
                 "field 800 b int16 1\n");
    EXPECT_EQ(r.log, "Found " + ini() + "\n"
                     "Increased size of: 800 from 4 to 12\n"
                     "800:4 := 1.250000\n"
                     "800:0 := 9\n"
                     "Section 801 not defined in tarlo.ini\n"
                     "ADD Section 700, Length 4\n"
                     "700:0 := 5\n"
                     "CANNOT PROCESS: field 800 b int16 1\n"
                     "\nRecord count: 3\n" + crcLine(r.file));
    EXPECT_EQ(idsOf(r.file), (std::vector<std::uint32_t>{0x800, 0x900, 0x700}));
    Bytes d = dataOf(r.file, 0x800);
    ASSERT_EQ(d.size(), 12u);
    EXPECT_EQ(get16(d, 0), 9);
    EXPECT_EQ(get16(d, 2), 2);
    EXPECT_EQ(getDouble(d, 4), 1.25);
    EXPECT_EQ(dataOf(r.file, 0x700), (Bytes{5, 0, 0, 0}));
}

TEST_F(UpdateFixture, TextDeleteAndMalformedLines)
{
    Bytes file = concat({record(0x300, cString("Old")), record(0x301, {1})});
    auto r = run(file,
                 "; a comment: field 300 0 int16 1\n"
                 "text 1200 Hello|World\n"
                 "TEXT 0x300\tNew  text\n"
                 "delete 301\n"
                 "delete 9999\n"
                 "text revid Version 2\n"
                 "text 1300\n"
                 "delete\n"
                 "delete zz\n"
                 "field 300 0 int16\n"
                 "field 300 0 int16 abc\n"
                 "field 300 0 ang16 .\n"
                 "record:\n"
                 "\n"
                 "   \n"
                 "Record count: 9\n"
                 "Points: 3\n"
                 "unknown 300 words\n");
    EXPECT_EQ(r.log, "Insert text: Hello|World \n"
                     "Replacement text: New  text \n"
                     "Deleted: 0x301\n"
                     "\nRevID: Version 2\n"
                     "CANNOT PROCESS: text 1300\n"
                     "CANNOT PROCESS: delete\n"
                     "CANNOT PROCESS: delete zz\n"
                     "CANNOT PROCESS: field 300 0 int16\n"
                     "CANNOT PROCESS: field 300 0 int16 abc\n"
                     "CANNOT PROCESS: field 300 0 ang16 .\n"
                     "CANNOT PROCESS: record:\n"
                     "\nRecord count: 2\n" + crcLine(r.file));
    EXPECT_EQ(idsOf(r.file), (std::vector<std::uint32_t>{0x300, 0x1200}));
    const std::string hello = "Hello\r\nWorld ";
    Bytes expected(hello.begin(), hello.end());
    expected.push_back(0);
    EXPECT_EQ(dataOf(r.file, 0x1200), expected);  // 14 bytes
    EXPECT_EQ(dataOf(r.file, 0x300), cString("New  text "));
}

TEST_F(UpdateFixture, TableRecordsReplacedOrInserted)
{
    Bytes file = record(0x410, u16s({1, 2, 3}));
    auto r = run(file,
                 "record: 410\nPoints: 2\n7\n70000\n"
                 "record: 1505\nPoints: 1 0.5 1.5\n"
                 "record: 512\ncolumns: 2 rows: 1\n1.5 2.5\n"
                 "record: 999\n"
                 "\nRecord: 0341 Lift curve\nPoints: 1\n0.100000\t0.200000\n"
                 "record: 410\nPoints: 5\n1 2\n");
    EXPECT_EQ(r.log, "\nOriginal record: 0410 Length 6\nPoints: 3\n1\n2\n3\n\n"
                     "\nReplacement record: 0410 Length 4\nPoints: 2\n7\n4464\n\n"
                     "\nInsert record: 1505 Length 20\nPoints: 1\n0.500000\t1.500000\n\n"
                     "\nInsert record: 0512 Length 24\ncolumns: 2  rows: 1\n1.500000\t2.500000\t\n\n"
                     "CANNOT PROCESS: record: 999\n"
                     "\nInsert record: 0341 Length 20\nPoints: 1\n0.100000\t0.200000\n\n"
                     "CANNOT PROCESS: record: 410\n"
                     "\nRecord count: 4\n" + crcLine(r.file));
    EXPECT_EQ(idsOf(r.file), (std::vector<std::uint32_t>{0x410, 0x1505, 0x512, 0x341}));
    EXPECT_EQ(dataOf(r.file, 0x410), u16s({7, 4464}));
    Bytes grid = dataOf(r.file, 0x512);
    ASSERT_EQ(grid.size(), 24u);
    EXPECT_EQ(get32(grid, 0), 1u);  // rows first
    EXPECT_EQ(get32(grid, 4), 2u);
    EXPECT_EQ(getDouble(grid, 16), 2.5);
    EXPECT_EQ(dataOf(r.file, 0x1505), points({{0.5, 1.5}}));
}

TEST_F(UpdateFixture, CommandsSeeTheFileAsAWalkFromItsStartWould)
{
    // A last record cut off by the end of the file stays last: new records go
    // before it until a command makes it whole.
    Bytes cut = concat({record(0x41, u16s({1})), Bytes{0x00, 0x03, 0, 0, 10, 0, 0, 0, 'a', 'b', 'c'}});
    auto r = run(cut, "text 777 A\nfield 800 2 int16 9\ntext 300 B\ntext 888 C\n");
    EXPECT_EQ(r.file,
            concat({record(0x41, u16s({1})), record(0x777, cString("A ")),
                    record(0x800, concat({u16s({0, 9}), Bytes(8, 0)})), record(0x300, cString("B ")),
                    record(0x888, cString("C "))}));
    EXPECT_NE(r.log.find("\nRecord count: 5\n"), std::string::npos);
    // Grown by a field line, the cut-off record keeps its bytes and is whole.
    Bytes cut341 = concat({record(0x41, {}), Bytes{0x41, 0x03, 0, 0, 10, 0, 0, 0, 7, 7}});
    r = run(cut341, "field 341 2 ang16 1\ntext 999 Z\n");
    EXPECT_EQ(r.file,
            concat({record(0x41, {}), record(0x341, concat({Bytes{7, 7, 182, 0}, Bytes(8, 0)})),
                    record(0x999, cString("Z "))}));
    EXPECT_EQ(r.log, "Increased size of: 341 from 10 to 12\n341:2 := 182\nInsert text: Z \n"
                     "\nRecord count: 3\n" + crcLine(r.file));

    // Repeated ids: each command takes the first one left; stray bytes too
    // short for a header stay at the very end.
    Bytes dup = concat({record(0x41, {1}), record(0x500, {2}), record(0x41, {3}), record(0x41, {4}), Bytes{9, 9, 9}});
    r = run(dup, "delete 41\ntext 41 X\ndelete 41\ntext 999 N\ndelete 500\ndelete 500\ntext 41 Y\n");
    EXPECT_EQ(r.file, concat({record(0x41, cString("Y ")), record(0x999, cString("N ")), Bytes{9, 9, 9}}));
    EXPECT_EQ(r.log, "Deleted: 0x41\nReplacement text: X \nDeleted: 0x41\nInsert text: N \nDeleted: 0x500\n"
                     "Replacement text: Y \n\nRecord count: 2\n" + crcLine(r.file));
}

TEST_F(UpdateFixture, ADumpBlockPastedIntoAScriptAppliesBack)
{
    Bytes file = concat({record(0x341, points({{1.0 / 3, 2.0}, {4.5, -1}})), record(0x41, u16s({5}))});
    writeBytes(dir.file("plane.air"), file);
    ASSERT_EQ(writeDump(dir.file("plane.air"), dir.file("plane.txt"), ini(), false, defs), 0);
    std::string script = readText(dir.file("plane.txt"));
    auto r = run(record(0x341, points({{9, 9}})), script);
    EXPECT_EQ(dataOf(r.file, 0x341), points({{0.333333, 2.0}, {4.5, -1}}));
    EXPECT_EQ(r.log.find("CANNOT"), std::string::npos) << r.log;
}

TEST_F(UpdateFixture, UnknownTypeStopsTheScriptAndFails)
{
    auto r = run(record(0x341, Bytes(64, 0)),
                 "field 341 0 int16 1\nfield 341 0 tbl16 1\nfield 341 2 int16 2\n");
    EXPECT_TRUE(r.stoppedOnUnknownType);
    EXPECT_EQ(r.log, "Found " + ini() + "\n341:0 := 1\nCANNOT PROCESS: field 341 0 tbl16 1\n"
                     "\nRecord count: 1\n" + crcLine(r.file));
    Bytes d = dataOf(r.file, 0x341);
    EXPECT_EQ(get16(d, 0), 1);
    EXPECT_EQ(get16(d, 2), 0);
}

TEST_F(UpdateFixture, GridOfNoColumnsIsLoggedWithItsEmptyRows)
{
    const Bytes grid = u32s({2, 0}); // rows, columns
    auto r = run(record(0x512, grid), "record: 512\ncolumns: 0 rows: 3\n");
    EXPECT_EQ(r.log, "\nOriginal record: 0512 Length 8\ncolumns: 0  rows: 2\n\n\n\n"
                     "\nReplacement record: 0512 Length 8\ncolumns: 0  rows: 3\n\n\n\n\n"
                     "\nRecord count: 1\n" + crcLine(r.file));
    Bytes stored = dataOf(r.file, 0x512);
    ASSERT_EQ(stored.size(), 8u);
    EXPECT_EQ(get32(stored, 0), 3u);
    EXPECT_EQ(get32(stored, 4), 0u);
}

TEST_F(UpdateFixture, HostileCountsAndBytesNeitherCrashNorAllocate)
{
    auto r = run(record(0x410, u16s({1})),
            "record: 410\nPoints: 2000000000\n1 2\n"
            "record: 1502\ncolumns: 2000000000 rows: 2000000000\n1.0\n"
            "record: 1505\nPoints: -4\n"
            "field 410 ffffffff int16 1\n"
            "field 410 fffffffe int8 1\n");
    EXPECT_EQ(dataOf(r.file, 0x410), u16s({1}));
    EXPECT_NE(r.log.find("CANNOT PROCESS: record: 1505\n"), std::string::npos);

    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        Bytes air(rng() % 300);
        for (auto& b : air) b = static_cast<std::uint8_t>(rng() % 4 == 0 ? rng() : rng() % 8);
        std::string script;
        const char* words[] = {"field", "text", "delete", "record:", "410", "1505", "512", "404", "1199", "int16",
                               "double", "revid", "Points:", "3", "-1", "1e308", "nan", "\n", " ", "|", "0x", ";"};
        for (int w = 0; w < 60; ++w) script += words[rng() % (sizeof words / sizeof *words)], script += ' ';
        auto res = run(air, script);
        EXPECT_FALSE(res.log.empty());
        std::string dumped = dumpText(res.file, ini(), true, defs);
        EXPECT_NE(dumped.find("Record count: "), std::string::npos);
    }
}

// --- On disk: backups, log, stamp, failures ---------------------------------

namespace {

class DiskUpdate : public UpdateFixture {
protected:
    std::string air() const { return dir.file("plane.air"); }
    std::string script() const { return dir.file("patch.txt"); }
    std::string logFile() const { return dir.file("amod_log.txt"); }
    Bytes original = concat({record(0x404, pointRun(18)), record(0x1199, Bytes(200, 0)), record(0x341, Bytes(64, 0))});

    void SetUp() override
    {
        UpdateFixture::SetUp();
        writeBytes(air(), original);
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    int update(const std::string& scriptText)
    {
        writeText(script(), scriptText);
        UpdateOptions options;
        options.logPath = logFile();
        options.time = 315626635;
        return applyUpdateScript(air(), script(), ini(), defs, options, &error);
    }
    std::string dumpTail()
    {
        EXPECT_EQ(writeDump(air(), dir.file("plane.txt"), ini(), false, defs), 0);
        std::string d = readText(dir.file("plane.txt"));
        return d.substr(d.rfind("\nRecord: 0404"));
    }
    std::vector<std::string> folder() const
    {
        std::vector<std::string> names;
        for (auto& e : std::filesystem::directory_iterator(dir.path())) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string error;
};

// Fault injection through the file seam.
int gFailRenameFrom = 0;
std::string gRenameTarget;
int failingRename(const char* from, const char* to)
{
    if (gFailRenameFrom && std::string(to) == gRenameTarget) {
        errno = EACCES;
        return -1;
    }
    return ::rename(from, to);
}
ssize_t fullDisk(int, const void*, std::size_t)
{
    errno = ENOSPC;
    return -1;
}

// The AIR file is read while the update runs: reads of it fail, or another
// program cuts it short just before.
std::string gAirPath;
bool readsAir(int fd)
{
    std::error_code ec;
    const auto target = std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), ec);
    return !ec && target == std::filesystem::canonical(gAirPath);
}
ssize_t airReadFails(int fd, void* buf, std::size_t n)
{
    if (readsAir(fd)) {
        errno = EIO;
        return -1;
    }
    return ::read(fd, buf, n);
}
ssize_t airCutWhileRead(int fd, void* buf, std::size_t n)
{
    if (readsAir(fd) && ::truncate(gAirPath.c_str(), 20) != 0)
        return -1;
    return ::read(fd, buf, n);
}

} // namespace

TEST_F(DiskUpdate, StampRoundTripWithTheDump)
{
    ASSERT_EQ(update("field 341 1c ang16 12.5\ntext revid Rev 7\n"), 0) << error;
    EXPECT_EQ(readBytes(air() + ".001"), original);
    Bytes updated = readBytes(air());
    EXPECT_EQ(get16(dataOf(updated, 0x341), 0x1c), 2275);
    EXPECT_EQ(readRevision(updated), "Rev 7\n");

    std::string log = readText(logFile());
    EXPECT_EQ(log.substr(0, log.find("crc ")), "Found " + ini() + "\n341:1c := 2275\n\nRevID: Rev 7\n\nRecord count: 3\n");
    // The log's CRC is the one in the stamp.
    std::string stampCrc = log.substr(log.find("crc ") + 4, 8);
    auto rec = findFirstRecord(updated, 0x404);
    std::string slots;
    for (int k = 0; k < 8; ++k) slots += char(updated[rec->data + 4 + 8 * k]);
    EXPECT_EQ(slots, stampCrc);

    // The stamp bytes are part of the listed doubles; the dump ends with '-'.
    std::string tail = dumpTail();
    EXPECT_EQ(tail.substr(tail.find("\nRev 7")), "\nRev 7\nLast Patchwise: Jan 02 02:03:55 1980-\n\nRecord count: 3\n");

    // A byte changed afterwards, as a save in the editor would: 'R'.
    Bytes changed = updated;
    changed[findFirstRecord(changed, 0x341)->data + 3] = 1;
    writeBytes(air(), changed);
    tail = dumpTail();
    EXPECT_EQ(tail.substr(tail.find("\nRev 7")), "\nRev 7\nLast Patchwise: Jan 02 02:03:55 1980R\n\nRecord count: 3\n");
}

TEST_F(DiskUpdate, BackupsAreNumberedAndCommentOnlyScriptsStillStamp)
{
    writeText(air() + ".001", "older");
    writeText(air() + ".002", "old");
    EXPECT_EQ(nextBackupName(air()), air() + ".003");
    ASSERT_EQ(update("; nothing but a comment\n"), 0) << error;
    EXPECT_EQ(readBytes(air() + ".003"), original);
    EXPECT_EQ(readText(air() + ".001"), "older");
    Bytes updated = readBytes(air());
    Bytes cleared = updated;
    clearStamp(cleared);
    EXPECT_EQ(readText(logFile()), "\nRecord count: 3\n" + crcLine(cleared));
    Bytes copy = updated;
    EXPECT_TRUE(checkStamp(copy).present);
    ASSERT_EQ(update(""), 0);
    EXPECT_TRUE(std::filesystem::exists(air() + ".004"));
}

TEST_F(DiskUpdate, UnreadableInputsChangeNothing)
{
    std::string missingAir = dir.file("absent.air");
    writeText(script(), "field 341 0 int16 1\n");
    EXPECT_EQ(applyUpdateScript(missingAir, script(), ini(), defs, {logFile(), 0}, &error), 1);
    EXPECT_NE(error.find("absent.air"), std::string::npos);
    EXPECT_EQ(applyUpdateScript(air(), dir.file("absent.txt"), ini(), defs, {logFile(), 0}, &error), 1);
    EXPECT_EQ(readBytes(air()), original);
    EXPECT_EQ(folder(), (std::vector<std::string>{"Tarlo.ini", "patch.txt", "plane.air"}));
    // A log named like the AIR file would end up in its place.
    EXPECT_EQ(applyUpdateScript(air(), script(), ini(), defs, {air(), 0}, &error), 1);
    EXPECT_EQ(readBytes(air()), original);
    EXPECT_EQ(folder(), (std::vector<std::string>{"Tarlo.ini", "patch.txt", "plane.air"}));
}

TEST_F(DiskUpdate, ReadFailuresAndAFileCutMeanwhileChangeNothing)
{
    gAirPath = air();
    {
        auto ops = base::fileio::ops();
        ops.read = airReadFails;
        base::fileio::ScopedOps scoped(ops);
        EXPECT_EQ(update("field 341 0 int16 1\n"), 1);
    }
    EXPECT_EQ(error, base::fileio::describe(EIO, air()));
    EXPECT_EQ(readBytes(air()), original);
    EXPECT_EQ(folder(), (std::vector<std::string>{"Tarlo.ini", "patch.txt", "plane.air"}));
    {
        auto ops = base::fileio::ops();
        ops.read = airCutWhileRead;
        base::fileio::ScopedOps scoped(ops);
        EXPECT_EQ(update("field 341 0 int16 1\n"), 1);
    }
    EXPECT_NE(error.find("was changed by another program"), std::string::npos) << error;
    EXPECT_EQ(readBytes(air()), Bytes(original.begin(), original.begin() + 20));
    EXPECT_EQ(folder(), (std::vector<std::string>{"Tarlo.ini", "patch.txt", "plane.air"}));
}

// A file larger than the pieces the update reads and writes: records across
// their edges, one larger than a piece, the stamp and revision records near
// the end, then stray bytes or a record cut off by the end of the file. On
// disk it comes out as it does in memory.
TEST_F(DiskUpdate, ALargeFileOnDiskComesOutAsInMemory)
{
    std::mt19937 rng(7);
    Bytes body;
    for (int i = 0; i < 40000; ++i) {
        const std::uint32_t id = i % 3 == 0 ? 0x341 : 0x1000 + std::uint32_t(i % 50);
        appendRecord(body, id, Bytes(64 + rng() % 40, std::uint8_t(i)));
        if (i == 15000)
            appendRecord(body, 0x900, Bytes(1500000, 7));
    }
    appendRecord(body, 0x1199, Bytes(200, 0));
    appendRecord(body, 0x404, pointRun(18));
    const Bytes cutOff = concat({airtest::u32s({0x345, 5000}), Bytes(100, 9)});
    for (const Bytes& ending : {Bytes{1, 2, 3}, cutOff}) {
        const Bytes big = concat({body, ending});
        writeBytes(air(), big);
        std::filesystem::remove(air() + ".001");
        defs.unload();
        const std::string s =
                "delete 341\nfield 341 0 int16 5\ntext 1200 Hi\ndelete 1031\nfield 800 2 int16 3\n"
                "text revid R 2\ntext 1005 Again\n";
        ASSERT_EQ(update(s), 0) << error;
        ToolDefinitions fresh;
        const ScriptResult mem = runUpdateScript(big, s, ini(), fresh, 315626635);
        const Bytes updated = readBytes(air());
        EXPECT_TRUE(updated == mem.file);
        EXPECT_EQ(readText(logFile()), mem.log);
        EXPECT_TRUE(readBytes(air() + ".001") == big);
        const StampCheck check = verifyStamp(updated);
        ASSERT_TRUE(check.present);
        EXPECT_EQ(check.text.back(), '-');
        EXPECT_EQ(readRevision(updated), "R 2\n");
        // New records go before the cut-off one, which stays last.
        const std::vector<std::uint32_t> ids = idsOf(updated);
        const std::vector<std::uint32_t> last(ids.end() - 3, ids.end());
        EXPECT_EQ(last,
                ending == cutOff ? (std::vector<std::uint32_t>{0x1200, 0x800, 0x345})
                                 : (std::vector<std::uint32_t>{0x404, 0x1200, 0x800}));
    }
}

TEST_F(DiskUpdate, FailuresAfterTheBackupRenamePutTheOriginalBack)
{
    // The log cannot be created.
    writeText(script(), "field 341 0 int16 1\n");
    UpdateOptions badLog;
    badLog.logPath = dir.file("no/folder/amod_log.txt");
    EXPECT_EQ(applyUpdateScript(air(), script(), ini(), defs, badLog, &error), 1);
    EXPECT_EQ(readBytes(air()), original);
    EXPECT_EQ(folder(), (std::vector<std::string>{"Tarlo.ini", "patch.txt", "plane.air"}));
    // Nothing was logged, so the next log still carries the definition line.
    EXPECT_FALSE(defs.loaded());

    // The disk is full while the new file is written.
    {
        auto ops = base::fileio::ops();
        ops.write = fullDisk;
        base::fileio::ScopedOps scoped(ops);
        EXPECT_EQ(update("field 341 0 int16 1\n"), 1);
    }
    EXPECT_NE(error.find("full"), std::string::npos) << error;
    EXPECT_EQ(readBytes(air()), original);
    EXPECT_EQ(folder(), (std::vector<std::string>{"Tarlo.ini", "patch.txt", "plane.air"}));

    // The backup name itself is refused: nothing happens.
    {
        auto ops = base::fileio::ops();
        ops.link = [](const char*, const char*) {
            errno = EACCES;
            return -1;
        };
        base::fileio::ScopedOps scoped(ops);
        EXPECT_EQ(update("field 341 0 int16 1\n"), 1);
    }
    EXPECT_EQ(readBytes(air()), original);
    EXPECT_EQ(folder(), (std::vector<std::string>{"Tarlo.ini", "patch.txt", "plane.air"}));

    // The rename of the new file over the AIR file is refused: the backup
    // name made for it goes again.
    {
        auto ops = base::fileio::ops();
        ops.rename = failingRename;
        gFailRenameFrom = 1;
        gRenameTarget = air();
        base::fileio::ScopedOps scoped(ops);
        EXPECT_EQ(update("field 341 0 int16 1\n"), 1);
        gFailRenameFrom = 0;
    }
    EXPECT_EQ(readBytes(air()), original);
    EXPECT_EQ(folder(), (std::vector<std::string>{"Tarlo.ini", "patch.txt", "plane.air"}));

    // After all that, a working update.
    EXPECT_EQ(update("field 341 0 int16 1\n"), 0);
    EXPECT_EQ(readText(logFile()).rfind("Found " + ini() + "\n", 0), 0u);
}

TEST_F(DiskUpdate, UnknownTypeIsReportedAsFailureButWritten)
{
    EXPECT_EQ(update("field 341 0 int16 1\nfield 341 2 word 2\nfield 341 4 int16 3\n"), 1);
    EXPECT_NE(error.find("unknown type"), std::string::npos);
    Bytes d = dataOf(readBytes(air()), 0x341);
    EXPECT_EQ(get16(d, 0), 1);
    EXPECT_EQ(get16(d, 4), 0);
    EXPECT_TRUE(std::filesystem::exists(air() + ".001"));
    EXPECT_NE(readText(logFile()).find("CANNOT PROCESS: field 341 2 word 2\n"), std::string::npos);
}
