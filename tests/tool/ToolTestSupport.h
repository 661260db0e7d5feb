#pragma once
// Helpers for the tool's tests. AIR images come from common/AirImage.h,
// scratch folders and whole-file reads and writes from common/TempDir.h.
#include "common/AirImage.h"
#include "common/TempDir.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace pwtest {

using airtest::Bytes;
using airtest::readBytes;
using airtest::readText;
using airtest::TempDir;
using airtest::writeBytes;
using airtest::writeText;

// Changes the current directory for one test.
class ScopedCwd {
public:
    explicit ScopedCwd(const std::string& dir) : saved_(std::filesystem::current_path()) { std::filesystem::current_path(dir); }
    ~ScopedCwd() { std::filesystem::current_path(saved_); }

private:
    std::filesystem::path saved_;
};

// The little-endian value at `at` of an image the code under test wrote.
inline std::uint32_t get32(const Bytes& b, std::size_t at)
{
    return base::bytes::u32(b, at).value();
}
inline std::int16_t get16(const Bytes& b, std::size_t at)
{
    return base::bytes::i16(b, at).value();
}
inline double getDouble(const Bytes& b, std::size_t at)
{
    return base::bytes::f64(b, at).value();
}

// A point table of n points (x = i, y = 2i): n >= 18 holds a whole stamp.
inline Bytes pointRun(int n)
{
    Bytes b = airtest::u32s({static_cast<std::uint32_t>(n)});
    for (int i = 0; i < n; ++i) {
        airtest::appendLE(b, double(i));
        airtest::appendLE(b, 2.0 * i);
    }
    return b;
}

} // namespace pwtest
