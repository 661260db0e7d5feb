#include "common/EditorFixture.h"

#include "browser/RecordCommands.h"

#include <gtest/gtest.h>

using namespace browser;

namespace {

// A copy of an entry's bytes (the document hands out views).
std::vector<std::uint8_t> copyOf(std::span<const std::uint8_t> bytes)
{
    return {bytes.begin(), bytes.end()};
}

class Commands : public ::testing::Test {
protected:
    void SetUp() override { fixture::load(doc, files); }
    std::vector<std::uint32_t> recordIds() const
    {
        std::vector<std::uint32_t> ids;
        for (int i = 1; i <= doc.highestIndex(); ++i)
            if (doc.isRecord(i))
                ids.push_back(doc.entry(i).id);
        return ids;
    }
    fixture::Files files;
    model::CTLDoc doc;
};

constexpr int kEngine = 2, kIdle = 3, kHasStarter = 4, kMach = 5, kLabel = 10, kBeyond = 12;
constexpr int kTitle = 20, kFlag = 22;

} // namespace

TEST_F(Commands, FixtureLayout)
{
    ASSERT_EQ(doc.highestIndex(), 23);
    EXPECT_EQ(doc.entry(kEngine).name, "Engine");
    EXPECT_EQ(doc.entry(kLabel).name, "Label");
    EXPECT_TRUE(doc.outsideRecord(kBeyond));
}

TEST_F(Commands, CopyThenAddGivesTwoAdjacentRecordsCopyFirst)
{
    const auto block = recordBlock(doc, kEngine);
    ASSERT_TRUE(block);
    EXPECT_EQ(block->size(), 31u + 8u);
    EXPECT_FALSE(recordBlock(doc, kIdle)); // fields are not copied

    const auto rec = decodeRecordBlock(*block);
    ASSERT_TRUE(rec);
    const std::size_t imageBefore = doc.imageLength();
    ASSERT_TRUE(addRecordBefore(doc, kEngine, *rec));
    EXPECT_TRUE(doc.isModified());
    EXPECT_EQ(recordIds(), (std::vector<std::uint32_t>{0x20, 0x10, 0x10, 0x11, 0x30, 0x40, 0x50, 0x21}));
    // The list was rebuilt: both copies have their name and their fields.
    EXPECT_EQ(doc.entry(kEngine).name, "Engine");
    EXPECT_EQ(doc.entry(kEngine + 1).name, "Idle speed");
    EXPECT_EQ(doc.entry(13).name, "Engine");
    EXPECT_EQ(doc.entry(13).fileOffset, doc.entry(kEngine).fileOffset + 31 + 8);
    EXPECT_EQ(doc.imageLength(), imageBefore + 39);
    EXPECT_EQ(doc.entry(0).length, doc.imageLength());
}

TEST_F(Commands, ReplaceBringsBackTheCopiedValues)
{
    const auto rec = decodeRecordBlock(*recordBlock(doc, kEngine));
    ASSERT_TRUE(commitValue(doc, kIdle, "77").accepted);
    EXPECT_EQ(doc.itemText(kIdle), "Idle speed=77");
    doc.setModified(false);

    EXPECT_EQ(replaceRecord(doc, kEngine, *rec), ReplaceResult::Replaced);
    EXPECT_EQ(doc.itemText(kIdle), "Idle speed=4660");
    EXPECT_TRUE(doc.isModified());
}

TEST_F(Commands, ReplaceWithAnotherIdChangesNothing)
{
    const auto rec = decodeRecordBlock(*recordBlock(doc, kTitle));
    const auto before = copyOf(doc.data(kEngine));
    EXPECT_EQ(replaceRecord(doc, kEngine, *rec), ReplaceResult::OtherRecord);
    EXPECT_EQ(copyOf(doc.data(kEngine)), before);
    EXPECT_FALSE(doc.isModified());
    EXPECT_EQ(replaceRecord(doc, kIdle, *rec), ReplaceResult::NotARecord);
}

