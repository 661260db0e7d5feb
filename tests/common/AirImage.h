#pragma once
// AIR images and record data for the tests, built byte by byte: a record is a
// 32-bit id, a 32-bit length and that many data bytes, all little-endian, and
// a file is its records one after the other (anything after the last whole
// record is trailing bytes).
//
//   const Bytes img = AirImage()
//                         .record(0x20, {0x10, 0x27, 0, 0})      // int32 10000
//                         .record(0x61, doubles({2}, {0, 0, 1, 1})) // two points
//                         .record(0x30, cString("abc"))
//                         .bytes();
//
// The image is kept as std::vector<std::uint8_t>; Qt suites take it as
// bytes<QByteArray>() and may pass QByteArray data, so this header needs no Qt.
#include "base/Bytes.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace airtest {

using Bytes = std::vector<std::uint8_t>;
using base::bytes::appendLE;

// Any contiguous run of one-byte elements (Bytes, QByteArray, std::string) as bytes.
template <typename Data>
std::span<const std::uint8_t> asBytes(const Data& data)
{
    static_assert(sizeof(*std::data(data)) == 1, "record data is a run of bytes");
    return {reinterpret_cast<const std::uint8_t*>(std::data(data)),
            static_cast<std::size_t>(std::size(data))};
}

// Bytes as another one-byte container, e.g. QByteArray.
template <typename Out>
Out convertTo(const Bytes& b)
{
    if constexpr (std::is_same_v<Out, Bytes>)
        return b;
    else
        return Out(reinterpret_cast<const char*>(b.data()), static_cast<typename Out::size_type>(b.size()));
}

class AirImage {
public:
    // One record whose length field is the size of data.
    AirImage& record(std::uint32_t id, std::span<const std::uint8_t> data)
    {
        return recordClaiming(id, static_cast<std::uint32_t>(data.size()), data);
    }
    AirImage& record(std::uint32_t id, std::initializer_list<std::uint8_t> data)
    {
        return record(id, std::span<const std::uint8_t>(data.begin(), data.size()));
    }
    template <typename Data>
    AirImage& record(std::uint32_t id, const Data& data)
    {
        return record(id, asBytes(data));
    }

    // A record whose length field says `length` whatever data holds: a cut-off
    // or oversized record.
    AirImage& recordClaiming(std::uint32_t id, std::uint32_t length, std::span<const std::uint8_t> data)
    {
        appendLE(bytes_, id);
        appendLE(bytes_, length);
        return raw(data);
    }

    // Bytes as they are, e.g. a trailing tail that is no whole record.
    AirImage& raw(std::span<const std::uint8_t> data)
    {
        bytes_.insert(bytes_.end(), data.begin(), data.end());
        return *this;
    }
    AirImage& raw(std::initializer_list<std::uint8_t> data)
    {
        return raw(std::span<const std::uint8_t>(data.begin(), data.size()));
    }
    template <typename Data>
    AirImage& raw(const Data& data)
    {
        return raw(asBytes(data));
    }

    // Room for `size` bytes in all, for images of many records.
    AirImage& reserve(std::size_t size)
    {
        bytes_.reserve(size);
        return *this;
    }

    template <typename Out = Bytes>
    Out bytes() const
    {
        return convertTo<Out>(bytes_);
    }

private:
    Bytes bytes_;
};

// One record on its own.
template <typename Out = Bytes, typename Data>
Out record(std::uint32_t id, const Data& data)
{
    return AirImage().record(id, data).template bytes<Out>();
}
inline Bytes record(std::uint32_t id, std::initializer_list<std::uint8_t> data)
{
    return AirImage().record(id, data).bytes();
}

// Appends one record to an image built elsewhere.
inline void appendRecord(Bytes& img, std::uint32_t id, std::span<const std::uint8_t> data)
{
    const Bytes r = AirImage().record(id, data).bytes();
    img.insert(img.end(), r.begin(), r.end());
}
inline void appendRecord(Bytes& img, std::uint32_t id, std::initializer_list<std::uint8_t> data)
{
    appendRecord(img, id, std::span<const std::uint8_t>(data.begin(), data.size()));
}

// The parts one after the other.
inline Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Record data -----------------------------------------------------------------

// 16-bit values, each the low 16 bits of its int (-5 and 65531 alike).
inline Bytes u16s(std::initializer_list<int> values)
{
    Bytes b;
    for (int v : values)
        appendLE(b, static_cast<std::uint16_t>(v));
    return b;
}

inline Bytes u32s(std::initializer_list<std::uint32_t> values)
{
    Bytes b;
    for (std::uint32_t v : values)
        appendLE(b, v);
    return b;
}

// 32-bit counts, then doubles: a double table is doubles({n}, {x0, y0, ...}),
// a grid its two counts and its cells.
inline Bytes doubles(std::initializer_list<std::uint32_t> counts, std::span<const double> values)
{
    Bytes b = u32s(counts);
    for (double v : values)
        appendLE(b, v);
    return b;
}
inline Bytes doubles(std::initializer_list<std::uint32_t> counts, std::initializer_list<double> values)
{
    return doubles(counts, std::span<const double>(values.begin(), values.size()));
}

// A double table: the point count, then x and y of each point.
inline Bytes points(std::initializer_list<std::pair<double, double>> pts)
{
    Bytes b = u32s({static_cast<std::uint32_t>(pts.size())});
    for (auto [x, y] : pts) {
        appendLE(b, x);
        appendLE(b, y);
    }
    return b;
}

// The characters and a terminating NUL.
inline Bytes cString(std::string_view s)
{
    Bytes b(s.begin(), s.end());
    b.push_back(0);
    return b;
}

} // namespace airtest
