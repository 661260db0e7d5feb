// Writes the sample AIR files into a folder (default: the current one).
//   gen_samples [FOLDER]
#include "SampleFiles.h"

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv)
{
    const std::string dir = argc > 1 ? argv[1] : ".";
    int status = 0;
    for (const samples::SampleFile& f : samples::allSamples()) {
        const std::string path = dir + "/" + f.name;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(f.bytes.data()), std::streamsize(f.bytes.size()));
        out.close();
        if (!out) {
            std::fprintf(stderr, "gen_samples: cannot write %s\n", path.c_str());
            status = 1;
            continue;
        }
        std::printf("%s: %zu bytes\n", path.c_str(), f.bytes.size());
    }
    return status;
}
