// The indexed lookups of ToolDefinitions against a straight scan of the
// stored lines in file order, on generated definition texts and on the fuzz
// corpus of the tool's definition reader.
#include "base/AsciiText.h"
#include "tool/ToolDefinitions.h"
#include "tool/ToolText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>

using namespace patchwise;

namespace {

// --- The straight scan: every lookup walks the lines from the first -------

RecordLookup scanLookupRecord(const std::vector<std::string>& lines, std::uint32_t id)
{
    RecordLookup result;
    auto it = std::find_if(lines.begin(), lines.end(),
            [](const std::string& l) { return base::ascii::equalsIgnoreCase(l, "[records]"); });
    if (it == lines.end()) return result;
    for (++it; it != lines.end() && !(!it->empty() && (*it)[0] == '['); ++it) {
        auto number = text::scanHex(*it);
        if (!number || *number != id) continue;
        const std::string& line = *it;
        auto eq = line.find('=');
        if (eq == std::string::npos) return result;
        auto comma = line.find(',', eq + 1);
        if (comma == std::string::npos) return result;
        result.name = line.substr(eq + 1, comma - eq - 1);
        result.type = lookupTypeName(std::string_view(line).substr(comma + 1));
        return result;
    }
    return result;
}

std::optional<std::size_t> scanFindRecordSection(const std::vector<std::string>& lines, std::uint32_t id)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.empty() || line[0] != '[') continue;
        auto number = text::leadingHexDigits(std::string_view(line).substr(1));
        if (number && *number == id) return i + 1;
    }
    return std::nullopt;
}

std::string noBlanks(std::string_view s)
{
    std::string r;
    for (char c : s)
        if (c != ' ' && c != '\t') r += c;
    return r;
}

std::optional<FieldLineResult> scanNextFieldLine(const std::vector<std::string>& lines, std::size_t position)
{
    for (std::size_t i = position; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        std::size_t eq = std::string::npos;
        for (std::size_t k = 0; k < line.size(); ++k) {
            char c = line[k];
            if (c == '=') {
                eq = k;
                break;
            }
            if (c == '[') return std::nullopt;
            if (c == 'h' || c == 'H' || c == ';') break;
        }
        if (eq == std::string::npos) continue;
        FieldLineResult r;
        r.next = i + 1;
        std::string_view rest = std::string_view(line).substr(eq + 1);
        auto c1 = rest.find(',');
        if (c1 == std::string_view::npos) return r;
        r.field.offset = text::leadingHexDigits(noBlanks(rest.substr(0, c1))).value_or(0);
        std::string_view afterType = rest.substr(c1 + 1);
        auto c2 = afterType.find(',');
        r.field.typeName = noBlanks(afterType.substr(0, c2));
        r.field.type = lookupTypeName(r.field.typeName);
        if (c2 != std::string_view::npos) r.field.name = std::string(afterType.substr(c2 + 1));
        return r;
    }
    return std::nullopt;
}

std::uint32_t scanDefinedRecordSize(const std::vector<std::string>& lines, std::uint32_t id)
{
    RecordLookup rec = scanLookupRecord(lines, id);
    if (rec.type) return static_cast<std::uint32_t>(typeWidth(rec.type));
    auto pos = scanFindRecordSection(lines, id);
    if (!pos) return 0;
    std::uint64_t sum = 0;
    while (auto f = scanNextFieldLine(lines, *pos)) {
        sum += static_cast<std::uint64_t>(typeWidth(f->field.type));
        pos = f->next;
    }
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(sum, 0xFFFFFFFFu));
}

bool sameField(const FieldLine& a, const FieldLine& b)
{
    return a.offset == b.offset && a.type == b.type && a.typeName == b.typeName && a.name == b.name;
}

// Every id the text could be asked about: the leading numbers of all lines
// and of all headers, and a few that no line names.
std::set<std::uint32_t> candidateIds(const std::vector<std::string>& lines)
{
    std::set<std::uint32_t> ids{0, 1, 0x341, 0x404, 0xFFFFFFFFu};
    for (const auto& l : lines) {
        if (auto n = text::scanHex(l)) ids.insert(*n);
        if (!l.empty() && l[0] == '[')
            if (auto n = text::leadingHexDigits(std::string_view(l).substr(1))) ids.insert(*n);
    }
    return ids;
}

