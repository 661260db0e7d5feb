// Numbers are written and read with '.' whatever the user's locale: every
// text the codecs, the listing, the dump and the update produce under a
// decimal-comma locale is byte for byte the one produced in the C locale.
#include "HostileSupport.h"

#include "model/CTLDoc.h"
#include "model/FieldType.h"
#include "model/Listing.h"
#include "tool/Dump.h"
#include "tool/Update.h"

#include <gtest/gtest.h>

#include <array>
#include <clocale>
#include <cstdio>
#include <locale>
#include <sys/wait.h>

using namespace hostile;
using namespace airtest;
using namespace model;

namespace {

constexpr const char* kCommaLocale = "de_DE.UTF-8";

// Runs f once in the C locale and once in the decimal-comma locale (both the
// C library's and the C++ global locale), and returns both results.
template <typename F>
auto inBothLocales(F f)
{
    std::setlocale(LC_ALL, "C");
    std::locale::global(std::locale::classic());
    auto c = f();
    std::setlocale(LC_ALL, kCommaLocale);
    std::locale::global(std::locale(kCommaLocale));
    auto comma = f();
    std::setlocale(LC_ALL, "C");
    std::locale::global(std::locale::classic());
    return std::pair{c, comma};
}

class CommaLocale : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::setlocale(LC_ALL, kCommaLocale))
            GTEST_SKIP() << kCommaLocale << " is not installed (scripts/deps.sh generates it)";
        // The locale really uses a decimal comma, or the test shows nothing.
        char buf[16];
        std::snprintf(buf, sizeof buf, "%.1f", 1.5);
        ASSERT_STREQ(buf, "1,5");
        std::setlocale(LC_ALL, "C");
    }
};

const Bytes kPatterns[] = {
    {0, 0, 0, 0, 0, 0, 0, 0},
    {0xE3, 0x08, 0, 0, 0, 0, 0xF8, 0x3F},             // ang16 2275; double 1.5 in the high bytes
    {0xFF, 0x7F, 0xFF, 0x7F, 0xFF, 0xFF, 0xEF, 0x7F}, // largest values
    {0x00, 0x80, 0x00, 0x80, 0x00, 0x00, 0x00, 0x80}, // most negative values
    {0x39, 0x30, 0x01, 0x00, 0x9A, 0x99, 0x99, 0x41},
};
const char* const kTyped[] = {"12.5", "-90", "3.1999", "16777215.992", "127.996", "-5039", "1367",
                              "0.5", "12,5", "1e3", "-", "", "2147483648", "-0.0001"};

} // namespace

TEST_F(CommaLocale, CodecTextsAndParsingUseAPoint)
{
    auto [c, comma] = inBothLocales([] {
        std::vector<std::string> out;
        for (int code = 0; code < kFieldTypeCount; ++code) {
            const FieldType t = fieldTypeFromCode(code);
            for (const Bytes& b : kPatterns) {
                out.push_back(valueText("v", t, b));
                out.push_back(recordItemText(0x1F4, "v", t, b));
                out.push_back(editText(t, b));
            }
            for (const char* typed : kTyped) {
                Validation v = validate(t, typed);
                out.push_back(std::to_string(v.accepted) + v.message + "|" + v.refill);
                Bytes raw(8, 0);
                encodeValue(t, typed, raw);
                out.push_back(std::string(raw.begin(), raw.end()));
            }
        }
        out.push_back(formatFixed(1234567.25, 4));
        out.push_back(std::to_string(parseFixedRealPrefix("12.5") == 12.5));
        out.push_back(std::to_string(parseFixedRealPrefix("12,5") == 12.0));
        return out;
    });
    ASSERT_EQ(c.size(), comma.size());
    for (std::size_t i = 0; i < c.size(); ++i)
        EXPECT_EQ(c[i], comma[i]) << "item " << i;

    // And the values themselves, read in the comma locale.
    std::setlocale(LC_ALL, kCommaLocale);
    std::locale::global(std::locale(kCommaLocale));
    Bytes raw(2, 0);
    EXPECT_TRUE(validate(FieldType::Ang16, "12.5").accepted);
    ASSERT_TRUE(encodeValue(FieldType::Ang16, "12.5", raw));
    EXPECT_EQ(raw, (Bytes{0xE3, 0x08})); // 12.5 * 182 = 2275
    EXPECT_EQ(valueText("Bank", FieldType::Ang16, raw), "Bank=12.500");
    EXPECT_EQ(formatFixed(-1234.5, 3), "-1234.500");
    std::setlocale(LC_ALL, "C");
    std::locale::global(std::locale::classic());
}

