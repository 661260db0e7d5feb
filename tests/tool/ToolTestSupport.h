#pragma once
// Helpers for the tool's tests: scratch folders, whole-file reads and writes.
// AIR images are built with common/AirImage.h.
#include "common/AirImage.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace pwtest {

using airtest::Bytes;

class TempDir {
public:
    TempDir()
    {
        std::string templ = (std::filesystem::temp_directory_path() / "pwtest-XXXXXX").string();
        std::vector<char> buf(templ.begin(), templ.end());
        buf.push_back('\0');
        path_ = ::mkdtemp(buf.data());
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

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
    return model::bytes::u32(b, at).value();
}
inline std::int16_t get16(const Bytes& b, std::size_t at)
{
    return model::bytes::i16(b, at).value();
}
inline double getDouble(const Bytes& b, std::size_t at)
{
    return model::bytes::f64(b, at).value();
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

inline void writeBytes(const std::string& path, const Bytes& b)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}
inline void writeText(const std::string& path, const std::string& s)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << s;
}
inline Bytes readBytes(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}
inline std::string readText(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

} // namespace pwtest
