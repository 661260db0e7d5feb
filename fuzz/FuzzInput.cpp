#include "FuzzInput.h"

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fuzz {

std::string scratchDir()
{
    static const std::string dir = [] {
        // Memory-backed when available: the targets write files on every run.
        std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
        auto d = base / ("tarlo-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        return d.string();
    }();
    static const struct Cleanup {
        ~Cleanup() { std::error_code ec; std::filesystem::remove_all(dir, ec); }
    } cleanup;
    return dir;
}

std::string writeScratch(const std::string& name, std::span<const std::uint8_t> bytes)
{
    std::string path = scratchDir() + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out)
        fail("cannot write scratch file", __FILE__, __LINE__);
    return path;
}

std::vector<std::uint8_t> readScratch(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace fuzz
