// The structure-aware diff: the listing for people, and the update script
// whose replay must give the new file byte for byte.
#include "SampleFiles.h"
#include "ToolTestSupport.h"
#include "tool/CommandLine.h"
#include "tool/Diff.h"
#include "tool/Stamp.h"
#include "tool/ToolText.h"
#include "tool/Update.h"

#include <gtest/gtest.h>
#include <sstream>

using namespace patchwise;
using namespace pwtest;
using namespace airtest;

namespace {

const std::string kIni = std::string(TARLO_SOURCE_DIR) + "/data/Tarlo.ini";
constexpr std::time_t kTime = 1700000000;

// The sample files, and the sample with three stray bytes after its last record.
std::vector<std::pair<std::string, Bytes>> inputs()
{
    Bytes stray = samples::makeSample();
    stray.insert(stray.end(), {0x11, 0x22, 0x33});
    return {{"sample", samples::makeSample()}, {"oddities", samples::makeOddities()}, {"stray", stray}};
}

class DiffFixture : public ::testing::Test {
protected:
    ToolDefinitions defs;

    Bytes update(const Bytes& file, const std::string& script)
    {
        return runUpdateScript(file, script, kIni, defs, kTime).file;
    }
    // NEW from OLD and a script; the diff's script replayed on OLD must give NEW.
    void roundTrip(const std::string& what, const Bytes& oldFile, const std::string& script)
    {
        SCOPED_TRACE(what + "\n--- script:\n" + script);
        Bytes newFile = update(oldFile, script);
        DiffResult d = diffScript(oldFile, newFile, kIni, defs);
        SCOPED_TRACE("--- diff:\n" + d.text);
        EXPECT_TRUE(d.warnings.empty()) << d.warnings.front();
        EXPECT_EQ(d.text.find("; cannot express:"), std::string::npos);
        EXPECT_TRUE(update(oldFile, d.text) == newFile);
    }
};

// Scripts for the generated pairs, from a fixed linear congruential sequence
// (the same on every platform).
class ScriptMaker {
public:
    explicit ScriptMaker(std::uint32_t seed) : s_(seed * 2654435761u + 12345u) {}

    std::string make(const std::vector<std::uint32_t>& fileIds)
    {
        static const char* const types[] = {"bool", "int8",  "int16", "int32", "double", "thrust", "16pct",
                                            "ang16", "aspd", "prpm",  "mach",  "fwgt",   "m256"};
        static const std::uint32_t int16Ids[] = {0x410, 0x411, 0x601}, pointIds[] = {0x341, 0x400, 0x404, 0x1505},
                                   gridIds[] = {0x511, 0x1502}, others[] = {0x1f4, 0x1f5, 0x103, 0x105, 0x108,
                                                                            0x200, 0x201, 0x2ff, 0x1199, 0x1200,
                                                                            0x9999, 0x555, 0x112};
        std::vector<std::uint32_t> ids = fileIds;
        ids.insert(ids.end(), std::begin(others), std::end(others));
        std::string script;
        for (int lines = 1 + pick(12); lines > 0; --lines) {
            const std::uint32_t id = ids[pick(static_cast<std::uint32_t>(ids.size()))];
            switch (pick(7)) {
            case 0:
            case 1: {
                const std::string type = types[pick(13)];
                script += "field " + text::hex(id) + " " + text::hex(pick(0x30)) + " " + type + " " + value(type) + "\n";
                break;
            }
            case 2: {
                static const char* const texts[] = {"Hello|World", "x", "New  name\twith blanks", "a|b|c", "\xe9t\xe9"};
                script += "text " + text::hex(id) + " " + texts[pick(5)] + "\n";
                break;
            }
            case 3: script += "delete " + text::hex(id) + "\n"; break;
            case 4: {
                static const char* const revs[] = {"Spring check 2026", "B|2", "tab\there"};
                script += std::string("text revid ") + revs[pick(3)] + "\n";
                break;
            }
            default: script += table(int16Ids[pick(3)], pointIds[pick(4)], gridIds[pick(2)]); break;
            }
        }
        // Now and then a last line without its line break.
        if (pick(5) == 0 && !script.empty()) script.pop_back();
        return script;
    }

private:
    std::uint32_t pick(std::uint32_t n)
    {
        s_ = s_ * 1664525u + 1013904223u;
        return (s_ >> 8) % n;
    }
    double real() { return (static_cast<double>(pick(2000001)) - 1000000.0) / (1 + pick(977)); }
    std::string value(const std::string& type)
    {
        if (type == "double") return pick(4) == 0 ? "1e-310" : text::dec(pick(100000)) + "." + text::dec(pick(99999));
        if (type == "int8" || type == "int16" || type == "int32" || type == "bool" || type == "thrust")
            return text::dec(static_cast<long long>(pick(140001)) - 70000);
        return (pick(2) ? "-" : "") + text::dec(pick(30)) + "." + text::dec(pick(1000000));
    }
    std::string table(std::uint32_t int16Id, std::uint32_t pointId, std::uint32_t gridId)
    {
        std::string s;
        switch (pick(3)) {
        case 0: {
            std::uint32_t n = pick(7);
            s = "record: " + text::hex(int16Id) + "\nPoints: " + text::dec(n) + "\n";
            for (std::uint32_t i = 0; i < n; ++i) s += text::dec(static_cast<long long>(pick(80001)) - 40000) + " ";
            break;
        }
        case 1: {
            static const std::uint32_t counts[] = {0, 1, 3, 18, 20};
            std::uint32_t n = counts[pick(5)];
            s = "Record: " + text::hex(pointId, 4) + " Name\nPoints: " + text::dec(n) + "\n";
            for (std::uint32_t i = 0; i < n; ++i) s += text::fixed6(real()) + "\t" + std::to_string(real()) + "\n";
            break;
        }
        default: {
            std::uint32_t rows = pick(4), cols = pick(4);
            s = "record: " + text::hex(gridId) + "\ncolumns: " + text::dec(cols) + "  rows: " + text::dec(rows) + "\n";
            for (std::uint32_t i = 0; i < rows * cols; ++i) s += text::fixed6(real()) + "\t";
            break;
        }
        }
        return s + "\n";
    }
    std::uint32_t s_;
};

std::vector<std::uint32_t> idsOf(const Bytes& file)
{
    std::vector<std::uint32_t> ids;
    for (std::size_t off = 0; off + 8 <= file.size();) {
        ids.push_back(get32(file, off));
        off += 8 + std::size_t(get32(file, off + 4));
    }
    return ids;
}

} // namespace

