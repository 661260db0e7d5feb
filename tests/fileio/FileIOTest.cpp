#include "model/FileIO.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace model::fileio;

namespace {

class FileIOTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() / ("fileio-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override
    {
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir_);
    }
    std::string path(const char* name) const { return (dir_ / name).string(); }
    static void put(const std::string& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }
    static std::string get(const std::string& p)
    {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::size_t entries() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), {})); }

    fs::path dir_;
};

std::vector<std::uint8_t> bytesOf(const std::string& s) { return {s.begin(), s.end()}; }

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
    put(path("a.air"), std::string("\0\1\2abc", 6));
    std::vector<std::uint8_t> out{9};
    ASSERT_FALSE(readFile(path("a.air"), out));
    EXPECT_EQ(out, bytesOf(std::string("\0\1\2abc", 6)));

    std::vector<std::uint8_t> untouched{7, 7};
    Error e = readFile(path("missing.air"), untouched);
    EXPECT_EQ(e.code, ENOENT);
    EXPECT_EQ(e.message, path("missing.air") + " was not found.");
    EXPECT_EQ(untouched, (std::vector<std::uint8_t>{7, 7}));

    e = readFile(dir_.string(), untouched);
    EXPECT_EQ(e.code, EISDIR);
    EXPECT_EQ(untouched.size(), 2u);
}

TEST_F(FileIOTest, AtomicWriteReplacesContentKeepsModeAndLeavesNoTemporary)
{
    put(path("a.air"), "old contents");
    ::chmod(path("a.air").c_str(), 0640);
    ASSERT_FALSE(writeFileAtomic(path("a.air"), bytesOf("new")));
    EXPECT_EQ(get(path("a.air")), "new");
    struct stat st {};
    ::stat(path("a.air").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(entries(), 1u);

    ASSERT_FALSE(writeFileAtomic(path("fresh.air"), {}));
    EXPECT_TRUE(exists(path("fresh.air")));
    EXPECT_EQ(get(path("fresh.air")), "");
}

TEST_F(FileIOTest, AtomicWriteThroughSymlinkKeepsTheLink)
{
    put(path("target.air"), "old");
    fs::create_symlink(path("target.air"), path("link.air"));
    ASSERT_FALSE(writeFileAtomic(path("link.air"), bytesOf("new")));
    EXPECT_TRUE(fs::is_symlink(path("link.air")));
    EXPECT_EQ(get(path("target.air")), "new");
}

TEST_F(FileIOTest, FailedWritesLeaveTheOldFileIntactAndReportTheCause)
{
    put(path("a.air"), "precious");
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
    EXPECT_EQ(get(path("a.air")), "precious");
    EXPECT_EQ(entries(), 1u);

    // I/O error on the very first write.
    g_writesBeforeFailure = 0;
    g_writeErrno = EIO;
    {
        ScopedOps scope(faulty);
        EXPECT_EQ(writeFileAtomic(path("a.air"), bytesOf("x")).code, EIO);
    }
    EXPECT_EQ(get(path("a.air")), "precious");

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
    EXPECT_EQ(get(path("a.air")), "precious");
    EXPECT_EQ(entries(), 1u);

    // Short writes alone are not a failure.
    g_writesBeforeFailure = 1000;
    {
        ScopedOps scope(faulty);
        ASSERT_FALSE(writeFileAtomic(path("a.air"), bytesOf("0123456789")));
    }
    EXPECT_EQ(get(path("a.air")), "0123456789");
}

TEST_F(FileIOTest, RefusesDirectoriesReadOnlyFilesAndMissingFolders)
{
    fs::create_directory(path("sub"));
    EXPECT_EQ(writeFileAtomic(path("sub"), bytesOf("x")).code, EISDIR);
    EXPECT_TRUE(fs::is_directory(path("sub")));

    put(path("ro.air"), "keep");
    ::chmod(path("ro.air").c_str(), 0444);
    Error e = writeFileAtomic(path("ro.air"), bytesOf("x"));
    EXPECT_EQ(e.code, EACCES);
    EXPECT_EQ(e.message, "Unable to write to " + path("ro.air") + ", it is read-only or opened by someone else.");
    EXPECT_EQ(get(path("ro.air")), "keep");

    e = writeFileAtomic(path("nowhere/a.air"), bytesOf("x"));
    EXPECT_EQ(e.code, ENOENT);
    EXPECT_EQ(e.message, path("nowhere") + " was not found.");
}

TEST_F(FileIOTest, RenameAndRemoveReportFailures)
{
    put(path("a"), "1");
    ASSERT_FALSE(renameFile(path("a"), path("b")));
    EXPECT_FALSE(exists(path("a")));
    EXPECT_EQ(get(path("b")), "1");
    EXPECT_EQ(renameFile(path("a"), path("c")).code, ENOENT);
    ASSERT_FALSE(removeFile(path("b")));
    EXPECT_EQ(removeFile(path("b")).code, ENOENT);
}
