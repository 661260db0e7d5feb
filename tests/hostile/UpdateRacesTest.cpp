// The patchwise program against other writers and odd outputs: a process that
// rewrites the AIR file during an update, the definition file or a FIFO
// without a reader as the output, a protected file, a shared sticky folder
// and scripts in other encodings. Exit statuses and messages are checked.
#include "HostileSupport.h"

#include "base/FileIO.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace hostile;
using namespace airtest;

namespace {

const char* kDefinitions = "[Records]\n341=Lift,record\n1f5=Name,text\n[341]\n1=0,int32,Count\n";

// A marker record 0x777 says which version of the file this is.
Bytes version(int n, std::size_t filler = 64)
{
    char text[16];
    std::snprintf(text, sizeof text, "VER%06d", n);
    return concat({record(0x1F5, {'o', 'l', 'd', 0}), record(0x341, Bytes(64, 0)),
            record(0x777, Bytes(text, text + 9)), record(0x999, Bytes(filler, 0x5A))});
}

int versionIn(const Bytes& b)
{
    const std::string s(b.begin(), b.end());
    const auto at = s.find("VER");
    return at == std::string::npos ? -1 : std::stoi(s.substr(at + 3, 6));
}

bool contains(const Bytes& b, const std::string& text)
{
    return std::string(b.begin(), b.end()).find(text) != std::string::npos;
}

class UpdateRaces : public ::testing::Test {
protected:
    UpdateRaces() : dir_(::testing::UnitTest::GetInstance()->current_test_info()->name())
    {
        air_ = dir_.file("plane.air");
        writeBytes(air_, version(0));
        writeText(dir_.file("script.txt"), "field 341 0 int32 7\ntext 1f5 Renamed\n");
        writeText(dir_.file("tarlo.ini"), kDefinitions);
    }

    // Runs patchwise in the test folder (bounded in time: a blocked run is
    // killed and shows as status 124); its standard error is kept.
    int run(const std::string& args, const std::string& prefix = {})
    {
        const std::string cmd = "cd " + dir_.path() + " && " + prefix + " timeout 20 " + TARLO_PATCHWISE_EXE + " "
                + args + " 2>" + dir_.file("err.txt") + " >/dev/null";
        const int status = std::system(cmd.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string err() { return readText(dir_.file("err.txt")); }

    TempDir dir_;
    std::string air_;
};

// Another program writes `bytes` to path: in place, or by a rename over it.
void otherWriter(const std::string& path, const Bytes& bytes, bool inPlace)
{
    const std::string target = inPlace ? path : path + ".other";
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) ::_exit(2);
    if (::write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size())) ::_exit(2);
    ::close(fd);
    if (!inPlace && ::rename(target.c_str(), path.c_str()) != 0) ::_exit(2);
}

} // namespace

TEST_F(UpdateRaces, AnotherWritersVersionIsNeverOverwritten)
{
    // Large enough that an update takes a while, so the writer lands inside it.
    const std::size_t filler = 16u << 20;
    const std::string update = "update --definitions tarlo.ini --log log.txt plane.air script.txt";
    writeBytes(air_, version(0, filler));
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(run(update), 0) << err();
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0);

    std::mt19937 random(28);
    int refused = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (int i = 1; i <= 30 && std::chrono::steady_clock::now() < deadline; ++i) {
        SCOPED_TRACE(i);
        for (const std::string& n : namesIn(dir_.dir()))
            if (n.rfind("plane.air.", 0) == 0) fs::remove(dir_.dir() / n);
        const int mine = 2 * i, theirs = 2 * i + 1;
        writeBytes(air_, version(mine, filler));
        const Bytes other = version(theirs, filler);
        const long delay = long(random() % std::uint64_t(took.count() / 2 + 1));
        const pid_t writer = ::fork();
        if (writer == 0) {
            ::usleep(useconds_t(delay));
            otherWriter(air_, other, i % 2 == 0);
            ::_exit(0);
        }
        const int status = run(update);
        int ws = 0;
        ::waitpid(writer, &ws, 0);
        ASSERT_TRUE(WIFEXITED(ws) && WEXITSTATUS(ws) == 0);
        const Bytes now = readBytes(air_);
        if (status == 0 && now == other) {
            // The writer came after the update had finished.
            EXPECT_EQ(versionIn(readBytes(air_ + ".001")), mine);
        } else if (status == 0) {
            // The update read one version; the backup is that version and
            // the new file is made from it. The other one is not lost.
            const Bytes backup = readBytes(air_ + ".001");
            EXPECT_EQ(versionIn(now), versionIn(backup));
            EXPECT_TRUE(versionIn(backup) == theirs || versionIn(now) == theirs) << versionIn(now);
            EXPECT_TRUE(contains(now, "Renamed"));
        } else {
            ++refused;
            EXPECT_EQ(status, 1);
            EXPECT_NE(err().find("plane.air was changed by another program while the update ran; nothing was "
                                 "written."),
                    std::string::npos)
                    << err();
            EXPECT_EQ(now, other);
            EXPECT_FALSE(fs::exists(air_ + ".001"));
        }
    }
    // The writer lands inside most updates.
    EXPECT_GT(refused, 0);
}

