// The check command: each kind of problem in a definition file found at its
// line, the shipped file clean, and AIR files' stamps and records reported.
#include "tool/Check.h"
#include "SampleFiles.h"
#include "ToolTestSupport.h"
#include "tool/CommandLine.h"
#include "tool/Update.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace patchwise;
using namespace pwtest;

namespace {

const std::string kIni = std::string(TARLO_SOURCE_DIR) + "/data/Tarlo.ini";

// The problem reported at `line`, or "" when none is.
std::string at(const DefinitionCheck& c, std::size_t line)
{
    for (const DefinitionProblem& p : c.problems())
        if (p.line == line)
            return p.message;
    return "";
}

std::string all(const DefinitionCheck& c)
{
    std::string s;
    for (const DefinitionProblem& p : c.problems())
        s += std::to_string(p.line) + ": " + p.message + "\n";
    return s;
}

TEST(DefinitionCheck, FindsEachKindOfProblemAtItsLine)
{
    const DefinitionCheck c("; the records\r\n"
                            "[Records]\n"
                            "1f4=Engine,record\n"
                            "1f5h=help before its record\n"
                            "1f5=Type name,text\n"
                            "0404=Stamp,tbldb\n"
                            "404=Again,tbldb\n"
                            "300=Bad,inte16\n"
                            "301=Blank,int16 \n"
                            "302=No section,record\n"
                            "303=No type\n"
                            "7ah=help of nothing\n"
                            "xyz=Not a number,int8\n"
                            "[1f4]\n"
                            "1=0,int16,Idle\n"
                            "2=1,int16,Overlaps idle\n"
                            "2=8,int16,Twice\n"
                            "3=0x8,double,Prefixed\n"
                            "4=1g,int8,Bad offset\n"
                            "6=20,int8,After a gap\n"
                            "6h=fine\n"
                            "9h=no field 9\n"
                            "a=1,int8,Not a field number\n"
                            "201=30,int8,Too far\n"
                            "[zz]\n"
                            "[01f4]\n"
                            "just words\n"
                            "[3a]\n"
                            "1=0,frob,Unknown\n"
                            "2=4,int8,Name, with comma\n"
                            "3=8,int16\n"
                            "4=c,1c,Raw\n");
    SCOPED_TRACE(all(c));
    EXPECT_EQ(at(c, 1), "");
    EXPECT_EQ(at(c, 3), "");
    EXPECT_NE(at(c, 4).find("comes before record 1f5"), std::string::npos);
    EXPECT_NE(at(c, 6).find("leading zero: the editor looks for '404'"), std::string::npos);
    EXPECT_NE(at(c, 7).find("record 404 again (first at line 6)"), std::string::npos);
    EXPECT_NE(at(c, 8).find("unknown type 'inte16'"), std::string::npos);
    EXPECT_NE(at(c, 9).find("blanks around it"), std::string::npos);
    EXPECT_NE(at(c, 10).find("'record' but no section [302]"), std::string::npos);
    EXPECT_NE(at(c, 11).find("record 303 has no type"), std::string::npos);
    EXPECT_NE(at(c, 12).find("help key 7ah has no record 7a"), std::string::npos);
    EXPECT_NE(at(c, 13).find("'xyz' is not a record id"), std::string::npos);
    EXPECT_EQ(at(c, 15), "");
    EXPECT_NE(at(c, 16).find("'Overlaps idle' at 0x1 overlaps 'Idle' (line 15)"), std::string::npos);
    EXPECT_NE(at(c, 17).find("field 2 of [1f4] again (first at line 16)"), std::string::npos);
    EXPECT_NE(at(c, 18).find("'0x8' reads as 0 in patchwise"), std::string::npos);
    EXPECT_NE(at(c, 19).find("'1g' is not a hexadecimal number"), std::string::npos);
    EXPECT_NE(
            at(c, 20).find(
                    "field 6 of [1f4] and those after it are never read by the editor: there is no field 5"),
            std::string::npos);
    EXPECT_EQ(at(c, 21), "");
    EXPECT_NE(at(c, 22).find("help key 9h of [1f4] has no field 9"), std::string::npos);
    EXPECT_NE(at(c, 23).find("'a' is not a field number"), std::string::npos);
    EXPECT_NE(at(c, 24).find("fields 1 to 200 only"), std::string::npos);
    EXPECT_NE(at(c, 25).find("[zz] is not a record id"), std::string::npos);
    EXPECT_NE(at(c, 26).find("[01f4] has a leading zero"), std::string::npos);
    EXPECT_NE(at(c, 27).find("no section, key=value or comment"), std::string::npos);
    EXPECT_NE(at(c, 29).find("unknown type 'frob'"), std::string::npos);
    EXPECT_NE(at(c, 30).find("a ',' in its name"), std::string::npos);
    EXPECT_NE(at(c, 31).find("has no name"), std::string::npos);
    EXPECT_EQ(at(c, 32), ""); // a raw byte count is a type
    // Problems come in line order; the first section of an id is the one read.
    for (std::size_t i = 1; i < c.problems().size(); ++i)
        EXPECT_LE(c.problems()[i - 1].line, c.problems()[i].line);
    ASSERT_NE(c.fieldsOf(0x1f4), nullptr);
    EXPECT_EQ(c.fieldsOf(0x1f4)->front().name, "Idle");
    EXPECT_EQ(c.fieldsOf(0x1f5), nullptr); // a text has no fields
    EXPECT_TRUE(c.names(0x404));
    EXPECT_FALSE(c.names(0x7a));

    EXPECT_EQ(at(DefinitionCheck("1=a,text\n[records]\n"), 1), "a key before any section");
    EXPECT_EQ(at(DefinitionCheck("[1f4]\n"), 0), "no [records] section: no record has a name");
    EXPECT_EQ(at(DefinitionCheck("[records]\n" + std::string(300, 'x') + "=a,text\n"), 2).substr(0, 36),
            "the line is longer than 255 characte");
}

TEST(DefinitionCheck, TheShippedFileIsClean)
{
    const std::string text = readText(kIni);
    const DefinitionCheck c(text);
    EXPECT_TRUE(c.problems().empty()) << all(c);
}

TEST(DefinitionCheck, AirFilesStampsUnnamedRecordsAndFieldsBeyondTheirRecord)
{
    const DefinitionCheck c("[records]\n1f4=Engine,record\n404=Curve,tbldb\n1199=Revision,328\n"
                            "[1f4]\n1=0,int16,Idle\n2=2,double,Top\n3=a,text,Label\n");
    const Bytes plain = airtest::record(0x1f4, Bytes(10, 0));
    int problems = 0;
    auto lines = checkAirFile("a.air", plain, c, &problems);
    EXPECT_EQ(lines, std::vector<std::string>{"a.air: no stamp"});
    EXPECT_EQ(problems, 0);

    // Too short for Top (2 + 8 bytes) once; an unnamed id once however often it comes; a cut record.
    Bytes file = airtest::record(0x1f4, Bytes(6, 0));
    for (const Bytes& r :
            {airtest::record(0x1f4, Bytes(4, 0)), airtest::record(0x77, {1}), airtest::record(0x77, {2})})
        file.insert(file.end(), r.begin(), r.end());
    Bytes cut = airtest::record(0x1f4, Bytes(8, 0));
    cut.resize(cut.size() - 3);
    file.insert(file.end(), cut.begin(), cut.end());
    problems = 0;
    lines = checkAirFile("b.air", file, c, &problems);
    EXPECT_EQ(lines,
            (std::vector<std::string>{"b.air: no stamp",
                    "b.air: record 1f4 (6 bytes): the field 'Top' (line 7) at 0x2, 8 bytes, ends beyond it",
                    "b.air: record 77 is not in the definitions",
                    "b.air: record 1f4 at offset 0x2c is cut off by the end of the file"}));
    EXPECT_EQ(problems, 3);

    // A stamped file: intact, then changed after its update.
    Bytes stamped = airtest::record(0x404, pointRun(18));
    const Bytes tail = airtest::record(0x1f4, Bytes(10, 0));
    stamped.insert(stamped.end(), tail.begin(), tail.end());
    ToolDefinitions defs;
    stamped = runUpdateScript(stamped, "; stamp only\n", "", defs, 1700000000).file;
    problems = 0;
    lines = checkAirFile("s.air", stamped, c, &problems);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("s.air: stamp intact (last update ", 0), 0u) << lines[0];
    EXPECT_EQ(problems, 0);
    stamped.back() ^= 1;
    lines = checkAirFile("s.air", stamped, c, &problems);
    EXPECT_EQ(lines, std::vector<std::string>{"s.air: stamp changed since the last update"});
    EXPECT_EQ(problems, 1);
}

