// Patchwise's update and dump under file-system faults and malformed files:
// the user's AIR file is never left empty, truncated or lost, its backup holds
// the original bytes, and every failure gives status 1 and a reason.
#include "FaultOps.h"
#include "HostileSupport.h"

#include "tool/AirWalk.h"
#include "tool/Dump.h"
#include "tool/Stamp.h"
#include "tool/Update.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string_view>
#include <sys/wait.h>

namespace fs = std::filesystem;
using namespace hostile;
using namespace airtest;
using namespace patchwise;

namespace {

Bytes points(int n)
{
    Bytes b = u32s({std::uint32_t(n)});
    b.resize(4 + 16 * std::size_t(n), 0x40);
    return b;
}

const Bytes kOriginal = concat({record(0x404, points(20)), record(0x1199, Bytes(900, 0)),
                                record(0x341, points(3)), record(0x1F5, {'a', 'b', 0})});
const char* kDefinitions = "[Records]\n341=Lift,tbldb\n1f5=Name,text\n[341]\n1=0,int32,Count\n2=4,double,X\n";
const char* kScript = "field 341 4 double 2.5\ntext 1f5 Renamed|twice\ntext revid Seven\ndelete 9999\n";

class UpdateFaults : public ::testing::Test {
protected:
    UpdateFaults() : dir_(::testing::UnitTest::GetInstance()->current_test_info()->name())
    {
        air_ = dir_.file("plane.air");
        script_ = dir_.file("script.txt");
        defs_ = dir_.file("tarlo.ini");
        options_.logPath = dir_.file("amod_log.txt");
        options_.time = 1700000000;
        writeBytes(air_, kOriginal);
        writeText(script_, kScript);
        writeText(defs_, kDefinitions);
    }

    int update(std::string* error)
    {
        ToolDefinitions defs;
        return applyUpdateScript(air_, script_, defs_, defs, options_, error);
    }

    // Failure: status 1 with a reason, the AIR file as it was, no backup
    // left behind under a new name, no temporary files.
    void expectRefusedAndUntouched(int status, const std::string& error,
                                   std::vector<std::string> names = {"plane.air", "script.txt", "tarlo.ini"})
    {
        EXPECT_EQ(status, 1);
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(readBytes(air_), kOriginal);
        EXPECT_EQ(dir_.names(), names);
    }

    TempDir dir_;
    std::string air_, script_, defs_;
    UpdateOptions options_;
};

} // namespace

