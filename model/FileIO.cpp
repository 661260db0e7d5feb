#include "model/FileIO.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace model::fileio {

namespace {

int sysOpen(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }

Ops& current()
{
    static Ops table = defaultOps();
    return table;
}

Error fail(int err, const std::string& path) { return Error{err ? err : EIO, describe(err ? err : EIO, path)}; }

// Writes all of n bytes, resuming after short writes and EINTR.
int writeAll(int fd, const std::uint8_t* p, std::size_t n)
{
    while (n > 0) {
        ssize_t w = current().write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (w == 0) return EIO;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return 0;
}

std::string folderOf(const std::string& path)
{
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string tempNameFor(const std::string& path)
{
    static std::mt19937_64 rng{std::random_device{}()};
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string name = path + ".tmp-";
    for (int i = 0; i < 8; ++i) name += digits[rng() % 36];
    return name;
}

} // namespace

Ops defaultOps()
{
    return Ops{sysOpen, ::read, ::write, ::fsync, ::close, ::rename, ::unlink};
}

Ops& ops() { return current(); }

ScopedOps::ScopedOps(const Ops& replacement) : saved_(current()) { current() = replacement; }
ScopedOps::~ScopedOps() { current() = saved_; }

std::string describe(int err, const std::string& path)
{
    switch (err) {
    case 0: return {};
    case ENOENT: return path + " was not found.";
    case EACCES:
    case EPERM: return "Access to " + path + " was denied.";
    case EROFS: return "Unable to write to " + path + ", it is read-only or opened by someone else.";
    case ENOSPC:
    case EDQUOT: return "Destination disk drive is full.";
    case EISDIR: return path + " is a folder, not a file.";
    case EBUSY:
    case ETXTBSY: return "A sharing violation occurred while accessing " + path + ".";
    case ENAMETOOLONG: return path + " has a name that is too long.";
    case ENOTDIR: return path + " was not found.";
    default: return "An error occurred while accessing " + path + ": " + std::strerror(err) + ".";
    }
}

Error readFile(const std::string& path, std::vector<std::uint8_t>& out)
{
    int fd = current().open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0) return fail(errno, path);
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        current().close(fd);
        return fail(EISDIR, path);
    }
    std::vector<std::uint8_t> bytes;
    if (st.st_size > 0) bytes.reserve(static_cast<std::size_t>(st.st_size));
    std::uint8_t chunk[65536];
    for (;;) {
        ssize_t r = current().read(fd, chunk, sizeof chunk);
        if (r < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            current().close(fd);
            return fail(err, path);
        }
        if (r == 0) break;
        bytes.insert(bytes.end(), chunk, chunk + r);
    }
    current().close(fd);
    out = std::move(bytes);
    return {};
}

Error writeFileAtomic(const std::string& requested, std::span<const std::uint8_t> bytes)
{
    AtomicWriter out;
    if (auto e = out.open(requested)) return e;
    if (auto e = out.write(bytes)) return e;
    return out.commit();
}

AtomicWriter::~AtomicWriter() { discard(); }

void AtomicWriter::discard()
{
    if (fd_ >= 0) current().close(fd_);
    if (!temp_.empty()) current().unlink(temp_.c_str());
    fd_ = -1;
    temp_.clear();
}

Error AtomicWriter::open(const std::string& requested)
{
    discard();
    failed_ = {};
    requested_ = requested;
    // Write through a symbolic link to its target rather than replacing the link.
    path_ = requested;
    if (char* real = ::realpath(requested.c_str(), nullptr)) {
        path_ = real;
        std::free(real);
    }
    struct stat st {};
    mode_t mode = 0666;  // narrowed by the umask, as for any new file
    if (::stat(path_.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return failed_ = fail(EISDIR, requested);
        // A file without write permission is kept as the user protected it,
        // even though renaming over it would succeed.
        if ((st.st_mode & 0222) == 0)
            return failed_ = Error{EACCES, "Unable to write to " + requested +
                                               ", it is read-only or opened by someone else."};
        mode = st.st_mode & 07777;
    }
    std::string temp = tempNameFor(path_);
    fd_ = current().open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd_ < 0) {
        int err = errno;
        // Report the user's file, not our temporary name.
        return failed_ = fail(err, err == ENOENT ? folderOf(requested) : requested);
    }
    temp_ = temp;
    if (mode != 0666) ::fchmod(fd_, mode);
    return {};
}

Error AtomicWriter::write(std::span<const std::uint8_t> bytes)
{
    if (failed_) return failed_;
    if (fd_ < 0) return failed_ = fail(EBADF, requested_);
    if (int err = writeAll(fd_, bytes.data(), bytes.size())) {
        failed_ = fail(err, requested_);
        discard();
    }
    return failed_;
}

Error AtomicWriter::commit()
{
    if (failed_) return failed_;
    if (fd_ < 0) return failed_ = fail(EBADF, requested_);
    int err = 0;
    if (current().fsync(fd_) != 0) err = errno;
    if (current().close(fd_) != 0 && !err) err = errno;
    fd_ = -1;
    if (!err && current().rename(temp_.c_str(), path_.c_str()) != 0) err = errno;
    if (err) {
        failed_ = fail(err, requested_);
        discard();
        return failed_;
    }
    temp_.clear();
    // Make the rename itself durable.
    int dir = ::open(folderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}

Error renameFile(const std::string& from, const std::string& to)
{
    if (current().rename(from.c_str(), to.c_str()) != 0) return fail(errno, errno == ENOENT ? from : to);
    return {};
}

Error removeFile(const std::string& path)
{
    if (current().unlink(path.c_str()) != 0) return fail(errno, path);
    return {};
}

bool exists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

} // namespace model::fileio
