// The three-way merge on its own: every kind of item unchanged, changed on
// one side, alike or differently, with layouts the test makes up.
#include "diff/Merge.h"
#include "tests/diff/FakeLayouts.h"

#include <gtest/gtest.h>

#include <map>

using namespace diff;
using CKind = MergeConflict::Kind;
using Data = std::vector<std::uint8_t>;

using difftest::FakeLayouts;

namespace {

using File = std::vector<std::pair<std::uint32_t, Data>>;

RecordList listOf(const File& f)
{
    RecordList list;
    for (const auto& [id, data] : f)
        list.add(id, data);
    return list;
}

// The merged records copied out, while the inputs they view still live.
struct Merged {
    File file;
    std::vector<MergeConflict> conflicts;
};

Merged copied(const MergeResult& m)
{
    Merged out{{}, m.conflicts};
    for (const auto& r : m.records)
        out.file.push_back({r.id, Data(r.data.begin(), r.data.end())});
    return out;
}

Data grid() // 2 x 2 cells of 8 bytes after rows and columns
{
    Data d = {2, 0, 0, 0, 2, 0, 0, 0};
    d.resize(8 + 32, 0);
    return d;
}

struct ItemCase {
    const char* what;
    std::uint32_t id;
    std::size_t at; // the first byte the item's two changes write
    Data one, other; // two different new values
};

class MergeMatrix : public ::testing::Test {
protected:
    FakeLayouts layouts;
    File base;

    void SetUp() override
    {
        layouts.layouts[1] = {
                TableKind::None, {{0, 4, false, "a"}, {4, 4, false, "b"}, {8, 0, true, "name"}}};
        layouts.layouts[2] = {TableKind::Grid, {}};
        layouts.layouts[3] = {TableKind::Int16List, {}};
        base = {{1, {1, 0, 0, 0, 2, 0, 0, 0, 'a', 'b', 'c', 0, 0, 0, 0, 0}}, {2, grid()},
                {3, {1, 0, 2, 0, 3, 0, 4, 0}}, {9, Data(8, 0x11)}, {7, {7}}, {8, {8}}};
    }

    // The first record with this id gets the bytes at `at`.
    static File with(File f, std::uint32_t id, std::size_t at, const Data& bytes)
    {
        for (auto& [rid, data] : f)
            if (rid == id) {
                std::copy(bytes.begin(), bytes.end(), data.begin() + std::ptrdiff_t(at));
                break;
            }
        return f;
    }
    // Each side also changes a record of its own, so neither is the base.
    static File oursAlso(File f) { return with(std::move(f), 8, 0, {0x88}); }
    static File theirsAlso(File f) { return with(std::move(f), 7, 0, {0x77}); }

