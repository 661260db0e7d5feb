#include "tool/Stamp.h"

#include "tool/AirWalk.h"
#include "tool/ToolText.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>
#include <optional>

namespace patchwise {

namespace {

// Sixteen tables: kCrc[k][b] is the CRC step of byte b followed by k zero
// bytes, so that sixteen bytes are taken per step ("slicing by 16").
using CrcTables = std::array<std::array<std::uint32_t, 256>, 16>;
constexpr CrcTables makeCrcTables()
{
    CrcTables t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[0][n] = c;
    }
    for (std::size_t k = 1; k < t.size(); ++k)
        for (std::uint32_t n = 0; n < 256; ++n)
            t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
    return t;
}
constexpr CrcTables kCrc = makeCrcTables();

std::uint32_t le32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16
            | std::uint32_t(p[3]) << 24;
}

// Four little-endian words' worth of steps: w0 holds the earliest bytes.
std::uint32_t crcWords(std::uint32_t w0, std::uint32_t w1, std::uint32_t w2, std::uint32_t w3)
{
    auto word = [](std::uint32_t w, std::size_t k) {
        return kCrc[k + 3][w & 0xFF] ^ kCrc[k + 2][(w >> 8) & 0xFF] ^ kCrc[k + 1][(w >> 16) & 0xFF]
                ^ kCrc[k][w >> 24];
    };
    return word(w0, 12) ^ word(w1, 8) ^ word(w2, 4) ^ word(w3, 0);
}

// The CRC register (not inverted) after n more bytes.
std::uint32_t crcRun(std::uint32_t c, const std::uint8_t* p, std::size_t n)
{
    for (; n >= 16; n -= 16, p += 16)
        c = crcWords(c ^ le32(p), le32(p + 4), le32(p + 8), le32(p + 12));
    for (; n > 0; --n, ++p)
        c = kCrc[0][(c ^ *p) & 0xFF] ^ (c >> 8);
    return c;
}

// Slot k of a record: data byte base + 8k, when it lies inside the record.
std::optional<std::size_t> slot(const RecordSpan& r, std::size_t base, std::size_t k)
{
    std::size_t rel = base + 8 * k;
    if (rel >= r.present)
        return std::nullopt;
    return r.data + rel;
}

constexpr std::size_t kStampBase = 4; // after the point count
constexpr std::size_t kRevisionBase = 0;

// Characters of consecutive slots from slot `first`, up to a zero byte, the
// record's end or `max` characters.
std::string readSlots(std::span<const std::uint8_t> file, const RecordSpan& r, std::size_t base,
        std::size_t first, std::size_t max)
{
    std::string s;
    for (std::size_t k = first; s.size() < max; ++k) {
        auto at = slot(r, base, k);
        if (!at || file[*at] == 0)
            break;
        s += static_cast<char>(file[*at]);
    }
    return s;
}

void zeroSlots(std::span<std::uint8_t> file, const RecordSpan& r, std::size_t base, std::size_t first,
        std::size_t count)
{
    for (std::size_t k = first; k < first + count; ++k)
        if (auto at = slot(r, base, k))
            file[*at] = 0;
}

std::uint32_t hexOrZero(const std::string& s)
{
    return text::scanHex(s).value_or(0);
}

} // namespace

std::uint32_t crc32(const std::uint8_t* bytes, std::size_t count, std::uint32_t previous)
{
    return crcRun(previous ^ 0xFFFFFFFFu, bytes, count) ^ 0xFFFFFFFFu;
}

