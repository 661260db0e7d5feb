#pragma once
// The update stamp (CRC and time), the revision text and the certification
// mark, hidden one character per 8-byte slot in records 0x404 and 0x1199.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <span>
#include <string>
#include <vector>

namespace patchwise {

inline constexpr std::uint32_t kStampRecord = 0x404;
inline constexpr std::uint32_t kRevisionRecord = 0x1199;
inline constexpr std::size_t kStampSlots = 35; // 34 characters and a zero
inline constexpr std::size_t kStampRecordMin = 277; // data bytes a full stamp needs
inline constexpr std::size_t kRevisionMaxStored = 91;
inline constexpr std::size_t kRevisionMaxScript = 99;

// CRC-32 (the zip one); previous, the CRC of the bytes before, continues it.
std::uint32_t crc32(const std::uint8_t* bytes, std::size_t count, std::uint32_t previous = 0);
inline std::uint32_t crc32(std::span<const std::uint8_t> b)
{
    return crc32(b.data(), b.size());
}

// The 22-character time text: " Mon DD hh:mm:ss YYYY\n" in local time.
std::string stampTimeText(std::time_t t);
// SOURCE_DATE_EPOCH when set to a number, else the current time.
std::time_t stampTime();

void clearStamp(std::span<std::uint8_t> file);
// Writes nothing into a record 0x404 too short for the whole stamp.
void writeStamp(std::span<std::uint8_t> file, std::uint32_t crc, std::time_t time);
// Does nothing without a record 0x1199; cuts the text to fit the record.
void storeRevision(std::span<std::uint8_t> file, const std::string& text);
std::string readRevision(std::span<const std::uint8_t> file);
// The same three on the data bytes of the record itself (the first 0x404 or 0x1199).
void clearStampSlots(std::span<std::uint8_t> data);
void writeStampSlots(std::span<std::uint8_t> data, std::uint32_t crc, std::time_t time);
void storeRevisionSlots(std::span<std::uint8_t> data, const std::string& text);

struct StampCheck {
    bool present = false;
    std::string text; // for "Last Patchwise:%s\n"
    bool certified = false;
};
// Works on the caller's copy and changes it (mark and stamp slots cleared).
StampCheck checkStamp(std::span<std::uint8_t> file);
// The same check without changing or copying the file: the cleared slots
// count as zero bytes in the CRC.
StampCheck verifyStamp(std::span<const std::uint8_t> file);

} // namespace patchwise