TEST_F(DiffFixture, IdenticalFilesAndStampOnlyChangesAreTheSame)
{
    const Bytes sample = samples::makeSample();
    for (bool script : {false, true}) {
        DiffResult d = script ? diffScript(sample, sample, kIni, defs) : diffListing(sample, sample, kIni, defs);
        EXPECT_FALSE(d.different);
        EXPECT_EQ(d.text, "");
        // Every update rewrites the stamp; that alone is no difference.
        Bytes restamped = update(sample, "; nothing\n");
        ASSERT_NE(restamped, sample);
        d = script ? diffScript(sample, restamped, kIni, defs) : diffListing(sample, restamped, kIni, defs);
        EXPECT_FALSE(d.different);
        // The script says why it is empty, in a comment an update skips.
        EXPECT_EQ(d.text, script ? "; only the update stamp differs; every update writes its own\n" : "");
        EXPECT_TRUE(d.warnings.empty());
        if (script) {
            EXPECT_EQ(update(sample, d.text), update(sample, ""));
        }
    }

    TempDir dir;
    writeBytes(dir.file("a.air"), sample);
    writeBytes(dir.file("b.air"), update(sample, "field 200 16 ang16 12.5\n"));
    for (const char* mode : {"", "--script"}) {
        std::ostringstream out, err;
        std::vector<std::string> args{"diff", "--definitions", kIni};
        if (*mode) args.push_back(mode);
        auto same = args, differ = args, missing = args;
        same.insert(same.end(), {dir.file("a.air"), dir.file("a.air")});
        EXPECT_EQ(runCommandLine(parseCommandLine(same), out, err), 0);
        EXPECT_EQ(out.str(), "");
        EXPECT_EQ(err.str(), "");
        differ.insert(differ.end(), {dir.file("a.air"), dir.file("b.air")});
        EXPECT_EQ(runCommandLine(parseCommandLine(differ), out, err), 1);
        EXPECT_NE(out.str(), "");
        missing.insert(missing.end(), {dir.file("a.air"), dir.file("none.air")});
        EXPECT_EQ(runCommandLine(parseCommandLine(missing), out, err), 2);
        EXPECT_NE(err.str().find("none.air"), std::string::npos);
    }
    EXPECT_EQ(parseCommandLine({"diff", "a.air"}).mode, ToolCommandLine::Mode::Usage);
    EXPECT_EQ(parseCommandLine({"diff", "--full", "a.air", "b.air"}).mode, ToolCommandLine::Mode::Usage);
    EXPECT_EQ(parseCommandLine({"dump", "--script", "a.air"}).mode, ToolCommandLine::Mode::Usage);
}

