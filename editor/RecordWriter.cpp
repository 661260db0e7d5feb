#include "editor/RecordWriter.h"

#include <algorithm>
#include <cerrno>

namespace tarlo {

RecordWriter::RecordWriter(std::function<void(std::uint64_t, const base::fileio::Error&)> done)
        : done_(std::move(done)), thread_([this] { run(); })
{}

RecordWriter::~RecordWriter()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void RecordWriter::write(std::string path, std::vector<std::uint8_t> bytes, std::uint64_t ticket)
{
    {
        std::lock_guard lock(mutex_);
        // A waiting write of the same path would be overwritten by this one.
        std::erase_if(jobs_, [&](const Job& j) { return j.path == path; });
        jobs_.push_back(Job{std::move(path), std::move(bytes), ticket});
    }
    wake_.notify_one();
}

base::fileio::Error RecordWriter::remove(const std::string& path)
{
    {
        std::unique_lock lock(mutex_);
        std::erase_if(jobs_, [&](const Job& j) { return j.path == path; });
        idle_.wait(lock, [this] { return jobs_.empty() && !busy_; });
    }
    if (!base::fileio::exists(path))
        return {};
    base::fileio::Error err = base::fileio::removeFile(path);
    return err.code == ENOENT ? base::fileio::Error{} : err;
}

void RecordWriter::wait()
{
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return jobs_.empty() && !busy_; });
}

void RecordWriter::run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
        // Stopping still finishes what was asked: the last record must reach the disk.
        if (jobs_.empty()) {
            if (stop_)
                return;
            continue;
        }
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        busy_ = true;
        lock.unlock();
        const base::fileio::Error err = base::fileio::writeFileAtomic(job.path, job.bytes);
        if (done_)
            done_(job.ticket, err);
        lock.lock();
        busy_ = false;
        if (jobs_.empty())
            idle_.notify_all();
    }
}

} // namespace tarlo
