#pragma once
// Blocks of table values as spreadsheet clipboard text: tab-separated lines
// written in the C locale, and what spreadsheets put on the clipboard read
// back, checked cell by cell. No Qt.
#include <string>
#include <string_view>
#include <vector>

namespace tables {

// What a cell can hold: any finite double, or a whole number 0 to 65535.
enum class CellKind { Real, Word16 };

// A rectangular block of values, row-major.
struct ValueBlock {
    int rows = 0, cols = 0;
    std::vector<double> values;
    double at(int r, int c) const { return values[std::size_t(r) * std::size_t(cols) + std::size_t(c)]; }
};

// The first cell that could not be read; row and col count from 0 within
// the block.
struct TextError {
    int row = 0, col = 0;
    std::string text;
    std::string reason; // "is empty", "is not a number", "is not a whole number from 0 to 65535"
};

// Doubles in the shortest form that reads back to the same bits; Word16 as
// integers.
std::string formatValue(double v, CellKind kind);

// Lines of tab-separated values, each line ended by a line feed.
std::string writeBlock(const ValueBlock& block, CellKind kind);

// Fields of clipboard text: CRLF, LF or CR ends a line; an empty last line
// is dropped and so is one trailing separator on a line. The separator is a
// tab when the text has one outside quotes, else a semicolon when it has
// one, else a comma -- except that lines each holding exactly one comma and
// no '.' anywhere are one column with decimal commas ("1,5" is 1.5). Fields
// in double quotes may hold separators, line breaks and doubled quotes.
std::vector<std::vector<std::string>> splitFields(std::string_view text, char* separatorUsed = nullptr);

// Reads one value: blanks around it, an optional sign, decimal or exponent
// form; a decimal comma when the separator is not a comma. Answers the
// refusal reason, empty when v was read.
std::string readValue(std::string_view field, char separator, CellKind kind, double& v);

// The whole text as a block: every row as long as the longest, every cell a
// value of kind. False, with err naming the first bad cell, otherwise.
bool readBlock(std::string_view text, CellKind kind, ValueBlock& out, TextError& err);

} // namespace tables
