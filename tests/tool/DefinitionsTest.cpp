// The tool's own reading of the definition file, where it differs from the
// editor's, and how it finds the file.
#include "ToolTestSupport.h"
#include "tool/ToolDefinitions.h"

#include <gtest/gtest.h>

using namespace std::string_view_literals;

using namespace patchwise;
using namespace pwtest;

namespace {

class Defs : public ::testing::Test {
protected:
    ToolDefinitions defs;
    TempDir dir;
    std::string log;

    void load(const std::string& text)
    {
        writeText(dir.file("tarlo.ini"), text);
        ASSERT_TRUE(defs.loadDefinitions(dir.file("tarlo.ini"), log));
    }
    std::vector<FieldLine> fields(std::uint32_t id)
    {
        std::vector<FieldLine> out;
        auto pos = defs.findRecordSection(id);
        if (!pos) return out;
        while (auto f = defs.nextFieldLine(*pos)) {
            out.push_back(f->field);
            pos = f->next;
        }
        return out;
    }
};

} // namespace

TEST(ToolTypes, NamesWidthsAndLabels)
{
    EXPECT_EQ(lookupTypeName("INT16"), ToolType::Int16);
    EXPECT_EQ(lookupTypeName("Ang16"), ToolType::Ang16);
    EXPECT_EQ(lookupTypeName("16PCT"), ToolType::Pct16);
    EXPECT_EQ(lookupTypeName("PCT16"), ToolType::Pct16);  // the dump's label, pasted back
    for (const char* editorOnly : {"none", "record", "tbl16", "tbldb", "tbl3d", "int16 ", " int16", ""})
        EXPECT_FALSE(lookupTypeName(editorOnly)) << editorOnly;
    EXPECT_EQ(typeWidth(ToolType::Int8), 1);
    EXPECT_EQ(typeWidth(ToolType::Bool), 4);
    EXPECT_EQ(typeWidth(ToolType::Double), 8);
    EXPECT_EQ(typeWidth(ToolType::Aspd), 4);
    EXPECT_EQ(typeWidth(ToolType::M256), 2);
    EXPECT_EQ(typeWidth(ToolType::Text), 0);
    EXPECT_EQ(typeWidth(std::nullopt), 0);
}

TEST(DefinitionText, PiecesOf255CharactersAndLineEnds)
{
    std::string longLine = "1=" + std::string(298, 'a');
    auto lines = splitDefinitionText(longLine + std::string("\n\n\r\nx=1\r\nab\0cd\n\n"sv));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].size(), 255u);
    EXPECT_EQ(lines[1].size(), 45u);
    EXPECT_EQ(lines[2], "x=1");
    EXPECT_EQ(lines[3], "ab");  // cut at the zero byte
    EXPECT_EQ(lines[4], "[+]");
    // No trimming: leading blanks stay.
    EXPECT_EQ(splitDefinitionText("  [records]\n")[0], "  [records]");
    // A last line without a line break still counts.
    EXPECT_EQ(splitDefinitionText("abc")[0], "abc");
}

TEST_F(Defs, FieldLinesFollowTheToolsOwnRules)
{
    load("[records]\n341=Wing,record\n"
         "[341]\n"
         "3=1c,ang16,Bank limit\n"
         "3h=help for field three\n"
         "; 4=2,int16,commented out\n"
         "ch4=2,int16,key with an h\n"
         "4=0x1c,int16,Prefixed\n"
         "5=1 c, int 16 ,  name, with comma \n"
         "6=20\n"
         "no equals sign here\n"
         "7=22,record,Editor type\n"
         "[342]\n"
         "1=0,int16,Other section\n");
    auto f = fields(0x341);
    ASSERT_EQ(f.size(), 5u);
    EXPECT_EQ(f[0].offset, 0x1cu);
    EXPECT_EQ(f[0].type, ToolType::Ang16);
    EXPECT_EQ(f[0].name, "Bank limit");
    EXPECT_EQ(f[1].offset, 0u);  // "0x1c" reads as 0
    EXPECT_EQ(f[1].name, "Prefixed");
    EXPECT_EQ(f[2].offset, 0x1cu);  // blanks inside the offset are dropped
    EXPECT_EQ(f[2].type, ToolType::Int16);
    EXPECT_EQ(f[2].name, "  name, with comma ");  // everything after the second ','
    EXPECT_EQ(f[3].offset, 0u);  // an empty field line
    EXPECT_FALSE(f[3].type);
    EXPECT_EQ(f[3].name, "");
    EXPECT_EQ(f[4].offset, 0x22u);
    EXPECT_FALSE(f[4].type);
}

