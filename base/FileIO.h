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

namespace base::fileio {

struct Error {
    int code = 0; // errno of the failing call; 0 = success
    std::string message; // empty on success
    explicit operator bool() const { return code != 0; }
};

// What a file was when it was last read or written: which file (device and
// inode: a rename over the path gives another one) and its size and
// modification time (a write in place changes them).
struct FileIdentity {
    bool valid = false;
    dev_t device = 0;
    ino_t inode = 0;
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The identity of the file path names now (links followed); invalid when
// there is none.
FileIdentity identify(const std::string& path);

// Reads the whole file into out. Only regular files are read: folders, FIFOs
// and devices are refused at once (a FIFO never blocks the caller), and so is
// a file too large for memory. out is untouched on failure. identity, when
// given, receives the identity of the file read.
Error readFile(const std::string& path, std::vector<std::uint8_t>& out, FileIdentity* identity = nullptr);

// A new version of a file, built under a temporary name beside it and put in
// its place by one rename, so that the name always holds either the old or
// the whole new contents.
//
// A symbolic link is followed: its target is replaced and the link stays.
// The new file gets the old one's owner and group (where the process may set
// them), permission bits and extended attributes. The temporary is named
// ".<name>.XXXXXX" (cut to fit the longest file name) and locked while it is
// written; temporaries of the same file left by a killed run (unlocked) are
// removed when the next one is created. Destroying an uncommitted
// ReplaceFile removes its temporary.
class ReplaceFile {
public:
    ReplaceFile() = default;
    ~ReplaceFile() { discard(); }
    ReplaceFile(const ReplaceFile&) = delete;
    ReplaceFile& operator=(const ReplaceFile&) = delete;

    // Prepares the replacement of path. Refuses folders and other files that
    // are not regular files. The temporary is named after temporaryFor when
    // given (a file in the same folder), else after the target.
    Error open(const std::string& path, const std::string& temporaryFor = {});
    // The owner, mode and attributes that flush() gives the new file: by
    // default the replaced file's.
    void takeMetadataFrom(std::string path) { metadataFrom_ = std::move(path); }
    Error write(std::span<const std::uint8_t> bytes);
    // Flushes the contents to disk; after it the temporary is complete.
    Error flush();
    // Renames the temporary over the target and makes the rename durable.
    // With noReplace an existing target is never replaced (EEXIST).
    Error commit(bool noReplace = false);
    void discard();

    // The file that is replaced (symbolic links resolved).
    const std::string& target() const { return target_; }
    const std::string& temporary() const { return temp_; }
    // The target as it was at open(); invalid when it did not exist.
    const FileIdentity& previous() const { return previous_; }
    unsigned previousLinks() const { return links_; }
    // The identity of the new file; valid after flush().
    const FileIdentity& written() const { return written_; }

private:
    std::string requested_, target_, temp_, metadataFrom_;
    FileIdentity previous_, written_;
    unsigned links_ = 0;
    int fd_ = -1;
    bool committed_ = false;
};

// Writes bytes to path through a ReplaceFile. A file without any write
// permission and a file with other names (hard links, which a rename would
// leave with the old contents) are refused. written, when given, receives
// the identity of the new file.
Error writeFileAtomic(
        const std::string& path, std::span<const std::uint8_t> bytes, FileIdentity* written = nullptr);

// Gives the existing file `from` the further name `to` without touching
// `from`: a hard link, or where the file system has none, a complete copy
// written under a temporary name first. Never replaces an existing `to`. The
// folder is flushed, so the new name survives a crash.
Error addName(const std::string& from, const std::string& to);

// The temporary-name prefix of path: "." + its file name cut so that the
// prefix and the 7 characters after it (".XXXXXX") fit in a file name.
std::string temporaryPrefix(const std::string& path);
// Removes temporaries of path (same prefix) that no running writer holds.
// Returns how many it removed.
int removeStaleTemporaries(const std::string& path);

// The same, for bytes that come in pieces: open() (with the refusals of
// writeFileAtomic), any number of write()s, then commit(). Until commit()
// succeeds nothing is seen under path; an object destroyed without it
// removes its temporary file. The first error sticks.
class AtomicWriter {
public:
    Error open(const std::string& path);
    Error write(std::span<const std::uint8_t> bytes);
    Error commit();
    // The identity of the new file; valid after commit().
    const FileIdentity& written() const { return file_.written(); }

private:
    ReplaceFile file_;
    Error failed_;
};

Error renameFile(const std::string& from, const std::string& to);
Error removeFile(const std::string& path);
bool exists(const std::string& path);
// What path names, links followed.
enum class FileKind { Missing, Regular, Folder, Other };
FileKind kindOf(const std::string& path);
// An existing file without any write permission bit.
bool isReadOnly(const std::string& path);
// Flushes a folder so that the names created or changed in it last.
Error syncFolder(const std::string& folder);

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
    int (*link)(const char* from, const char* to);
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

} // namespace base::fileio