TEST(DefinitionCheck, CommandExitStatus)
{
    TempDir dir;
    writeText(dir.file("good.ini"), "[records]\n1f4=Engine,record\n[1f4]\n1=0,int16,Idle\n");
    writeText(dir.file("bad.ini"), "[records]\n1f4=Engine,text\n1f4=Again,text\n");
    writeBytes(dir.file("a.air"), airtest::record(0x1f4, Bytes(2, 0)));
    writeBytes(dir.file("b.air"), airtest::record(0x1f5, Bytes(2, 0)));
    auto run = [&](std::vector<std::string> args, std::string* outText = nullptr) {
        std::ostringstream out, err;
        args.insert(args.begin(), "check");
        const int status = runCommandLine(parseCommandLine(args), out, err);
        if (outText)
            *outText = out.str();
        return status;
    };
    std::string out;
    EXPECT_EQ(run({"--definitions", dir.file("good.ini"), dir.file("a.air")}, &out), 0);
    EXPECT_EQ(out, dir.file("a.air") + ": no stamp\n");
    EXPECT_EQ(run({"--definitions", dir.file("good.ini")}), 0);
    EXPECT_EQ(run({"--definitions", dir.file("bad.ini")}, &out), 1);
    EXPECT_EQ(out, dir.file("bad.ini") + ":3: record 1f4 again (first at line 2): only the first counts\n");
    EXPECT_EQ(run({"--definitions", dir.file("good.ini"), dir.file("a.air"), dir.file("b.air")}), 1);
    // Trouble outweighs problems: a file that cannot be read, a missing definition file.
    EXPECT_EQ(run({"--definitions", dir.file("bad.ini"), dir.file("nope.air"), dir.file("a.air")}, &out), 2);
    EXPECT_NE(out.find(dir.file("a.air") + ": no stamp"), std::string::npos) << out;
    EXPECT_EQ(run({"--definitions", dir.file("nope.ini")}), 2);
    EXPECT_EQ(parseCommandLine({"check", "--strict"}).mode, ToolCommandLine::Mode::Usage);
}

} // namespace
