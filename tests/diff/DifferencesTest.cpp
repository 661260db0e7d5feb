// The diff engine on its own: matching by id and occurrence, and the kinds of
// differences it lists, with layouts the test makes up.
#include "diff/Differences.h"
#include "tests/diff/FakeLayouts.h"

#include <gtest/gtest.h>

#include <map>

using namespace diff;
using Kind = Difference::Kind;
using Data = std::vector<std::uint8_t>;

using difftest::FakeLayouts;

namespace {

RecordList listOf(const std::vector<std::pair<std::uint32_t, const Data*>>& records)
{
    RecordList list;
    for (const auto& [id, data] : records)
        list.add(id, *data);
    return list;
}

using Range = std::pair<std::size_t, std::size_t>;
Range range(const Difference& d)
{
    return {d.from, d.to};
}

std::vector<Kind> kinds(const std::vector<Difference>& ds)
{
    std::vector<Kind> out;
    for (const Difference& d : ds)
        out.push_back(d.kind);
    return out;
}

} // namespace

TEST(DiffRecords, MatchesByIdAndOccurrenceAndSeesAnotherOrder)
{
    const Data x{1}, y{2};
    const RecordList a = listOf({{5, &x}, {7, &x}, {5, &y}});
    const RecordList b = listOf({{7, &x}, {5, &x}});
    EXPECT_EQ(a.count(5), 2u);
    EXPECT_EQ(a.find(5, 1), 2u);
    EXPECT_EQ(a.find(5, 2), kNone);
    const Matching m = matchRecords(a, b);
    EXPECT_EQ(m.newOf, (std::vector<std::size_t>{1, 0, kNone}));
    EXPECT_EQ(m.oldOf, (std::vector<std::size_t>{1, 0}));
    EXPECT_TRUE(m.reordered);
    EXPECT_FALSE(matchRecords(a, a).reordered);
}

TEST(DiffDifferences, RecordsInOneFileOrderAndTrailer)
{
    const Data x{1};
    RecordList a = listOf({{1, &x}, {2, &x}, {3, &x}});
    RecordList b = listOf({{3, &x}, {1, &x}, {4, &x}});
    const Data ta{9, 9}, tb{9, 8, 7};
    a.setTrailer(ta);
    b.setTrailer(tb);
    const auto ds = compareRecords(a, b, FakeLayouts{});
    EXPECT_EQ(kinds(ds),
            (std::vector<Kind>{
                    Kind::OnlyInOld, Kind::OnlyInNew, Kind::Order, Kind::TrailerBytes, Kind::TrailerBytes}));
    EXPECT_EQ(ds[0].oldRecord, 1u);
    EXPECT_EQ(ds[1].newRecord, 2u);
    // A range stops at the end of the shorter side.
    EXPECT_EQ(range(ds[3]), Range(1, 2));
    EXPECT_EQ(range(ds[4]), Range(2, 3));
}

TEST(DiffDifferences, FieldsCoverTheirBytesAndTheRestAreRanges)
{
    const Data a{1, 0, 'a', 'b', 0, 5, 6}, b{2, 0, 'a', 'c', 'd', 0, 6, 7};
    FakeLayouts layouts;
    layouts.layouts[1] = {
            TableKind::None, {{0, 2, false, "n", 0}, {2, 0, true, "t", 0}, {6, 8, false, "far", 0}}};
    const auto ds = compareRecords(listOf({{1, &a}}), listOf({{1, &b}}), layouts);
    ASSERT_EQ(kinds(ds), (std::vector<Kind>{Kind::Record, Kind::Field, Kind::Field, Kind::Bytes}));
    EXPECT_EQ(ds[1].field.name, "n");
    EXPECT_EQ(ds[2].field.name, "t"); // the text and its zero byte, as long as the longer one
    EXPECT_EQ(range(ds[3]), Range(7, 8));
}

TEST(DiffDifferences, TablesByValueAndCellWhenBothHaveTheirForm)
{
    FakeLayouts layouts;
    layouts.layouts[1] = {TableKind::Int16List, {}};
    layouts.layouts[2] = {TableKind::Grid, {}};
    const Data la{1, 0, 2, 0}, lb{1, 0, 3, 0, 4, 0};
    auto ds = compareRecords(listOf({{1, &la}}), listOf({{1, &lb}}), layouts);
    ASSERT_EQ(
            kinds(ds), (std::vector<Kind>{Kind::Record, Kind::TableSize, Kind::TableItem, Kind::TableItem}));
    EXPECT_EQ(ds[1].oldSize.rows, 2u);
    EXPECT_EQ(ds[1].newSize.rows, 3u);
    EXPECT_EQ(ds[2].row, 1u);
    EXPECT_TRUE(ds[3].inNew && !ds[3].inOld);

    Data ga(8 + 8, 0), gb(8 + 8, 0);
    ga[0] = gb[0] = 1; // one row
    ga[4] = gb[4] = 1; // one column
    gb[15] = 0x40;
    ds = compareRecords(listOf({{2, &ga}}), listOf({{2, &gb}}), layouts);
    ASSERT_EQ(kinds(ds), (std::vector<Kind>{Kind::Record, Kind::TableItem}));
    EXPECT_EQ(ds[1].oldAt, 8u);
    // Not in table form: compared as bytes.
    const Data odd{1, 0, 2};
    ds = compareRecords(listOf({{1, &odd}}), listOf({{1, &la}}), layouts);
    EXPECT_EQ(kinds(ds), (std::vector<Kind>{Kind::Record, Kind::Bytes}));
}
