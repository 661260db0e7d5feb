// The floor of a listing: the least work that reads an AIR file and visits
// every record header, and optionally writes an output of a listing's size.
//
//   list_floor FILE                  read the file, walk the headers
//   list_floor --output BYTES FILE   ... and write BYTES of text to stdout,
//                                    one line per record (id and length, padded)
//
// Figures of `tarlo --list` are given as ratios to these two.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

bool writeAll(const char* p, std::size_t n)
{
    while (n > 0) {
        const ssize_t w = ::write(1, p, n);
        if (w <= 0)
            return false;
        p += w;
        n -= std::size_t(w);
    }
    return true;
}

std::uint32_t u32(const std::vector<unsigned char>& b, std::size_t at)
{
    std::uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v; // little-endian host, as the machines we measure on
}

} // namespace

int main(int argc, char** argv)
{
    std::uint64_t outputBytes = 0;
    int a = 1;
    if (argc == 4 && std::strcmp(argv[1], "--output") == 0) {
        outputBytes = std::strtoull(argv[2], nullptr, 10);
        a = 3;
    }
    if (argc != a + 1) {
        std::fprintf(stderr, "usage: list_floor [--output BYTES] FILE\n");
        return 2;
    }
    const int fd = ::open(argv[a], O_RDONLY);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        std::perror(argv[a]);
        return 1;
    }
    // Huge pages where the system gives them on request, as tarlo's reader
    // asks: without them the page faults of the fresh buffer are most of the
    // floor.
    std::vector<unsigned char> img;
    img.reserve(std::size_t(st.st_size));
    constexpr std::uintptr_t kHuge = std::uintptr_t(2) << 20;
    const auto at = reinterpret_cast<std::uintptr_t>(img.data());
    const std::uintptr_t begin = (at + kHuge - 1) & ~(kHuge - 1);
    const std::uintptr_t end = (at + img.capacity()) & ~(kHuge - 1);
    if (end > begin)
        (void)::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    img.resize(std::size_t(st.st_size));
    for (std::size_t got = 0; got < img.size();) {
        const ssize_t r = ::read(fd, img.data() + got, img.size() - got);
        if (r <= 0) {
            std::perror(argv[a]);
            return 1;
        }
        got += std::size_t(r);
    }
    ::close(fd);

    // Headers: 32-bit id, 32-bit length, then the data.
    std::vector<std::size_t> headers;
    std::uint64_t idSum = 0;
    std::size_t pos = 0;
    while (img.size() - pos >= 8 && u32(img, pos + 4) <= img.size() - pos - 8) {
        idSum += u32(img, pos);
        if (outputBytes)
            headers.push_back(pos);
        pos += 8 + u32(img, pos + 4);
    }
    if (!outputBytes) {
        std::printf("%zu bytes, id sum %llu\n", img.size(), static_cast<unsigned long long>(idSum));
        return 0;
    }

    // One line per record, padded so the lines add up to the asked size.
    const std::uint64_t perRecord = headers.empty() ? outputBytes : outputBytes / headers.size();
    std::string buf;
    buf.reserve(1 << 18);
    std::uint64_t written = 0;
    char num[32];
    for (std::size_t h : headers) {
        const std::size_t start = buf.size();
        auto r = std::to_chars(num, num + sizeof num, u32(img, h), 16);
        buf.append(num, r.ptr);
        buf += ' ';
        r = std::to_chars(num, num + sizeof num, u32(img, h + 4));
        buf.append(num, r.ptr);
        const std::size_t line = buf.size() - start;
        if (line + 1 < perRecord)
            buf.append(std::size_t(perRecord - line - 1), ' ');
        buf += '\n';
        written += buf.size() - start;
        if (buf.size() >= (1 << 18)) {
            if (!writeAll(buf.data(), buf.size()))
                return 1;
            buf.clear();
        }
    }
    if (written < outputBytes)
        buf.append(std::size_t(outputBytes - written), '\n');
    return writeAll(buf.data(), buf.size()) ? 0 : 1;
}