TEST_F(CommaLocale, ListingDumpAndUpdateAreTheSame)
{
    TempDir dir("locale");
    const std::string defs = dir.file("tarlo.ini");
    writeText(defs,
            "[Records]\n1f4=Engine,record\n1f9=Bank,ang16\n1fa=Mass,double\n1fb=Many,int32\n"
            "341=Lift,tbldb\n[1f4]\n1=0,mach,Mach\n2=4,double,Temp\n3=c,fwgt,Weight\n"
            "[1fb]\n1=0,int32,Count\n2=4,ang16,Bank\n3=6,double,Top\n");
    const Bytes pts = points({{0.5, 1234.25}, {-2.75, 1e6}});
    const Bytes image = concat({record(0x1F4, {0x00, 0x50, 0, 0, 0, 0, 0, 0, 0, 0x40, 0x8F, 0x40, 0x80, 0x01}),
                                record(0x1F9, {0xE3, 0x08}), record(0x1FA, {0, 0, 0, 0, 0, 0x4A, 0x93, 0x40}),
                                record(0x1FB, Bytes{0xD2, 0x04, 0, 0, 0xE3, 0x08, 0, 0, 0, 0, 0, 0, 0xF8, 0x3F}),
                                record(0x341, pts), record(0x404, Bytes(300, 0))});

    auto [c, comma] = inBothLocales([&] {
        std::vector<std::string> out;
        CTLDoc doc;
        doc.setDefinitionsPath(defs);
        doc.loadImage(image, dir.file("plane.air"));
        out.push_back(listDocument(doc, false));
        patchwise::ToolDefinitions d1;
        out.push_back(patchwise::dumpText(image, defs, true, d1));
        patchwise::ToolDefinitions d2;
        auto r = patchwise::runUpdateScript(image,
                                            "field 1fa 0 double 2.5\nfield 1f9 0 ang16 -12.5\n"
                                            "record: 341\nPoints: 1\n1.25 -3.5\ntext revid R 1.5\n",
                                            defs, d2, 1700000000);
        out.push_back(r.log);
        out.push_back(std::string(r.file.begin(), r.file.end()));
        return out;
    });
    ASSERT_EQ(c.size(), comma.size());
    for (std::size_t i = 0; i < c.size(); ++i)
        EXPECT_EQ(c[i], comma[i]) << "output " << i;
    EXPECT_NE(c[1].find("0.500000\t1234.250000"), std::string::npos) << c[1];
    EXPECT_NE(c[2].find("1fa:0 := 2.500000"), std::string::npos) << c[2];
    EXPECT_NE(c[2].find("1.250000\t-3.500000"), std::string::npos) << c[2];
}

#if defined(TARLO_PATCHWISE_EXE) || defined(TARLO_EDITOR_EXE)
namespace {

// Runs a program with LC_ALL set and returns its standard output.
std::string runWithLocale(const std::string& command, const char* locale)
{
    std::string full = "export LC_ALL=" + std::string(locale) + " QT_QPA_PLATFORM=offscreen; " + command;
    std::string out;
    if (FILE* p = ::popen(full.c_str(), "r")) {
        std::array<char, 4096> buf;
        std::size_t n;
        while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
            out.append(buf.data(), n);
        int status = ::pclose(p);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
    }
    return out;
}

} // namespace

TEST_F(CommaLocale, ProgramsWriteTheSameUnderEitherLocale)
{
    TempDir dir("locale-programs");
    const std::string defs = dir.file("tarlo.ini");
    writeText(defs, "[Records]\n1f9=Bank,ang16\n1fa=Mass,double\n341=Lift,tbldb\n");
    const Bytes pts = points({{1.5, -3.5}});
    writeBytes(dir.file("plane.air"),
            concat({record(0x1F9, {0xE3, 0x08}), record(0x1FA, {0, 0, 0, 0, 0, 0x4A, 0x93, 0x40}),
                    record(0x341, pts)}));
    writeText(dir.file("script.txt"), "field 1fa 0 double 0.25\n");

#ifdef TARLO_EDITOR_EXE
    {
        const std::string cmd =
                std::string(TARLO_EDITOR_EXE) + " --list --definitions " + defs + " " + dir.file("plane.air");
        const std::string c = runWithLocale(cmd, "C");
        EXPECT_EQ(runWithLocale(cmd, kCommaLocale), c);
        EXPECT_NE(c.find("Bank=12.500"), std::string::npos) << c;
    }
#endif
#ifdef TARLO_PATCHWISE_EXE
    {
        const std::string dump = std::string(TARLO_PATCHWISE_EXE) + " dump --full --definitions " + defs + " "
                + dir.file("plane.air") + " -o ";
        runWithLocale(dump + dir.file("c.txt"), "C");
        runWithLocale(dump + dir.file("de.txt"), kCommaLocale);
        EXPECT_EQ(readText(dir.file("de.txt")), readText(dir.file("c.txt")));
        EXPECT_NE(readText(dir.file("c.txt")).find("1.500000\t-3.500000"), std::string::npos);

        writeBytes(dir.file("copy.air"), readBytes(dir.file("plane.air")));
        const std::string update = "cd " + dir.path() + " && SOURCE_DATE_EPOCH=1700000000 "
                + TARLO_PATCHWISE_EXE + " update --definitions " + defs + " ";
        runWithLocale(update + "--log c.log plane.air script.txt", "C");
        runWithLocale(update + "--log de.log copy.air script.txt", kCommaLocale);
        EXPECT_EQ(readText(dir.file("de.log")), readText(dir.file("c.log")));
        EXPECT_NE(readText(dir.file("c.log")).find("1fa:0 := 0.250000"), std::string::npos)
                << readText(dir.file("c.log"));
        EXPECT_EQ(readBytes(dir.file("copy.air")), readBytes(dir.file("plane.air")));
    }
#endif
}
#endif