TEST_F(UpdateRaces, DefinitionFileAndFifoWithoutReaderAreRefusedFirst)
{
    const Bytes original = readBytes(air_);
    EXPECT_EQ(run("update --definitions tarlo.ini --log tarlo.ini plane.air script.txt"), 1);
    EXPECT_NE(err().find("The log tarlo.ini would replace the definition file."), std::string::npos) << err();
    EXPECT_EQ(run("dump --definitions tarlo.ini plane.air -o tarlo.ini"), 1);
    EXPECT_NE(err().find("The dump file tarlo.ini would replace the definition file."), std::string::npos) << err();
    fs::create_symlink("tarlo.ini", dir_.file("alias.ini"));
    EXPECT_EQ(run("update --definitions tarlo.ini --log alias.ini plane.air script.txt"), 1);
    EXPECT_EQ(readText(dir_.file("tarlo.ini")), kDefinitions);

    ASSERT_EQ(::mkfifo(dir_.file("pipe").c_str(), 0600), 0);
    EXPECT_EQ(run("update --definitions tarlo.ini --log pipe plane.air script.txt"), 1);
    EXPECT_NE(err().find("Nothing reads from pipe; nothing was written to it."), std::string::npos) << err();
    EXPECT_EQ(run("dump --definitions tarlo.ini plane.air -o pipe"), 1);
    EXPECT_NE(err().find("Nothing reads from pipe"), std::string::npos) << err();
    EXPECT_EQ(readBytes(air_), original);
    EXPECT_FALSE(fs::exists(air_ + ".001"));

    // With a reader the log goes through the FIFO.
    EXPECT_EQ(run("update --definitions tarlo.ini --log pipe plane.air script.txt", "(cat pipe > got.txt &) &&"), 0)
            << err();
    for (int i = 0; i < 100 && readText(dir_.file("got.txt")).find("Renamed") == std::string::npos; ++i)
        ::usleep(50000);
    EXPECT_NE(readText(dir_.file("got.txt")).find("Renamed"), std::string::npos);
    EXPECT_EQ(readBytes(air_ + ".001"), original);
}

TEST_F(UpdateRaces, ReadOnlyFileIsRefusedLikeTheEditorsSave)
{
    const Bytes original = readBytes(air_);
    ASSERT_EQ(::chmod(air_.c_str(), 0444), 0);
    EXPECT_EQ(run("update --definitions tarlo.ini --log log.txt plane.air script.txt"), 1);
    // The save's refusal, word for word.
    const auto save = base::fileio::writeFileAtomic(air_, original);
    ASSERT_TRUE(save);
    EXPECT_EQ(save.message, base::fileio::readOnlyMessage(air_));
    EXPECT_NE(err().find(base::fileio::readOnlyMessage("plane.air")), std::string::npos) << err();
    EXPECT_EQ(readBytes(air_), original);
    EXPECT_EQ(dir_.names(), (std::vector<std::string>{"err.txt", "plane.air", "script.txt", "tarlo.ini"}));
}