std::string stampTimeText(std::time_t t)
{
    static const char* const months[] = {
            "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm tm{};
    if (!localtime_r(&t, &tm))
        tm = std::tm{};
    auto two = [](int v) { return (v >= 0 && v < 10 ? "0" : "") + text::dec(v); };
    int year = tm.tm_year + 1900;
    if (year < 0)
        year = 0;
    if (year > 9999)
        year = 9999;
    std::string y = text::dec(year);
    while (y.size() < 4)
        y.insert(0, "0");
    int mon = tm.tm_mon >= 0 && tm.tm_mon < 12 ? tm.tm_mon : 0;
    return std::string(" ") + months[mon] + " " + two(tm.tm_mday) + " " + two(tm.tm_hour) + ":"
            + two(tm.tm_min) + ":" + two(tm.tm_sec) + " " + y + "\n";
}

std::time_t stampTime()
{
    if (const char* e = std::getenv("SOURCE_DATE_EPOCH"); e && *e) {
        long long v = 0;
        const char* end = e + std::char_traits<char>::length(e);
        auto r = std::from_chars(e, end, v);
        if (r.ec == std::errc() && r.ptr == end && v >= 0)
            return static_cast<std::time_t>(v);
    }
    return std::time(nullptr);
}

namespace {

// The record's data bytes alone, seen as a file whose one record starts them.
RecordSpan wholeData(std::span<const std::uint8_t> data)
{
    RecordSpan r;
    r.length = static_cast<std::uint32_t>(data.size());
    r.present = data.size();
    return r;
}

} // namespace

void clearStampSlots(std::span<std::uint8_t> data)
{
    zeroSlots(data, wholeData(data), kStampBase, 0, kStampSlots);
}

void writeStampSlots(std::span<std::uint8_t> data, std::uint32_t crc, std::time_t time)
{
    if (data.size() < kStampRecordMin)
        return;
    const RecordSpan r = wholeData(data);
    std::string s = text::hex(crc, 8) + " KMQ" + stampTimeText(time);
    s.resize(kStampSlots - 1, ' ');
    s += '\0';
    for (std::size_t k = 0; k < kStampSlots; ++k)
        data[*slot(r, kStampBase, k)] = static_cast<std::uint8_t>(s[k]);
}

void storeRevisionSlots(std::span<std::uint8_t> data, const std::string& textIn)
{
    const RecordSpan r = wholeData(data);
    zeroSlots(data, r, kRevisionBase, 0, 9);
    std::size_t slots = (r.present + 7) / 8;
    if (slots <= 9)
        return;
    std::size_t room = slots - 9 - 1; // characters that fit before the zero byte
    std::string t = textIn.substr(0, std::min({textIn.size(), kRevisionMaxStored, room}));
    std::size_t k = 9;
    for (char c : t)
        data[*slot(r, kRevisionBase, k++)] = static_cast<std::uint8_t>(c);
    data[*slot(r, kRevisionBase, k)] = 0;
}

void clearStamp(std::span<std::uint8_t> file)
{
    if (auto r = findFirstRecord(file, kStampRecord))
        clearStampSlots(file.subspan(r->data, r->present));
}

void writeStamp(std::span<std::uint8_t> file, std::uint32_t crc, std::time_t time)
{
    if (auto r = findFirstRecord(file, kStampRecord))
        writeStampSlots(file.subspan(r->data, r->present), crc, time);
}

void storeRevision(std::span<std::uint8_t> file, const std::string& textIn)
{
    if (auto r = findFirstRecord(file, kRevisionRecord))
        storeRevisionSlots(file.subspan(r->data, r->present), textIn);
}

std::string readRevision(std::span<const std::uint8_t> file)
{
    auto r = findFirstRecord(file, kRevisionRecord);
    if (!r)
        return {};
    return readSlots(file, *r, kRevisionBase, 9, 100);
}

namespace {

// The positions of the slots that the check clears: the first 8 revision
// slots of the first 0x1199 and the stamp slots of the first 0x404.
std::vector<std::size_t> clearedSlots(std::span<const std::uint8_t> file)
{
    std::vector<std::size_t> at;
    if (auto rev = findFirstRecord(file, kRevisionRecord))
        for (std::size_t k = 0; k < 8; ++k)
            if (auto p = slot(*rev, kRevisionBase, k))
                at.push_back(*p);
    if (auto st = findFirstRecord(file, kStampRecord))
        for (std::size_t k = 0; k < kStampSlots; ++k)
            if (auto p = slot(*st, kStampBase, k))
                at.push_back(*p);
    std::sort(at.begin(), at.end());
    at.erase(std::unique(at.begin(), at.end()), at.end());
    return at;
}

// CRC-32 of the file with the bytes at `zeroed` (sorted) read as zero.
std::uint32_t crc32Zeroed(std::span<const std::uint8_t> file, const std::vector<std::size_t>& zeroed)
{
    std::uint32_t c = 0xFFFFFFFFu;
    auto run = [&c](const std::uint8_t* p, std::size_t n) { c = crcRun(c, p, n); };
    std::size_t from = 0;
    for (std::size_t z : zeroed) {
        run(file.data() + from, z - from);
        c = kCrc[0][c & 0xFF] ^ (c >> 8);
        from = z + 1;
    }
    run(file.data() + from, file.size() - from);
    return c ^ 0xFFFFFFFFu;
}

} // namespace

StampCheck verifyStamp(std::span<const std::uint8_t> file)
{
    // Records 0x1199 and 0x404 never share bytes, so clearing the mark does
    // not change the stamp that is read.
    StampCheck result;
    std::uint32_t mark = 0;
    if (auto rev = findFirstRecord(file, kRevisionRecord))
        mark = hexOrZero(readSlots(file, *rev, kRevisionBase, 0, 8));
    std::string stamp;
    if (auto st = findFirstRecord(file, kStampRecord))
        stamp = readSlots(file, *st, kStampBase, 0, 100);
    std::uint32_t stampCrc = hexOrZero(stamp.substr(0, 8));
    std::uint32_t crc = crc32Zeroed(file, clearedSlots(file));
    if (stamp.size() <= 9 || stamp[9] != 'K')
        return result;
    result.present = true;
    stamp.back() = stampCrc == crc ? '-' : 'R';
    result.text = stamp.size() > 12 ? stamp.substr(12) : std::string();
    result.certified = mark == crc;
    return result;
}

StampCheck checkStamp(std::span<std::uint8_t> file)
{
    StampCheck result = verifyStamp(file);
    if (auto rev = findFirstRecord(file, kRevisionRecord))
        zeroSlots(file, *rev, kRevisionBase, 0, 8);
    clearStamp(file);
    return result;
}

} // namespace patchwise
