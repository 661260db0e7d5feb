// What a real spreadsheet put on the clipboard, and what it made of our
// copied text, read back through TableText (captures in data/).
#include "tables/TableText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

using namespace tables;

namespace {

std::string capture(const std::string& name)
{
    std::ifstream in(std::string(TARLO_SOURCE_DIR) + "/tests/tables/data/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A cell of a saved sheet: its type ("float", "string") and its stored
// value, or its text for a string.
struct SheetCell {
    std::string type, value;
};

std::string attribute(const std::string& tag, const std::string& name)
{
    const std::string key = " " + name + "=\"";
    const std::size_t at = tag.find(key);
    if (at == std::string::npos)
        return {};
    const std::size_t from = at + key.size();
    return tag.substr(from, tag.find('"', from) - from);
}

// The cells with a value, row by row, of the first table of a flat
// OpenDocument spreadsheet.
std::vector<SheetCell> sheetCells(const std::string& xml)
{
    std::vector<SheetCell> cells;
    const std::size_t end = xml.find("</table:table>");
    for (std::size_t at = xml.find("<table:table-cell "); at < end;
            at = xml.find("<table:table-cell ", at + 1)) {
        const std::string tag = xml.substr(at, xml.find('>', at) - at);
        SheetCell c{attribute(tag, "office:value-type"), attribute(tag, "office:value")};
        if (c.type.empty())
            continue;
        if (c.type == "string") {
            const std::size_t p = xml.find("<text:p>", at) + 8;
            c.value = xml.substr(p, xml.find("</text:p>", p) - p);
        }
        cells.push_back(c);
    }
    return cells;
}

// v as a spreadsheet that keeps 15 significant digits stores it.
double toFifteenDigits(double v)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.14e", v);
    return std::strtod(buf, nullptr);
}

ValueBlock readCapture(const std::string& name, CellKind kind)
{
    ValueBlock b;
    TextError e;
    EXPECT_TRUE(readBlock(capture(name), kind, b, e))
            << name << ": " << e.row << "," << e.col << " '" << e.text << "' " << e.reason;
    return b;
}

} // namespace

TEST(CalcClipboard, BlocksCopiedInCalcReadAsTheirValuesInEitherLocale)
{
    const std::vector<double> grid{
            0, 1000, 2500, 65535, 0.5, 12.25, -3.75, 1234.5, -0.125, 1e-7, 100000, 0.1};
    for (const char* locale : {"c", "de"}) {
        SCOPED_TRACE(locale);
        const ValueBlock g = readCapture(std::string("calc-grid-") + locale + ".txt", CellKind::Real);
        EXPECT_EQ(g.rows, 3);
        EXPECT_EQ(g.cols, 4);
        EXPECT_EQ(g.values, grid);
        // A column of whole numbers fits a 16-bit curve.
        const ValueBlock c = readCapture(std::string("calc-column-") + locale + ".txt", CellKind::Word16);
        EXPECT_EQ(c.cols, 1);
        EXPECT_EQ(c.values, (std::vector<double>{0, 120, 8000, 20000, 65535}));
        // An empty cell (a trailing tab on the first line) is refused by place.
        ValueBlock b;
        TextError e;
        EXPECT_FALSE(readBlock(capture(std::string("calc-gap-") + locale + ".txt"), CellKind::Real, b, e));
        EXPECT_EQ(e.row, 0);
        EXPECT_EQ(e.col, 1);
        EXPECT_EQ(e.reason, "is empty");
    }
}

TEST(CalcClipboard, OurCopyPastedIntoCalcGivesTheSameNumbers)
{
    // The text given to Calc is what a copy writes today.
    const ValueBlock ours{
            3, 3, {0.1, 1.5, -2.5, 1234.5678901234567, 65535, 1e-7, 3.141592653589793, 1e20, -1e-4}};
    ASSERT_EQ(writeBlock(ours, CellKind::Real), capture("to-calc.tsv"));

    // In the C locale, and in German with the import set to English, every
    // cell became a number, the same one as far as Calc keeps digits.
    for (const char* sheet : {"calc-pasted-c.fods", "calc-pasted-de-english.fods"}) {
        const std::vector<SheetCell> c = sheetCells(capture(sheet));
        ASSERT_EQ(c.size(), ours.values.size()) << sheet;
        for (std::size_t i = 0; i < c.size(); ++i) {
            SCOPED_TRACE(std::string(sheet) + " " + c[i].value);
            EXPECT_EQ(c[i].type, "float");
            double v = 0;
            EXPECT_EQ(readValue(c[i].value, '\t', CellKind::Real, v), "");
            EXPECT_EQ(v, toFifteenDigits(ours.values[i]));
        }
    }

    // With German defaults the cells with a decimal point stay text, our
    // text unchanged; nothing became another number.
    const std::vector<SheetCell> de = sheetCells(capture("calc-pasted-de.fods"));
    ASSERT_EQ(de.size(), ours.values.size());
    for (std::size_t i = 0; i < de.size(); ++i) {
        SCOPED_TRACE(de[i].value);
        double v = 0;
        if (de[i].type == "string") {
            EXPECT_NE(de[i].value.find('.'), std::string::npos);
            EXPECT_EQ(de[i].value, formatValue(ours.values[i], CellKind::Real));
            continue;
        }
        EXPECT_EQ(readValue(de[i].value, '\t', CellKind::Real, v), "");
        EXPECT_EQ(v, toFifteenDigits(ours.values[i]));
    }
}
