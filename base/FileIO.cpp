#include "base/FileIO.h"

#include "base/Paths.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <new>
#include <random>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace base::fileio {

using paths::parentFolder;

namespace {

int sysOpen(const char* path, int flags, mode_t mode)
{
    return ::open(path, flags, mode);
}

Ops& current()
{
    static Ops table = defaultOps();
    return table;
}

Error fail(int err, const std::string& path)
{
    return Error{err ? err : EIO, describe(err ? err : EIO, path)};
}

Error notRegular(const std::string& path)
{
    return Error{EINVAL, path + " is not a regular file."};
}

// Writes all of n bytes, resuming after short writes and EINTR.
int writeAll(int fd, const std::uint8_t* p, std::size_t n)
{
    while (n > 0) {
        ssize_t w = current().write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (w == 0)
            return EIO;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return 0;
}

std::string baseNameOf(const std::string& path)
{
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string joinPath(const std::string& folder, const std::string& name)
{
    if (folder == ".")
        return name;
    if (!folder.empty() && folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

constexpr char kTempDigits[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr std::size_t kTempRandom = 6;

FileIdentity identityOf(const struct stat& st)
{
    FileIdentity id;
    id.valid = true;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.size = static_cast<std::int64_t>(st.st_size);
    id.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return id;
}

// Folder fsync is not offered by every file system; only a real I/O error counts.
bool ignorableSyncError(int err)
{
    return err == EINVAL || err == ENOTSUP || err == EROFS || err == EBADF;
}

// Copies the extended attributes of `from` onto fd. Attributes the process may
// not set (another namespace, a file system without them) are left out.
void copyExtendedAttributes(const std::string& from, int fd)
{
    ssize_t size = ::listxattr(from.c_str(), nullptr, 0);
    if (size <= 0)
        return;
    std::vector<char> names(static_cast<std::size_t>(size));
    size = ::listxattr(from.c_str(), names.data(), names.size());
    if (size <= 0)
        return;
    std::vector<char> value;
    for (std::size_t at = 0; at < static_cast<std::size_t>(size);) {
        const char* name = names.data() + at;
        at += std::strlen(name) + 1;
        ssize_t n = ::getxattr(from.c_str(), name, nullptr, 0);
        if (n < 0)
            continue;
        value.resize(static_cast<std::size_t>(n));
        n = ::getxattr(from.c_str(), name, value.data(), value.size());
        if (n < 0)
            continue;
        (void)::fsetxattr(fd, name, value.data(), static_cast<std::size_t>(n), 0);
    }
}

// Asks for huge pages behind the 2 MB-aligned part of a large buffer that is
// about to be filled. Each fresh 4 KB page costs a fault, and under a
// hypervisor the faults, not the copy, were most of the time a large file
// took to read. Only a hint: where the system has no huge pages to give,
// nothing changes.
void adviseHugePages(void* data, std::size_t size)
{
#ifdef MADV_HUGEPAGE
    constexpr std::size_t kHuge = std::size_t(2) << 20;
    if (size < 2 * kHuge)
        return;
    const std::size_t skip = (kHuge - reinterpret_cast<std::uintptr_t>(data) % kHuge) % kHuge;
    const std::size_t length = (size - skip) / kHuge * kHuge;
    if (length > 0)
        (void)::madvise(static_cast<char*>(data) + skip, length, MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
}

} // namespace

Ops defaultOps()
{
    return Ops{sysOpen, ::read, ::write, ::fsync, ::close, ::rename, ::unlink, ::link};
}

Ops& ops()
{
    return current();
}

ScopedOps::ScopedOps(const Ops& replacement) : saved_(current())
{
    current() = replacement;
}
ScopedOps::~ScopedOps()
{
    current() = saved_;
}

std::string readOnlyMessage(const std::string& path)
{
    return "Unable to write to " + path + ", it is read-only or opened by someone else.";
}

std::string describe(int err, const std::string& path)
{
    switch (err) {
    case 0:
        return {};
    case ENOENT:
        return path + " was not found.";
    case EACCES:
    case EPERM:
        return "Access to " + path + " was denied.";
    case EROFS:
        return readOnlyMessage(path);
    case ENOSPC:
    case EDQUOT:
        return "Destination disk drive is full.";
    case EISDIR:
        return path + " is a folder, not a file.";
    case EBUSY:
    case ETXTBSY:
        return "A sharing violation occurred while accessing " + path + ".";
    case ENAMETOOLONG:
        return path + " has a name that is too long.";
    case ENOTDIR:
        return path + " was not found.";
    case ENOMEM:
    case EFBIG:
        return path + " is too large for the memory of this program.";
    default:
        return "An error occurred while accessing " + path + ": " + std::strerror(err) + ".";
    }
}

Error syncFolder(const std::string& folder)
{
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return {}; // a folder we may not open is flushed by the system in its own time
    int err = 0;
    if (current().fsync(dir) != 0 && !ignorableSyncError(errno))
        err = errno;
    ::close(dir);
    return err ? fail(err, folder) : Error{};
}

FileIdentity identify(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    return identityOf(st);
}

Error readFile(const std::string& path, std::vector<std::uint8_t>& out, FileIdentity* identity)
{
    // O_NONBLOCK: opening a FIFO must not wait for a writer. It changes
    // nothing for the regular files that are read.
    int fd = current().open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0);
    if (fd < 0)
        return fail(errno, path);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        int err = errno;
        current().close(fd);
        return fail(err, path);
    }
    if (!S_ISREG(st.st_mode)) {
        current().close(fd);
        return S_ISDIR(st.st_mode) ? fail(EISDIR, path) : notRegular(path);
    }
    std::vector<std::uint8_t> bytes;
    int err = 0;
    try {
        if (st.st_size < 0 || static_cast<std::uint64_t>(st.st_size) > bytes.max_size()
                || static_cast<std::uint64_t>(st.st_size) > static_cast<std::uint64_t>(PTRDIFF_MAX))
            throw std::bad_alloc();
        // Room for the read that finds the end, so a file that does not grow
        // is never copied into a larger block (twice its size at the peak).
        bytes.reserve(static_cast<std::size_t>(st.st_size) + 65536);
        adviseHugePages(bytes.data(), bytes.capacity());
        bytes.resize(static_cast<std::size_t>(st.st_size));
        std::size_t got = 0;
        for (;;) {
            // A file that grows while it is read is read to its new end.
            if (got == bytes.size())
                bytes.resize(bytes.size() + 65536);
            ssize_t r = current().read(fd, bytes.data() + got, bytes.size() - got);
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                err = errno;
                break;
            }
            if (r == 0)
                break;
            got += static_cast<std::size_t>(r);
        }
        bytes.resize(got);
    } catch (const std::bad_alloc&) {
        err = ENOMEM;
    }
    current().close(fd);
    if (err)
        return fail(err, path);
    if (identity)
        *identity = identityOf(st);
    out = std::move(bytes);
    return {};
}

// ---------------------------------------------------------------------------
// Temporaries

std::string temporaryPrefix(const std::string& path)
{
    std::string name = baseNameOf(path);
    const std::size_t room = NAME_MAX - 2 - kTempRandom; // "." + name + "." + random
    if (name.size() > room) {
        std::size_t cut = room;
        // Cut before a UTF-8 continuation byte, not inside a character.
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.resize(cut);
    }
    return "." + name + ".";
}

int removeStaleTemporaries(const std::string& path)
{
    const std::string folder = parentFolder(path);
    const std::string prefix = temporaryPrefix(path);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return 0;
    std::vector<std::string> candidates;
    while (dirent* e = ::readdir(dir)) {
        std::string_view n(e->d_name);
        if (n.size() != prefix.size() + kTempRandom || n.substr(0, prefix.size()) != prefix)
            continue;
        if (n.substr(prefix.size()).find_first_not_of(kTempDigits) != std::string_view::npos)
            continue;
        candidates.emplace_back(n);
    }
    ::closedir(dir);
    int removed = 0;
    for (const std::string& name : candidates) {
        const std::string full = joinPath(folder, name);
        int fd = ::open(full.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            continue;
        struct stat st {
        }, now{};
        // A writer holds the lock on its temporary until it is renamed or
        // removed; a lock that can be taken belongs to a writer that died.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0
                && ::lstat(full.c_str(), &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino) {
            if (current().unlink(full.c_str()) == 0)
                ++removed;
        }
        ::close(fd);
    }
    return removed;
}

// ---------------------------------------------------------------------------
// ReplaceFile

Error ReplaceFile::open(const std::string& path, const std::string& temporaryFor)
{
    discard();
    committed_ = false;
    requested_ = path;
    target_ = path;
    metadataFrom_.clear();
    previous_ = {};
    written_ = {};
    links_ = 0;
    // Replace a symbolic link's target, not the link.
    if (char* real = ::realpath(path.c_str(), nullptr)) {
        target_ = real;
        std::free(real);
    }
    struct stat st {};
    mode_t mode = 0666; // narrowed by the umask, as for any new file
    if (::stat(target_.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return fail(EISDIR, requested_);
        if (!S_ISREG(st.st_mode))
            return notRegular(requested_);
        previous_ = identityOf(st);
        links_ = static_cast<unsigned>(st.st_nlink);
        mode = 0600; // private until flush() gives it the old file's bits
        metadataFrom_ = target_;
    }
    if (baseNameOf(target_).empty())
        return fail(EISDIR, requested_);
    const std::string& tempBase = temporaryFor.empty() ? target_ : temporaryFor;
    removeStaleTemporaries(tempBase);

    static std::mt19937_64 rng{std::random_device{}()};
    const std::string stem = joinPath(parentFolder(tempBase), temporaryPrefix(tempBase));
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = stem;
        for (std::size_t i = 0; i < kTempRandom; ++i)
            name += kTempDigits[rng() % (sizeof kTempDigits - 1)];
        int fd = current().open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd < 0) {
            if (errno == EEXIST || errno == EINTR)
                continue;
            int err = errno;
            // Report the user's file, not our temporary name.
            return fail(err, err == ENOENT ? parentFolder(requested_) : requested_);
        }
        // Another process clearing leftovers may have taken this name between
        // its creation and the lock: then the name is no longer ours.
        struct stat mine {
        }, named{};
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &mine) != 0
                || ::lstat(name.c_str(), &named) != 0 || mine.st_ino != named.st_ino
                || mine.st_dev != named.st_dev) {
            current().close(fd);
            continue;
        }
        fd_ = fd;
        temp_ = name;
        return {};
    }
    return fail(EEXIST, requested_);
}

Error ReplaceFile::write(std::span<const std::uint8_t> bytes)
{
    if (fd_ < 0)
        return fail(EBADF, requested_);
    if (int err = writeAll(fd_, bytes.data(), bytes.size())) {
        discard();
        return fail(err, requested_);
    }
    return {};
}

Error ReplaceFile::flush()
{
    if (fd_ < 0)
        return fail(EBADF, requested_);
    if (!metadataFrom_.empty()) {
        struct stat st {};
        if (::stat(metadataFrom_.c_str(), &st) == 0) {
            // Owner first: changing it clears the set-id bits that the mode then restores.
            // Where the owner may not be given away, the group may still be
            // kept; where neither is allowed, the new file is the writer's.
            if (::fchown(fd_, st.st_uid, st.st_gid) != 0
                    && ::fchown(fd_, static_cast<uid_t>(-1), st.st_gid) != 0) {}
            (void)::fchmod(fd_, st.st_mode & 07777);
            copyExtendedAttributes(metadataFrom_, fd_);
        }
    }
    if (current().fsync(fd_) != 0) {
        int err = errno;
        discard();
        return fail(err, requested_);
    }
    struct stat st {};
    if (::fstat(fd_, &st) == 0)
        written_ = identityOf(st);
    return {};
}

Error ReplaceFile::commit(bool noReplace)
{
    if (fd_ < 0)
        return fail(EBADF, requested_);
    if (!written_.valid)
        if (Error e = flush())
            return e;
    // A second descriptor keeps the lock until the name is renamed away, so
    // that a complete temporary is never taken for a leftover; the close of
    // the first one reports late write errors.
    const int keep = ::dup(fd_);
    const int fd = fd_;
    fd_ = -1;
    auto failWith = [&](int err) {
        current().unlink(temp_.c_str());
        if (keep >= 0)
            ::close(keep);
        return fail(err, requested_);
    };
    if (current().close(fd) != 0)
        return failWith(errno);
    int r;
    if (noReplace) {
        r = ::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, target_.c_str(), RENAME_NOREPLACE);
        if (r != 0 && (errno == EINVAL || errno == ENOSYS)) {
            struct stat st {};
            if (::lstat(target_.c_str(), &st) == 0)
                errno = EEXIST;
            else
                r = current().rename(temp_.c_str(), target_.c_str());
        }
    } else {
        r = current().rename(temp_.c_str(), target_.c_str());
    }
    if (r != 0)
        return failWith(errno);
    committed_ = true;
    if (keep >= 0)
        ::close(keep);
    return syncFolder(parentFolder(target_));
}

