#pragma once
// The plain record walk over an AIR file held in memory: 32-bit id, 32-bit
// length, data; the next record at offset + 8 + length. A header that does not
// fit in the buffer ends the walk; a record whose length runs past the end is
// seen with the bytes that are present.
#include "base/Bytes.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace patchwise {

struct RecordSpan {
    std::size_t header = 0; // offset of the record's id
    std::uint32_t id = 0;
    std::uint32_t length = 0; // as stored in the header
    std::size_t data = 0; // offset of the first data byte
    std::size_t present = 0; // data bytes inside the buffer (<= length)
    std::uint64_t next() const { return std::uint64_t(data) + length; }
};

inline std::optional<RecordSpan> recordAt(std::span<const std::uint8_t> buf, std::uint64_t offset)
{
    if (offset > buf.size() || buf.size() - offset < 8)
        return std::nullopt;
    RecordSpan r;
    r.header = static_cast<std::size_t>(offset);
    r.id = *base::bytes::u32(buf, r.header);
    r.length = *base::bytes::u32(buf, r.header + 4);
    r.data = r.header + 8;
    std::size_t avail = buf.size() - r.data;
    r.present = r.length < avail ? r.length : avail;
    return r;
}

template <typename F>
void forEachRecord(std::span<const std::uint8_t> buf, F&& f)
{
    std::uint64_t off = 0;
    while (auto r = recordAt(buf, off)) {
        if (!f(*r))
            return;
        off = r->next();
    }
}

inline std::optional<RecordSpan> findFirstRecord(std::span<const std::uint8_t> buf, std::uint32_t id)
{
    std::optional<RecordSpan> found;
    forEachRecord(buf, [&](const RecordSpan& r) {
        if (r.id != id)
            return true;
        found = r;
        return false;
    });
    return found;
}

inline long long countRecords(std::span<const std::uint8_t> buf)
{
    long long n = 0;
    forEachRecord(buf, [&](const RecordSpan&) {
        ++n;
        return true;
    });
    return n;
}

// Where the walk stops: the end of the last whole or cut-off record.
inline std::size_t walkEnd(std::span<const std::uint8_t> buf)
{
    std::size_t end = 0;
    forEachRecord(buf, [&](const RecordSpan& r) {
        end = r.data + r.present;
        return true;
    });
    return end;
}

} // namespace patchwise
