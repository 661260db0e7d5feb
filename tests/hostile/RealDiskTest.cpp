// The update and the editor's save on real file systems that fail for real:
// a tmpfs too small for the new file, one out of inodes, one remounted
// read-only; and files that are links, FIFOs, protected or very long named.
// Whatever happens, the AIR name holds the old or the whole new bytes, the
// backup chain is right and no temporary is left behind.
#include "HostileSupport.h"
#include "SmallDisk.h"

#include "base/FileIO.h"
#include "model/CTLDoc.h"
#include "tool/Dump.h"
#include "tool/Update.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace hostile;
using namespace airtest;
using namespace patchwise;

namespace {

Bytes bigAir(std::size_t bytes)
{
    Bytes b = concat({record(0x1F5, {'o', 'l', 'd', 0}), record(0x341, Bytes(64, 0))});
    Bytes filler(bytes, 0x5A);
    return concat({b, record(0x999, filler)});
}

const char* kDefinitions = "[Records]\n341=Lift,record\n1f5=Name,text\n[341]\n1=0,int32,Count\n";
const char* kScript = "field 341 0 int32 7\ntext 1f5 New name\n";

struct Update {
    std::string air, script, defs, log;
    std::string error;
    int run()
    {
        ToolDefinitions d;
        UpdateOptions o;
        o.logPath = log;
        o.time = 1700000000;
        error.clear();
        return applyUpdateScript(air, script, defs, d, o, &error);
    }
};

// Sets up an update of `air` with its script, definitions and log in `dir`.
Update prepare(const std::string& dir, const std::string& airName, const Bytes& bytes)
{
    Update u{dir + "/" + airName, dir + "/script.txt", dir + "/tarlo.ini", dir + "/amod_log.txt", {}};
    writeBytes(u.air, bytes);
    writeText(u.script, kScript);
    writeText(u.defs, kDefinitions);
    return u;
}

// Names that start with "." are temporaries here.
bool noTemporaries(const fs::path& dir)
{
    for (const std::string& n : namesIn(dir))
        if (n[0] == '.') return false;
    return true;
}

} // namespace

TEST(RealDisk, FullDiskLeavesTheAirFileAndNoTemporary)
{
    SmallDisk disk("full", 1 << 20);
    if (!disk.mounted()) GTEST_SKIP() << disk.why();
    // 600 KB: the old file fits, a second copy does not.
    const Bytes original = bigAir(600 * 1024);
    Update u = prepare(disk.path().string(), "plane.air", original);
    EXPECT_EQ(u.run(), 1);
    EXPECT_EQ(u.error, "Destination disk drive is full.");
    EXPECT_EQ(readBytes(u.air), original);
    EXPECT_EQ(namesIn(disk.path()), (std::vector<std::string>{"plane.air", "script.txt", "tarlo.ini"}));

    // The editor's save of the same file on the same disk.
    model::CTLDoc doc;
    ASSERT_FALSE(doc.load(u.air));
    doc.setModified();
    base::fileio::Error e = doc.save(u.air);
    EXPECT_EQ(e.message, "Destination disk drive is full.");
    EXPECT_TRUE(doc.isModified());
    EXPECT_EQ(readBytes(u.air), original);
    EXPECT_TRUE(noTemporaries(disk.path()));

    // With room for one more copy both go through; the backup costs no room.
    const Bytes smaller = bigAir(400 * 1024);
    writeBytes(u.air, smaller);
    ASSERT_EQ(u.run(), 0) << u.error;
    EXPECT_EQ(readBytes(u.air + ".001"), smaller);
    EXPECT_NE(readBytes(u.air), smaller);
    EXPECT_TRUE(noTemporaries(disk.path()));
}

