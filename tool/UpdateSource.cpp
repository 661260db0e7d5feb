#include "tool/UpdateSource.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace patchwise {

namespace fio = base::fileio;

namespace {

// Big enough that a whole file costs few reads, small enough to stay in the
// processor's cache between the read and the use.
constexpr std::size_t kWindow = std::size_t(1) << 20;

} // namespace

UpdateSource::UpdateSource(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)), size_(bytes_.size())
{}

UpdateSource::UpdateSource(UpdateSource&& other) noexcept
        : bytes_(std::move(other.bytes_)), path_(std::move(other.path_)), fd_(std::exchange(other.fd_, -1)),
          size_(std::exchange(other.size_, 0)), window_(std::move(other.window_)), windowAt_(other.windowAt_),
          windowSize_(std::exchange(other.windowSize_, 0))
{}

UpdateSource& UpdateSource::operator=(UpdateSource&& other) noexcept
{
    if (this != &other) {
        close();
        bytes_ = std::move(other.bytes_);
        path_ = std::move(other.path_);
        fd_ = std::exchange(other.fd_, -1);
        size_ = std::exchange(other.size_, 0);
        window_ = std::move(other.window_);
        windowAt_ = other.windowAt_;
        windowSize_ = std::exchange(other.windowSize_, 0);
    }
    return *this;
}

UpdateSource::~UpdateSource()
{
    close();
}

void UpdateSource::close()
{
    if (fd_ >= 0)
        fio::ops().close(fd_);
    fd_ = -1;
}

fio::Error UpdateSource::open(const std::string& path, fio::FileIdentity& identity)
{
    close();
    bytes_.clear();
    size_ = 0;
    windowSize_ = 0;
    path_ = path;
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    const int fd = fio::ops().open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0);
    if (fd < 0) {
        const int err = errno ? errno : EIO;
        return {err, fio::describe(err, path)};
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = errno ? errno : EIO;
        const bool folder = S_ISDIR(st.st_mode);
        fio::ops().close(fd);
        if (folder)
            return {EISDIR, fio::describe(EISDIR, path)};
        if (st.st_mode != 0)
            return {EINVAL, path + " is not a regular file."};
        return {err, fio::describe(err, path)};
    }
    fd_ = fd;
    size_ = static_cast<std::uint64_t>(st.st_size);
    identity = {};
    identity.valid = true;
    identity.device = st.st_dev;
    identity.inode = st.st_ino;
    identity.size = static_cast<std::int64_t>(st.st_size);
    identity.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return {};
}

void UpdateSource::read(std::uint64_t offset, std::span<std::uint8_t> out) const
{
    if (out.empty())
        return; // (an empty span may carry no pointer at all, and memcpy wants one)
    if (fd_ < 0) {
        if (offset > bytes_.size() || out.size() > bytes_.size() - offset)
            throw ReadFailure{};
        std::memcpy(out.data(), bytes_.data() + offset, out.size());
        return;
    }
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
        const int err = errno;
        throw ReadFailure{{err, fio::describe(err, path_)}};
    }
    std::size_t got = 0;
    while (got < out.size()) {
        const ssize_t r = fio::ops().read(fd_, out.data() + got, out.size() - got);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0) {
            const int err = errno;
            throw ReadFailure{{err, fio::describe(err, path_)}};
        }
        if (r == 0)
            throw ReadFailure{};
        got += static_cast<std::size_t>(r);
    }
}

const std::uint8_t* UpdateSource::headerAt(std::uint64_t off)
{
    if (fd_ < 0)
        return bytes_.data() + off;
    if (off < windowAt_ || off + 8 > windowAt_ + windowSize_) {
        if (!window_)
            window_.reset(new std::uint8_t[kWindow]);
        windowSize_ = 0;
        const std::uint64_t n = size_ - off < kWindow ? size_ - off : kWindow;
        read(off, std::span(window_.get(), static_cast<std::size_t>(n)));
        windowAt_ = off;
        windowSize_ = static_cast<std::size_t>(n);
    }
    return window_.get() + (off - windowAt_);
}

} // namespace patchwise