TEST_F(Commands, ShorterReplacementLeavesFieldsOutsideTheRecord)
{
    ClipRecord small{0x10, {1, 0, 9, 0, 0, 0}};
    ASSERT_EQ(replaceRecord(doc, kEngine, small), ReplaceResult::Replaced);
    EXPECT_EQ(doc.entry(kEngine).length, 6u);
    EXPECT_EQ(doc.itemText(kIdle), "Idle speed=1");
    EXPECT_EQ(doc.itemText(kHasStarter), "Has starter=TRUE(1)");
    EXPECT_TRUE(doc.outsideRecord(kMach));
    EXPECT_EQ(doc.itemText(kMach), "Mach limit (outside record)");
    EXPECT_TRUE(doc.data(kMach).empty());
    // Nothing writes into bytes that are not there.
    EXPECT_FALSE(commitValue(doc, kMach, "1").accepted);
    EXPECT_EQ(storeText(doc, kLabel, "x"), TextStore::TooLong);
    EXPECT_FALSE(applyHexCopy(doc, kMach, std::vector<std::uint8_t>(4, 0)));
    EXPECT_EQ(copyOf(doc.data(kEngine)), small.data);
}

TEST_F(Commands, RemoveRecordTakesItsFieldsAndKeepsTheOrder)
{
    ASSERT_TRUE(removeRecordAt(doc, kEngine));
    EXPECT_TRUE(doc.isModified());
    EXPECT_EQ(recordIds(), (std::vector<std::uint32_t>{0x20, 0x11, 0x30, 0x40, 0x50, 0x21}));
    EXPECT_EQ(doc.highestIndex(), 23 - 11);
    for (int i = 1; i <= doc.highestIndex(); ++i)
        EXPECT_NE(doc.entry(i).name, "Idle speed");
    EXPECT_EQ(doc.recordCount(), 6);
    EXPECT_FALSE(removeRecordAt(doc, 0));
}

TEST_F(Commands, TextRecordGetsANewBlock)
{
    ASSERT_EQ(doc.entry(kTitle).length, 4u);
    ASSERT_EQ(storeText(doc, kTitle, "hello"), TextStore::Stored);
    EXPECT_EQ(doc.entry(kTitle).length, 6u);
    EXPECT_EQ(copyOf(doc.data(kTitle)), (std::vector<std::uint8_t>{'h', 'e', 'l', 'l', 'o', 0}));
    EXPECT_TRUE(doc.itemText(kTitle).ends_with("=hello"));
    EXPECT_TRUE(doc.isModified());
}

TEST_F(Commands, TextFieldIsWrittenInPlaceOnlyWhenItFits)
{
    // Label sits at 0x13; the next field starts at 0x1b: 8 bytes, 7 characters.
    EXPECT_EQ(textFieldSlot(doc, kLabel).size(), 8u);
    const auto before = copyOf(doc.data(kEngine));
    EXPECT_EQ(storeText(doc, kLabel, "12345678"), TextStore::TooLong);
    EXPECT_EQ(copyOf(doc.data(kEngine)), before);
    EXPECT_FALSE(doc.isModified());
    EXPECT_NE(textTooLongMessage(doc, kLabel).find("at most 7 characters"), std::string::npos);

    ASSERT_EQ(storeText(doc, kLabel, "1234567"), TextStore::Stored);
    const auto& d = copyOf(doc.data(kEngine));
    EXPECT_EQ(d.size(), 31u);
    EXPECT_EQ(std::string(d.begin() + 19, d.begin() + 27), std::string("1234567\0", 8));
    EXPECT_EQ(std::vector<std::uint8_t>(d.begin() + 27, d.end()), (std::vector<std::uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));
    EXPECT_EQ(std::vector<std::uint8_t>(d.begin(), d.begin() + 19), std::vector<std::uint8_t>(before.begin(), before.begin() + 19));
    EXPECT_EQ(doc.itemText(kLabel), "Label=1234567");
}

TEST_F(Commands, HexCopyMustKeepTheLength)
{
    EXPECT_FALSE(applyHexCopy(doc, kIdle, std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_FALSE(doc.isModified());
    auto copy = copyOf(doc.data(kEngine));
    copy[0] = 0x05;
    copy[1] = 0x00;
    ASSERT_TRUE(applyHexCopy(doc, kEngine, copy));
    EXPECT_EQ(doc.itemText(kIdle), "Idle speed=5");
    EXPECT_TRUE(doc.isModified());
}

TEST_F(Commands, BoolToggleTwiceRestoresTheValue)
{
    ASSERT_TRUE(toggleBoolEntry(doc, kFlag));
    EXPECT_EQ(copyOf(doc.data(kFlag)), (std::vector<std::uint8_t>{1, 0, 0, 0}));
    ASSERT_TRUE(toggleBoolEntry(doc, kFlag));
    EXPECT_EQ(copyOf(doc.data(kFlag)), (std::vector<std::uint8_t>{0, 0, 0, 0}));
    EXPECT_TRUE(doc.isModified());
    EXPECT_FALSE(toggleBoolEntry(doc, kIdle));
}
