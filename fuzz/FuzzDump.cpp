// Patchwise's dump of any AIR file with any definition file, plain and full.
// Input: [u8 flags][u16 n][n bytes definition text][AIR file].
// flags bit 0: full dump; bit 1: no definition file.
#include "FuzzInput.h"

#include "tool/AirWalk.h"
#include "tool/Dump.h"
#include "tool/ToolDefinitions.h"

#include <filesystem>

using namespace patchwise;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    const std::uint8_t flags = in.u8();
    const auto defsText = in.part();
    const auto air = in.rest();
    const bool full = flags & 1;

    std::string defsPath = fuzz::scratchDir() + "/missing.ini";
    if (!(flags & 2))
        defsPath = fuzz::writeScratch("tarlo.ini", defsText);
    const std::string airPath = fuzz::writeScratch("plane.air", air);
    const std::string dumpPath = fuzz::scratchDir() + "/plane.txt";

    ToolDefinitions defs;
    std::string error;
    const int rc = writeDump(airPath, dumpPath, defsPath, full, defs, &error);
    const auto written = fuzz::readScratch(dumpPath);
    const std::string listing(written.begin(), written.end());

    // The same listing in memory, with definitions loaded afresh.
    ToolDefinitions fresh;
    const std::string again = dumpText(air, defsPath, full, fresh);
    if (rc == 0) {
        FUZZ_CHECK(listing == again);
        const std::string count = "\nRecord count: " + std::to_string(countRecords(air)) + "\n";
        FUZZ_CHECK(listing.size() >= count.size() &&
                   listing.compare(listing.size() - count.size(), count.size(), count) == 0);
    } else {
        FUZZ_CHECK(!error.empty());
    }
    std::filesystem::remove(dumpPath);
    return 0;
}