TEST_F(UpdateRaces, AFailedUpdateByAnotherUserInAStickyFolderLeavesNothing)
{
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run the update as another user (nobody)";
    if (std::system("command -v setpriv >/dev/null") != 0) GTEST_SKIP() << "setpriv is not installed";
    const fs::path shared = dir_.dir() / "shared";
    fs::create_directory(shared);
    ASSERT_EQ(::chmod(dir_.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    const std::string air = (shared / "plane.air").string();
    const Bytes original = version(5);
    writeBytes(air, original);
    // Everybody may write the file, so a plain user may also link it.
    ASSERT_EQ(::chmod(air.c_str(), 0666), 0);
    ASSERT_EQ(::chmod(dir_.file("err.txt").c_str(), 0666) == 0 || !fs::exists(dir_.file("err.txt")), true);
    writeText(dir_.file("err.txt"), "");
    ASSERT_EQ(::chmod(dir_.file("err.txt").c_str(), 0666), 0);
    for (const char* f : {"script.txt", "tarlo.ini"}) ::chmod(dir_.file(f).c_str(), 0644);

    const std::string args = "update --definitions tarlo.ini --log shared/log.txt shared/plane.air script.txt";
    EXPECT_EQ(run(args, "setpriv --reuid=65534 --regid=65534 --clear-groups"), 1);
    EXPECT_NE(err().find("Access to shared/plane.air was denied."), std::string::npos) << err();
    EXPECT_EQ(readBytes(air), original);
    EXPECT_EQ(namesIn(shared), std::vector<std::string>{"plane.air"});
    struct stat st {};
    ASSERT_EQ(::stat(air.c_str(), &st), 0);
    EXPECT_EQ(st.st_nlink, 1u);

    // Its owner's update and save still go through.
    EXPECT_EQ(run(args), 0) << err();
    EXPECT_EQ(readBytes(air + ".001"), original);
    EXPECT_FALSE(base::fileio::writeFileAtomic(air, original)) << base::fileio::writeFileAtomic(air, original).message;
}

TEST_F(UpdateRaces, ScriptEncodings)
{
    const std::string update = "update --strict --definitions tarlo.ini --log log.txt plane.air script.txt";
    struct Case {
        const char* what;
        std::string script;
        int status;
    };
    const Case cases[] = {
            {"UTF-8 byte-order mark", "\xEF\xBB\xBFtext 1f5 Marked\nfield 341 0 int32 7\n", 0},
            {"CR line ends", "text 1f5 Marked\rfield 341 0 int32 7\r", 0},
            {"CR line ends, no last one", "field 341 0 int32 7\rtext 1f5 Marked", 0},
            {"UTF-16 little-endian", std::string("\xFF\xFEt\0e\0x\0t\0", 10), 1},
            {"UTF-16 big-endian", std::string("\xFE\xFF\0t\0e\0x\0t", 10), 1},
            {"UTF-16 without a mark", std::string("t\0e\0x\0t\0 \0", 10), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeBytes(air_, version(0));
        fs::remove(air_ + ".001");
        writeBytes(dir_.file("script.txt"), Bytes(c.script.begin(), c.script.end()));
        EXPECT_EQ(run(update), c.status) << err();
        const Bytes now = readBytes(air_);
        if (c.status == 0) {
            EXPECT_TRUE(contains(now, "Marked"));
            // Both commands ran: the count field is 7.
            const Bytes seven = {7, 0, 0, 0};
            EXPECT_NE(std::search(now.begin(), now.end(), seven.begin(), seven.end()), now.end());
            EXPECT_TRUE(err().empty()) << err();
        } else {
            EXPECT_NE(err().find("The script script.txt is UTF-16 text; save it as UTF-8 or plain text."),
                    std::string::npos)
                    << err();
            EXPECT_EQ(now, version(0));
            EXPECT_FALSE(fs::exists(air_ + ".001"));
        }
    }
}
