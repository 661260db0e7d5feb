#pragma once
// Helpers shared by the fuzz targets: splitting one input into parts, a
// private scratch folder for APIs that take paths, and a check that aborts
// (so libFuzzer records the input) when an invariant breaks.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

[[noreturn]] inline void fail(const char* what, const char* file, int line)
{
    std::fprintf(stderr, "invariant broken at %s:%d: %s\n", file, line, what);
    std::abort();
}
#define FUZZ_CHECK(cond) ((cond) ? (void)0 : ::fuzz::fail(#cond, __FILE__, __LINE__))

// Consumes the input front to back.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : bytes_(data, size) {}

    std::uint8_t u8()
    {
        if (bytes_.empty())
            return 0;
        std::uint8_t v = bytes_[0];
        bytes_ = bytes_.subspan(1);
        return v;
    }
    std::uint16_t u16() { return std::uint16_t(u8() | (u8() << 8)); }
    std::uint32_t u32() { return std::uint32_t(u16()) | (std::uint32_t(u16()) << 16); }

    // A part whose length is a 16-bit prefix (cut to what is left).
    std::span<const std::uint8_t> part()
    {
        std::size_t n = u16();
        if (n > bytes_.size())
            n = bytes_.size();
        auto p = bytes_.first(n);
        bytes_ = bytes_.subspan(n);
        return p;
    }
    std::span<const std::uint8_t> rest()
    {
        auto p = bytes_;
        bytes_ = {};
        return p;
    }

private:
    std::span<const std::uint8_t> bytes_;
};

inline std::string_view asText(std::span<const std::uint8_t> b)
{
    return {reinterpret_cast<const char*>(b.data()), b.size()};
}
inline std::vector<std::uint8_t> asVector(std::span<const std::uint8_t> b) { return {b.begin(), b.end()}; }

// A folder of this process's own under the temp directory, made on first use.
std::string scratchDir();
// Writes bytes to name inside the scratch folder and returns the full path.
std::string writeScratch(const std::string& name, std::span<const std::uint8_t> bytes);
std::vector<std::uint8_t> readScratch(const std::string& path);

} // namespace fuzz
