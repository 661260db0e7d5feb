// The merge of AIR files with the editor's definitions: merged bytes, the
// conflict lines and script, the command's exit status, and the two sides
// that must come back unchanged.
#include "tool/Merge.h"
#include "SampleFiles.h"
#include "ToolTestSupport.h"
#include "tool/CommandLine.h"
#include "tool/Stamp.h"
#include "tool/Update.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

using namespace patchwise;
using namespace pwtest;

namespace {

const std::string kIni = std::string(TARLO_SOURCE_DIR) + "/data/Tarlo.ini";
constexpr std::time_t kTime = 1700000000;

class MergeFixture : public ::testing::Test {
protected:
    ToolDefinitions defs;
    const Bytes base = samples::makeSample();

    Bytes update(const Bytes& file, const std::string& script)
    {
        return runUpdateScript(file, script, kIni, defs, kTime).file;
    }
    static Bytes unstamped(Bytes b)
    {
        clearStamp(b);
        return b;
    }
};

// Items of every kind the definitions give the sample: a field, a table
// value, a grid cell, and a record deleted.
const std::string kOurs = "field 1f4 2 int32 5\nfield 410 2 int16 7\nfield 511 8 double 1.5\n";
const std::string kTheirs = "field 1f4 6 double 2.5\nfield 410 4 int16 8\nfield 511 10 double 2.5\n";
const std::string kTheirsOther = "field 1f4 2 int32 9\nfield 410 2 int16 3\nfield 511 8 double 4.5\n";

TEST_F(MergeFixture, ChangesOfBothSidesMergeCleanly)
{
    const Bytes ours = update(base, kOurs), theirs = update(base, kTheirs);
    const MergeOutcome m = mergeFiles(base, ours, theirs, kIni, defs, true);
    EXPECT_TRUE(m.conflicts.empty()) << m.conflicts.front();
    EXPECT_EQ(unstamped(m.merged), unstamped(update(base, kOurs + kTheirs)));
    EXPECT_EQ(m.script, "; no conflicts\n");
    // The stamp both changed is OURS's, no conflict; its check tells the
    // file changed since that update.
    const std::string merged = verifyStamp(m.merged).text, own = verifyStamp(ours).text;
    ASSERT_FALSE(own.empty());
    EXPECT_EQ(merged.substr(0, merged.size() - 1), own.substr(0, own.size() - 1));
    EXPECT_EQ(own.back(), '-');
    EXPECT_EQ(merged.back(), 'R');
}

TEST_F(MergeFixture, ConflictsKeepOursAndTheScriptTakesTheirs)
{
    const Bytes ours = update(base, kOurs), theirs = update(base, kOurs + kTheirsOther);
    const MergeOutcome m = mergeFiles(base, ours, theirs, kIni, defs, true);
    ASSERT_EQ(m.conflicts.size(), 3u);
    EXPECT_EQ(unstamped(m.merged), unstamped(ours));
    for (const std::string& line : m.conflicts) {
        EXPECT_NE(line.find("base "), std::string::npos) << line;
        EXPECT_NE(line.find(" / ours "), std::string::npos) << line;
        EXPECT_NE(line.find(" / theirs "), std::string::npos) << line;
    }
    EXPECT_NE(m.conflicts[0].find("Record: 01f4"), std::string::npos) << m.conflicts[0];
    EXPECT_NE(m.conflicts[2].find("cell[0][0]: base "), std::string::npos) << m.conflicts[2];
    EXPECT_NE(m.conflicts[2].find("ours 1.500000 / theirs 4.500000"), std::string::npos) << m.conflicts[2];
    SCOPED_TRACE(m.script);
    // Each conflict's values stand just above the lines that take THEIRS's side.
    const std::string above[] = {"\nfield 1f4 2 ", "\nRecord: 0410 ", "\nRecord: 0511 "};
    for (std::size_t k = 0; k < 3; ++k)
        EXPECT_NE(m.script.find("; conflict: " + m.conflicts[k] + above[k]), std::string::npos) << k;
    EXPECT_EQ(m.script.find("; conflict: "), m.script.find("; conflict: " + m.conflicts[0]));
    // The script applied to the merged file gives THEIRS's values.
    EXPECT_EQ(unstamped(update(m.merged, m.script)), unstamped(theirs));
}

// What no script line can take (the bytes after the last record, a second
// record with an id) is listed at the script's head.
TEST_F(MergeFixture, ConflictsNoLineTakesStandAtTheHead)
{
    Bytes b = base, o = base, t = base;
    b.push_back(1);
    o.push_back(2);
    t.push_back(3);
    const MergeOutcome m = mergeFiles(b, o, t, kIni, defs, true);
    ASSERT_EQ(m.conflicts.size(), 1u);
    EXPECT_EQ(m.script.rfind("; conflict: bytes after the last record: ", 0), 0u) << m.script;
    // The sample's second record 0410 holds 07 00 0e 00 15 00.
    const Bytes second = {0x10, 0x04, 0, 0, 6, 0, 0, 0, 7, 0, 14, 0, 21, 0};
    const auto at = static_cast<std::size_t>(
            std::search(base.begin(), base.end(), second.begin(), second.end()) - base.begin());
    ASSERT_LT(at, base.size());
    Bytes ours = base, theirs = base;
    ours[at + 8] = 1;
    theirs[at + 8] = 2;
    const std::string script = mergeFiles(base, ours, theirs, kIni, defs, true).script;
    EXPECT_EQ(
            script.rfind("; conflict: Record: 0410 Pitch damping 1 (record 2 with this id): value[0]", 0), 0u)
            << script;
}

TEST_F(MergeFixture, DeletedAgainstChangedIsAConflict)
{
    const Bytes ours = update(base, "delete 1f4\n"), theirs = update(base, kTheirs);
    const MergeOutcome m = mergeFiles(base, ours, theirs, kIni, defs, true);
    ASSERT_EQ(m.conflicts.size(), 1u);
    EXPECT_NE(m.conflicts[0].find("ours deleted / theirs changed"), std::string::npos) << m.conflicts[0];
    EXPECT_EQ(unstamped(m.merged), unstamped(update(ours, "field 410 4 int16 8\nfield 511 10 double 2.5\n")));
}

// One side unchanged: the other comes back byte for byte, whatever the pair.
TEST_F(MergeFixture, UnchangedSideGivesTheOtherOnCorpusAndSamples)
{
    std::vector<Bytes> files;
    for (const auto& s : samples::allSamples())
        files.push_back(s.bytes);
    std::vector<std::filesystem::path> names;
    for (const auto& e :
            std::filesystem::directory_iterator(std::string(TARLO_SOURCE_DIR) + "/fuzz/corpus/image"))
        names.push_back(e.path());
    std::sort(names.begin(), names.end());
    for (std::size_t i = 0; i < names.size(); i += 7)
        files.push_back(readBytes(names[i]));
    ASSERT_GT(files.size(), 50u);
    for (std::size_t i = 0; i < files.size(); ++i) {
        const Bytes& b = files[i];
        const Bytes& other = files[(i + 1) % files.size()];
        for (const Bytes* t : {&other, &b}) {
            EXPECT_EQ(mergeFiles(b, b, *t, kIni, defs, false).merged, *t) << i;
            EXPECT_EQ(mergeFiles(b, *t, b, kIni, defs, false).merged, *t) << i;
        }
        // A change of THEIRS on a file OURS changed elsewhere.
        Bytes ours = b, theirs = b;
        ours.push_back(0x5A);
        if (!theirs.empty())
            theirs[0] ^= 1;
        const MergeOutcome m = mergeFiles(b, ours, theirs, kIni, defs, false);
        if (m.conflicts.empty() && !b.empty()) {
            Bytes both = theirs;
            both.push_back(0x5A);
            EXPECT_EQ(m.merged, both) << i;
        }
    }
}

int run(const std::vector<std::string>& args, std::string* errText = nullptr)
{
    std::ostringstream out, err;
    processDefinitions().unload(); // the program's definitions, loaded once, are kIni's
    std::vector<std::string> all{"merge", "--definitions", kIni};
    all.insert(all.end(), args.begin(), args.end());
    const int status = runCommandLine(parseCommandLine(all), out, err);
    if (errText)
        *errText = err.str();
    return status;
}

TEST_F(MergeFixture, CommandExitStatusAndFiles)
{
    TempDir dir("merge");
    const std::string b = dir.write("base.air", base), o = dir.write("ours.air", update(base, kOurs)),
                      t = dir.write("theirs.air", update(base, kTheirs)),
                      t2 = dir.write("other.air", update(base, kOurs + kTheirsOther));
    std::string err;
    EXPECT_EQ(run({b, o, t, "-o", dir.file("out.air")}, &err), 0) << err;
    EXPECT_EQ(readBytes(dir.file("out.air")),
            mergeFiles(base, readBytes(o), readBytes(t), kIni, defs, false).merged);
    // Conflicts: OURS replaced (the default), the lines on stderr, the script written.
    const Bytes oursBefore = readBytes(o);
    EXPECT_EQ(run({b, o, t2, "--conflicts", dir.file("c.txt")}, &err), 1);
    EXPECT_EQ(readBytes(o), oursBefore);
    EXPECT_NE(err.find("patchwise: conflict: Record: 01f4"), std::string::npos) << err;
    EXPECT_NE(readText(dir.file("c.txt"))
                      .find("; conflict: Record: 01f4 Engine limits: Has starter at 0x2: "
                            "base 1 / ours 5 / theirs 9\nfield 1f4 2 bool 9\n"),
            std::string::npos)
            << readText(dir.file("c.txt"));
    // Trouble: nothing written.
    EXPECT_EQ(run({b, o, dir.file("missing.air")}, &err), 2);
    EXPECT_EQ(run({b, o}, &err), 2);
    EXPECT_EQ(run({b, o, t, "--bogus"}, &err), 2);
    EXPECT_EQ(run({b, o, t, "--conflicts", t}, &err), 2);
    EXPECT_EQ(readBytes(t), update(base, kTheirs));
    EXPECT_EQ(run({b, o, t, "-o", "-"}, &err), 2);
    EXPECT_EQ(readBytes(o), oursBefore);
}

} // namespace
