#pragma once
// Fault injection through base::fileio's seam: one plan, set per test, that
// the replacement system calls consult. Calls the plan does not break go to
// the real system.
#include "base/FileIO.h"

#include <cerrno>
#include <cstddef>
#include <fcntl.h>
#include <optional>
#include <string>
#include <unistd.h>

namespace hostile {

struct FaultPlan {
    int openForWriteErrno = 0;          // O_CREAT opens fail (read-only folder, full inode table)
    int openForReadErrno = 0;           // plain opens fail
    long writeBudget = -1;              // bytes written before writes fail; -1 = no limit
    int writeErrno = ENOSPC;
    int fsyncErrno = 0;
    int closeErrno = 0;
    int renameErrno = 0;
    int readErrno = 0;                  // every read fails
    std::optional<std::string> vanishOnOpen; // this file is removed just before an open
    int opens = 0, writes = 0, renames = 0, unlinks = 0;
};

inline FaultPlan& plan()
{
    static FaultPlan p;
    return p;
}

inline base::fileio::Ops faultyOps()
{
    base::fileio::Ops o = base::fileio::defaultOps();
    o.open = [](const char* path, int flags, mode_t mode) -> int {
        FaultPlan& p = plan();
        ++p.opens;
        if (p.vanishOnOpen && !p.vanishOnOpen->empty()) {
            ::unlink(p.vanishOnOpen->c_str());
            p.vanishOnOpen.reset();
        }
        if ((flags & O_CREAT) && p.openForWriteErrno) {
            errno = p.openForWriteErrno;
            return -1;
        }
        if (!(flags & O_CREAT) && p.openForReadErrno) {
            errno = p.openForReadErrno;
            return -1;
        }
        return ::open(path, flags, mode);
    };
    o.read = [](int fd, void* buf, std::size_t n) -> ssize_t {
        if (plan().readErrno) {
            errno = plan().readErrno;
            return -1;
        }
        return ::read(fd, buf, n);
    };
    o.write = [](int fd, const void* buf, std::size_t n) -> ssize_t {
        FaultPlan& p = plan();
        ++p.writes;
        if (p.writeBudget >= 0) {
            if (p.writeBudget == 0) {
                errno = p.writeErrno;
                return -1;
            }
            // A short write up to the budget, as a filling disk gives.
            if (long(n) > p.writeBudget)
                n = std::size_t(p.writeBudget);
            ssize_t w = ::write(fd, buf, n);
            if (w > 0)
                p.writeBudget -= w;
            return w;
        }
        return ::write(fd, buf, n);
    };
    o.fsync = [](int fd) -> int {
        if (plan().fsyncErrno) {
            errno = plan().fsyncErrno;
            return -1;
        }
        return ::fsync(fd);
    };
    o.close = [](int fd) -> int {
        int r = ::close(fd);
        if (plan().closeErrno) {
            errno = plan().closeErrno;
            return -1;
        }
        return r;
    };
    o.rename = [](const char* from, const char* to) -> int {
        FaultPlan& p = plan();
        ++p.renames;
        if (p.renameErrno) {
            errno = p.renameErrno;
            return -1;
        }
        return ::rename(from, to);
    };
    o.unlink = [](const char* path) -> int {
        ++plan().unlinks;
        return ::unlink(path);
    };
    return o;
}

// Installs faultyOps() with a fresh plan for the lifetime of the object.
class Faults {
public:
    Faults() : scoped_(faultyOps()) { plan() = FaultPlan{}; }
    ~Faults() { plan() = FaultPlan{}; }

private:
    base::fileio::ScopedOps scoped_;
};

} // namespace hostile
