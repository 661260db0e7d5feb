#pragma once
// Scratch folders and whole-file reads and writes that go around the code
// under test, for the suites that touch the disk. No Qt.
//
//   airtest::TempDir dir("update");
//   const std::string air = dir.write("plane.air", img);
//   ... run the code under test on air ...
//   EXPECT_EQ(airtest::readBytes(air), expected);
//   EXPECT_EQ(dir.names(), (std::vector<std::string>{"plane.air", "plane.air.001"}));
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace airtest {

inline std::vector<std::uint8_t> readBytes(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline std::string readText(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void writeBytes(const std::filesystem::path& p, const std::vector<std::uint8_t>& b)
{
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

inline void writeText(const std::filesystem::path& p, std::string_view s)
{
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(s.data(), static_cast<std::streamsize>(s.size()));
}

// The names in a folder, sorted (the system lists them in any order).
inline std::vector<std::string> namesIn(const std::filesystem::path& dir)
{
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

// A fresh folder of its own, unique even across test runs in parallel, and
// removed with everything in it when the object dies. Permissions are given
// back first, so a test may leave things read-only behind it.
class TempDir {
public:
    explicit TempDir(std::string_view tag = "tmp")
    {
        std::string templ =
                (std::filesystem::temp_directory_path() / ("tarlo-" + std::string(tag) + "-XXXXXX")).string();
        if (::mkdtemp(templ.data()) == nullptr)
            throw std::system_error(errno, std::generic_category(), "mkdtemp " + templ);
        dir_ = templ;
    }
    ~TempDir()
    {
        std::error_code ec;
        for (const auto& e : std::filesystem::recursive_directory_iterator(dir_, ec))
            std::filesystem::permissions(
                    e.path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
        std::filesystem::permissions(
                dir_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(dir_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& dir() const { return dir_; }
    // The folder itself, and a name inside it (which may hold slashes).
    std::string path() const { return dir_.string(); }
    std::string file(std::string_view name) const { return (dir_ / name).string(); }

    // Writes a file inside the folder and gives its path.
    std::string write(std::string_view name, std::string_view text) const
    {
        writeText(dir_ / name, text);
        return file(name);
    }
    std::string write(std::string_view name, const std::vector<std::uint8_t>& bytes) const
    {
        writeBytes(dir_ / name, bytes);
        return file(name);
    }

    std::vector<std::string> names() const { return namesIn(dir_); }

private:
    std::filesystem::path dir_;
};

} // namespace airtest
