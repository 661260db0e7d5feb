// The editor's save without its window, for the kill loop: loads the AIR
// file named on the command line into a document, changes one byte (the
// first data byte, plus one) and saves it back over the same path.
#include "model/CTLDoc.h"

#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2) return 2;
    model::CTLDoc doc;
    if (auto e = doc.load(argv[1])) {
        std::fprintf(stderr, "%s\n", e.message.c_str());
        return 1;
    }
    std::vector<std::uint8_t> image = doc.image();
    if (image.size() < 9) return 1;
    ++image[8];
    doc.loadImage(std::move(image), argv[1]);
    if (auto e = doc.save(argv[1])) {
        std::fprintf(stderr, "%s\n", e.message.c_str());
        return 1;
    }
    return 0;
}
