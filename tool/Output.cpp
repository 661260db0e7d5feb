#include "tool/Output.h"

#include <cerrno>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

namespace patchwise {

namespace fio = base::fileio;

bool isStandardOutput(const std::string& path)
{
    return path == "-" || path == "/dev/stdout" || path == "/dev/fd/1" || path == "/proc/self/fd/1";
}

bool writesInPlace(const std::string& path)
{
    if (isStandardOutput(path)) return true;
    return fio::kindOf(path) == fio::FileKind::Other;
}

namespace {

fio::Error failure(int err, const std::string& path) { return fio::Error{err, fio::describe(err, path)}; }

// A device or FIFO: opened and written as it is. Renaming a temporary file
// over it would put a regular file where the device was.
fio::Error writeInPlace(const std::string& path, std::span<const std::uint8_t> bytes)
{
    auto& ops = fio::ops();
    int fd = ops.open(path.c_str(), O_WRONLY | O_CLOEXEC, 0);
    if (fd < 0) return failure(errno, path);
    int err = 0;
    for (std::size_t done = 0; done < bytes.size() && !err;) {
        ssize_t n = ops.write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno != EINTR) err = errno;
        } else if (n == 0) {
            err = EIO;
        } else {
            done += static_cast<std::size_t>(n);
        }
    }
    if (ops.close(fd) != 0 && !err) err = errno;
    return err ? failure(err, path) : fio::Error{};
}

} // namespace

fio::Error writeOutput(
        const std::string& path, std::span<const std::uint8_t> bytes, std::ostream* standardOutput)
{
    if (isStandardOutput(path)) {
        std::ostream& out = standardOutput ? *standardOutput : std::cout;
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) return fio::Error{EIO, "Unable to write to the standard output."};
        return {};
    }
    if (writesInPlace(path)) return writeInPlace(path, bytes);
    return fio::writeFileAtomic(path, bytes);
}

} // namespace patchwise
