// CRC, stamp, revision text and certification mark inside records 0x404/0x1199.
#include "ToolTestSupport.h"
#include "tool/AirWalk.h"
#include "tool/Stamp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

using namespace patchwise;
using namespace pwtest;
using namespace airtest;

namespace {

std::uint32_t crcOf(const std::string& s) { return crc32(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()); }

// Slot k of the first record `id` (base 4 for 0x404, 0 for 0x1199).
std::uint8_t slotByte(const Bytes& f, std::uint32_t id, std::size_t base, std::size_t k)
{
    auto r = findFirstRecord(f, id);
    return f.at(r->data + base + 8 * k);
}

// What a certification step does: the CRC the dump computes (mark and stamp
// slots zero) written as eight hex digits into the slots of 0x1199.
void certify(Bytes& file)
{
    Bytes cleared = file;
    clearStamp(cleared);
    char mark[9];
    std::snprintf(mark, sizeof mark, "%08x", crc32(cleared));
    auto rev = findFirstRecord(file, 0x1199);
    for (int k = 0; k < 8; ++k) file[rev->data + 8 * k] = std::uint8_t(mark[k]);
}

class TzGuard {
public:
    explicit TzGuard(const char* tz)
    {
        if (const char* old = std::getenv("TZ")) saved_ = old;
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~TzGuard()
    {
        if (saved_.empty()) ::unsetenv("TZ");
        else ::setenv("TZ", saved_.c_str(), 1);
        ::tzset();
    }

private:
    std::string saved_;
};

} // namespace

TEST(Crc32, StandardCheckValues)
{
    EXPECT_EQ(crcOf(""), 0x00000000u);
    EXPECT_EQ(crcOf("123456789"), 0xCBF43926u);
    EXPECT_EQ(crcOf("a"), 0xE8B7BE43u);
    EXPECT_EQ(crcOf("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
}

// Eight bytes at a time and continued over pieces: the same as a bit at a time.
TEST(Crc32, PiecesAndEveryAlignmentAgreeWithTheBitwiseCrc)
{
    Bytes bytes(300);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = std::uint8_t(i * 131 + 7);
    auto bitwise = [](const std::uint8_t* p, std::size_t n) {
        std::uint32_t c = 0xFFFFFFFFu;
        for (std::size_t i = 0; i < n; ++i) {
            c ^= p[i];
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        }
        return c ^ 0xFFFFFFFFu;
    };
    for (std::size_t from = 0; from < 9; ++from)
        for (std::size_t n : {0, 1, 7, 8, 9, 15, 16, 17, 64, 255}) {
            const std::uint8_t* p = bytes.data() + from;
            const std::uint32_t whole = bitwise(p, n);
            EXPECT_EQ(crc32(p, n), whole) << from << " " << n;
            for (std::size_t cut : {std::size_t(0), n / 2, n - n / 3}) {
                EXPECT_EQ(crc32(p + cut, n - cut, crc32(p, cut)), whole) << from << " " << n << " " << cut;
            }
        }
}

TEST(StampTime, AsctimeWithoutWeekdayInLocalTime)
{
    TzGuard utc("UTC");
    EXPECT_EQ(stampTimeText(0), " Jan 01 00:00:00 1970\n");
    EXPECT_EQ(stampTimeText(315626635), " Jan 02 02:03:55 1980\n");
    {
        TzGuard east("EST5");
        EXPECT_EQ(stampTimeText(315626635), " Jan 01 21:03:55 1980\n");
    }
    ::setenv("SOURCE_DATE_EPOCH", "315626635", 1);
    EXPECT_EQ(stampTime(), 315626635);
    ::setenv("SOURCE_DATE_EPOCH", "soon", 1);
    EXPECT_NE(stampTime(), 315626635);
    ::unsetenv("SOURCE_DATE_EPOCH");
}

TEST(Stamp, WrittenIntoSlotsAndCheckedBack)
{
    TzGuard utc("UTC");
    const Bytes original =
        concat({record(0x100, {1, 2, 3}), record(0x404, pointRun(18)), record(0x1199, Bytes(100, 0))});
    Bytes file = original;
    clearStamp(file);
    const std::uint32_t crc = crc32(file);
    writeStamp(file, crc, 315626635);

    char hex8[9];
    std::snprintf(hex8, sizeof hex8, "%08x", crc);
    const std::string expected = std::string(hex8) + " KMQ Jan 02 02:03:55 1980\n";
    ASSERT_EQ(expected.size(), 34u);
    for (std::size_t k = 0; k < 34; ++k) EXPECT_EQ(slotByte(file, 0x404, 4, k), std::uint8_t(expected[k])) << k;
    EXPECT_EQ(slotByte(file, 0x404, 4, 34), 0);
    // Only the lowest byte of each stored double may change; the count stays.
    auto rec = findFirstRecord(file, 0x404);
    for (std::size_t i = 0; i < file.size(); ++i) {
        bool isSlot = i >= rec->data + 4 && (i - rec->data - 4) % 8 == 0 && (i - rec->data - 4) / 8 < 35;
        if (!isSlot) {
            EXPECT_EQ(file[i], original[i]) << i;
        }
    }

    Bytes copy = file;
    StampCheck check = checkStamp(copy);
    EXPECT_TRUE(check.present);
    EXPECT_EQ(check.text, " Jan 02 02:03:55 1980-");
    EXPECT_FALSE(check.certified);

    // One byte changed anywhere outside the slots: 'R'.
    copy = file;
    copy[9] ^= 0x40;
    check = checkStamp(copy);
    EXPECT_TRUE(check.present);
    EXPECT_EQ(check.text, " Jan 02 02:03:55 1980R");
}

TEST(Stamp, CertificationMarkComparesWithTheDumpsCrc)
{
    Bytes file = concat({record(0x404, pointRun(20)), record(0x1199, Bytes(120, 0))});
    clearStamp(file);
    writeStamp(file, crc32(file), 0);
    // Certified after the update.
    certify(file);
    auto rev = findFirstRecord(file, 0x1199);

    Bytes copy = file;
    StampCheck check = checkStamp(copy);
    EXPECT_TRUE(check.present);
    EXPECT_TRUE(check.certified);
    EXPECT_EQ(check.text.back(), '-');
    for (int k = 0; k < 8; ++k) EXPECT_EQ(copy[rev->data + 8 * k], 0);  // the dump's copy only

    // A wrong mark: stamp still fine, not certified.
    file[rev->data] = file[rev->data] == '1' ? '2' : '1';
    copy = file;
    check = checkStamp(copy);
    EXPECT_FALSE(check.certified);
    EXPECT_EQ(check.text.back(), '-');

    // An update that kept non-zero mark bytes in its CRC gives 'R' later.
    Bytes updated = file;
    clearStamp(updated);
    writeStamp(updated, crc32(updated), 0);
    copy = updated;
    EXPECT_EQ(checkStamp(copy).text.back(), 'R');
}

TEST(Stamp, AbsentUnlessCharacterNineIsK)
{
    Bytes file = concat({record(0x404, pointRun(18))});
    Bytes copy = file;
    EXPECT_FALSE(checkStamp(copy).present);
    // A file that never saw an update, whose slot 9 happens to be 'K'.
    auto rec = findFirstRecord(file, 0x404);
    const std::string fake = "00000000 K";
    for (std::size_t k = 0; k < fake.size(); ++k) file[rec->data + 4 + 8 * k] = std::uint8_t(fake[k]);
    copy = file;
    StampCheck check = checkStamp(copy);
    EXPECT_TRUE(check.present);
    EXPECT_EQ(check.text, "");
    // No record 0x404 at all.
    Bytes none = record(0x100, {1});
    EXPECT_FALSE(checkStamp(none).present);
}

TEST(Stamp, ShortRecordsAreNeverWrittenPastTheirEnd)
{
    // 17 points: 276 data bytes, one short of a whole stamp.
    Bytes data = pointRun(17);
    for (std::size_t k = 0; k < 35 && 4 + 8 * k < data.size(); ++k) data[4 + 8 * k] = 0x55;
    const Bytes tail = record(0x777, Bytes(16, 0xEE));
    Bytes file = concat({record(0x404, data), tail});
    clearStamp(file);
    writeStamp(file, 0x12345678, 0);
    auto rec = findFirstRecord(file, 0x404);
    for (std::size_t k = 0; 4 + 8 * k < rec->length; ++k) EXPECT_EQ(file[rec->data + 4 + 8 * k], 0) << k;
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), file.end() - static_cast<std::ptrdiff_t>(tail.size())));

