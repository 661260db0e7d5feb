#pragma once
// Little-endian reads and writes over byte spans. Every access is
// bounds-checked: a read that does not fit yields std::nullopt, a write that
// does not fit writes nothing and returns false.
#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

namespace model::bytes {

template <typename T>
std::optional<T> readLE(std::span<const std::uint8_t> data, std::size_t offset)
{
    if (offset > data.size() || data.size() - offset < sizeof(T))
        return std::nullopt;
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        v |= std::uint64_t(data[offset + i]) << (8 * i);
    if constexpr (sizeof(T) == 8 && std::is_floating_point_v<T>) {
        return std::bit_cast<T>(v);
    } else {
        using U = std::make_unsigned_t<T>;
        return static_cast<T>(static_cast<U>(v));
    }
}

template <typename T>
bool writeLE(std::span<std::uint8_t> data, std::size_t offset, T value)
{
    if (offset > data.size() || data.size() - offset < sizeof(T))
        return false;
    std::uint64_t v;
    if constexpr (sizeof(T) == 8 && std::is_floating_point_v<T>)
        v = std::bit_cast<std::uint64_t>(value);
    else
        v = static_cast<std::uint64_t>(static_cast<std::make_unsigned_t<T>>(value));
    for (std::size_t i = 0; i < sizeof(T); ++i)
        data[offset + i] = static_cast<std::uint8_t>(v >> (8 * i));
    return true;
}

inline std::optional<std::uint32_t> u32(std::span<const std::uint8_t> d, std::size_t off) { return readLE<std::uint32_t>(d, off); }
inline std::optional<std::int32_t> i32(std::span<const std::uint8_t> d, std::size_t off) { return readLE<std::int32_t>(d, off); }
inline std::optional<std::uint16_t> u16(std::span<const std::uint8_t> d, std::size_t off) { return readLE<std::uint16_t>(d, off); }
inline std::optional<std::int16_t> i16(std::span<const std::uint8_t> d, std::size_t off) { return readLE<std::int16_t>(d, off); }
inline std::optional<double> f64(std::span<const std::uint8_t> d, std::size_t off) { return readLE<double>(d, off); }

} // namespace model::bytes
