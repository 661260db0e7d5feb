// The editor's command line as read before any window exists, and the table
// values of "tarlo --list --values".
#include "model/CTLDoc.h"
#include "model/Listing.h"
#include "model/StartCommand.h"

#include "SampleFiles.h"
#include "common/AirImage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace model;
using namespace airtest;
namespace fs = std::filesystem;

namespace {

const std::string kDefinitions = std::string(TARLO_SOURCE_DIR) + "/data/Tarlo.ini";

std::string listed(const std::vector<std::uint8_t>& image, bool values)
{
    CTLDoc doc;
    doc.setDefinitionsPath(kDefinitions);
    doc.loadImage(image, "plane.air");
    return listDocument(doc, false, values);
}

} // namespace

TEST(StartCommand, OptionsAreReadBeforeAnyWindow)
{
    using K = StartCommand::Kind;
    struct Case {
        std::vector<std::string> args;
        K kind;
    };
    for (const Case& c : std::vector<Case>{
             {{}, K::Window},
             {{"plane.air"}, K::Window},
             {{"/data/plane.air"}, K::Window},
             {{"-"}, K::Window},
             {{"-h"}, K::Headless},
             {{"--help"}, K::Headless},
             {{"--version"}, K::Headless},
             {{"--list", "a.air"}, K::Headless},
             {{"/p", "x.air"}, K::Window},
             {{"-pt", "x.air", "printer", "driver", "port"}, K::Window},
             {{"/Unregister"}, K::Unregister},
             {{"-UNREGSERVER"}, K::Unregister},
             {{"--unregister"}, K::Unregister},
             {{"--", "--bogus"}, K::Window},
             {{"--bogus"}, K::Usage},
             {{"-x"}, K::Usage},
             {{"plane.air", "--sorted"}, K::Usage},
             {{"a.air", "b.air"}, K::Usage},
         }) {
        const StartCommand s = classifyStartCommand(c.args);
        EXPECT_EQ(s.kind, c.kind) << (c.args.empty() ? "(none)" : c.args.front());
        EXPECT_EQ(s.error.empty(), c.kind != K::Usage);
    }
    EXPECT_EQ(classifyStartCommand({"--bogus"}).error, "unrecognized option '--bogus'");
    EXPECT_EQ(classifyStartCommand({"a.air", "b.air"}).error, "extra operand 'b.air'");

    // A lone argument that names an existing file is that file.
    const fs::path odd = fs::temp_directory_path() / ("--odd-" + std::to_string(::getpid()));
    std::ofstream(odd) << "x";
    const std::string name = odd.string();
    EXPECT_EQ(classifyStartCommand({name}).kind, K::Window);
    fs::remove(odd);
}

TEST(ListValues, TablesListTheirValuesBeneathTheirItems)
{
    const std::vector<std::uint8_t> sample = samples::makeSample();
    const std::string plain = listed(sample, false), values = listed(sample, true);
    for (const char* expected : {"\n  10b  Aileron response\n    [0] 0\n    [1] 4000\n",
                                 "\n  10c  Lift curve\n    [0] -4 0\n    [1] -2 0.03125\n",
                                 "\n  111  Ground effect grid\n    row 0: 1 1.5 2\n    row 1: 1.125 1.625 2.125\n",
                                 "\n    Table field\n      [0] 5\n"})
        EXPECT_NE(values.find(expected), std::string::npos) << expected << "\n--- in:\n" << values;
    // Without --values the listing is as it was: the items alone.
    EXPECT_EQ(plain.find("[0]"), std::string::npos);
    EXPECT_EQ(plain.find("row 0"), std::string::npos);

    // A change of one table value shows (what a git textconv needs).
    auto onePoint = [](double y) { return points({{0.5, y}}); };
    const std::string a = listed(record(0x10c, onePoint(1.0)), true),
                      b = listed(record(0x10c, onePoint(1.0000001)), true);
    EXPECT_NE(a, b);
    EXPECT_NE(a.find("    [0] 0.5 1\n"), std::string::npos) << a;
    EXPECT_NE(b.find("    [0] 0.5 1.0000001\n"), std::string::npos) << b;
    EXPECT_EQ(listed(record(0x10c, onePoint(1.0)), false), listed(record(0x10c, onePoint(1.0000001)), false));
}

TEST(ListValues, CountsThatLieAreNotWalked)
{
    // 0 columns by 4 billion rows, and 4 billion by 4 billion in 8 bytes.
    std::string s = listed(record(0x111, {0, 0, 0, 0, 0xff, 0xff, 0xff, 0xff}), true);
    EXPECT_EQ(s.find("row"), std::string::npos) << s.substr(0, 200);
    s = listed(record(0x111, {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}), true);
    EXPECT_NE(s.find("(4294967295 x 4294967295 values do not fit in 8 bytes)"), std::string::npos) << s;
    s = listed(record(0x10c, {0xff, 0xff, 0xff, 0x7f, 1, 2}), true);
    EXPECT_EQ(s.find("[0]"), std::string::npos) << s;
}