TEST_F(DiffFixture, ListingShowsFieldsTablesTextsAndRecordsOnlyInOne)
{
    const Bytes oldFile = samples::makeSample();
    const Bytes newFile = update(oldFile, "field 200 16 ang16 12.5\n"
                                          "field 2ff 0 int8 1\n"
                                          "text 1f5 Trainer|second\n"
                                          "delete 9999\n"
                                          "text 1200 Hello\n"
                                          "record: 410\nPoints: 2\n100 7\n"
                                          "record: 341\nPoints: 2\n0 1.5\n2 2.5\n"
                                          "text revid Spring check\n");
    DiffResult d = diffListing(oldFile, newFile, kIni, defs);
    EXPECT_TRUE(d.different);
    const std::string& t = d.text;
    for (const char* expected : {
             "Revision text: \"Sample revision 1\" -> \"Spring check\\n\"\n",
             "\nRecord: 0200 Airframe\n  Wing incidence (ANG16 at 0x16): 2.000000 -> 12.500000\n",
             "\nRecord: 01f5 Type name\n  Type name (TEXT at 0x0): \"Tarlo Trainer T2\" -> "
             "\"Trainer\\r\\nsecond \"\n",
             "\nOnly in OLD: Record: 9999 \nLength 5\n",
             "\nOnly in NEW: Record: 1200 \nPoints: 7\n48 65 6c 6c 6f 20 00 \n",
             "\nRecord: 0410 Pitch damping 1\nLength 24 -> 4\n  Points: 12 -> 2\n  value[1]: 150 -> 7\n"
             "  value[2]: 200 -> (none)\n",
         })
        EXPECT_NE(t.find(expected), std::string::npos) << expected << "\n--- in:\n" << t;
    // Unchanged values of a changed table are not listed.
    EXPECT_EQ(t.find("value[0]"), std::string::npos) << t;
    EXPECT_NE(t.find("  point[1]: "), std::string::npos) << t;
    // The stamp slots of record 0x404 are not compared.
    EXPECT_EQ(t.find("Record: 0404"), std::string::npos) << t;

    // Raw bytes as ranges, a grid by cells, a moved record, stray bytes.
    Bytes a = AirImage()
                      .record(0x777, {1, 2, 3, 4, 5})
                      .record(0x511, doubles({1, 2}, {1.0, 2.0}))
                      .record(0x778, {})
                      .bytes();
    Bytes b = a;
    b[8 + 1] = 9;
    b[8 + 2] = 9;
    b[8 + 4] = 7;
    b[21 + 16 + 6] = 0x08;  // the grid's second value: 2.0 -> 3.0
    std::rotate(b.begin(), b.end() - 8, b.end());  // record 0x778 first
    b.push_back(0xee);
    d = diffListing(a, b, kIni, defs);
    for (const char* expected : {"Record: 0777 \n  bytes 0x1-0x2: 02 03 -> 09 09\n  byte 0x4: 05 -> 07\n",
                                 "\nRecord: 0511 Turbine temperature grid\n  cell[0][1]: 2.000000 -> 3.000000\n",
                                 "\nThe records are in another order.\n",
                                 "\nBytes after the last record:\n  byte 0x0: (none) -> ee\n"})
        EXPECT_NE(d.text.find(expected), std::string::npos) << expected << "\n--- in:\n" << d.text;
}

