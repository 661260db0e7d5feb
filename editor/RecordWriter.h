#pragma once
// Writes files on a thread of its own, in the order asked, so that an fsync
// never holds up the user-interface thread.
//
// The bytes are handed over whole (a snapshot made by the caller); a write
// still waiting when a newer write or a removal of the same path comes is
// dropped, as the newer one replaces it. Each write is atomic
// (base::fileio::writeFileAtomic). wait() returns once everything asked
// before it is done; the destructor waits too.
#include "base/FileIO.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarlo {

class RecordWriter {
public:
    // done(ticket, error) is called on the writer's thread after each write
    // that was carried out (not after dropped ones).
    explicit RecordWriter(std::function<void(std::uint64_t, const base::fileio::Error&)> done);
    ~RecordWriter();
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;

    void write(std::string path, std::vector<std::uint8_t> bytes, std::uint64_t ticket);
    // Drops the waiting writes of path, waits for one under way, and removes
    // path on the caller's thread (an unlink needs no fsync). A path that does
    // not exist is no failure.
    base::fileio::Error remove(const std::string& path);
    void wait();

private:
    struct Job {
        std::string path;
        std::vector<std::uint8_t> bytes;
        std::uint64_t ticket = 0;
    };
    void run();

    std::function<void(std::uint64_t, const base::fileio::Error&)> done_;
    std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::deque<Job> jobs_;
    bool busy_ = false, stop_ = false;
    std::thread thread_; // last: started once the rest is ready
};

} // namespace tarlo