    Merged merge(const File& o, const File& t, bool theirsOnConflict = false)
    {
        MergeOptions options;
        options.theirsOnConflict = theirsOnConflict;
        return copied(mergeRecords(listOf(base), listOf(o), listOf(t), layouts, options));
    }
};

const std::vector<ItemCase> kItems = {
        {"field", 1, 0, {9, 9}, {5, 5}},
        {"text", 1, 8, {'x', 'y', 'z', 'w', 0}, {'q', 0}},
        {"table value", 3, 4, {7, 7}, {8, 8}},
        {"grid cell", 2, 8 + 16, {1, 2, 3}, {4, 5, 6}},
        {"raw bytes", 9, 2, {0x22, 0x22}, {0x33}},
};

TEST_F(MergeMatrix, EveryItemKindOnEitherSideAlikeAndDifferently)
{
    for (const ItemCase& c : kItems) {
        SCOPED_TRACE(c.what);
        const File one = with(base, c.id, c.at, c.one), other = with(base, c.id, c.at, c.other);
        const File both = oursAlso(theirsAlso(base));
        // Unchanged: each side's own change only.
        Merged m = merge(oursAlso(base), theirsAlso(base));
        EXPECT_EQ(m.file, both);
        EXPECT_TRUE(m.conflicts.empty());
        // Changed by ours, by theirs, by both alike.
        const File expected = oursAlso(theirsAlso(one));
        for (const auto& [o, t] : {std::pair{oursAlso(one), theirsAlso(base)},
                     std::pair{oursAlso(base), theirsAlso(one)}, std::pair{oursAlso(one), theirsAlso(one)}}) {
            m = merge(o, t);
            EXPECT_EQ(m.file, expected);
            EXPECT_TRUE(m.conflicts.empty());
        }
        // Differently: ours stays, one conflict naming the item; or theirs taken.
        m = merge(oursAlso(one), theirsAlso(other));
        EXPECT_EQ(m.file, expected);
        ASSERT_EQ(m.conflicts.size(), 1u);
        const MergeConflict& k = m.conflicts[0];
        EXPECT_EQ(k.kind, CKind::Item);
        EXPECT_LE(k.from, c.at);
        EXPECT_GE(k.to, c.at + std::max(c.one.size(), c.other.size()));
        m = merge(oursAlso(one), theirsAlso(other), true);
        EXPECT_EQ(m.file, oursAlso(theirsAlso(other)));
    }
}

TEST_F(MergeMatrix, ItemsOfOneRecordMergeApart)
{
    // Two fields, two cells, two runs of raw bytes: one each side.
    const File o = with(with(with(base, 1, 0, {5}), 2, 8, {1}), 9, 0, {0x44});
    const File t = with(with(with(base, 1, 4, {6}), 2, 8 + 24, {2}), 9, 6, {0x55});
    const Merged m = merge(o, t);
    EXPECT_TRUE(m.conflicts.empty());
    EXPECT_EQ(m.file, with(with(with(o, 1, 4, {6}), 2, 8 + 24, {2}), 9, 6, {0x55}));
    // Overlapping raw runs are one item.
    const Merged k = merge(with(base, 9, 1, {1, 1, 1}), with(base, 9, 3, {2, 2}));
    ASSERT_EQ(k.conflicts.size(), 1u);
    EXPECT_EQ(k.conflicts[0].from, 1u);
    EXPECT_EQ(k.conflicts[0].to, 5u);
    EXPECT_EQ(k.conflicts[0].isCell || k.conflicts[0].isField, false);
}

TEST_F(MergeMatrix, GridCellConflictNamesRowAndColumn)
{
    const Merged m = merge(with(base, 2, 8 + 16, {1}), with(base, 2, 8 + 16, {2}));
    ASSERT_EQ(m.conflicts.size(), 1u);
    EXPECT_TRUE(m.conflicts[0].isCell);
    EXPECT_EQ(m.conflicts[0].row, 1u);
    EXPECT_EQ(m.conflicts[0].column, 0u);
}

TEST_F(MergeMatrix, RecordsAddedOnEitherSideAreKeptWhereTheyStand)
{
    File o = oursAlso(base), t = theirsAlso(base);
    o.insert(o.begin() + 1, {0x50, {5, 0}});
    t.insert(t.begin() + 3, {0x60, {6, 0}});
    t.insert(t.begin() + 4, {0x61, {6, 1}});
    t.insert(t.begin(), {0x62, {6, 2}});
    Merged m = merge(o, t);
    EXPECT_TRUE(m.conflicts.empty());
    File expected = oursAlso(theirsAlso(base));
    expected.insert(expected.begin() + 1, {0x50, {5, 0}});
    expected.insert(expected.begin() + 4, {0x60, {6, 0}});
    expected.insert(expected.begin() + 5, {0x61, {6, 1}});
    expected.insert(expected.begin(), {0x62, {6, 2}});
    EXPECT_EQ(m.file, expected);
    // Added alike: once. Added differently with one id: both kept.
    o.push_back({0x70, {1}});
    t.push_back({0x70, {1}});
    EXPECT_EQ(merge(o, t).file.size(), expected.size() + 1);
    t.back().second = {2};
    m = merge(o, t);
    EXPECT_EQ(m.file.size(), expected.size() + 2);
    EXPECT_TRUE(m.conflicts.empty());
}

TEST_F(MergeMatrix, DeletedRecordsAreNeverLostSilently)
{
    File deleted = base;
    deleted.erase(deleted.begin() + 2); // record 3
    const File changed = with(base, 3, 0, {9});
    // Deleted on one side, untouched on the other: deleted, either way round.
    EXPECT_EQ(merge(oursAlso(deleted), theirsAlso(base)).file, oursAlso(theirsAlso(deleted)));
    EXPECT_EQ(merge(oursAlso(base), theirsAlso(deleted)).file, oursAlso(theirsAlso(deleted)));
    EXPECT_EQ(merge(oursAlso(deleted), theirsAlso(deleted)).file, oursAlso(theirsAlso(deleted)));
    // Deleted by ours, changed by theirs: stays deleted, a conflict; theirs's side adds it back.
    Merged m = merge(oursAlso(deleted), theirsAlso(changed));
    EXPECT_EQ(m.file, oursAlso(theirsAlso(deleted)));
    ASSERT_EQ(m.conflicts.size(), 1u);
    EXPECT_EQ(m.conflicts[0].kind, CKind::DeletedByOurs);
    EXPECT_EQ(merge(oursAlso(deleted), theirsAlso(changed), true).file, oursAlso(theirsAlso(changed)));
    // Changed by ours, deleted by theirs: stays changed, a conflict.
    m = merge(oursAlso(changed), theirsAlso(deleted));
    EXPECT_EQ(m.file, oursAlso(theirsAlso(changed)));
    ASSERT_EQ(m.conflicts.size(), 1u);
    EXPECT_EQ(m.conflicts[0].kind, CKind::DeletedByTheirs);
    EXPECT_EQ(merge(oursAlso(changed), theirsAlso(deleted), true).file, oursAlso(theirsAlso(deleted)));
}

TEST_F(MergeMatrix, DuplicateIdsAreMatchedByOccurrence)
{
    base.push_back({9, Data(8, 0x12)});
    const File o = with(oursAlso(base), 9, 0, {0x40}); // the first record 9
    File t = theirsAlso(base);
    t.back().second[0] = 0x41; // the second
    Merged m = merge(o, t);
    EXPECT_TRUE(m.conflicts.empty());
    File expected = with(o, 7, 0, {0x77});
    expected.back().second[0] = 0x41;
    EXPECT_EQ(m.file, expected);
    // Both change the second differently: its conflict, occurrence and all.
    File o2 = oursAlso(base);
    o2.back().second[0] = 0x50;
    m = merge(o2, t);
    ASSERT_EQ(m.conflicts.size(), 1u);
    EXPECT_EQ(m.conflicts[0].ours, o2.size() - 1);
}

TEST_F(MergeMatrix, SizeChangedDifferentlyIsOneRecordConflict)
{
    File o = oursAlso(base), t = theirsAlso(base);
    o[3].second.push_back(1);
    t[3].second.resize(4);
    const Merged m = merge(o, t);
    ASSERT_EQ(m.conflicts.size(), 1u);
    EXPECT_EQ(m.conflicts[0].kind, CKind::Record);
    EXPECT_EQ(m.file[3].second, o[3].second);
}

TEST_F(MergeMatrix, QuietBytesKeepOursWithoutConflict)
{
    MergeOptions options;
    options.quiet = [](const Record& r, std::size_t at) { return r.id == 9 && at == 0; };
    const File o = with(oursAlso(base), 9, 0, {1}), t = with(theirsAlso(base), 9, 0, {2});
    Merged m = copied(mergeRecords(listOf(base), listOf(o), listOf(t), layouts, options));
    EXPECT_TRUE(m.conflicts.empty());
    EXPECT_EQ(m.file, with(oursAlso(theirsAlso(base)), 9, 0, {1}));
    // Changed by theirs only: theirs's.
    const File ours = oursAlso(base);
    m = copied(mergeRecords(listOf(base), listOf(ours), listOf(t), layouts, options));
    EXPECT_EQ(m.file, with(oursAlso(theirsAlso(base)), 9, 0, {2}));
}

TEST(Merge, OneSideUnchangedGivesTheOtherInItsOrder)
{
    const FakeLayouts layouts;
    const Data a = {1}, b = {2}, c = {3};
    RecordList base, other;
    base.add(1, a);
    base.add(2, b);
    other.add(2, c);
    other.add(1, a);
    other.setTrailer(a);
    MergeResult m = mergeRecords(base, base, other, layouts);
    ASSERT_EQ(m.records.size(), 2u);
    EXPECT_EQ(m.records[0].id, 2u);
    EXPECT_EQ(m.trailer, a);
    m = mergeRecords(base, other, base, layouts);
    EXPECT_EQ(m.records[0].id, 2u);
}

} // namespace
