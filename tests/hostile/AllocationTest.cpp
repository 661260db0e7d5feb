// Lengths and counts in a file are claims, not facts: a record length of
// 0xFFFFFFFF in a 12-byte file, or a table count of two billion, must not make
// either program allocate memory out of proportion to the file.
//
// In process, every operator new of this executable is measured; the programs
// themselves run in a child process with a limited address space.
#include "HostileSupport.h"

#include "model/CTLDoc.h"
#include "model/FieldType.h"
#include "model/Listing.h"
#include "tool/Dump.h"
#include "tool/Stamp.h"
#include "tool/Update.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <sys/resource.h>
#include <sys/wait.h>

namespace {
std::atomic<std::size_t> g_largest{0};

void* allocate(std::size_t n)
{
    std::size_t seen = g_largest.load(std::memory_order_relaxed);
    while (n > seen && !g_largest.compare_exchange_weak(seen, n)) {
    }
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
} // namespace

void* operator new(std::size_t n) { return allocate(n); }
void* operator new[](std::size_t n) { return allocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
// The nothrow forms too (std::stable_sort's buffer uses them), so that no
// block crosses between this allocator and another one.
void* operator new(std::size_t n, const std::nothrow_t&) noexcept
{
    try {
        return allocate(n);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

using namespace hostile;
using namespace airtest;

namespace {

// Far below the gigabytes a trusted length would ask for, far above what a
// small file needs.
constexpr std::size_t kLimit = 4u << 20;

template <typename F>
std::size_t largestAllocationOf(F f)
{
    g_largest = 0;
    f();
    return g_largest.load();
}

// A record whose length field lies.
Bytes header(std::uint32_t id, std::uint32_t length, const Bytes& data)
{
    return AirImage().recordClaiming(id, length, data).bytes();
}

// Files whose headers and counts claim far more than they hold.
std::vector<std::pair<const char*, Bytes>> liars()
{
    return {
        {"record length 0xFFFFFFFF in a 12-byte file", header(0x1F4, 0xFFFFFFFF, {1, 2, 3, 4})},
        {"stamp record claiming 4 GiB", header(0x404, 0xFFFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F})},
        {"point count of two billion", record(0x341, {0xFF, 0xFF, 0xFF, 0x7F})},
        {"grid of 65536 x 65536", record(0x511, {0, 0, 1, 0, 0, 0, 1, 0})},
        {"tbl3d-typed record with huge counts", record(0x1F8, {0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0})},
        {"tbldb-typed record with huge count", record(0x1F7, {0xFF, 0xFF, 0xFF, 0xFF})},
    };
}

const char* kDefinitions = "[Records]\n1f4=Engine,record\n1f7=Points,tbldb\n1f8=Grid,tbl3d\n"
                           "341=Lift,tbldb\n[1f4]\n1=0,int32,A\n2=fffffff0,double,Far\n3=4,ffffffff,Huge raw\n";

} // namespace

TEST(Allocation, EditorModelStaysSmallOnLyingFiles)
{
    // The measurement itself sees a large allocation.
    ASSERT_GE(largestAllocationOf([] {
                  std::vector<char> big(kLimit + 1);
                  // Keep the optimizer from removing the unused allocation.
                  asm volatile("" : : "g"(big.data()) : "memory");
              }),
              kLimit + 1);

    TempDir dir("alloc-editor");
    const std::string defs = dir.file("Tarlo.ini");
    writeText(defs, kDefinitions);
    for (const auto& [what, bytes] : liars()) {
        SCOPED_TRACE(what);
        const std::string path = dir.file("plane.air");
        writeBytes(path, bytes);
        std::size_t largest = largestAllocationOf([&] {
            model::CTLDoc doc;
            doc.setDefinitionsPath(defs);
            ASSERT_FALSE(doc.load(path));
            for (int i = 0; i <= doc.highestIndex(); ++i) {
                (void)doc.itemText(i);
                auto d = doc.data(i);
                (void)model::editText(doc.entry(i).type, d);
                (void)model::readTbl16(d);
                (void)model::readTbldb(d, model::tbldbStoredCount(d).value_or(0));
                (void)model::readTbldb(d, model::tbldbEditCount(d));
                if (auto shape = model::tbl3dShape(d))
                    (void)model::tbl3dValue(d, shape->groups - 1, shape->values - 1);
            }
            (void)model::listDocument(doc, true);
            doc.ComposeImage();
            EXPECT_EQ(doc.image(), bytes);
            ASSERT_FALSE(doc.save(path));
        });
        EXPECT_LT(largest, kLimit);
        EXPECT_EQ(readBytes(path), bytes);
    }
}

TEST(Allocation, DumpAndUpdateStaySmallOnLyingFiles)
{
    TempDir dir("alloc-tool");
    const std::string defs = dir.file("tarlo.ini");
    writeText(defs, kDefinitions);
    for (const auto& [what, bytes] : liars()) {
        SCOPED_TRACE(what);
        for (bool full : {false, true}) {
            std::size_t largest = largestAllocationOf([&, full = full] {
                patchwise::ToolDefinitions d;
                (void)patchwise::dumpText(bytes, defs, full, d);
            });
            EXPECT_LT(largest, kLimit) << (full ? "full dump" : "dump");
        }
        std::size_t largest = largestAllocationOf([&] {
            patchwise::ToolDefinitions d;
            auto r = patchwise::runUpdateScript(bytes,
                                                "field 1f4 0 int32 5\nfield 1f4 fffffff0 double 1\n"
                                                "text 1f4 x\nrecord: 341\nPoints: 2000000000\n1 2\n"
                                                "record: 511\ncolumns: 65536\nrows: 65536\n1\n"
                                                "record: 410\nPoints: 2000000000\n1\ndelete 404\n",
                                                defs, d, 1700000000);
            std::vector<std::uint8_t> copy = r.file;
            (void)patchwise::checkStamp(copy);
            (void)patchwise::readRevision(copy);
        });
        EXPECT_LT(largest, kLimit) << "update";
    }
}

#if defined(TARLO_PATCHWISE_EXE) || defined(TARLO_EDITOR_EXE)
namespace {

bool underSanitizer()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#endif
#endif
    return std::getenv("ASAN_OPTIONS") != nullptr;
}

// Runs argv in a child whose address space is limited to limitMiB; the exit
// status, or -1 when it died of a signal (an allocation failure aborts).
int runLimited(std::vector<std::string> argv, std::size_t limitMiB, const std::string& cwd)
{
    pid_t pid = ::fork();
    if (pid == 0) {
        rlimit lim{limitMiB << 20, limitMiB << 20};
        ::setrlimit(RLIMIT_AS, &lim);
        ::setenv("LC_ALL", "C", 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::setenv("SOURCE_DATE_EPOCH", "1700000000", 1);
        if (::chdir(cwd.c_str()) != 0)
            ::_exit(126);
        std::vector<char*> args;
        for (auto& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(Allocation, ProgramsRunInALimitedAddressSpace)
{
    if (underSanitizer())
        GTEST_SKIP() << "the sanitizers reserve terabytes of address space";
    TempDir dir("alloc-programs");
    const std::string defs = dir.file("tarlo.ini");
    writeText(defs, kDefinitions);
    writeText(dir.file("script.txt"),
            "field 1f4 0 int32 5\ntext 1f4 x\nrecord: 341\nPoints: 2000000000\n1 2\n");
    for (const auto& [what, bytes] : liars()) {
        SCOPED_TRACE(what);
        writeBytes(dir.file("plane.air"), bytes);
#ifdef TARLO_PATCHWISE_EXE
        EXPECT_EQ(runLimited({TARLO_PATCHWISE_EXE, "dump", "--full", "--definitions", defs, "plane.air", "-o",
                                     "plane.txt"},
                          256, dir.path()),
                0);
        EXPECT_EQ(runLimited({TARLO_PATCHWISE_EXE, "update", "--definitions", defs, "--log", "log.txt",
                                     "plane.air", "script.txt"},
                          256, dir.path()),
                0);
        EXPECT_EQ(readBytes(dir.file("plane.air.001")), bytes);
        std::filesystem::remove(dir.file("plane.air.001"));
#endif
#ifdef TARLO_EDITOR_EXE
        writeBytes(dir.file("plane.air"), bytes);
        // Qt and its plugins need room of their own; still far below 4 GiB.
        EXPECT_EQ(runLimited(
                          {TARLO_EDITOR_EXE, "--list", "--definitions", defs, "plane.air"}, 1024, dir.path()),
                0);
#endif
    }
}

// A file larger than the memory the program may use: refused with a message
// and status 1, not an abort on an allocation failure. The file is sparse, so
// it costs no disk.
TEST(Allocation, FilesLargerThanMemoryAreRefused)
{
    if (underSanitizer())
        GTEST_SKIP() << "the sanitizers reserve terabytes of address space";
    TempDir dir("alloc-huge");
    const std::string defs = dir.file("tarlo.ini");
    writeText(defs, kDefinitions);
    writeText(dir.file("script.txt"), "field 1f4 0 int32 5\n");
    const std::string air = dir.file("plane.air");
    writeBytes(air, record(0x1F4, Bytes(16, 1)));
    ASSERT_EQ(::truncate(air.c_str(), 3LL << 30), 0);
#ifdef TARLO_PATCHWISE_EXE
    EXPECT_EQ(runLimited({TARLO_PATCHWISE_EXE, "dump", "--definitions", defs, "plane.air", "-o", "plane.txt"},
                      512, dir.path()),
            1);
    EXPECT_EQ(runLimited({TARLO_PATCHWISE_EXE, "update", "--definitions", defs, "--log", "log.txt",
                                 "plane.air", "script.txt"},
                      512, dir.path()),
            1);
    EXPECT_FALSE(std::filesystem::exists(dir.file("plane.air.001")));
    // The dump says so in its own file, as for any unreadable AIR file.
    EXPECT_EQ(readText(dir.file("plane.txt")), "Can't open plane.air\n");
#endif
#ifdef TARLO_EDITOR_EXE
    EXPECT_EQ(runLimited({TARLO_EDITOR_EXE, "--list", "--definitions", defs, "plane.air"}, 1024, dir.path()),
            1);
#endif
    EXPECT_EQ(std::filesystem::file_size(air), 3ull << 30);
}
#endif
