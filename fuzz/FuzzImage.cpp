// ParseImage + ComposeImage on any bytes, with any definition file.
// Input: [u16 n][n bytes of definition text][AIR image].
// Composing the list of an unedited document must give back the input bytes
// exactly, and removing the first record must drop exactly its bytes.
#include "FuzzInput.h"

#include "model/CTLDoc.h"
#include "model/FieldType.h"
#include "model/Ini.h"
#include "model/Listing.h"

using namespace model;

namespace {

// Reads every byte an entry's view claims, so ASan sees any view that reaches
// outside its record's buffer.
unsigned touch(std::span<const std::uint8_t> s)
{
    unsigned sum = 0;
    for (auto b : s)
        sum += b;
    return sum;
}

void walkEntries(const CTLDoc& doc)
{
    volatile unsigned sink = 0;
    for (int i = 0; i <= doc.highestIndex(); ++i) {
        const RecordEntry e = doc.entry(i);
        auto d = doc.data(i);
        sink = sink + touch(d);
        (void)doc.itemText(i);
        (void)doc.outsideRecord(i);
        if (doc.isField(i)) {
            FUZZ_CHECK(doc.validIndex(e.parent) && doc.isRecord(e.parent));
            const auto rec = doc.data(e.parent);
            // A field view lies inside its record's own bytes, or is empty.
            if (!d.empty())
                FUZZ_CHECK(d.data() >= rec.data() && d.data() + d.size() <= rec.data() + rec.size());
            (void)editText(e.type, d);
        } else if (doc.isRecord(i)) {
            FUZZ_CHECK(d.size() == e.length);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    Ini ini = Ini::parse(fuzz::asText(in.part()));
    std::vector<std::uint8_t> original = fuzz::asVector(in.rest());

    CTLDoc doc;
    doc.loadImage(original, "/nowhere/plane.air");
    doc.ParseImage(ini);
    FUZZ_CHECK(doc.hasData());
    FUZZ_CHECK(doc.entryCount() >= 1);
    FUZZ_CHECK(doc.entry(0).length == original.size());
    walkEntries(doc);
    (void)listDocument(doc, false);
    (void)listDocument(doc, true);

    doc.ComposeImage();
    FUZZ_CHECK(doc.image() == original);

    // A field's bytes are its record's bytes: a change of the field shows in
    // the composed image at the field's file offset, and nowhere else; its
    // undo gives the original back.
    int changedFields = 0;
    for (int i = 1; i <= doc.highestIndex() && changedFields < 8; ++i) {
        const auto view = doc.data(i);
        if (!doc.isField(i) || view.empty())
            continue;
        ++changedFields;
        const std::size_t at = doc.entry(i).fileOffset;
        const std::uint8_t flipped[1] = {std::uint8_t(view[0] ^ 0xFF)};
        const auto change = doc.setBytes(i, 0, flipped);
        FUZZ_CHECK(change.has_value());
        doc.ComposeImage();
        FUZZ_CHECK(at < original.size() && doc.image()[at] == std::uint8_t(original[at] ^ 0xFF));
        FUZZ_CHECK(doc.undo(*change));
        doc.ComposeImage();
        FUZZ_CHECK(doc.image() == original);
    }

    // New data for one record: its header takes the new length, the rest of
    // the file stays as it was.
    if (doc.recordCount() > 0) {
        int k = int(original.size() % std::size_t(doc.recordCount()));
        int rec = 1;
        for (; rec <= doc.highestIndex(); ++rec)
            if (doc.isRecord(rec) && k-- == 0)
                break;
        FUZZ_CHECK(doc.isRecord(rec));
        const std::size_t header = doc.entry(rec).fileOffset - 8;
        const std::size_t oldLength = doc.entry(rec).length;
        std::vector<std::uint8_t> bigger(doc.data(rec).begin(), doc.data(rec).end());
        bigger.push_back(0x5A);
        FUZZ_CHECK(doc.setRecordData(rec, bigger));
        doc.ComposeImage();
        std::vector<std::uint8_t> expected(original.begin(), original.begin() + std::ptrdiff_t(header));
        const std::uint32_t id = doc.entry(rec).id, len = std::uint32_t(bigger.size());
        for (int b = 0; b < 4; ++b)
            expected.push_back(std::uint8_t(id >> (8 * b)));
        for (int b = 0; b < 4; ++b)
            expected.push_back(std::uint8_t(len >> (8 * b)));
        expected.insert(expected.end(), bigger.begin(), bigger.end());
        expected.insert(expected.end(), original.begin() + std::ptrdiff_t(header + 8 + oldLength), original.end());
        FUZZ_CHECK(doc.image() == expected);
        // Back to the original bytes for the checks below.
        doc.loadImage(original, "/nowhere/plane.air");
        doc.ParseImage(ini);
    }

    // Parsing the composed image again gives the same list shape.
    const std::size_t entries = doc.entryCount();
    const int records = doc.recordCount();
    doc.ParseImage(ini);
    FUZZ_CHECK(doc.entryCount() == entries && doc.recordCount() == records);

    if (doc.recordCount() > 0 && doc.isRecord(1)) {
        const std::size_t firstSize = 8 + std::size_t(doc.entry(1).length);
        FUZZ_CHECK(doc.removeRecord(1));
        doc.ComposeImage();
        FUZZ_CHECK(firstSize <= original.size());
        FUZZ_CHECK(doc.image() == std::vector<std::uint8_t>(original.begin() + std::ptrdiff_t(firstSize),
                                                            original.end()));
        doc.ParseImage(ini);
        walkEntries(doc);
    }
    return 0;
}
