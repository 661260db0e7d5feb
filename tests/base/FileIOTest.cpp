#include "base/FileIO.h"

#include "common/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace base::fileio;
using airtest::namesIn;
using airtest::readText;
using airtest::writeText;

namespace {

class FileIOTest : public ::testing::Test {
protected:
    std::string path(const char* name) const { return dir_.file(name); }
    std::size_t entries() const { return dir_.names().size(); }

    airtest::TempDir dir_{::testing::UnitTest::GetInstance()->current_test_info()->name()};
};

std::vector<std::uint8_t> bytesOf(const std::string& s)
{
    return {s.begin(), s.end()};
}

// Fault injection state shared by the fake calls below.
int g_writesBeforeFailure = 0;
int g_writeErrno = 0;
ssize_t failingWrite(int fd, const void* buf, std::size_t n)
{
    if (g_writesBeforeFailure-- <= 0) {
        errno = g_writeErrno;
        return -1;
    }
    // Short writes: the writer must resume where the system stopped.
    return ::write(fd, buf, n > 3 ? 3 : n);
}
int failingRename(const char*, const char*)
{
    errno = EACCES;
    return -1;
}
int failingFsync(int)
{
    errno = EIO;
    return -1;
}

} // namespace

TEST_F(FileIOTest, ReadsWholeFilesAndRefusesFoldersAndMissingFiles)
{
    writeText(path("a.air"), std::string("\0\1\2abc", 6));
    std::vector<std::uint8_t> out{9};
    ASSERT_FALSE(readFile(path("a.air"), out));
    EXPECT_EQ(out, bytesOf(std::string("\0\1\2abc", 6)));

    std::vector<std::uint8_t> untouched{7, 7};
    Error e = readFile(path("missing.air"), untouched);
    EXPECT_EQ(e.code, ENOENT);
    EXPECT_EQ(e.message, path("missing.air") + " was not found.");
    EXPECT_EQ(untouched, (std::vector<std::uint8_t>{7, 7}));

    e = readFile(dir_.path(), untouched);
    EXPECT_EQ(e.code, EISDIR);
    EXPECT_EQ(untouched.size(), 2u);
}

// A large file (its buffer asks for huge pages) is read whole, and to where
// it ends at the time of the read when it grows or shrinks meanwhile.
namespace {
std::string g_changing;
long g_changeTo = 0;
ssize_t changingRead(int fd, void* buf, std::size_t n)
{
    if (!g_changing.empty()) {
        const int change = ::truncate(g_changing.c_str(), g_changeTo);
        g_changing.clear();
        if (change != 0)
            return -1;
    }
    return ::read(fd, buf, n);
}
} // namespace

