#pragma once
// The "Tarlo Record" clipboard block: identifier (u32 LE), length L (u32 LE),
// then L data bytes -- the same layout as one record inside an AIR file.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

class QClipboard;
class QMimeData;
class QString;

namespace browser {

struct ClipRecord {
    std::uint32_t id = 0;
    std::vector<std::uint8_t> data;
};

// Builds the block for one record: exactly data.size() + 8 bytes.
std::vector<std::uint8_t> encodeRecordBlock(std::uint32_t id, std::span<const std::uint8_t> data);

// Reads a block. Refuses anything shorter than the 8-byte header or whose
// length word promises more bytes than the block holds. Bytes after the
// promised data are ignored (clipboard blocks may be padded by the system).
std::optional<ClipRecord> decodeRecordBlock(std::span<const std::uint8_t> block);

// The MIME type under which the block travels; on Windows this maps to the
// registered clipboard format named "Tarlo Record".
QString recordMimeType();

// Puts one record on the clipboard as the only format offered.
void putRecordOnClipboard(QClipboard* clipboard, std::uint32_t id, std::span<const std::uint8_t> data);

// The record held by the mime data, or nothing when it carries no valid block.
std::optional<ClipRecord> recordFromMimeData(const QMimeData* mime);
std::optional<ClipRecord> recordFromClipboard(const QClipboard* clipboard);

} // namespace browser
