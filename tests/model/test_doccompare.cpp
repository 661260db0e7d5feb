// The document against a reference: marks per entry and takes through the edit API.
#include "common/EditorFixture.h"

#include "model/CTLDoc.h"
#include "model/DocCompare.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<std::uint8_t>;
using model::EntryMark;

// List indexes of the fixture (see EditorFixture.h).
constexpr int kAltitude = 1, kEngine = 2, kIdle = 3, kSmall = 6, kLabel = 10, kReserved = 11, kMisc = 13,
              kTitle = 20, kBlob = 21;

Bytes engineWith(std::size_t at, std::uint8_t value)
{
    Bytes img = fixture::image();
    // Engine is the second record: 8 + 4 bytes of Altitude Limit, then its header.
    img[8 + 4 + 8 + at] = value;
    return img;
}

std::vector<EntryMark> marked(const model::DocComparison& c)
{
    return c.marks;
}

struct Pair {
    fixture::Files files;
    model::CTLDoc reference, doc;
    Pair(Bytes ref, Bytes cur)
    {
        fixture::load(reference, files, std::move(ref));
        fixture::load(doc, files, std::move(cur));
    }
    model::DocComparison compare() const { return model::compareDocuments(reference, doc); }
    Bytes composed()
    {
        doc.ComposeImage();
        return doc.image();
    }
};

TEST(DocCompare, equalFilesHaveNoMarksAndMatchEveryEntry)
{
    Pair p(fixture::image(), fixture::image());
    const auto c = p.compare();
    EXPECT_FALSE(c.differs());
    EXPECT_EQ(c.differingRecords, 0u);
    for (EntryMark m : c.marks)
        EXPECT_EQ(m, EntryMark::Same);
    for (int i = 1; i <= p.doc.highestIndex(); ++i)
        EXPECT_EQ(c.referenceOf(i), i) << i;
    EXPECT_TRUE(c.onlyInReference.empty());
}

TEST(DocCompare, marksExactlyTheChangedFieldAndItsRecord)
{
    // Small (offset 0xa), Label's text (0x13) and the raw Reserved bytes (0x1b).
    for (const auto& [at, field] : {std::pair{std::size_t(0xa), kSmall}, {std::size_t(0x14), kLabel},
                 {std::size_t(0x1c), kReserved}, {std::size_t(0), kIdle}}) {
        Pair p(fixture::image(), engineWith(at, 0x77));
        const auto c = p.compare();
        std::vector<EntryMark> want(p.doc.entryCount(), EntryMark::Same);
        want[0] = want[kEngine] = want[std::size_t(field)] = EntryMark::Changed;
        EXPECT_EQ(marked(c), want) << "field " << field;
        EXPECT_EQ(c.changedFields[kEngine], 1u);
        EXPECT_EQ(c.differingRecords, 1u);
    }
    // A record without fields: only the record.
    Bytes blob = fixture::image();
    blob[blob.size() - 10 - 12 - 1] ^= 1; // Blob's last byte, before Flag and Max Alt Warning
    Pair p(fixture::image(), blob);
    const auto c = p.compare();
    EXPECT_EQ(c.markOf(kBlob), EntryMark::Changed);
    EXPECT_EQ(c.markOf(kTitle), EntryMark::Same);
}

TEST(DocCompare, recordsInOneFileOnlyByIdAndOccurrence)
{
    // The reference has a second Title; the document a second Blob at its end.
    const Bytes ref = airtest::AirImage().raw(fixture::image()).record(0x30, {'x', 0}).bytes();
    const Bytes cur = airtest::AirImage().raw(fixture::image()).record(0x40, {9, 9}).bytes();
    Pair p(ref, cur);
    const auto c = p.compare();
    const int extraBlob = p.doc.highestIndex();
    EXPECT_EQ(c.markOf(extraBlob), EntryMark::OnlyHere);
    EXPECT_EQ(c.markOf(kBlob), EntryMark::Same); // the first Blob is matched
    ASSERT_EQ(c.onlyInReference.size(), 1u);
    EXPECT_EQ(c.onlyInReference[0], p.reference.highestIndex());
    EXPECT_EQ(c.differingRecords, 2u);
    EXPECT_TRUE(c.differs());
}