TEST_F(FileIOTest, LargeFilesAreReadToTheirEndAsItIsWhenRead)
{
    std::string big(6 * 1024 * 1024 + 3, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = char(i * 7 + i / 4096);
    writeText(path("big.air"), big);
    std::vector<std::uint8_t> out;
    ASSERT_FALSE(readFile(path("big.air"), out));
    EXPECT_TRUE(out == bytesOf(big));

    Ops grows = defaultOps();
    grows.read = changingRead;
    for (const long size : {long(big.size()) + 300000, 5L * 1024 * 1024, 10L}) {
        writeText(path("big.air"), big);
        g_changing = path("big.air");
        g_changeTo = size;
        ScopedOps scoped(grows);
        ASSERT_FALSE(readFile(path("big.air"), out)) << size;
        std::string expected = big;
        expected.resize(std::size_t(size), '\0'); // truncate() extends with zeros
        EXPECT_TRUE(out == bytesOf(expected)) << size;
    }
}

TEST_F(FileIOTest, AtomicWriteReplacesContentKeepsModeAndLeavesNoTemporary)
{
    writeText(path("a.air"), "old contents");
    ::chmod(path("a.air").c_str(), 0640);
    ASSERT_FALSE(writeFileAtomic(path("a.air"), bytesOf("new")));
    EXPECT_EQ(readText(path("a.air")), "new");
    struct stat st {};
    ::stat(path("a.air").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(entries(), 1u);

    ASSERT_FALSE(writeFileAtomic(path("fresh.air"), {}));
    EXPECT_TRUE(exists(path("fresh.air")));
    EXPECT_EQ(readText(path("fresh.air")), "");
}

TEST_F(FileIOTest, AtomicWriteThroughSymlinkKeepsTheLink)
{
    writeText(path("target.air"), "old");
    fs::create_symlink(path("target.air"), path("link.air"));
    ASSERT_FALSE(writeFileAtomic(path("link.air"), bytesOf("new")));
    EXPECT_TRUE(fs::is_symlink(path("link.air")));
    EXPECT_EQ(readText(path("target.air")), "new");
}

TEST_F(FileIOTest, FailedWritesLeaveTheOldFileIntactAndReportTheCause)
{
    writeText(path("a.air"), "precious");
    Ops faulty = defaultOps();
    faulty.write = failingWrite;

    // Disk full after some bytes went out.
    g_writesBeforeFailure = 2;
    g_writeErrno = ENOSPC;
    {
        ScopedOps scope(faulty);
        Error e = writeFileAtomic(path("a.air"), bytesOf("a much longer replacement text"));
        EXPECT_EQ(e.code, ENOSPC);
        EXPECT_EQ(e.message, "Destination disk drive is full.");
    }
    EXPECT_EQ(readText(path("a.air")), "precious");
    EXPECT_EQ(entries(), 1u);

    // I/O error on the very first write.
    g_writesBeforeFailure = 0;
    g_writeErrno = EIO;
    {
        ScopedOps scope(faulty);
        EXPECT_EQ(writeFileAtomic(path("a.air"), bytesOf("x")).code, EIO);
    }
    EXPECT_EQ(readText(path("a.air")), "precious");

    // The flush or the final rename fails.
    Ops badSync = defaultOps();
    badSync.fsync = failingFsync;
    {
        ScopedOps scope(badSync);
        EXPECT_EQ(writeFileAtomic(path("a.air"), bytesOf("x")).code, EIO);
    }
    Ops badRename = defaultOps();
    badRename.rename = failingRename;
    {
        ScopedOps scope(badRename);
        Error e = writeFileAtomic(path("a.air"), bytesOf("x"));
        EXPECT_EQ(e.code, EACCES);
        EXPECT_EQ(e.message, "Access to " + path("a.air") + " was denied.");
    }
    EXPECT_EQ(readText(path("a.air")), "precious");
    EXPECT_EQ(entries(), 1u);

    // Short writes alone are not a failure.
    g_writesBeforeFailure = 1000;
    {
        ScopedOps scope(faulty);
        ASSERT_FALSE(writeFileAtomic(path("a.air"), bytesOf("0123456789")));
    }
    EXPECT_EQ(readText(path("a.air")), "0123456789");
}

TEST_F(FileIOTest, RefusesDirectoriesReadOnlyFilesAndMissingFolders)
{
    fs::create_directory(path("sub"));
    EXPECT_EQ(writeFileAtomic(path("sub"), bytesOf("x")).code, EISDIR);
    EXPECT_TRUE(fs::is_directory(path("sub")));

    writeText(path("ro.air"), "keep");
    ::chmod(path("ro.air").c_str(), 0444);
    Error e = writeFileAtomic(path("ro.air"), bytesOf("x"));
    EXPECT_EQ(e.code, EACCES);
    EXPECT_EQ(e.message,
            "Unable to write to " + path("ro.air") + ", it is read-only or opened by someone else.");
    EXPECT_EQ(readText(path("ro.air")), "keep");

    e = writeFileAtomic(path("nowhere/a.air"), bytesOf("x"));
    EXPECT_EQ(e.code, ENOENT);
    EXPECT_EQ(e.message, path("nowhere") + " was not found.");
}

TEST_F(FileIOTest, RenameAndRemoveReportFailures)
{
    writeText(path("a"), "1");
    ASSERT_FALSE(renameFile(path("a"), path("b")));
    EXPECT_FALSE(exists(path("a")));
    EXPECT_EQ(readText(path("b")), "1");
    EXPECT_EQ(renameFile(path("a"), path("c")).code, ENOENT);
    ASSERT_FALSE(removeFile(path("b")));
    EXPECT_EQ(removeFile(path("b")).code, ENOENT);
}

// ---------------------------------------------------------------------------
// Temporaries, links, metadata, identities and files that are not files.

#include <climits>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

TEST_F(FileIOTest, TemporaryNamesFitTheLongestFileName)
{
    EXPECT_EQ(temporaryPrefix("/x/plane.air"), ".plane.air.");
    EXPECT_EQ(temporaryPrefix("plane.air"), ".plane.air.");
    // 243 to 255 bytes: the prefix is cut so that ".XXXXXX" still fits.
    for (std::size_t n : {243u, 248u, 255u}) {
        SCOPED_TRACE(n);
        const std::string name(n, 'q');
        const std::string prefix = temporaryPrefix("/x/" + name);
        EXPECT_EQ(prefix.size() + 6, std::min(n + 8, std::size_t(NAME_MAX)));
        EXPECT_EQ(prefix.front(), '.');
        EXPECT_EQ(prefix.back(), '.');
        const std::string path = dir_.file(name);
        writeText(path, "old");
        ASSERT_FALSE(writeFileAtomic(path, bytesOf("new")));
        EXPECT_EQ(readText(path), "new");
        EXPECT_EQ(entries(), 1u);
        fs::remove(path);
    }
    // A cut never splits a UTF-8 character.
    std::string utf8(245, 'a');
    for (int i = 0; i < 4; ++i)
        utf8 += "\xC3\xA9"; // é
    const std::string prefix = temporaryPrefix(utf8);
    EXPECT_LE(prefix.size() + 6, std::size_t(NAME_MAX));
    EXPECT_EQ(prefix.substr(prefix.size() - 3), "\xC3\xA9.");
}

TEST_F(FileIOTest, LeftoversOfKilledWritersGoButNotATemporaryInUse)
{
    writeText(path("a.air"), "old");
    // Two leftovers of killed runs, one temporary that a live writer holds
    // locked, and files that merely look alike.
    writeText(path(".a.air.dead01"), "partial");
    writeText(path(".a.air.DEAD02"), "partial");
    writeText(path(".a.air.live03"), "being written");
    writeText(path(".a.air.toolong7"), "not ours");
    writeText(path(".b.air.dead04"), "another file's");
    int held = ::open(path(".a.air.live03").c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);

    ASSERT_FALSE(writeFileAtomic(path("a.air"), bytesOf("new")));
    EXPECT_EQ(readText(path("a.air")), "new");
    EXPECT_EQ(dir_.names(),
            (std::vector<std::string>{".a.air.live03", ".a.air.toolong7", ".b.air.dead04", "a.air"}));
    EXPECT_EQ(readText(path(".a.air.live03")), "being written");

    // The writer ends without renaming: its temporary is a leftover now.
    ::close(held);
    EXPECT_EQ(removeStaleTemporaries(path("a.air")), 1);
    EXPECT_FALSE(fs::exists(path(".a.air.live03")));

    // A writer that is still writing keeps its lock: a second writer of the
    // same file leaves the first one's temporary alone.
    ReplaceFile first;
    ASSERT_FALSE(first.open(path("a.air")));
    ASSERT_FALSE(first.write(bytesOf("first")));
    ASSERT_FALSE(writeFileAtomic(path("a.air"), bytesOf("second")));
    EXPECT_TRUE(fs::exists(first.temporary()));
    ASSERT_FALSE(first.commit());
    EXPECT_EQ(readText(path("a.air")), "first");
    EXPECT_EQ(entries(), 3u); // a.air and the two look-alikes

    // An abandoned writer removes its temporary itself.
    {
        ReplaceFile abandoned;
        ASSERT_FALSE(abandoned.open(path("a.air")));
        ASSERT_FALSE(abandoned.write(bytesOf("half")));
    }
    EXPECT_EQ(entries(), 3u);
}

TEST_F(FileIOTest, NewFileKeepsOwnerModeAndExtendedAttributes)
{
    writeText(path("a.air"), "old");
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(path("a.air").c_str(), 1234, 5678), 0);
    }
    ::chmod(path("a.air").c_str(), 02751);
    const bool xattrs = ::setxattr(path("a.air").c_str(), "user.tarlo.note", "kept", 4, 0) == 0;

    FileIdentity written;
    ASSERT_FALSE(writeFileAtomic(path("a.air"), bytesOf("new"), &written));
    struct stat st {};
    ASSERT_EQ(::stat(path("a.air").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 02751u);
    if (root) {
        EXPECT_EQ(st.st_uid, 1234u);
        EXPECT_EQ(st.st_gid, 5678u);
    }
    if (xattrs) {
        char value[16] = {};
        EXPECT_EQ(::getxattr(path("a.air").c_str(), "user.tarlo.note", value, sizeof value), 4);
        EXPECT_STREQ(value, "kept");
    }
    EXPECT_EQ(written, identify(path("a.air")));
    if (!root || !xattrs)
        GTEST_SKIP() << "owner (root only) or user attributes (file system) not checked";
}

TEST_F(FileIOTest, HardLinksAreRefusedAndSymlinksFollowed)
{
    writeText(path("a.air"), "old");
    ASSERT_EQ(::link(path("a.air").c_str(), path("b.air").c_str()), 0);
    Error e = writeFileAtomic(path("a.air"), bytesOf("new"));
    EXPECT_EQ(e.code, EMLINK);
    EXPECT_EQ(e.message,
            path("a.air")
                    + " has 2 names (hard links); writing it would leave the other names with "
                      "the old contents. Save it under a new name instead.");
    EXPECT_EQ(readText(path("a.air")), "old");
    EXPECT_EQ(entries(), 2u);

    // A chain of links ends at one target, replaced beside itself.
    fs::create_directory(path("real"));
    writeText(path("real/t.air"), "old");
    fs::create_symlink(path("real/t.air"), path("l1.air"));
    fs::create_symlink(path("l1.air"), path("l2.air"));
    ASSERT_FALSE(writeFileAtomic(path("l2.air"), bytesOf("new")));
    EXPECT_TRUE(fs::is_symlink(path("l1.air")));
    EXPECT_TRUE(fs::is_symlink(path("l2.air")));
    EXPECT_EQ(readText(path("real/t.air")), "new");
    EXPECT_EQ(namesIn(dir_.dir() / "real"), std::vector<std::string>{"t.air"});
}

TEST_F(FileIOTest, OnlyRegularFilesAreReadAndFifosNeverBlock)
{
    ASSERT_EQ(::mkfifo(path("pipe.air").c_str(), 0600), 0);
    std::vector<std::uint8_t> out{1};
    // A child guards against a hang: a FIFO opened for reading without a
    // writer would block forever.
    pid_t pid = ::fork();
    if (pid == 0) {
        ::alarm(10);
        std::vector<std::uint8_t> b;
        Error e = readFile(path("pipe.air"), b);
        ::_exit(e.code == EINVAL && e.message == path("pipe.air") + " is not a regular file." ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;

    Error e = readFile("/dev/null", out);
    EXPECT_EQ(e.message, "/dev/null is not a regular file.");
    EXPECT_EQ(out, std::vector<std::uint8_t>{1});
    // Nor is one written over.
    EXPECT_EQ(writeFileAtomic(path("pipe.air"), bytesOf("x")).message,
            path("pipe.air") + " is not a regular file.");
    EXPECT_TRUE(fs::is_fifo(path("pipe.air")));
}

TEST_F(FileIOTest, IdentitySeesReplacementAndWritesInPlace)
{
    writeText(path("a.air"), "one");
    std::vector<std::uint8_t> out;
    FileIdentity read;
    ASSERT_FALSE(readFile(path("a.air"), out, &read));
    EXPECT_TRUE(read.valid);
    EXPECT_EQ(read, identify(path("a.air")));

    // Another program appends in place: same inode, other size.
    std::ofstream(path("a.air"), std::ios::app) << "two";
    FileIdentity appended = identify(path("a.air"));
    EXPECT_EQ(appended.inode, read.inode);
    EXPECT_NE(appended, read);

    // Another program replaces it by a rename: another inode.
    writeText(path("b.air"), "one");
    fs::rename(path("b.air"), path("a.air"));
    EXPECT_NE(identify(path("a.air")).inode, read.inode);
    EXPECT_FALSE(identify(path("gone.air")).valid);
}

int g_linkErrno = 0;
int failingLink(const char*, const char*)
{
    errno = g_linkErrno;
    return -1;
}

TEST_F(FileIOTest, AddNameLinksOrCopiesAndNeverReplaces)
{
    writeText(path("a.air"), "original");
    ::chmod(path("a.air").c_str(), 0604);
    ASSERT_FALSE(addName(path("a.air"), path("a.air.001")));
    EXPECT_TRUE(fs::equivalent(path("a.air"), path("a.air.001")));

    // A file system without hard links: a copy with the same bits.
    Ops noLinks = defaultOps();
    noLinks.link = failingLink;
    g_linkErrno = EPERM;
    {
        ScopedOps scope(noLinks);
        ASSERT_FALSE(addName(path("a.air"), path("a.air.002")));
        // An existing name is never replaced, by the copy either.
        Error e = addName(path("a.air"), path("a.air.001"));
        EXPECT_EQ(e.code, EEXIST);
    }
    EXPECT_FALSE(fs::equivalent(path("a.air"), path("a.air.002")));
    EXPECT_EQ(readText(path("a.air.002")), "original");
    struct stat st {};
    ::stat(path("a.air.002").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0604u);
    EXPECT_EQ(dir_.names(), (std::vector<std::string>{"a.air", "a.air.001", "a.air.002"}));

    // Other failures are reported, nothing is copied.
    g_linkErrno = EACCES;
    {
        ScopedOps scope(noLinks);
        EXPECT_EQ(addName(path("a.air"), path("a.air.003")).code, EACCES);
    }
    EXPECT_FALSE(fs::exists(path("a.air.003")));
}
