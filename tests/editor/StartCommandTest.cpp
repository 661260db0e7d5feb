// The editor's command line as read before any window exists: what to do
// and with which file.
#include "editor/StartCommand.h"

#include "common/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace tarlo;

TEST(StartCommand, OptionsAreReadBeforeAnyWindow)
{
    using K = StartCommand::Kind;
    struct Case {
        std::vector<std::string> args;
        K kind;
        std::string file;
    };
    for (const Case& c : std::vector<Case>{
                 {{}, K::Window, ""},
                 {{"plane.air"}, K::Window, "plane.air"},
                 {{"/data/plane.air"}, K::Window, "/data/plane.air"},
                 {{"-"}, K::Window, "-"},
                 {{"Unregister"}, K::Window, "Unregister"},
                 {{"-h"}, K::Headless, ""},
                 {{"--help"}, K::Headless, ""},
                 {{"--version"}, K::Headless, ""},
                 {{"--list", "a.air"}, K::Headless, ""},
                 {{"/p", "x.air"}, K::Print, "x.air"},
                 {{"/P", "x.air"}, K::Print, "x.air"},
                 {{"-pt", "x.air", "printer", "driver", "port"}, K::Print, "x.air"},
                 {{"/pt", "x.air", "a", "b", "c"}, K::Print, "x.air"},
                 {{"/p"}, K::Print, ""},
                 {{"/Unregister"}, K::Unregister, ""},
                 {{"-unregister"}, K::Unregister, ""},
                 {{"/UNREGSERVER"}, K::Unregister, ""},
                 {{"-Unregserver"}, K::Unregister, ""},
                 {{"-UNREGSERVER"}, K::Unregister, ""},
                 {{"--unregister"}, K::Unregister, ""},
                 {{"--", "plane.air"}, K::Window, "plane.air"},
                 {{"--", "--bogus"}, K::Window, "--bogus"},
                 {{"--", "/p"}, K::Window, "/p"},
                 {{"--", "--list"}, K::Window, "--list"},
                 {{"--bogus"}, K::Usage, ""},
                 {{"-x"}, K::Usage, ""},
                 {{"plane.air", "--sorted"}, K::Usage, ""},
                 {{"a.air", "b.air"}, K::Usage, ""},
                 {{"a.air", "--", "b.air"}, K::Usage, ""},
         }) {
        std::string shown;
        for (const std::string& a : c.args)
            shown += a + " ";
        const StartCommand s = parseStartCommand(c.args);
        EXPECT_EQ(s.kind, c.kind) << shown;
        EXPECT_EQ(s.file, c.file) << shown;
        EXPECT_EQ(s.error.empty(), c.kind != K::Usage) << shown;
    }
    EXPECT_EQ(parseStartCommand({"--bogus"}).error, "unrecognized option '--bogus'");
    EXPECT_EQ(parseStartCommand({"a.air", "b.air"}).error, "extra operand 'b.air'");
}

TEST(StartCommand, ALoneExistingFileIsThatFileWhateverItLooksLike)
{
    airtest::TempDir dir("start");
    // Absolute paths begin with '/', as a switch does.
    for (const char* name : {"--odd", "-p", "p", "unregister"}) {
        const std::string path = dir.write(name, "x");
        const StartCommand s = parseStartCommand({path});
        EXPECT_EQ(s.kind, StartCommand::Kind::Window) << name;
        EXPECT_EQ(s.file, path) << name;
    }
    // Relative to the current folder, as a shell passes it.
    const auto old = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    EXPECT_EQ(parseStartCommand({"-p"}).kind, StartCommand::Kind::Window);
    EXPECT_EQ(parseStartCommand({"-p"}).file, "-p");
    EXPECT_EQ(parseStartCommand({"--odd"}).file, "--odd");
    // ... but not once another argument comes with it.
    EXPECT_EQ(parseStartCommand({"-p", "x.air"}).kind, StartCommand::Kind::Print);
    std::filesystem::current_path(old);
}