// Compares every lookup of the index with the scan; counts the ids checked.
void expectSameAsScan(std::string_view bytes, std::size_t& checked)
{
    ToolDefinitions defs;
    defs.loadText(bytes);
    const auto& lines = defs.lines();
    EXPECT_EQ(lines, splitDefinitionText(bytes));
    const auto ids = candidateIds(lines);
    checked += ids.size();
    std::string out;
    for (std::uint32_t id : ids) {
        SCOPED_TRACE(id);
        RecordLookup want = scanLookupRecord(lines, id);
        RecordLookup got = defs.lookupRecord(id);
        EXPECT_EQ(got.type, want.type);
        EXPECT_EQ(got.name, want.name);
        EXPECT_EQ(defs.findRecord(id).name, want.name);

        auto wantPos = scanFindRecordSection(lines, id);
        EXPECT_EQ(defs.findRecordSection(id), wantPos);
        auto section = defs.sectionFields(id);
        EXPECT_EQ(section.has_value(), wantPos.has_value());
        if (wantPos) {
            std::size_t k = 0;
            std::size_t pos = *wantPos;
            while (auto w = scanNextFieldLine(lines, pos)) {
                ASSERT_LT(k, section->size());
                EXPECT_TRUE(sameField((*section)[k], w->field));
                pos = w->next;
                ++k;
            }
            EXPECT_EQ(k, section->size());
        }
        // Asked twice: the second answer comes from the cache.
        for (int twice = 0; twice < 2; ++twice)
            EXPECT_EQ(defs.definedRecordSize(id, "", out), scanDefinedRecordSize(lines, id));
    }
    EXPECT_TRUE(out.empty());
    // nextFieldLine from every position, including past the end.
    for (std::size_t pos = 0; pos <= lines.size() + 1; ++pos) {
        auto want = scanNextFieldLine(lines, pos);
        auto got = defs.nextFieldLine(pos);
        ASSERT_EQ(got.has_value(), want.has_value()) << "position " << pos;
        if (want) {
            EXPECT_EQ(got->next, want->next);
            EXPECT_TRUE(sameField(got->field, want->field)) << "position " << pos;
        }
    }
}

// Lines made of the pieces the rules care about.
std::string randomDefinitionText(std::mt19937& rng)
{
    static const char* const pieces[] = {
        "[records]", "[RECORDS]", "[341]", "[0341]", "[404]", "[4o4]", "[+]", "[", "]", "341", "0341", "404", "0x404",
        " 404", "404h", "3h", "h", ";", "=", ",", ",", "int16", "INT16", "double", "text", "record", "tbl16", "ang16",
        "16pct", "PCT16", "none", "int16 ", " ", "\t", "1c", "1 c", "0x1c", "Bank limit", "Name", "\r", "\0", "ffffffff",
        "100000000", "-5", "a", "B"};
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
    std::uniform_int_distribution<int> count(0, 6);
    std::uniform_int_distribution<int> lineCount(0, 60);
    std::string text;
    const int n = lineCount(rng);
    for (int i = 0; i < n; ++i) {
        for (int k = count(rng); k > 0; --k) {
            std::string_view p = pieces[pick(rng)];
            if (p.empty()) text += '\0';  // the "\0" piece
            else text += p;
        }
        // Now and then a line longer than one 255-character piece.
        if (rng() % 40 == 0) text += std::string(250 + rng() % 20, 'x') + "=4,int32,long";
        text += rng() % 8 == 0 ? "\r\n" : "\n";
    }
    return text;
}

} // namespace

TEST(DefinitionIndex, MatchesTheScanOnGeneratedTexts)
{
    std::mt19937 rng(1234);
    std::size_t checked = 0;
    for (int round = 0; round < 400; ++round) {
        std::string text = randomDefinitionText(rng);
        SCOPED_TRACE(text);
        expectSameAsScan(text, checked);
        if (HasFatalFailure()) return;
    }
    EXPECT_GT(checked, 2000u);
}

TEST(DefinitionIndex, MatchesTheScanOnTheFuzzCorpus)
{
    const std::filesystem::path dir = std::filesystem::path(TARLO_SOURCE_DIR) / "fuzz/corpus/tooldefs";
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // A corpus input is a 32-bit id, then the definition text.
        if (bytes.size() < 4) continue;
        SCOPED_TRACE(entry.path().string());
        std::size_t checked = 0;
        expectSameAsScan(std::string_view(bytes).substr(4), checked);
        if (HasFatalFailure()) return;
        ++files;
    }
    EXPECT_GT(files, 100u);
}

TEST(DefinitionIndex, FirstLineWinsAndReloadStartsAfresh)
{
    ToolDefinitions defs;
    defs.loadText("[records]\n404h=help first\n404=Stamp,double\n0341=Wing,int16\n341=Other,double\n"
                  "[0341]\n1=0,int16,a\n[341]\n1=0,double,b\n");
    EXPECT_FALSE(defs.lookupRecord(0x404).type);  // the help line came first
    EXPECT_EQ(defs.lookupRecord(0x404).name, "");
    EXPECT_EQ(defs.lookupRecord(0x341).name, "Wing");
    std::string out;
    EXPECT_EQ(defs.definedRecordSize(0x341, "", out), 2u);
    auto fields = defs.sectionFields(0x341);
    ASSERT_TRUE(fields);
    ASSERT_EQ(fields->size(), 1u);
    EXPECT_EQ((*fields)[0].name, "a");

    // Unloading forgets the cached sizes too.
    defs.loadText("[records]\n341=Wing,double\n");
    EXPECT_EQ(defs.definedRecordSize(0x341, "", out), 8u);
    EXPECT_FALSE(defs.sectionFields(0x341));
}
