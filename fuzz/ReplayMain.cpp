// Runs a fuzz target's entry point over files and folders of inputs, without
// libFuzzer: the normal and the sanitizer test suites replay the committed
// corpora this way, with any compiler.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

int replay(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    if (!in.eof() && !in) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return 1;
    }
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    int inputs = 0, errors = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg(argv[i]);
        if (std::filesystem::is_directory(arg)) {
            std::vector<std::filesystem::path> files;
            for (const auto& e : std::filesystem::directory_iterator(arg))
                if (e.is_regular_file())
                    files.push_back(e.path());
            std::sort(files.begin(), files.end());
            for (const auto& f : files) {
                errors += replay(f);
                ++inputs;
            }
        } else {
            errors += replay(arg);
            ++inputs;
        }
    }
    std::printf("%d inputs replayed\n", inputs);
    return errors == 0 && inputs > 0 ? 0 : 1;
}