TEST_F(Defs, RecordLinesAreFoundByTheirLeadingNumber)
{
    load("; comment\n"
         "[Records]\n"
         "0404=Stamp,tbldb\n"
         "405h=Help first,double\n"
         "405=Late,int16\n"
         "406=Blank type,int16 \n"
         "407=Upper,INT16\n"
         "408=Struct,record\n"
         "409=No comma\n"
         "0x40a=Prefixed,double\n"
         "  40b=Indented,text\n"
         "[40c]\n"
         "40c=After the section,int16\n");
    auto r = defs.lookupRecord(0x404);
    EXPECT_EQ(r.name, "Stamp");
    EXPECT_FALSE(r.type);  // tbldb is no tool type
    r = defs.lookupRecord(0x405);
    EXPECT_EQ(r.name, "Help first");  // the help line comes first and wins
    EXPECT_EQ(r.type, ToolType::Double);
    EXPECT_FALSE(defs.lookupRecord(0x406).type);  // trailing blank
    EXPECT_EQ(defs.lookupRecord(0x407).type, ToolType::Int16);
    EXPECT_FALSE(defs.lookupRecord(0x408).type);
    r = defs.lookupRecord(0x409);
    EXPECT_FALSE(r.type);
    EXPECT_EQ(r.name, "");
    EXPECT_EQ(defs.lookupRecord(0x40a).type, ToolType::Double);
    EXPECT_EQ(defs.lookupRecord(0x40b).type, ToolType::Text);
    r = defs.lookupRecord(0x40c);  // the records section ended at [40c]
    EXPECT_FALSE(r.type);
    EXPECT_EQ(r.name, "");
}

TEST_F(Defs, SectionHeadersAreReadAsHexadecimalNumbers)
{
    load("[records]\n"
         "[0341]\n"
         "[341]\n"
         "1=0,int16,Second header\n"
         "[1505]\n"
         "1=0,int8,Grid field\n");
    // [0341] directly followed by [341]: the first header wins, and its
    // section is empty.
    EXPECT_TRUE(fields(0x341).empty());
    auto pos = defs.findRecordSection(0x341);
    ASSERT_TRUE(pos);
    EXPECT_EQ(defs.lines()[*pos], "[341]");
    auto f = fields(0x1505);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].type, ToolType::Int8);
    EXPECT_FALSE(defs.findRecordSection(0x999));
}

TEST_F(Defs, DefinedSizeIsTheSumOfTheFieldWidths)
{
    load("[records]\n"
         "500=Scalar,double\n"
         "501=Words,text\n"
         "502=Struct,record\n"
         "[502]\n"
         "1=40,int16,A\n"
         "2=0,int16,B\n"
         "3=100,double,C\n"
         "4=7,mystery,D\n"
         "5=\n"
         "[503]\n"
         "1=0,text,Only text\n");
    EXPECT_EQ(defs.definedRecordSize(0x500, "", log), 8u);
    EXPECT_EQ(defs.definedRecordSize(0x501, "", log), 0u);
    EXPECT_EQ(defs.definedRecordSize(0x502, "", log), 12u);  // offsets play no part
    EXPECT_EQ(defs.definedRecordSize(0x503, "", log), 0u);
    EXPECT_EQ(defs.definedRecordSize(0x504, "", log), 0u);
}

TEST(DefinitionLoading, FoundOnceCantFindUntilItLoads)
{
    TempDir dir;
    ToolDefinitions defs;
    std::string out;
    const std::string path = dir.file("defs.ini");
    EXPECT_FALSE(defs.loadDefinitions(path, out));
    EXPECT_FALSE(defs.loadDefinitions(path, out));
    EXPECT_EQ(out, "Can't find " + path + "\nCan't find " + path + "\n");
    EXPECT_EQ(defs.definedRecordSize(0x341, path, out), 0u);
    writeText(path, "[records]\n341=Wing,int32\n");
    out.clear();
    EXPECT_EQ(defs.definedRecordSize(0x341, path, out), 4u);
    EXPECT_EQ(out, "Found " + path + "\n");
    // Loaded once per run: a changed file or another path makes no difference.
    writeText(path, "[records]\n341=Wing,double\n");
    out.clear();
    EXPECT_TRUE(defs.loadDefinitions("/nowhere/else.ini", out));
    EXPECT_EQ(out, "");
    EXPECT_EQ(defs.lookupRecord(0x341).type, ToolType::Int32);
}

TEST(DefinitionLoading, EmptyPathMeansTarloIniInTheCurrentFolderAnyCase)
{
    if (!patchwise::findTarloIni(TARLO_DATA_DIR).empty())
        GTEST_SKIP() << "an installed definition file in " TARLO_DATA_DIR " would be found";
    TempDir dir;
    ScopedCwd cwd(dir.path());
    ToolDefinitions defs;
    std::string out;
    EXPECT_FALSE(defs.loadDefinitions("", out));
    EXPECT_EQ(out, "Can't find " + dir.path() + "/tarlo.ini\n");
    writeText(dir.file("TARLO.INI"), "[records]\n10=Ten,int8\n");
    out.clear();
    EXPECT_TRUE(defs.loadDefinitions("", out));
    EXPECT_EQ(out, "Found " + dir.path() + "/TARLO.INI\n");
    EXPECT_EQ(defs.lookupRecord(0x10).name, "Ten");
}

