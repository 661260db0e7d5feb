// patchwise update and the editor's save, killed (SIGKILL) at random moments
// on a multi-megabyte file, a few hundred times each. After every kill the
// AIR name holds the old bytes or the whole new ones, the backup chain is
// right, the update's log is never older than the AIR file beside it, and
// the next run leaves no temporary behind.
#include "HostileSupport.h"
#include "SmallDisk.h"

#include "common/ChildProcess.h"

#include "tool/Update.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace hostile;
using namespace airtest;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kKills = 300;
constexpr auto kBudget = std::chrono::seconds(25);  // per program, so the test stays near a minute

const char* kDefinitions = "[Records]\n341=Lift,record\n[341]\n1=0,int32,Count\n";
// Each run sets another value, so that every run changes the file.
std::string script(int n)
{
    return "field 341 0 int32 " + std::to_string(n) + "\ntext 1f5 renamed\n";
}

Bytes multiMegabyte()
{
    AirImage img;
    img.record(0x1F5, cString("name")).record(0x341, Bytes(16, 0));
    for (int i = 0; i < 32; ++i)
        img.record(0x2000 + std::uint32_t(i), Bytes(64 * 1024, std::uint8_t(i)));
    return img.bytes(); // 2 MiB
}

// The whole file in one read (the loop reads a few megabytes per kill).
Bytes contents(const fs::path& p)
{
    Bytes b;
    int fd = ::open(p.c_str(), O_RDONLY);
    if (fd < 0) return b;
    struct stat st {};
    ::fstat(fd, &st);
    b.resize(std::size_t(st.st_size));
    std::size_t got = 0;
    while (got < b.size()) {
        ssize_t r = ::read(fd, b.data() + got, b.size() - got);
        if (r <= 0) break;
        got += std::size_t(r);
    }
    b.resize(got);
    ::close(fd);
    return b;
}

// Starts argv in dir with output discarded.
pid_t start(const std::vector<std::string>& argv, const std::string& dir)
{
    return startQuiet(argv, {dir, {{"SOURCE_DATE_EPOCH", "1700000000"}}});
}

std::vector<std::string> temporaries(const fs::path& dir)
{
    std::vector<std::string> out;
    for (auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string()[0] == '.') out.push_back(e.path().filename().string());
    return out;
}

// A tmpfs where one can be mounted (fast and not wearing a disk), else a folder.
struct Place {
    SmallDisk disk{"kill", 256u << 20};
    std::unique_ptr<TempDir> scratch;
    fs::path path;
    Place()
    {
        if (disk.mounted()) {
            path = disk.path();
        } else {
            scratch = std::make_unique<TempDir>("kill");
            path = scratch->path();
        }
    }
};

// Kills `argv` at random moments up to a little beyond one whole run;
// check(whole) judges what each kill (or the first, whole run) left, and
// prepare() comes before each run. Returns the kill count.
template <class Prepare, class Check>
int killLoop(const std::vector<std::string>& argv, const fs::path& dir, Prepare prepare, Check check)
{
    std::mt19937 rng(17);
    prepare();
    auto t0 = Clock::now();
    const int calibration = finish(start(argv, dir.string()));
    EXPECT_EQ(calibration, 0);
    const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - t0).count();
    check(true);
    std::uniform_int_distribution<long> delay(0, whole + whole / 4);
    int kills = 0;
    const auto end = Clock::now() + kBudget;
    while (kills < kKills && Clock::now() < end && !::testing::Test::HasFailure()) {
        prepare();
        pid_t pid = start(argv, dir.string());
        ::usleep(static_cast<useconds_t>(delay(rng)));
        ::kill(pid, SIGKILL);
        finish(pid);
        ++kills;
        check(false);
    }
    return kills;
}

} // namespace