TEST(RealDisk, NoInodesOrAReadOnlyDiskChangeNothing)
{
    {
        // Room for bytes, not for names: the temporary cannot be created.
        SmallDisk disk("inodes", 1 << 20);
        if (!disk.mounted()) GTEST_SKIP() << disk.why();
        ASSERT_EQ(::mount("tarlo-test", disk.path().c_str(), "tmpfs", MS_REMOUNT, "nr_inodes=5"), 0);
        const Bytes original = bigAir(1000);
        Update u = prepare(disk.path().string(), "plane.air", original);
        // The root folder and three files: one inode is left, the log's
        // temporary would need a second one.
        EXPECT_EQ(u.run(), 1);
        EXPECT_FALSE(u.error.empty());
        EXPECT_EQ(readBytes(u.air), original);
        EXPECT_EQ(namesIn(disk.path()), (std::vector<std::string>{"plane.air", "script.txt", "tarlo.ini"}));
    }
    SmallDisk disk("readonly", 1 << 20);
    const Bytes original = bigAir(1000);
    Update u = prepare(disk.path().string(), "plane.air", original);
    u.log = (fs::temp_directory_path() / ("tarlo-ro-log-" + std::to_string(::getpid()))).string();
    ASSERT_EQ(::mount("tarlo-test", disk.path().c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr), 0);
    EXPECT_EQ(u.run(), 1);
    EXPECT_EQ(u.error, "Unable to write to " + u.air + ", it is read-only or opened by someone else.");
    EXPECT_EQ(base::fileio::writeFileAtomic(u.air, Bytes{1}).code, EROFS);
    EXPECT_EQ(readBytes(u.air), original);
    EXPECT_FALSE(fs::exists(u.log));
}

TEST(UpdateFiles, SymlinkIsFollowedAndHardLinksRefused)
{
    TempDir dir("links");
    const Bytes original = bigAir(100);
    fs::create_directory(dir.dir() / "real");
    Update u = prepare(dir.path(), "link.air", {});
    fs::remove(u.air);
    writeBytes(dir.file("real/plane.air"), original);
    fs::create_symlink("real/plane.air", u.air);
    ASSERT_EQ(u.run(), 0) << u.error;
    EXPECT_TRUE(fs::is_symlink(u.air));
    EXPECT_EQ(readBytes(dir.file("real/plane.air.001")), original);
    EXPECT_NE(readBytes(dir.file("real/plane.air")), original);
    EXPECT_EQ(namesIn(dir.dir() / "real"), (std::vector<std::string>{"plane.air", "plane.air.001"}));
    EXPECT_FALSE(fs::exists(u.air + ".001"));

    // A second name (hard link) would keep the old bytes: refused, and said why.
    Update h = prepare(dir.path(), "hard.air", original);
    ASSERT_EQ(::link(h.air.c_str(), dir.file("other.air").c_str()), 0);
    EXPECT_EQ(h.run(), 1);
    EXPECT_EQ(h.error, h.air + " has 2 names (hard links); the update would leave the other names with the old "
                               "contents. Update a copy of its own.");
    EXPECT_EQ(readBytes(h.air), original);
    EXPECT_FALSE(fs::exists(h.air + ".001"));
}

TEST(UpdateFiles, AnUpdateStoppedBeforeItsRenameIsFinishedByTheNext)
{
    TempDir dir("resume");
    const Bytes original = bigAir(100);
    Update u = prepare(dir.path(), "plane.air", original);
    writeBytes(u.air + ".001", {1});
    // What a kill between the backup link and the rename leaves: the next
    // backup is another name of the AIR file.
    ASSERT_EQ(::link(u.air.c_str(), (u.air + ".002").c_str()), 0);
    ASSERT_EQ(u.run(), 0) << u.error;
    EXPECT_EQ(readBytes(u.air + ".001"), Bytes{1});
    EXPECT_EQ(readBytes(u.air + ".002"), original);
    EXPECT_FALSE(fs::exists(u.air + ".003"));
    EXPECT_FALSE(fs::equivalent(u.air, u.air + ".002"));
    // And the next one goes on with .003.
    const Bytes second = readBytes(u.air);
    ASSERT_EQ(u.run(), 0) << u.error;
    EXPECT_EQ(readBytes(u.air + ".003"), second);
}

TEST(UpdateFiles, LogsAndDumpsNeverReplaceABackup)
{
    TempDir dir("backups");
    const Bytes original = bigAir(100);
    Update u = prepare(dir.path(), "plane.air", original);
    writeBytes(u.air + ".001", {1});
    fs::create_symlink("plane.air.001", dir.file("alias.txt"));
    ASSERT_EQ(::link((u.air + ".001").c_str(), dir.file("hard.txt").c_str()), 0);
    fs::create_directory(dir.dir() / "sub");
    const std::vector<std::string> refused = {
            u.air + ".001", // an existing backup
            u.air + ".002", // the one this update makes
            u.air + ".017", // one a later update makes
            (dir.dir() / "sub" / ".." / "plane.air.001").string(),
            dir.file("alias.txt"), // a link to a backup
            dir.file("hard.txt"), // another name of one
    };
    for (const std::string& log : refused) {
        SCOPED_TRACE(log);
        u.log = log;
        EXPECT_EQ(u.run(), 1);
        EXPECT_EQ(u.error, "The log " + log + " would replace the AIR file, one of its backups or the script.");
        std::string error;
        ToolDefinitions defs;
        EXPECT_EQ(writeDump(u.air, log, u.defs, true, defs, &error), 1);
        EXPECT_FALSE(error.empty());
    }
    EXPECT_EQ(readBytes(u.air), original);
    EXPECT_EQ(readBytes(u.air + ".001"), Bytes{1});
    EXPECT_FALSE(fs::exists(u.air + ".002"));
    // Names that only look alike are fine.
    for (const std::string& log : {u.air + ".01", u.air + ".001.txt", u.air + "x.001"}) {
        SCOPED_TRACE(log);
        u.log = log;
        EXPECT_EQ(u.run(), 0) << u.error;
    }
}