TEST_F(UpdateFaults, WriteFailuresPutTheOriginalBack)
{
    struct Case {
        const char* what;
        void (*arm)(FaultPlan&);
    };
    const Case cases[] = {
        {"disk full while writing the AIR file", [](FaultPlan& p) { p.writeBudget = 500; }},
        {"disk full at the first byte", [](FaultPlan& p) { p.writeBudget = 0; }},
        {"I/O error in the middle", [](FaultPlan& p) { p.writeBudget = 1000; p.writeErrno = EIO; }},
        {"flush fails", [](FaultPlan& p) { p.fsyncErrno = EIO; }},
        {"folder refuses new files", [](FaultPlan& p) { p.openForWriteErrno = EACCES; }},
        // The AIR file fits, the log does not.
        {"disk full while writing the log", [](FaultPlan& p) { p.writeBudget = long(kOriginal.size()) + 10; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string error;
        int status;
        {
            Faults faults;
            c.arm(plan());
            status = update(&error);
        }
        expectRefusedAndUntouched(status, error);
    }

    // Without faults the same update goes through and keeps the original as .001.
    std::string error;
    ASSERT_EQ(update(&error), 0) << error;
    EXPECT_EQ(readBytes(dir_.file("plane.air.001")), kOriginal);
    EXPECT_NE(readBytes(air_), kOriginal);
    EXPECT_FALSE(readText(options_.logPath).empty());
}

TEST_F(UpdateFaults, BackupRenameFailuresLeaveEverythingInPlace)
{
    std::string error;
    int status;
    {
        Faults faults;
        plan().renameErrno = EACCES;
        status = update(&error);
    }
    expectRefusedAndUntouched(status, error);
    // The log is renamed first: its refusal is the one told.
    EXPECT_NE(error.find("amod_log.txt was denied"), std::string::npos) << error;

    // Old backups are never overwritten: the next free number is taken.
    writeBytes(dir_.file("plane.air.001"), {1});
    writeBytes(dir_.file("plane.air.002"), {2});
    ASSERT_EQ(update(&error), 0) << error;
    EXPECT_EQ(readBytes(dir_.file("plane.air.001")), Bytes{1});
    EXPECT_EQ(readBytes(dir_.file("plane.air.002")), Bytes{2});
    EXPECT_EQ(readBytes(dir_.file("plane.air.003")), kOriginal);
}

// The log goes in place before the AIR file. When the AIR file then cannot
// be replaced, the previous log comes back (or the new one goes), and only a
// log already printed is owned up to in the message.
TEST_F(UpdateFaults, RefusedAirRenameTakesTheLogBack)
{
    auto ops = base::fileio::defaultOps();
    ops.rename = [](const char* from, const char* to) -> int {
        if (std::string_view(to).ends_with("/plane.air")) {
            errno = EIO;
            return -1;
        }
        return ::rename(from, to);
    };
    auto refusedUpdate = [&](std::string& error) {
        base::fileio::ScopedOps scoped(ops);
        return update(&error);
    };
    std::string error;
    writeText(options_.logPath, "the previous log\n");
    expectRefusedAndUntouched(
            refusedUpdate(error), error, {"amod_log.txt", "plane.air", "script.txt", "tarlo.ini"});
    EXPECT_NE(error.find("plane.air"), std::string::npos) << error;
    EXPECT_EQ(readText(options_.logPath), "the previous log\n");
    EXPECT_EQ(error.find("describes an update"), std::string::npos) << error;

    fs::remove(options_.logPath);
    expectRefusedAndUntouched(refusedUpdate(error), error);

    std::ostringstream printed;
    options_.logPath = "-";
    options_.standardOutput = &printed;
    expectRefusedAndUntouched(refusedUpdate(error), error);
    EXPECT_NE(printed.str().find("crc "), std::string::npos);
    EXPECT_NE(error.find("The log on standard output describes an update that was not made."),
            std::string::npos)
            << error;
}

TEST_F(UpdateFaults, MissingOrWrongInputsChangeNothing)
{
    std::string error;
    // The AIR file vanishes between its choice in the dialog and the update.
    {
        Faults faults;
        plan().vanishOnOpen = air_;
        EXPECT_EQ(update(&error), 1);
    }
    EXPECT_EQ(error, air_ + " was not found.");
    EXPECT_EQ(dir_.names(), (std::vector<std::string>{"script.txt", "tarlo.ini"}));
    writeBytes(air_, kOriginal);

    // A missing script, a folder as the script, a folder as the AIR file.
    fs::remove(script_);
    error.clear();
    expectRefusedAndUntouched(update(&error), error, {"plane.air", "tarlo.ini"});
    fs::create_directory(script_);
    error.clear();
    expectRefusedAndUntouched(update(&error), error, {"plane.air", "script.txt", "tarlo.ini"});
    fs::remove(script_);
    writeText(script_, kScript);

    const std::string folder = dir_.file("folder.air");
    fs::create_directory(folder);
    ToolDefinitions defs;
    error.clear();
    EXPECT_EQ(applyUpdateScript(folder, script_, defs_, defs, options_, &error), 1);
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_FALSE(fs::exists(folder + ".001"));

    // A log or dump aimed at the user's own AIR file or script would replace it.
    for (const std::string& victim : {air_, script_}) {
        UpdateOptions onto = options_;
        onto.logPath = victim;
        error.clear();
        EXPECT_EQ(applyUpdateScript(air_, script_, defs_, defs, onto, &error), 1) << victim;
        EXPECT_FALSE(error.empty());
    }
    EXPECT_EQ(readBytes(air_), kOriginal);
    EXPECT_EQ(readText(script_), kScript);
    error.clear();
    EXPECT_EQ(writeDump(air_, air_, defs_, true, defs, &error), 1);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(readBytes(air_), kOriginal);
    EXPECT_FALSE(fs::exists(air_ + ".001"));

    // A dump into a folder that cannot take it is reported too.
    error.clear();
    EXPECT_EQ(writeDump(air_, (dir_.dir() / "nowhere" / "plane.txt").string(), defs_, true, defs, &error), 1);
    EXPECT_FALSE(error.empty());
}

// Regression: a record added by the script to a file whose last record is cut
// off by the end of the file was written past the buffer (heap overflow) and,
// when it survived, hidden inside the cut-off record where no walk finds it.
TEST(UpdateMalformed, RecordsAddedBeforeACutOffTail)
{
    const Bytes whole = record(0x1F5, {'a', 0});
    const Bytes cutOff =
            AirImage().recordClaiming(0x999, 100, Bytes{7, 8, 9}).bytes(); // claims 100 bytes, holds 3
    const Bytes file = concat({whole, cutOff});

    TempDir dir("cutoff");
    const std::string defsPath = dir.file("tarlo.ini");
    writeText(defsPath, "[Records]\n500=Added,int32\n");

    ToolDefinitions defs;
    ScriptResult r = runUpdateScript(file, "field 500 0 int32 77\ntext 1200 Hi\nrecord: 410\nPoints: 1\n5\n",
                                     defsPath, defs, 1700000000);
    for (std::uint32_t id : {0x500u, 0x1200u, 0x410u}) {
        SCOPED_TRACE(id);
        auto rec = findFirstRecord(r.file, id);
        ASSERT_TRUE(rec) << "an added record must be found by the walk";
        EXPECT_EQ(rec->present, rec->length);
    }
    EXPECT_EQ(findFirstRecord(r.file, 0x500)->length, 4u);
    EXPECT_EQ(r.file[findFirstRecord(r.file, 0x500)->data], 77);
    // The file still starts with its first record and ends with the cut-off
    // one, byte for byte.
    EXPECT_TRUE(std::equal(whole.begin(), whole.end(), r.file.begin()));
    ASSERT_GE(r.file.size(), cutOff.size());
    EXPECT_TRUE(std::equal(cutOff.begin(), cutOff.end(), r.file.end() - std::ptrdiff_t(cutOff.size())));
}

#ifdef TARLO_PATCHWISE_EXE
// The command line turns every failure into exit status 1 and a message.
TEST_F(UpdateFaults, CommandLineReportsFailuresInItsExitStatus)
{
    auto run = [&](const std::string& args) {
        const std::string cmd =
                "cd " + dir_.path() + " && " + TARLO_PATCHWISE_EXE + " " + args + " 2>err.txt >/dev/null";
        int status = std::system(cmd.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(run("update --definitions tarlo.ini missing.air script.txt"), 1);
    EXPECT_NE(readText(dir_.file("err.txt")).find("missing.air was not found."), std::string::npos);
    EXPECT_EQ(run("update --definitions tarlo.ini plane.air missing.txt"), 1);
    EXPECT_EQ(run("dump --definitions tarlo.ini plane.air -o plane.air"), 1);
    EXPECT_FALSE(readText(dir_.file("err.txt")).empty());
    fs::create_directory(dir_.file("sub.air"));
    EXPECT_EQ(run("dump sub.air -o out.txt"), 1);
    EXPECT_EQ(readBytes(air_), kOriginal);
    EXPECT_FALSE(fs::exists(air_ + ".001"));
    // And success is 0.
    EXPECT_EQ(run("update --definitions tarlo.ini --log log.txt plane.air script.txt"), 0);
    EXPECT_EQ(readBytes(air_ + ".001"), kOriginal);
}
#endif
