// Path helpers and ASCII text helpers of the base library.
#include "base/Paths.h"
#include "base/AsciiText.h"
#include "base/FileIO.h"

#include "common/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace base;

TEST(Paths, ParentFolder)
{
    EXPECT_EQ(paths::parentFolder("/usr/bin/tarlo"), "/usr/bin");
    EXPECT_EQ(paths::parentFolder("tarlo"), ".");
    EXPECT_EQ(paths::parentFolder("/tarlo"), "/");
    EXPECT_EQ(paths::parentFolder("bin/tarlo"), "bin");
}

TEST(Paths, FindsAFileInAnyLetterCaseAndAlwaysTheSameOne)
{
    airtest::TempDir dir("PathsAnyCase");
    dir.write("TARLO.INI", "a");
    EXPECT_EQ(paths::findAnyCase(dir.path(), "Tarlo.ini"), dir.file("TARLO.INI"));
    EXPECT_EQ(paths::findAnyCase(dir.path(), "Tarlo.html"), "");
    // Several spellings: the exact one, else the first in byte order.
    dir.write("Tarlo.Ini", "b");
    EXPECT_EQ(paths::findAnyCase(dir.path(), "tarlo.ini"), dir.file("TARLO.INI"));
    dir.write("tarlo.ini", "c");
    EXPECT_EQ(paths::findAnyCase(dir.path(), "tarlo.ini"), dir.file("tarlo.ini"));
    // A folder of that name is no file.
    std::filesystem::create_directory(dir.file("DATA.TXT"));
    EXPECT_EQ(paths::findAnyCase(dir.path(), "data.txt"), "");
    // No folder means the current one.
    const auto here = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    EXPECT_EQ(paths::findAnyCase("", "TARLO.ini"), "./TARLO.INI");
    std::filesystem::current_path(here);
}

TEST(Paths, KindsOfFilesAndReadOnlyOnes)
{
    airtest::TempDir dir("PathsKinds");
    const std::string file = dir.write("f", "x");
    EXPECT_EQ(fileio::kindOf(file), fileio::FileKind::Regular);
    EXPECT_EQ(fileio::kindOf(dir.path()), fileio::FileKind::Folder);
    EXPECT_EQ(fileio::kindOf("/dev/null"), fileio::FileKind::Other);
    EXPECT_EQ(fileio::kindOf(dir.file("none")), fileio::FileKind::Missing);
    EXPECT_FALSE(fileio::isReadOnly(file));
    EXPECT_FALSE(fileio::isReadOnly(dir.file("none")));
    ::chmod(file.c_str(), 0444);
    EXPECT_TRUE(fileio::isReadOnly(file));
}

TEST(AsciiText, BlanksAndLetterCaseIgnoreTheLocale)
{
    EXPECT_EQ(ascii::trim(" \t\r\n\v\fword \n"), "word");
    EXPECT_EQ(ascii::trim("   "), "");
    EXPECT_TRUE(ascii::equalsIgnoreCase("Tarlo.INI", "tarlo.ini"));
    EXPECT_FALSE(ascii::equalsIgnoreCase("tarlo.ini", "tarlo.in"));
    EXPECT_FALSE(ascii::equalsIgnoreCase("\xC9", "\xE9")); // only ASCII letters fold
    EXPECT_EQ(ascii::lowered("ReCoRdS"), "records");
}