    // A tiny record: only slot 0 lies inside.
    Bytes tiny = concat({record(0x404, Bytes(6, 0x55)), tail});
    clearStamp(tiny);
    EXPECT_EQ(tiny[8 + 4], 0);
    EXPECT_EQ(tiny[8 + 5], 0x55);
    Bytes copy = tiny;
    EXPECT_FALSE(checkStamp(copy).present);
}

TEST(Revision, StoredInSlotsCutToFitAndReadBack)
{
    const std::string text120(120, 'r');
    Bytes file = concat({record(0x1199, Bytes(801, 0x33))});
    storeRevision(file, text120);
    EXPECT_EQ(readRevision(file), std::string(91, 'r'));
    for (int k = 0; k < 9; ++k) EXPECT_EQ(file[8 + 8 * k], 0);  // mark and slot 8 cleared
    EXPECT_EQ(file[8 + 8 * 100], 0);                            // the zero after 91 characters
    EXPECT_EQ(file[8 + 1], 0x33);                                // other bytes untouched

    // 100 bytes hold slots 0..12: three characters and the zero byte.
    Bytes shortFile = concat({record(0x1199, Bytes(100, 0x33)), record(0x5, {9})});
    storeRevision(shortFile, "Hello\n");
    EXPECT_EQ(readRevision(shortFile), "Hel");
    EXPECT_EQ(shortFile.back(), 9);

    // Too short for any character: only the mark is cleared.
    Bytes tiny = record(0x1199, Bytes(73, 0x33));
    storeRevision(tiny, "Hello");
    EXPECT_EQ(tiny[8 + 72], 0);
    EXPECT_EQ(readRevision(tiny), "");

    Bytes none = record(0x100, Bytes(8, 1));
    storeRevision(none, "Hello");
    EXPECT_EQ(none, record(0x100, Bytes(8, 1)));
    EXPECT_EQ(readRevision(none), "");
}

