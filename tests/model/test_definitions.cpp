#include "model/Definitions.h"
#include "model/FieldType.h"
#include "model/Ini.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

using namespace model;

TEST(Ini, PrivateProfileSemantics)
{
    const Ini ini = Ini::parse(
        "\xEF\xBB\xBF; a comment\r\n"
        "[Records]\r\n"
        "  Key One  =   spaced value  \r\n"
        "quoted=\"  kept inside  \"\n"
        "single='x'\n"
        "half=\"open\n"
        "eq=a=b\n"
        "empty=\n"
        "noequals line\n"
        "# hash comment=1\n"
        "[ other ]\n"
        "k=1\n"
        "[RECORDS]\n"
        "key one=second occurrence\n"
        "late=added\n");
    EXPECT_EQ(ini.get("records", "KEY ONE", "d"), "spaced value");
    EXPECT_EQ(ini.get("Records", "quoted", "d"), "  kept inside  ");
    EXPECT_EQ(ini.get("Records", "single", "d"), "x");
    EXPECT_EQ(ini.get("Records", "half", "d"), "\"open");
    EXPECT_EQ(ini.get("Records", "eq", "d"), "a=b");
    EXPECT_EQ(ini.get("Records", "empty", "d"), ""); // present but empty: not the default
    EXPECT_EQ(ini.get("Records", "absent", "dflt"), "dflt");
    EXPECT_EQ(ini.get("Records", "noequals line", "d"), "d");
    EXPECT_EQ(ini.get("Other", "k", "d"), "1");
    EXPECT_EQ(ini.get("Records", "late", "d"), "added");
    EXPECT_FALSE(ini.contains("Records", "# hash comment"));
    EXPECT_EQ(ini.get("Nowhere", "k", "d"), "d");
}

TEST(Ini, LongValuesAreCutAt255AndMissingFilesAreEmpty)
{
    const std::string longValue(300, 'v');
    const Ini ini = Ini::parse("[s]\nk=" + longValue + "\nq=\"" + longValue + "\"\n");
    EXPECT_EQ(ini.get("s", "k", ""), std::string(255, 'v'));
    EXPECT_EQ(ini.get("s", "q", ""), std::string(255, 'v'));

    const Ini none = Ini::load("/nonexistent/dir/Tarlo.ini");
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(none.get("Records", "1", "Unknown,Unknown"), "Unknown,Unknown");
    EXPECT_TRUE(Ini::load("").empty());
}

TEST(Definitions, RecordLookups)
{
    const Ini ini = Ini::parse(
        "[Records]\n"
        "1f4=Engine limits,record\n"
        "1f4h=Limits of one engine.|They apply to every engine.\n"
        "4A0=Upper,int16\n"
        "0404=Padded,int16\n"
        "7=NoTypeHere\n"
        "8= Blank name , Int32 \n");
    auto d = ReadRecordDefinition(ini, 0x1f4);
    EXPECT_EQ(d.name, "Engine limits");
    EXPECT_EQ(d.typeKeyword, "record");
    EXPECT_EQ(d.help, "Limits of one engine.\nThey apply to every engine.");

    EXPECT_EQ(ReadRecordDefinition(ini, 0x4a0).name, "Upper"); // key case does not matter
    auto padded = ReadRecordDefinition(ini, 0x404);             // leading zeros do
    EXPECT_EQ(padded.name, "Unknown");
    EXPECT_EQ(padded.typeKeyword, "Unknown");
    EXPECT_EQ(padded.help, "No help text in Tarlo.ini.");
    EXPECT_EQ(lookupType(padded.typeKeyword).type, FieldType::Raw);
    EXPECT_EQ(lookupType(padded.typeKeyword).size, 0u);

    auto noComma = ReadRecordDefinition(ini, 7);
    EXPECT_EQ(noComma.name, "");
    EXPECT_EQ(noComma.typeKeyword, "NoTypeHere");

    auto blank = ReadRecordDefinition(ini, 8);
    EXPECT_EQ(blank.name, "Blank name "); // blanks inside the value are kept
    EXPECT_EQ(lookupType(blank.typeKeyword).type, FieldType::Int32);
}

TEST(Definitions, FieldLookups)
{
    std::string text =
        "[1F4]\n"
        "1=0,int16,Idle speed\n"
        "1h=Idle speed of the engine\n"
        "2=2,bool,Has starter\n"
        "3=6,double,Top temperature\n"
        "4=e,4,Reserved\n"
        "6=0x1c, INT16 , Spaced name\n"
        "[10]\n"
        "1=5,Only one comma\n"
        "2=no commas at all\n"
        "3=NONE\n"
        "4=a,b,c,Name after last\n"
        "5=none\n"
        "6=0,int8,Never read\n";
    const Ini ini = Ini::parse(text);
    auto f1 = ReadFieldDefinition(ini, 0x1f4, 1);
    ASSERT_TRUE(f1);
    EXPECT_EQ(f1->offset, 0u);
    EXPECT_EQ(f1->typeKeyword, "int16");
    EXPECT_EQ(f1->name, "Idle speed");
    EXPECT_EQ(f1->help, "Idle speed of the engine");
    EXPECT_EQ(ReadFieldDefinition(ini, 0x1f4, 2)->help, "No help text in Tarlo.ini.");
    auto f4 = ReadFieldDefinition(ini, 0x1f4, 4);
    EXPECT_EQ(f4->offset, 0xEu);
    EXPECT_EQ(lookupType(f4->typeKeyword).size, 4u);
    EXPECT_FALSE(ReadFieldDefinition(ini, 0x1f4, 5)); // the list ends at the first gap
    auto f6 = ReadFieldDefinition(ini, 0x1f4, 6);
    EXPECT_EQ(f6->offset, 0x1Cu);
    EXPECT_EQ(lookupType(f6->typeKeyword).type, FieldType::Int16);
    EXPECT_EQ(f6->name, " Spaced name");

    auto one = ReadFieldDefinition(ini, 0x10, 1);
    EXPECT_EQ(one->offset, 5u);
    EXPECT_EQ(one->typeKeyword, "");
    EXPECT_EQ(one->name, "Only one comma");
    auto none = ReadFieldDefinition(ini, 0x10, 2);
    EXPECT_EQ(none->offset, 0u);
    EXPECT_EQ(none->typeKeyword, "");
    EXPECT_EQ(none->name, "no commas at all");
    EXPECT_TRUE(ReadFieldDefinition(ini, 0x10, 3)); // "NONE" is a field, only "none" ends the list
    auto multi = ReadFieldDefinition(ini, 0x10, 4);
    EXPECT_EQ(multi->typeKeyword, "b,c");
    EXPECT_EQ(multi->name, "Name after last");
    EXPECT_FALSE(ReadFieldDefinition(ini, 0x10, 5));

    EXPECT_FALSE(ReadFieldDefinition(ini, 0x10, 0));
    EXPECT_FALSE(ReadFieldDefinition(ini, 0x10, 201));
}

TEST(Definitions, HexIds)
{
    EXPECT_EQ(hexId(0), "0");
    EXPECT_EQ(hexId(0x404), "404");
    EXPECT_EQ(hexId(0xFFFFFFFFu), "ffffffff");
}
