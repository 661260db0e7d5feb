#pragma once
// Builds AIR file images for the model's tests: records as id, length, data.
#include <cstdint>
#include <vector>

namespace model_test {

using Bytes = std::vector<std::uint8_t>;

inline void put32(Bytes& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(std::uint8_t(v >> (8 * i)));
}

inline void addRecord(Bytes& img, std::uint32_t id, const Bytes& data)
{
    put32(img, id);
    put32(img, std::uint32_t(data.size()));
    img.insert(img.end(), data.begin(), data.end());
}

} // namespace model_test
