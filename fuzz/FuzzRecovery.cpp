// The recovery record's reader and replay on any bytes.
// Input: [u8 flags][u16 n][n bytes of AIR image][recovery record]. With flag
// bit 0 the record's last four bytes are replaced by its checksum, so the
// fuzzer reaches what lies behind it.
// A record that reads reads back the same after writing it again; a replay
// either applies every edit or leaves the document exactly as it was; the
// log of a replay is a record that rebuilds the same document.
#include "FuzzInput.h"

#include "model/CTLDoc.h"
#include "model/Recovery.h"

using namespace model;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    const bool fixChecksum = in.u8() & 1;
    const std::vector<std::uint8_t> image = fuzz::asVector(in.part());
    std::vector<std::uint8_t> bytes = fuzz::asVector(in.rest());
    if (fixChecksum && bytes.size() >= 4) {
        const std::uint32_t crc = recovery::crc32(std::span(bytes).first(bytes.size() - 4));
        for (int i = 0; i < 4; ++i)
            bytes[bytes.size() - 4 + std::size_t(i)] = std::uint8_t(crc >> (8 * i));
    }

    recovery::Record rec;
    if (!recovery::decode(bytes, rec).empty())
        return 0;
    const std::vector<std::uint8_t> again = recovery::encode(rec);
    FUZZ_CHECK(again.size() == bytes.size() && std::equal(again.begin(), again.end(), bytes.begin()));

    for (bool strict : {true, false}) {
        CTLDoc doc;
        doc.loadImage(image, "/nowhere/plane.air");
        const std::string why = recovery::apply(doc, rec, strict);
        doc.ComposeImage();
        if (!why.empty()) {
            FUZZ_CHECK(!doc.isModified());
            FUZZ_CHECK(doc.image() == image);
        } else if (strict) {
            // The log of the replay, as a record of its own, rebuilds the same document.
            CTLDoc second;
            second.loadImage(image, "/nowhere/plane.air");
            recovery::Log log(second);
            FUZZ_CHECK(recovery::apply(second, rec, true).empty());
            recovery::Record logged;
            FUZZ_CHECK(recovery::decode(recovery::encode(log.snapshot(0)), logged).empty());
            CTLDoc third;
            third.loadImage(image, "/nowhere/plane.air");
            FUZZ_CHECK(recovery::apply(third, logged, true).empty());
            third.ComposeImage();
            FUZZ_CHECK(third.image() == doc.image());
        }
    }
    return 0;
}