void ReplaceFile::discard()
{
    if (fd_ >= 0) {
        // Unlink while the lock is held, so that nobody else removes it meanwhile.
        current().unlink(temp_.c_str());
        current().close(fd_);
        fd_ = -1;
    }
}

Error AtomicWriter::open(const std::string& path)
{
    failed_ = {};
    if ((failed_ = file_.open(path)))
        return failed_;
    if (file_.previous().valid) {
        // A file without write permission is kept as the user protected it,
        // even though renaming over it would succeed.
        if (isReadOnly(file_.target()))
            failed_ = Error{EACCES, readOnlyMessage(path)};
        else if (file_.previousLinks() > 1)
            failed_ = Error{EMLINK,
                    path + " has " + std::to_string(file_.previousLinks())
                            + " names (hard links); writing it would leave the other names with the old "
                              "contents. Save it under a new name instead."};
        if (failed_)
            file_.discard();
    }
    return failed_;
}

Error AtomicWriter::write(std::span<const std::uint8_t> bytes)
{
    if (!failed_)
        failed_ = file_.write(bytes);
    return failed_;
}

Error AtomicWriter::commit()
{
    if (!failed_)
        failed_ = file_.flush();
    if (!failed_)
        failed_ = file_.commit();
    return failed_;
}

Error writeFileAtomic(const std::string& path, std::span<const std::uint8_t> bytes, FileIdentity* written)
{
    AtomicWriter file;
    if (Error e = file.open(path))
        return e;
    if (Error e = file.write(bytes))
        return e;
    if (Error e = file.commit())
        return e;
    if (written)
        *written = file.written();
    return {};
}

