#include "browser/RecordClipboard.h"

#include <QByteArray>
#include <QMimeData>
#include <gtest/gtest.h>

using browser::decodeRecordBlock;
using browser::encodeRecordBlock;

TEST(RecordBlock, LayoutIsIdLengthThenData)
{
    const std::vector<std::uint8_t> data{0xAA, 0xBB, 0xCC};
    const auto block = encodeRecordBlock(0x12345678, data);
    const std::vector<std::uint8_t> expected{0x78, 0x56, 0x34, 0x12, 3, 0, 0, 0, 0xAA, 0xBB, 0xCC};
    EXPECT_EQ(block, expected);

    const auto back = decodeRecordBlock(block);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->id, 0x12345678u);
    EXPECT_EQ(back->data, data);
}

TEST(RecordBlock, EmptyRecordIsEightBytes)
{
    const auto block = encodeRecordBlock(0x404, {});
    EXPECT_EQ(block, (std::vector<std::uint8_t>{0x04, 0x04, 0, 0, 0, 0, 0, 0}));
    const auto back = decodeRecordBlock(block);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->id, 0x404u);
    EXPECT_TRUE(back->data.empty());
}

TEST(RecordBlock, MalformedBlocksAreRefused)
{
    const std::vector<std::uint8_t> none;
    EXPECT_FALSE(decodeRecordBlock(none));
    const std::vector<std::uint8_t> shortHeader{1, 0, 0, 0, 0, 0, 0};
    EXPECT_FALSE(decodeRecordBlock(shortHeader));
    // Length promises 4 bytes, only 3 follow.
    const std::vector<std::uint8_t> truncated{1, 0, 0, 0, 4, 0, 0, 0, 9, 9, 9};
    EXPECT_FALSE(decodeRecordBlock(truncated));
    // A huge length word must not be trusted (nor overflow the size test).
    const std::vector<std::uint8_t> huge{1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 1};
    EXPECT_FALSE(decodeRecordBlock(huge));
}

TEST(RecordBlock, PaddingAfterTheDataIsIgnored)
{
    const std::vector<std::uint8_t> padded{7, 0, 0, 0, 2, 0, 0, 0, 5, 6, 0, 0, 0, 0};
    const auto back = decodeRecordBlock(padded);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->data, (std::vector<std::uint8_t>{5, 6}));
}

TEST(RecordBlock, MimeDataRoundTripAndForeignData)
{
    QMimeData ours;
    const auto block = encodeRecordBlock(0x99, std::vector<std::uint8_t>{1, 2});
    ours.setData(browser::recordMimeType(),
                 QByteArray(reinterpret_cast<const char*>(block.data()), static_cast<qsizetype>(block.size())));
    const auto rec = browser::recordFromMimeData(&ours);
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->id, 0x99u);

    QMimeData text;
    text.setText(QStringLiteral("\x99\0\0\0\2\0\0\0\1\2"));
    EXPECT_FALSE(browser::recordFromMimeData(&text));
    EXPECT_FALSE(browser::recordFromMimeData(nullptr));
}
