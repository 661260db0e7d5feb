#pragma once
// Where the command line's dumps and logs go: "-" (and /dev/stdout) is the
// standard output; anything that is not a regular file (a device, a FIFO) is
// written in place; a regular file is replaced atomically.
#include "base/FileIO.h"

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>

namespace patchwise {

// True for "-" and the names of the process's own standard output.
bool isStandardOutput(const std::string& path);

// True when a dump or log aimed at path is written directly instead of being
// replaced by a rename: the standard output, or an existing device or FIFO.
bool writesInPlace(const std::string& path);

// standardOutput: the stream "-" stands for (std::cout when null).
base::fileio::Error writeOutput(
        const std::string& path, std::span<const std::uint8_t> bytes, std::ostream* standardOutput = nullptr);
inline base::fileio::Error writeOutput(
        const std::string& path, std::string_view text, std::ostream* standardOutput = nullptr)
{
    return writeOutput(
            path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), standardOutput);
}

} // namespace patchwise