Error addName(const std::string& from, const std::string& to)
{
    if (current().link(from.c_str(), to.c_str()) == 0)
        return syncFolder(parentFolder(to));
    const int err = errno;
    // Only a file system without hard links is worth a copy.
    if (err != EPERM && err != EOPNOTSUPP && err != EMLINK && err != ENOSYS && err != EXDEV)
        return fail(err, err == EEXIST ? to : from);
    std::vector<std::uint8_t> bytes;
    if (Error e = readFile(from, bytes))
        return e;
    // The temporary carries the original's prefix, so that a copy cut short
    // by a kill is cleared with the original's own leftovers.
    ReplaceFile copy;
    if (Error e = copy.open(to, from))
        return e;
    copy.takeMetadataFrom(from);
    if (Error e = copy.write(bytes))
        return e;
    if (Error e = copy.flush())
        return e;
    return copy.commit(true);
}

Error renameFile(const std::string& from, const std::string& to)
{
    if (current().rename(from.c_str(), to.c_str()) != 0)
        return fail(errno, errno == ENOENT ? from : to);
    return {};
}

Error removeFile(const std::string& path)
{
    if (current().unlink(path.c_str()) != 0)
        return fail(errno, path);
    return {};
}

bool exists(const std::string& path)
{
    return kindOf(path) != FileKind::Missing;
}

FileKind kindOf(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return FileKind::Missing;
    if (S_ISREG(st.st_mode))
        return FileKind::Regular;
    return S_ISDIR(st.st_mode) ? FileKind::Folder : FileKind::Other;
}

bool isReadOnly(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & 0222) == 0;
}

} // namespace base::fileio
