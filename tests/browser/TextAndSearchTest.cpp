#include "browser/EntrySearch.h"
#include "browser/TextValue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using browser::writeTextInSlot;

namespace {
std::vector<std::uint8_t> bytes(const std::string& s)
{
    return std::vector<std::uint8_t>(s.begin(), s.end());
}
} // namespace

TEST(TextInSlot, ShorterTextClearsTheOldTailOnly)
{
    // Slot of 8 bytes: "hello\0" then two bytes that are not part of the text.
    auto slot = bytes(std::string("hello\0XY", 8));
    ASSERT_TRUE(writeTextInSlot(slot, "hi"));
    EXPECT_EQ(slot, bytes(std::string("hi\0\0\0\0XY", 8)));
}

TEST(TextInSlot, TextMustFitWithItsZeroByte)
{
    auto slot = bytes(std::string("abc\0", 4));
    const auto before = slot;
    EXPECT_FALSE(writeTextInSlot(slot, "abcd")); // 5 bytes needed
    EXPECT_EQ(slot, before);
    EXPECT_TRUE(writeTextInSlot(slot, "xyz"));
    EXPECT_EQ(slot, bytes(std::string("xyz\0", 4)));
    std::vector<std::uint8_t> empty;
    EXPECT_FALSE(writeTextInSlot(empty, ""));
}

TEST(TextInSlot, OldTextWithoutZeroByteIsReplacedWithinTheSlot)
{
    auto slot = bytes("abcdef");
    ASSERT_TRUE(writeTextInSlot(slot, "ab"));
    EXPECT_EQ(slot, bytes(std::string("ab\0\0\0\0", 6)));
}

TEST(EntrySearch, FindsCaseBlindContinuesAndWraps)
{
    const std::vector<std::string> names{"plane.air", "Altitude Limit", "Flaps", "max alt", "Gear"};
    auto nameAt = [&](int i) { return names[static_cast<std::size_t>(i)]; };
    browser::SearchState s{"ALT", 1};
    EXPECT_EQ(browser::searchAgain(s, 5, nameAt), 1);
    EXPECT_EQ(s.text, "alt");
    EXPECT_EQ(browser::searchAgain(s, 5, nameAt), 3);
    EXPECT_EQ(browser::searchAgain(s, 5, nameAt), -1);
    EXPECT_EQ(s.position, 1);
    EXPECT_EQ(browser::searchAgain(s, 5, nameAt), 1);
}

TEST(EntrySearch, RootIsNeverMatchedAndStalePositionsAreSafe)
{
    const std::vector<std::string> names{"alt.air", "x"};
    auto nameAt = [&](int i) { return names[static_cast<std::size_t>(i)]; };
    browser::SearchState s{"alt", 1};
    EXPECT_EQ(browser::searchAgain(s, 2, nameAt), -1);
    // A position left beyond a list that has since shrunk simply wraps.
    s.position = 40;
    EXPECT_EQ(browser::searchAgain(s, 2, nameAt), -1);
    EXPECT_EQ(s.position, 1);
}
