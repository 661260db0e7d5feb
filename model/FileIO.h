#pragma once
// Whole-file reads and atomic writes, with a seam through which tests inject
// faults (a full disk, a denied rename, a file that vanishes).
//
// Every operation returns an Error whose message is a sentence for the user
// that names the file and the cause, e.g. "Access to /a/b.air was denied.".

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <sys/types.h>
#include <vector>

namespace model::fileio {

struct Error {
    int code = 0;          // errno of the failing call; 0 = success
    std::string message;   // empty on success
    explicit operator bool() const { return code != 0; }
};

// Reads the whole file into out. Refuses directories; out is untouched on failure.
Error readFile(const std::string& path, std::vector<std::uint8_t>& out);

// Writes bytes to a temporary file beside path, flushes it to disk and renames
// it over path. On any failure the temporary is removed and path is untouched.
// An existing file's permission bits are kept.
Error writeFileAtomic(const std::string& path, std::span<const std::uint8_t> bytes);

// The same, for bytes that come in pieces: open(), any number of write()s,
// then commit(). Until commit() succeeds nothing is seen under path; an
// object destroyed without it removes its temporary file.
class AtomicWriter {
public:
    AtomicWriter() = default;
    ~AtomicWriter();
    AtomicWriter(const AtomicWriter&) = delete;
    AtomicWriter& operator=(const AtomicWriter&) = delete;

    Error open(const std::string& path);
    Error write(std::span<const std::uint8_t> bytes);
    Error commit();

private:
    void discard();
    std::string requested_;
    std::string path_;
    std::string temp_;
    int fd_ = -1;
    Error failed_;
};

Error renameFile(const std::string& from, const std::string& to);
Error removeFile(const std::string& path);
bool exists(const std::string& path);

// The user-facing text for errno value err on path.
std::string describe(int err, const std::string& path);

// The system calls behind the functions above. Tests swap entries to inject
// faults; production code never touches this.
struct Ops {
    int (*open)(const char* path, int flags, mode_t mode);
    ssize_t (*read)(int fd, void* buf, std::size_t n);
    ssize_t (*write)(int fd, const void* buf, std::size_t n);
    int (*fsync)(int fd);
    int (*close)(int fd);
    int (*rename)(const char* from, const char* to);
    int (*unlink)(const char* path);
};

Ops& ops();
Ops defaultOps();

// Installs a table for the lifetime of the object, then restores the previous one.
class ScopedOps {
public:
    explicit ScopedOps(const Ops& replacement);
    ~ScopedOps();
    ScopedOps(const ScopedOps&) = delete;
    ScopedOps& operator=(const ScopedOps&) = delete;

private:
    Ops saved_;
};

} // namespace model::fileio
