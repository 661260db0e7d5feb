#pragma once
// Little-endian reads and writes over byte spans, the one set the model, the
// tool and the editor share. Every access is bounds-checked: a read that does
// not fit yields std::nullopt, a write that does not fit writes nothing and
// returns false.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <type_traits>
#include <vector>

namespace base::bytes {

// The `width` bytes (1 to 8) at offset as an unsigned number, least significant first.
inline std::optional<std::uint64_t> readUnsigned(
        std::span<const std::uint8_t> data, std::size_t offset, std::size_t width)
{
    if (width > 8 || offset > data.size() || data.size() - offset < width)
        return std::nullopt;
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < width; ++i)
        v |= std::uint64_t(data[offset + i]) << (8 * i);
    return v;
}

// The same bytes as a signed number of that width (two's complement).
inline std::optional<std::int64_t> readSigned(
        std::span<const std::uint8_t> data, std::size_t offset, std::size_t width)
{
    const auto v = readUnsigned(data, offset, width);
    if (!v || width == 0)
        return std::nullopt;
    const unsigned unused = unsigned(64 - 8 * width);
    return std::int64_t(*v << unused) >> unused;
}

// The low `width` bytes (1 to 8) of value at offset, least significant first.
inline bool writeUnsigned(
        std::span<std::uint8_t> data, std::size_t offset, std::uint64_t value, std::size_t width)
{
    if (width > 8 || offset > data.size() || data.size() - offset < width)
        return false;
    for (std::size_t i = 0; i < width; ++i)
        data[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    return true;
}

// The bits of an integer or a double as the unsigned number stored for it.
template <typename T>
std::uint64_t bitsOf(T value)
{
    if constexpr (std::is_floating_point_v<T>) {
        static_assert(sizeof(T) == 8);
        return std::bit_cast<std::uint64_t>(value);
    } else {
        return static_cast<std::uint64_t>(static_cast<std::make_unsigned_t<T>>(value));
    }
}

template <typename T>
std::optional<T> readLE(std::span<const std::uint8_t> data, std::size_t offset)
{
    const auto v = readUnsigned(data, offset, sizeof(T));
    if (!v)
        return std::nullopt;
    if constexpr (std::is_floating_point_v<T>) {
        static_assert(sizeof(T) == 8);
        return std::bit_cast<T>(*v);
    } else {
        using U = std::make_unsigned_t<T>;
        return static_cast<T>(static_cast<U>(*v));
    }
}

template <typename T>
bool writeLE(std::span<std::uint8_t> data, std::size_t offset, T value)
{
    return writeUnsigned(data, offset, bitsOf(value), sizeof(T));
}

template <typename T>
void appendLE(std::vector<std::uint8_t>& out, T value)
{
    const std::uint64_t v = bitsOf(value);
    for (std::size_t i = 0; i < sizeof(T); ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

inline std::optional<std::uint32_t> u32(std::span<const std::uint8_t> d, std::size_t off)
{
    return readLE<std::uint32_t>(d, off);
}
inline std::optional<std::int32_t> i32(std::span<const std::uint8_t> d, std::size_t off)
{
    return readLE<std::int32_t>(d, off);
}
inline std::optional<std::uint16_t> u16(std::span<const std::uint8_t> d, std::size_t off)
{
    return readLE<std::uint16_t>(d, off);
}
inline std::optional<std::int16_t> i16(std::span<const std::uint8_t> d, std::size_t off)
{
    return readLE<std::int16_t>(d, off);
}
inline std::optional<double> f64(std::span<const std::uint8_t> d, std::size_t off)
{
    return readLE<double>(d, off);
}

} // namespace base::bytes
