#pragma once
// Helpers for the tool's tests: scratch folders, AIR files built byte by byte.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace pwtest {

using Bytes = std::vector<std::uint8_t>;

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

inline void put32(Bytes& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void put16(Bytes& b, std::uint16_t v)
{
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void putDouble(Bytes& b, double d)
{
    std::uint64_t v;
    std::memcpy(&v, &d, 8);
    for (int i = 0; i < 8; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline std::uint32_t get32(const Bytes& b, std::size_t at)
{
    return std::uint32_t(b.at(at)) | std::uint32_t(b.at(at + 1)) << 8 | std::uint32_t(b.at(at + 2)) << 16 |
           std::uint32_t(b.at(at + 3)) << 24;
}
inline std::int16_t get16(const Bytes& b, std::size_t at)
{
    return static_cast<std::int16_t>(std::uint16_t(b.at(at) | b.at(at + 1) << 8));
}
inline double getDouble(const Bytes& b, std::size_t at)
{
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= std::uint64_t(b.at(at + i)) << (8 * i);
    double d;
    std::memcpy(&d, &v, 8);
    return d;
}

inline Bytes record(std::uint32_t id, const Bytes& data)
{
    Bytes b;
    put32(b, id);
    put32(b, static_cast<std::uint32_t>(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    return b;
}
inline Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes b;
    for (const auto& p : parts) b.insert(b.end(), p.begin(), p.end());
    return b;
}
inline Bytes points(std::initializer_list<std::pair<double, double>> pts)
{
    Bytes b;
    put32(b, static_cast<std::uint32_t>(pts.size()));
    for (auto [x, y] : pts) {
        putDouble(b, x);
        putDouble(b, y);
    }
    return b;
}
// A point table of n points (x = i, y = 2i): n >= 18 holds a whole stamp.
inline Bytes pointRun(int n)
{
    Bytes b;
    put32(b, static_cast<std::uint32_t>(n));
    for (int i = 0; i < n; ++i) {
        putDouble(b, i);
        putDouble(b, 2.0 * i);
    }
    return b;
}
inline Bytes int16s(std::initializer_list<int> values)
{
    Bytes b;
    for (int v : values) put16(b, static_cast<std::uint16_t>(v));
    return b;
}
inline Bytes textBytes(const std::string& s)
{
    Bytes b(s.begin(), s.end());
    b.push_back(0);
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