TEST(LocateDefinitions, OpenCommandOfTheEditor)
{
    EXPECT_EQ(programFromOpenCommand("/opt/tarlo/bin/tarlo \"%1\""), "/opt/tarlo/bin/tarlo");
    EXPECT_EQ(programFromOpenCommand("/opt/My Tools/tarlo \"%1\""), "/opt/My Tools/tarlo");
    EXPECT_EQ(programFromOpenCommand("\"/opt/My Tools/tarlo\" %f"), "/opt/My Tools/tarlo");
    EXPECT_EQ(programFromOpenCommand("tarlo %F"), "tarlo");
    EXPECT_EQ(programFromOpenCommand(""), "");

    TempDir home;
    std::filesystem::create_directories(home.path() + "/data/applications");
    std::filesystem::create_directories(home.path() + "/prog/bin");
    std::filesystem::create_directories(home.path() + "/prog/share/tarlo");
    std::filesystem::create_directories(home.path() + "/cwd");
    writeText(home.file("prog/bin/tarlo"), "");
    const std::string desktop = home.file("data/applications/tarlo.desktop");
    writeText(desktop, "[Other Group]\nX-Tarlo-OpenCommand=/wrong \"%1\"\n"
                       "[Desktop Entry]\nName=Tarlo\nExec=/elsewhere/tarlo %f\n"
                       "X-Tarlo-OpenCommand=" + home.path() + "/prog/bin/tarlo \"%1\"\n");
    ASSERT_TRUE(readOpenCommand(desktop));
    EXPECT_EQ(*readOpenCommand(desktop), home.path() + "/prog/bin/tarlo \"%1\"");

    ::setenv("XDG_DATA_HOME", (home.path() + "/data").c_str(), 1);
    ScopedCwd cwd(home.path() + "/cwd");
    // Nothing anywhere: empty.
    EXPECT_EQ(locateDefinitionFile(), "");
    // The current folder's tarlo.ini, any letter case.
    writeText(home.file("cwd/Tarlo.INI"), "");
    EXPECT_EQ(locateDefinitionFile(), home.path() + "/cwd/Tarlo.INI");
    // The installed data folder beside the program's bin/.
    writeText(home.file("prog/share/tarlo/Tarlo.ini"), "");
    EXPECT_EQ(locateDefinitionFile(), home.path() + "/prog/share/tarlo/Tarlo.ini");
    // Beside the program wins.
    writeText(home.file("prog/bin/Tarlo.ini"), "");
    EXPECT_EQ(locateDefinitionFile(), home.path() + "/prog/bin/Tarlo.ini");
    // Without the tool's own key, Exec is used the same way.
    writeText(desktop, "[Desktop Entry]\nExec=\"" + home.path() + "/prog/bin/tarlo\" %f\n");
    EXPECT_EQ(locateDefinitionFile(), home.path() + "/prog/bin/Tarlo.ini");
    ::unsetenv("XDG_DATA_HOME");
}

// The entry written under the editor's application id comes first; the old
// name tarlo.desktop is read only when the new entry is missing or has no
// open command, so an association made by an older editor still counts.
TEST(LocateDefinitions, EntryUnderTheApplicationIdBeforeTheOldName)
{
    TempDir home;
    for (const char* dir : {"data/applications", "old/bin", "new/bin", "cwd"})
        std::filesystem::create_directories(home.path() + "/" + dir);
    for (const char* prog : {"old/bin/tarlo", "old/bin/Tarlo.ini", "new/bin/tarlo", "new/bin/Tarlo.ini"})
        writeText(home.file(prog), "");
    const std::string oldEntry = home.file("data/applications/tarlo.desktop");
    const std::string newEntry = home.file("data/applications/org.kestrelloft.Tarlo.desktop");
    auto entryFor = [&](const std::string& prog) {
        return "[Desktop Entry]\nX-Tarlo-OpenCommand=" + home.path() + "/" + prog + " \"%1\"\n";
    };
    ::setenv("XDG_DATA_HOME", (home.path() + "/data").c_str(), 1);
    ScopedCwd cwd(home.path() + "/cwd");

    writeText(oldEntry, entryFor("old/bin/tarlo"));
    EXPECT_EQ(locateDefinitionFile(), home.path() + "/old/bin/Tarlo.ini");
    writeText(newEntry, entryFor("new/bin/tarlo"));
    EXPECT_EQ(locateDefinitionFile(), home.path() + "/new/bin/Tarlo.ini");
    // A new entry without an open command does not hide the old one.
    writeText(newEntry, "[Desktop Entry]\nName=Tarlo\n");
    EXPECT_EQ(locateDefinitionFile(), home.path() + "/old/bin/Tarlo.ini");
    // A new entry whose program has no definition file is the answer: the
    // current folder, not an older editor's.
    writeText(newEntry, entryFor("gone/bin/tarlo"));
    writeText(home.file("cwd/tarlo.ini"), "");
    EXPECT_EQ(locateDefinitionFile(), home.path() + "/cwd/tarlo.ini");
    ::unsetenv("XDG_DATA_HOME");
}
