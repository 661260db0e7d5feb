#pragma once
// Generated AIR files for the benchmarks that compare two files: records of
// 112 bytes over 200 ids, and a definition file giving each id three fields.
#include "base/FileIO.h"

#include "common/AirImage.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace benchair {

using airtest::Bytes;

inline constexpr int kIds = 200;
inline constexpr std::uint32_t kFirstId = 0x10000;
inline constexpr std::uint32_t kDataSize = 112;

inline std::string idText(int r)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%x", kFirstId + std::uint32_t(r));
    return buf;
}

// `records` records; those with r % changeEvery == firstChanged have the four
// bytes from `offset` changed.
inline Bytes make(int records, int changeEvery, int firstChanged, std::uint32_t offset)
{
    airtest::AirImage file;
    Bytes data(kDataSize);
    for (int r = 0; r < records; ++r) {
        for (std::uint32_t i = 0; i < kDataSize; ++i)
            data[i] = std::uint8_t(r * 31 + i * 7);
        if (r % changeEvery == firstChanged)
            for (std::uint32_t i = offset; i < offset + 4; ++i)
                data[i] ^= 0x5A;
        file.record(kFirstId + std::uint32_t(r % kIds), data);
    }
    return file.bytes();
}

// Writes the definition file into the temporary folder; gives its path.
inline std::string writeDefinitions(const std::string& tag)
{
    std::string d = "[records]\n";
    for (int r = 0; r < kIds; ++r)
        d += idText(r) + "=Generated record " + std::to_string(r) + ",record\n";
    for (int r = 0; r < kIds; ++r)
        d += "[" + idText(r) + "]\n1=0,int32,First\n2=4,int32,Second\n3=8,double,Third\n";
    const std::string path =
            (std::filesystem::temp_directory_path() / (tag + "-" + std::to_string(::getpid()) + ".ini"))
                    .string();
    (void)base::fileio::writeFileAtomic(
            path, std::span(reinterpret_cast<const std::uint8_t*>(d.data()), d.size()));
    return path;
}

} // namespace benchair
