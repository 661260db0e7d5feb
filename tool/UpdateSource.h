#pragma once
// The AIR file an update reads: bytes held in memory, or a file kept open and
// read in pieces where they are needed.
#include "base/FileIO.h"
#include "tool/AirWalk.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace patchwise {

class UpdateSource {
public:
    // A read that failed, or a file that ended before its size said (another
    // program cut it): thrown, since it happens in the middle of the work.
    // error.code is 0 for the cut file.
    struct ReadFailure {
        base::fileio::Error error;
    };

    UpdateSource() = default;
    explicit UpdateSource(std::vector<std::uint8_t> bytes);
    UpdateSource(UpdateSource&& other) noexcept;
    UpdateSource& operator=(UpdateSource&& other) noexcept;
    ~UpdateSource();

    // Opens path to be read where needed: regular files only, and a FIFO is
    // refused without waiting for a writer. identity receives the file's.
    base::fileio::Error open(const std::string& path, base::fileio::FileIdentity& identity);

    std::uint64_t size() const { return size_; }
    // Copies the bytes from offset on into out, which must lie inside size().
    void read(std::uint64_t offset, std::span<std::uint8_t> out) const;

    // Calls f for each record as forEachRecord does over the whole file, until
    // f returns false. A file is read through a window, header by header.
    template <typename F>
    void forEachRecord(F&& f)
    {
        std::uint64_t off = 0;
        while (off <= size_ && size_ - off >= 8) {
            const std::uint8_t* h = headerAt(off);
            RecordSpan r;
            r.header = static_cast<std::size_t>(off);
            r.id = le32(h);
            r.length = le32(h + 4);
            r.data = r.header + 8;
            const std::uint64_t avail = size_ - r.data;
            r.present = static_cast<std::size_t>(r.length < avail ? r.length : avail);
            if (!f(static_cast<const RecordSpan&>(r)))
                return;
            off = r.next();
        }
    }

private:
    static std::uint32_t le32(const std::uint8_t* p)
    {
        return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16
                | std::uint32_t(p[3]) << 24;
    }
    // The 8 bytes at off (which lie inside the file).
    const std::uint8_t* headerAt(std::uint64_t off);
    void close();

    std::vector<std::uint8_t> bytes_;
    std::string path_;
    int fd_ = -1;
    std::uint64_t size_ = 0;
    // The part of the file last read for the walk.
    std::unique_ptr<std::uint8_t[]> window_;
    std::uint64_t windowAt_ = 0;
    std::size_t windowSize_ = 0;
};

} // namespace patchwise