#if defined(TARLO_PATCHWISE_EXE)
TEST(KillLoop, UpdateKilledAtRandomMoments)
{
    Place place;
    const fs::path& dir = place.path;
    const std::string air = (dir / "plane.air").string(), defs = (dir / "tarlo.ini").string();
    writeBytes(air, multiMegabyte());
    writeText(defs, kDefinitions);
    const std::vector<std::string> argv = {TARLO_PATCHWISE_EXE, "update", "--definitions", defs, "--log",
                                           "amod_log.txt", "plane.air", "script.txt"};
    int round = 0;
    auto prepare = [&] { writeText(dir / "script.txt", script(++round)); };
    auto run = [&](const Bytes& old) {
        patchwise::ToolDefinitions d;
        return patchwise::runUpdateScript(old, readText(dir / "script.txt"), defs, d, 1700000000);
    };
    auto newBytes = [&](const Bytes& old) { return run(old).file; };
    const fs::path log = dir / "amod_log.txt";
    auto backups = [&] {
        std::vector<std::string> out;
        for (auto& e : fs::directory_iterator(dir))
            if (e.path().filename().string().rfind("plane.air.", 0) == 0) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    };

    Bytes before = contents(air);
    std::string previousLog; // the log of the last whole run
    int oldSeen = 0, newSeen = 0, resumed = 0, logFirst = 0;
    // Each round starts from `before` without backups; a whole run then
    // gives newBytes(before) and plane.air.001 == before.
    auto check = [&](bool whole) {
        ASSERT_TRUE(fs::exists(air)) << "the AIR name is empty";
        const Bytes now = contents(air);
        const Bytes expected = newBytes(before);
        const auto chain = backups();
        const std::string thisLog = run(before).log;
        if (now == before && !whole) {
            ++oldSeen;
            // The log goes in place before the AIR file: this run's log may
            // already stand beside the old file.
            const std::string logNow = readText(log);
            ASSERT_TRUE(logNow == previousLog || logNow == thisLog) << "a torn or foreign log";
            logFirst += logNow == thisLog && logNow != previousLog;
            // Killed before the rename: at most a backup that is the AIR file.
            ASSERT_LE(chain.size(), 1u);
            if (!chain.empty()) {
                ASSERT_EQ(chain[0], "plane.air.001");
                ASSERT_EQ(contents(dir / chain[0]), before);
                ++resumed;
            }
        } else {
            ASSERT_EQ(now, expected) << "the AIR file holds neither the old nor the new bytes";
            ++newSeen;
            ASSERT_EQ(readText(log), thisLog) << "the new AIR file stands beside an older log";
            ASSERT_EQ(chain, std::vector<std::string>{"plane.air.001"});
            ASSERT_EQ(contents(dir / "plane.air.001"), before);
        }
        // The next whole run finishes the work and clears every leftover.
        if (!whole) {
            prepare();
            ASSERT_EQ(finish(start(argv, dir.string())), 0);
            const Bytes after = contents(air);
            ASSERT_EQ(after, newBytes(now));
            ASSERT_EQ(contents(dir / "plane.air.001"), before);
            if (now == before) {
                ASSERT_EQ(backups(), std::vector<std::string>{"plane.air.001"});
            } else {
                ASSERT_EQ(backups(), (std::vector<std::string>{"plane.air.001", "plane.air.002"}));
                ASSERT_EQ(contents(dir / "plane.air.002"), now);
            }
            ASSERT_EQ(temporaries(dir), std::vector<std::string>{});
        }
        for (const auto& b : backups()) fs::remove(dir / b);
        before = contents(air);
        previousLog = readText(log);
    };
    const int kills = killLoop(argv, dir, prepare, check);
    std::cout << "update: " << kills << " kills; old bytes " << oldSeen << " times (" << resumed
              << " with the backup made, " << logFirst << " with the new log), new bytes " << newSeen
              << " times\n";
}
#endif

#if defined(TARLO_SAVE_DRIVER_EXE)
TEST(KillLoop, EditorSaveKilledAtRandomMoments)
{
    Place place;
    const fs::path& dir = place.path;
    const std::string air = (dir / "plane.air").string();
    writeBytes(air, multiMegabyte());
    ::chmod(air.c_str(), 0640);
    const std::vector<std::string> argv = {TARLO_SAVE_DRIVER_EXE, air};
    auto next = [](Bytes b) {
        ++b[8];
        return b;
    };
    Bytes before = contents(air);
    int oldSeen = 0, newSeen = 0, leftovers = 0;
    auto check = [&](bool whole) {
        ASSERT_TRUE(fs::exists(air)) << "the AIR name is empty";
        const Bytes now = contents(air);
        if (now == before && !whole) ++oldSeen;
        else {
            ASSERT_EQ(now, next(before)) << "the file holds neither the old nor the new bytes";
            ++newSeen;
        }
        struct stat st {};
        ::stat(air.c_str(), &st);
        ASSERT_EQ(st.st_mode & 0777, 0640u);
        if (!whole) {
            leftovers += int(temporaries(dir).size());
            ASSERT_EQ(finish(start(argv, dir.string())), 0);
            ASSERT_EQ(contents(air), next(now));
            ASSERT_EQ(temporaries(dir), std::vector<std::string>{});
        }
        before = contents(air);
    };
    const int kills = killLoop(argv, dir, [] {}, check);
    std::cout << "save: " << kills << " kills; old bytes " << oldSeen << " times, new bytes " << newSeen
              << " times; " << leftovers << " temporaries left by kills, all removed by the next save\n";
}
#endif

#if defined(TARLO_SAVE_DRIVER_EXE)
// Saves that run at the same time never take each other's temporary for a
// leftover: each one either goes through or reports a failure, the file is
// always one whole version, and nothing is left behind.
TEST(KillLoop, ConcurrentSavesLeaveOneWholeVersion)
{
    Place place;
    const fs::path& dir = place.path;
    const std::string air = (dir / "plane.air").string();
    const Bytes original = multiMegabyte();
    writeBytes(air, original);
    const std::vector<std::string> argv = {TARLO_SAVE_DRIVER_EXE, air};
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        const Bytes before = contents(air);
        std::vector<pid_t> pids;
        for (int i = 0; i < 6; ++i) pids.push_back(start(argv, dir.string()));
        int succeeded = 0;
        for (pid_t pid : pids) succeeded += finish(pid) == 0;
        EXPECT_EQ(succeeded, 6);
        // Each save read some version and wrote it with one byte raised.
        const Bytes now = contents(air);
        ASSERT_EQ(now.size(), before.size());
        const int raised = std::uint8_t(now[8] - before[8]);
        EXPECT_GE(raised, 1);
        EXPECT_LE(raised, 6);
        Bytes expected = before;
        expected[8] = now[8];
        EXPECT_EQ(now, expected);
        EXPECT_EQ(temporaries(dir), std::vector<std::string>{});
    }
}
#endif
