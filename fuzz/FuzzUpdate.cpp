// Patchwise's update of any AIR file with any script and definition file.
// Input: [u16 n][n bytes definition text][u16 m][m bytes script][AIR file].
// The result must still walk as an AIR file when the input did, the backup
// must hold the input, and the stamp must verify in a following dump.
#include "FuzzInput.h"

#include "tool/AirWalk.h"
#include "tool/Dump.h"
#include "tool/Stamp.h"
#include "tool/ToolDefinitions.h"
#include "tool/Update.h"

#include <cstdio>
#include <filesystem>

using namespace patchwise;

namespace {

// Every record lies wholly inside the buffer and the last one ends at its end.
bool walksExactly(std::span<const std::uint8_t> buf)
{
    bool whole = true;
    forEachRecord(buf, [&](const RecordSpan& r) {
        whole = whole && r.present == r.length;
        return whole;
    });
    return whole && walkEnd(buf) == buf.size();
}

// The eight mark slots of the first record 0x1199 that lie inside it are zero.
bool markSlotsZero(std::span<const std::uint8_t> buf)
{
    auto r = findFirstRecord(buf, kRevisionRecord);
    if (!r)
        return true;
    for (std::size_t k = 0; k < 8; ++k)
        if (8 * k < r->present && buf[r->data + 8 * k] != 0)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    namespace fs = std::filesystem;
    fuzz::Input in(data, size);
    const auto defsText = in.part();
    const auto script = in.part();
    const auto air = in.rest();
    const std::time_t when = 1700000000;

    const std::string dir = fuzz::scratchDir();
    for (const char* stale : {"/plane.air.001", "/amod_log.txt"})
        fs::remove(dir + stale);
    const std::string defsPath = fuzz::writeScratch("tarlo.ini", defsText);
    const std::string scriptPath = fuzz::writeScratch("script.txt", script);
    const std::string airPath = fuzz::writeScratch("plane.air", air);

    ToolDefinitions defs;
    UpdateOptions options;
    options.logPath = dir + "/amod_log.txt";
    options.time = when;
    std::string error;
    const int rc = applyUpdateScript(airPath, scriptPath, defsPath, defs, options, &error);
    FUZZ_CHECK(rc == 0 || !error.empty());

    const auto result = fuzz::readScratch(airPath);
    if (rc == 1 && error.find("is UTF-16 text") != std::string::npos) {
        // A UTF-16 script is refused whole: nothing changes.
        FUZZ_CHECK(result == fuzz::asVector(air));
        FUZZ_CHECK(!fs::exists(dir + "/plane.air.001"));
        return 0;
    }
    FUZZ_CHECK(fs::exists(dir + "/plane.air.001"));
    FUZZ_CHECK(fuzz::readScratch(dir + "/plane.air.001") == fuzz::asVector(air));
    FUZZ_CHECK(fs::exists(options.logPath));

    // The file on disk is what the in-memory run gives.
    ToolDefinitions fresh;
    const ScriptResult mem = runUpdateScript(fuzz::asVector(air), fuzz::asText(script), defsPath, fresh, when);
    FUZZ_CHECK(mem.file == result);
    FUZZ_CHECK(fuzz::readScratch(options.logPath) == std::vector<std::uint8_t>(mem.log.begin(), mem.log.end()));

    // The log ends with the record count and the CRC of the file as written,
    // stamp slots zero.
    {
        std::vector<std::uint8_t> cleared = result;
        clearStamp(cleared);
        char tail[64];
        std::snprintf(tail, sizeof tail, "\nRecord count: %lld\ncrc %08x\n", countRecords(result),
                      unsigned(crc32(cleared)));
        const std::string end(tail);
        FUZZ_CHECK(mem.log.size() >= end.size() && mem.log.compare(mem.log.size() - end.size(), end.size(), end) == 0);
    }

    if (walksExactly(air))
        FUZZ_CHECK(walksExactly(result));

    // A following dump finds the stamp and verifies it.
    auto stampRecord = findFirstRecord(result, kStampRecord);
    if (stampRecord && stampRecord->present >= kStampRecordMin) {
        std::vector<std::uint8_t> copy = result;
        StampCheck check = checkStamp(copy);
        FUZZ_CHECK(check.present);
        FUZZ_CHECK(!check.text.empty());
        if (markSlotsZero(result))
            FUZZ_CHECK(check.text.back() == '-');
        ToolDefinitions forDump;
        const std::string listing = dumpText(result, defsPath, false, forDump);
        FUZZ_CHECK(listing.find("Last Patchwise:" + check.text + "\n") != std::string::npos);
    }
    return 0;
}