TEST_F(DiffFixture, ScriptsRoundTripForEveryCommandKind)
{
    const char* const scripts[] = {
        // Typed fields of every scale, raw bytes, growth to the definition.
        "field 200 0 int32 0\nfield 200 14 prpm 2001\nfield 200 16 ang16 12.5\nfield 200 18 mach 0.33\n"
        "field 200 1c aspd 123.4\nfield 200 20 fwgt -0.7\nfield 200 22 m256 7.7\nfield 200 28 16pct 2.0\n"
        "field 200 c double 1e-310\nfield 200 4 int8 300\nfield 1f4 6 double 3.14159\nfield 2ff 1 int16 -5\n",
        // Texts replaced and added, with '|', blanks and Latin-1.
        "text 1f5 New name|second line\ntext 106 Caf\xe9  & co\ntext 1200 Hello|World\n",
        // Deletions, of duplicate ids and of absent ones, and re-adding.
        "delete 1f4\ndelete 410\ndelete 9999\ndelete 2ff\ntext 2ff back again\n",
        "delete 1f4\ndelete 1f4\ntext 1f4 gone and back\ndelete 410\ndelete 410\nrecord: 410\nPoints: 1\n5\n",
        // Tables of each class, replaced and added, stamp record included.
        "record: 410\nPoints: 3\n1 -2 3\nrecord: 1505\nPoints: 2\n0.1 0.2\n0.3 0.4\n"
        "record: 1502\ncolumns: 2  rows: 2\n1.5 2.5\n3.5 4.5\nrecord: 511\ncolumns: 0  rows: 3\n"
        "record: 404\nPoints: 18\n0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30 "
        "31 32 33 34 35\n",
        // Records added by a field line (defined size), the revision text.
        "field 105 0 double 12.25\nfield 108 0 ang16 -3\nfield 555 0 int8 3\ntext revid Spring check 2026\n",
        // A revision text and a text line on the script's last line without a line break.
        "text revid no line break",
        "field 103 0 int16 9\ntext 1201 last|line",
    };
    for (const auto& [name, file] : inputs())
        for (const char* s : scripts) roundTrip(name, file, s);
}

TEST_F(DiffFixture, GeneratedPairsRoundTrip)
{
    for (const auto& [name, file] : inputs()) {
        const std::vector<std::uint32_t> ids = idsOf(file);
        int changed = 0;
        for (std::uint32_t seed = 1; seed <= 150; ++seed) {
            std::string script = ScriptMaker(seed).make(ids);
            roundTrip(name + " seed " + std::to_string(seed), file, script);
            if (HasFailure()) return;
            Bytes a = file, b = update(file, script);
            clearStamp(a);
            clearStamp(b);
            changed += a != b;
        }
        // The pairs are real changes, not restamped copies.
        EXPECT_GT(changed, 120) << name;
    }
}

TEST_F(DiffFixture, WhatTheScriptCannotSayIsACommentAndAWarning)
{
    const Bytes oldFile = concat({record(0x777, {1, 2, 3}), record(0x778, {4, 5, 6, 7})});
    struct Case {
        const char* what;
        Bytes newFile;
    };
    Bytes stray = oldFile;
    stray.push_back(1);
    Bytes empty = concat({oldFile, record(0x20, {})});
    // Two records with one id cannot both be added again at the end.
    const Bytes twins = concat({record(0x777, {1, 2, 3}), record(0x777, {1}), record(0x778, {4, 5, 6, 7})});
    const Bytes swapped = concat({record(0x778, {4, 5, 6, 7}), record(0x777, {1, 2, 3}), record(0x777, {1})});
    for (const Case& c : {Case{"the order of the records", swapped}, Case{"bytes after the last record", stray},
                          Case{"record 0020", empty}}) {
        DiffResult d = diffScript(c.newFile == swapped ? twins : oldFile, c.newFile, kIni, defs);
        EXPECT_TRUE(d.different);
        ASSERT_FALSE(d.warnings.empty()) << c.what;
        EXPECT_NE(d.warnings.front().find(c.what), std::string::npos) << d.warnings.front();
        EXPECT_NE(d.text.find(std::string("; cannot express: ") + c.what), std::string::npos) << d.text;
    }

    // What it can say still goes into the script: a raw record of another
    // length is made by a text line and mended byte by byte.
    Bytes longer = concat({record(0x777, {1, 2, 3, 0, 0xff, 0x7c}), record(0x778, {4, 5, 6, 7})});
    DiffResult d = diffScript(oldFile, longer, kIni, defs);
    EXPECT_TRUE(d.warnings.empty());
    Bytes replay = runUpdateScript(oldFile, d.text, kIni, defs, kTime).file;
    EXPECT_TRUE(replay == longer) << d.text;

    TempDir dir;
    writeBytes(dir.file("a.air"), twins);
    writeBytes(dir.file("b.air"), swapped);
    std::ostringstream out, err;
    EXPECT_EQ(runCommandLine(parseCommandLine({"diff", "--script", "--definitions", kIni, dir.file("a.air"),
                                               dir.file("b.air")}),
                             out, err),
              1);
    EXPECT_NE(err.str().find("patchwise: cannot express: the order of the records"), std::string::npos) << err.str();
}