TEST(Stamp, CheckWithoutACopyAgreesWithTheCheckOnACopy)
{
    // Stamped, certified, tampered, cut-off and absent records, in any order.
    Bytes stamped = concat({record(0x1199, Bytes(120, 0)), record(0x500, Bytes(33, 5)), record(0x404, pointRun(20))});
    clearStamp(stamped);
    writeStamp(stamped, crc32(stamped), 12345);
    Bytes certified = stamped;
    certify(certified);
    Bytes tampered = certified;
    tampered[tampered.size() / 2] ^= 1;
    Bytes cut = stamped;
    cut.resize(cut.size() - 100);
    Bytes twice = concat({stamped, record(0x404, pointRun(20)), record(0x1199, Bytes(9, 'k'))});
    for (const Bytes& file : {stamped, certified, tampered, cut, twice, Bytes{}, record(0x404, Bytes(3, 'K'))}) {
        Bytes copy = file;
        StampCheck want = checkStamp(copy);
        StampCheck got = verifyStamp(file);
        EXPECT_EQ(got.present, want.present);
        EXPECT_EQ(got.text, want.text);
        EXPECT_EQ(got.certified, want.certified);
    }
    Bytes copy = certified;
    EXPECT_TRUE(checkStamp(copy).certified);
    EXPECT_TRUE(verifyStamp(certified).certified);
    EXPECT_FALSE(verifyStamp(tampered).certified);
}
