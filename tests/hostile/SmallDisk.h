#pragma once
// A real, small file system for fault tests: a tmpfs of a given size mounted
// on a fresh folder. Mounting needs root (or a namespace that allows it);
// where it is refused, mounted() is false and why() says so.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

namespace hostile {

class SmallDisk {
public:
    SmallDisk(const std::string& tag, std::size_t bytes)
        : path_(std::filesystem::temp_directory_path() / ("tarlo-disk-" + tag + "-" + std::to_string(::getpid())))
    {
        std::error_code ec;
        std::filesystem::create_directories(path_, ec);
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0777";
        if (::mount("tarlo-test", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0)
            mounted_ = true;
        else
            why_ = std::string("cannot mount a tmpfs here: ") + std::strerror(errno);
    }
    ~SmallDisk()
    {
        if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& why() const { return why_; }
    const std::filesystem::path& path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
    bool mounted_ = false;
    std::string why_;
};

} // namespace hostile