TEST(UpdateFiles, BackupAndNewFileKeepOwnerModeAndAttributes)
{
    TempDir dir("metadata");
    const Bytes original = bigAir(100);
    Update u = prepare(dir.path(), "plane.air", original);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(u.air.c_str(), 4321, 8765), 0);
    }
    ::chmod(u.air.c_str(), 0640);
    const bool xattrs = ::setxattr(u.air.c_str(), "user.origin", "hangar", 6, 0) == 0;
    ASSERT_EQ(u.run(), 0) << u.error;
    for (const std::string& p : {u.air, u.air + ".001"}) {
        SCOPED_TRACE(p);
        struct stat st {};
        ASSERT_EQ(::stat(p.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u);
        if (root) {
            EXPECT_EQ(st.st_uid, 4321u);
            EXPECT_EQ(st.st_gid, 8765u);
        }
        if (xattrs) {
            char v[16] = {};
            EXPECT_EQ(::getxattr(p.c_str(), "user.origin", v, sizeof v), 6);
            EXPECT_STREQ(v, "hangar");
        }
    }
    // A file system without hard links: the backup is a copy, with the same bits.
    base::fileio::Ops ops = base::fileio::defaultOps();
    ops.link = [](const char*, const char*) {
        errno = EPERM;
        return -1;
    };
    const Bytes second = readBytes(u.air);
    {
        base::fileio::ScopedOps scoped(ops);
        ASSERT_EQ(u.run(), 0) << u.error;
    }
    EXPECT_EQ(readBytes(u.air + ".002"), second);
    struct stat st {};
    ::stat((u.air + ".002").c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_nlink, 1u);
    EXPECT_TRUE(noTemporaries(dir.path()));
}

TEST(UpdateFiles, FifosAndLongNames)
{
    TempDir dir("odd");
    Update u = prepare(dir.path(), "plane.air", bigAir(100));
    ASSERT_EQ(::mkfifo(dir.file("pipe.air").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(dir.file("pipe.txt").c_str(), 0600), 0);
    // In a child, so that a FIFO that blocks fails the test instead of hanging it.
    pid_t pid = ::fork();
    if (pid == 0) {
        ::alarm(10);
        Update f = u;
        f.air = dir.file("pipe.air");
        int a = f.run();
        bool airRefused = a == 1 && f.error == f.air + " is not a regular file.";
        f = u;
        f.script = dir.file("pipe.txt");
        int b = f.run();
        bool scriptRefused = b == 1 && f.error == f.script + " is not a regular file.";
        std::string error;
        ToolDefinitions defs;
        bool dumpRefused =
                writeDump(dir.file("pipe.air"), dir.file("out.txt"), u.defs, true, defs, &error) == 1;
        ::_exit(airRefused && scriptRefused && dumpRefused ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    // 247 bytes leave room for ".001"; 255 bytes do not, and say so.
    Update longer = prepare(dir.path(), std::string(243, 'n') + ".air", bigAir(100));
    ASSERT_EQ(longer.run(), 0) << longer.error;
    EXPECT_TRUE(fs::exists(longer.air + ".001"));
    const Bytes original = bigAir(100);
    Update longest = prepare(dir.path(), std::string(251, 'm') + ".air", original);
    EXPECT_EQ(longest.run(), 1);
    EXPECT_EQ(longest.error, "The backup of " + longest.air +
                                 " would need a name longer than the file system allows: give the file a shorter "
                                 "name.");
    EXPECT_EQ(readBytes(longest.air), original);
    EXPECT_TRUE(noTemporaries(dir.path()));
}