TEST(DocCompare, takeOfAFieldIsOneChangeThatUndoes)
{
    Pair p(engineWith(0, 0x99), fixture::image());
    auto c = p.compare();
    // The unchanged neighbour is left alone; the field takes the reference's bytes.
    EXPECT_TRUE(model::takeEntry(p.doc, p.reference, c, kSmall).empty());
    const auto made = model::takeEntry(p.doc, p.reference, c, kIdle);
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0].kind, model::ChangeKind::Bytes);
    EXPECT_EQ(p.doc.itemText(kIdle), p.reference.itemText(kIdle));
    EXPECT_FALSE(p.compare().differs());
    ASSERT_TRUE(p.doc.undo(made[0]));
    EXPECT_EQ(p.doc.itemText(kIdle), "Idle speed=4660");
    EXPECT_EQ(p.compare().markOf(kIdle), EntryMark::Changed);
}

TEST(DocCompare, takeOfATextKeepsTheFieldsAfterIt)
{
    Bytes ref = fixture::image();
    const std::size_t label = 8 + 4 + 8 + 0x13;
    ref[label + 1] = 0; // "a"
    ref[label + 8] = 0x55; // Reserved differs too
    Pair p(ref, fixture::image());
    const auto c = p.compare();
    EXPECT_EQ(c.markOf(kLabel), EntryMark::Changed);
    EXPECT_EQ(c.markOf(kReserved), EntryMark::Changed);
    ASSERT_EQ(model::takeEntry(p.doc, p.reference, c, kLabel).size(), 1u);
    EXPECT_EQ(p.doc.itemText(kLabel), "Label=a");
    const auto after = p.compare();
    EXPECT_EQ(after.markOf(kLabel), EntryMark::Same);
    EXPECT_EQ(after.markOf(kReserved), EntryMark::Changed);
}

TEST(DocCompare, takeOfRecordsAndOfEverythingGivesTheReferenceBytes)
{
    // Reference: Altitude changed, Misc gone, a new record 0x70 after Engine
    // and one at the very start; the document has an extra Flag at its end.
    const Bytes base = fixture::image();
    const Bytes ref = airtest::AirImage()
                              .record(0x71, {1, 2})
                              .record(0x20, {0x11, 0x27, 0, 0})
                              .record(0x10, Bytes(base.begin() + 20, base.begin() + 51))
                              .record(0x70, {7})
                              .record(0x30, {'a', 'b', 'c', 0})
                              .record(0x40, {1, 2, 3, 4, 5, 6})
                              .record(0x50, {0, 0, 0, 0})
                              .record(0x21, {0, 0})
                              .bytes();
    const Bytes cur = airtest::AirImage().raw(fixture::image()).record(0x50, {1, 0, 0, 0}).bytes();
    Pair p(ref, cur);
    auto c = p.compare();
    EXPECT_EQ(c.markOf(kMisc), EntryMark::OnlyHere);
    EXPECT_EQ(c.markOf(kAltitude), EntryMark::Changed);
    EXPECT_EQ(c.onlyInReference.size(), 2u);

    // One record at a time: the record only in the reference lands after
    // the match of the record before it.
    Pair one(ref, cur);
    auto c1 = one.compare();
    ASSERT_EQ(model::takeOnlyInReference(one.doc, one.reference, c1, 1).size(), 1u);
    EXPECT_EQ(one.doc.entry(13).id, 0x70u); // after Engine and its ten fields
    c1 = one.compare();
    ASSERT_EQ(model::takeEntry(one.doc, one.reference, c1, kMisc + 1).size(), 1u); // Misc goes
    EXPECT_EQ(one.compare().markOf(kMisc), EntryMark::Same);

    const auto made = model::takeAll(p.doc, p.reference, c);
    EXPECT_EQ(made.size(), 5u); // Altitude, the two removals, the two inserts
    const auto after = p.compare();
    EXPECT_FALSE(after.differs());
    EXPECT_EQ(p.composed(), ref);
    // Undone in reverse, the document is back byte for byte.
    for (auto it = made.rbegin(); it != made.rend(); ++it)
        ASSERT_TRUE(p.doc.undo(*it));
    EXPECT_EQ(p.composed(), cur);
}

} // namespace
