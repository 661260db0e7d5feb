#include "tool/Output.h"

#include <cerrno>
#include <cstring>
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
    if (isStandardOutput(path))
        return true;
    return fio::kindOf(path) == fio::FileKind::Other;
}

namespace {

fio::Error failure(int err, const std::string& path)
{
    return fio::Error{err, fio::describe(err, path)};
}

} // namespace

// A device or FIFO: opened and written as it is. Renaming a temporary file
// over it would put a regular file where the device was.
fio::Error InPlaceOutput::open(const std::string& path)
{
    close();
    path_ = path;
    auto& ops = fio::ops();
    // Without O_NONBLOCK, opening a FIFO waits for a reader for ever.
    int fd = ops.open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK, 0);
    if (fd < 0) {
        if (errno == ENXIO)
            return fio::Error{ENXIO, "Nothing reads from " + path + "; nothing was written to it."};
        return failure(errno, path);
    }
    // Writes then wait for the reader, as they would on any pipe.
    if (const int flags = ::fcntl(fd, F_GETFL); flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    fd_ = fd;
    return {};
}

fio::Error InPlaceOutput::write(std::span<const std::uint8_t> bytes)
{
    if (fd_ < 0)
        return failure(EBADF, path_);
    auto& ops = fio::ops();
    int err = 0;
    for (std::size_t done = 0; done < bytes.size() && !err;) {
        ssize_t n = ops.write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno != EINTR)
                err = errno;
        } else if (n == 0) {
            err = EIO;
        } else {
            done += static_cast<std::size_t>(n);
        }
    }
    if (ops.close(fd_) != 0 && !err)
        err = errno;
    fd_ = -1;
    return err ? failure(err, path_) : fio::Error{};
}

void InPlaceOutput::close()
{
    if (fd_ >= 0)
        fio::ops().close(fd_);
    fd_ = -1;
}

fio::Error writeOutput(
        const std::string& path, std::span<const std::uint8_t> bytes, std::ostream* standardOutput)
{
    if (isStandardOutput(path)) {
        std::ostream& out = standardOutput ? *standardOutput : std::cout;
        errno = 0;
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            // The stream keeps no cause; the failed write left it in errno.
            const int cause = errno;
            return fio::Error{cause ? cause : EIO,
                    cause ? "Unable to write to the standard output: " + std::string(std::strerror(cause))
                                    + "."
                          : "Unable to write to the standard output."};
        }
        return {};
    }
    if (writesInPlace(path)) {
        InPlaceOutput out;
        if (auto e = out.open(path))
            return e;
        return out.write(bytes);
    }
    return fio::writeFileAtomic(path, bytes);
}

} // namespace patchwise
