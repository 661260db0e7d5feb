#include "base/Bytes.h"
#include "base/FileIO.h"
#include "model/CTLDoc.h"

#include "common/AirImage.h"
#include "common/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

using namespace model;
namespace fs = std::filesystem;

namespace {

using namespace airtest;

const char* kDefs =
    "[Records]\n"
    "1f4=Engine limits,record\n"
    "1f4h=Limits of one engine.|They apply to every engine.\n"
    "1f5=Type name,text\n"
    "20=Flag,bool\n"
    "30=Curve,tbl16\n"
    "[1f4]\n"
    "1=0,int16,Idle speed\n"
    "2=2,bool,Has starter\n"
    "3=6,double,Top temperature\n"
    "4=e,4,Reserved\n"
    "[1f5]\n"
    "1=0,int8,Never a field\n"
    "[30]\n"
    "1=0,int8,Never a field\n";

// Encodes text into entry i through the edit API, as an editor does.
bool edit(CTLDoc& doc, int i, FieldType t, const char* text)
{
    const auto d = doc.data(i);
    Bytes copy(d.begin(), d.end());
    return encodeValue(t, text, copy) && doc.setBytes(i, 0, copy);
}

struct Fixture {
    TempDir dir;
    CTLDoc doc;
    Fixture(const char* defs = kDefs) { doc.setDefinitionsPath(dir.write("Tarlo.ini", defs)); }
    void load(Bytes img, const std::string& name = "plane.air")
    {
        doc.loadImage(std::move(img), "/some/dir/" + name);
    }
    Bytes roundTrip()
    {
        doc.ComposeImage();
        return doc.image();
    }
};

Bytes engineRecord()
{
    Bytes d(18, 0);
    base::bytes::writeLE<std::int16_t>(d, 0, 700);
    d[2] = 1;
    base::bytes::writeLE<double>(d, 6, 912.5);
    return d;
}

} // namespace

TEST(ParseImage, EmptyFileHasOnlyTheRoot)
{
    Fixture fx;
    fx.load({});
    EXPECT_EQ(fx.doc.entryCount(), 1u);
    EXPECT_EQ(fx.doc.recordCount(), 0);
    EXPECT_TRUE(fx.doc.hasData());
    EXPECT_EQ(fx.doc.itemText(0), "plane.air");
    EXPECT_EQ(fx.doc.entry(0).length, 0u);
    EXPECT_TRUE(fx.roundTrip().empty());
}

TEST(ParseImage, StructuredRecordGetsItsFieldsInPlace)
{
    Fixture fx;
    Bytes img = AirImage()
                        .record(0x20, {0, 0, 0, 1})
                        .record(0x1f4, engineRecord())
                        .record(0x1f5, {'a', 'b', 'c', 0})
                        .record(0x30, {1, 0, 2, 0, 3})
                        .record(0x1f6, {9})
                        .bytes();
    fx.load(img);
    const CTLDoc& d = fx.doc;
    ASSERT_EQ(d.recordCount(), 5);
    ASSERT_EQ(d.entryCount(), 1u + 5u + 4u);
    EXPECT_EQ(d.entry(0).length, img.size());
    EXPECT_EQ(d.itemText(1), "20  Flag=TRUE(1)");
    EXPECT_EQ(d.entry(1).fileOffset, 8u);

    EXPECT_EQ(d.itemText(2), "1f4  Engine limits");
    EXPECT_EQ(d.entry(2).help, "Limits of one engine.\nThey apply to every engine.");
    EXPECT_EQ(d.entry(2).fileOffset, 20u);
    EXPECT_EQ(d.itemText(3), "Idle speed=700");
    EXPECT_EQ(d.itemText(4), "Has starter=TRUE(1)");
    EXPECT_EQ(d.itemText(5), "Top temperature=912.500000");
    EXPECT_EQ(d.itemText(6), "Reserved");
    for (int i = 3; i <= 6; ++i) {
        EXPECT_TRUE(d.isField(i));
        EXPECT_EQ(d.entry(i).parent, 2);
        EXPECT_EQ(d.entry(i).id, 0x1f4u);
    }
    EXPECT_EQ(d.entry(5).length, 8u);
    EXPECT_EQ(d.entry(6).length, 4u);
    EXPECT_EQ(d.entry(6).fileOffset, 20u + 0xE);
    EXPECT_EQ(d.entry(3).help, "No help text in Tarlo.ini.");

    // Only records of type "record" get fields.
    EXPECT_EQ(d.itemText(7), "1f5  Type name=abc");
    EXPECT_TRUE(d.isRecord(8));
    EXPECT_EQ(d.itemText(8), "30  Curve");
    EXPECT_EQ(d.itemText(9), "1f6  Unknown");
    EXPECT_EQ(d.entry(9).type, FieldType::Raw);
}

TEST(ParseImage, FieldEditsReachTheSavedRecord)
{
    Fixture fx;
    Bytes img = record(0x1f4, engineRecord());
    fx.load(img);
    ASSERT_EQ(fx.doc.data(2).size(), 2u);
    ASSERT_TRUE(edit(fx.doc, 2, FieldType::Int16, "-3"));
    EXPECT_EQ(fx.doc.itemText(2), "Idle speed=-3");
    Bytes out = fx.roundTrip();
    EXPECT_EQ(out.size(), img.size());
    EXPECT_EQ(*base::bytes::i16(out, 8), -3);
    EXPECT_EQ(Bytes(out.begin() + 10, out.end()), Bytes(img.begin() + 10, img.end()));
}

TEST(ParseImage, ZeroIdsAndLengthsDoNotStopTheWalk)
{
    Fixture fx;
    Bytes img = AirImage()
                        .record(0, {1, 2, 3})
                        .record(0x20, {})
                        .record(0x20, {0, 0, 0, 0})
                        .record(0, {})
                        .record(0x1f5, {'z', 0})
                        .bytes();
    fx.load(img);
    EXPECT_EQ(fx.doc.recordCount(), 5);
    EXPECT_TRUE(fx.doc.trailingBytes().empty());
    EXPECT_EQ(fx.doc.itemText(2), "20  Flag (outside record)"); // a bool of no bytes
    EXPECT_EQ(fx.doc.itemText(3), "20  Flag=FALSE(0)");
    EXPECT_EQ(fx.doc.itemText(5), "1f5  Type name=z");
    EXPECT_EQ(fx.roundTrip(), img);
}

TEST(ParseImage, DuplicateIdsStaySeparateWithTheirOwnFields)
{
    Fixture fx;
    Bytes second = engineRecord();
    base::bytes::writeLE<std::int16_t>(second, 0, 1234);
    const Bytes img = AirImage().record(0x1f4, engineRecord()).record(0x1f4, second).bytes();
    fx.load(img);
    ASSERT_EQ(fx.doc.recordCount(), 2);
    ASSERT_EQ(fx.doc.entryCount(), 11u);
    EXPECT_EQ(fx.doc.itemText(2), "Idle speed=700");
    EXPECT_EQ(fx.doc.itemText(7), "Idle speed=1234");
    EXPECT_EQ(fx.doc.entry(7).parent, 6);
    EXPECT_EQ(fx.roundTrip(), img);
}

TEST(ParseImage, BrokenTailsAreKeptAsTrailingBytes)
{
    Fixture fx;
    Bytes good = record(0x20, {1, 0, 0, 0});

    // Fewer than 8 bytes for a header.
    Bytes img = good;
    img.insert(img.end(), {0xAA, 0xBB, 0xCC, 0xDD, 0xEE});
    fx.load(img);
    EXPECT_EQ(fx.doc.recordCount(), 1);
    EXPECT_EQ(fx.doc.trailingBytes(), (Bytes{0xAA, 0xBB, 0xCC, 0xDD, 0xEE}));
    EXPECT_EQ(fx.doc.trailingText(), "(5 trailing bytes)");
    EXPECT_EQ(fx.roundTrip(), img);

    // A length that runs past the end, by one byte.
    img = good;
    appendRecord(img, 0x1f5, {'a', 'b', 'c'});
    img.pop_back();
    fx.load(img);
    EXPECT_EQ(fx.doc.recordCount(), 1);
    EXPECT_EQ(fx.doc.trailingBytes().size(), 8u + 2u);
    EXPECT_EQ(fx.roundTrip(), img);

    // A header alone at the very start, claiming 4 GiB: nothing is allocated for it.
    img = AirImage().recordClaiming(0x1f4, 0xFFFFFFFFu, u32s({0x12345678u})).bytes();
    fx.load(img);
    EXPECT_EQ(fx.doc.recordCount(), 0);
    EXPECT_EQ(fx.doc.entryCount(), 1u);
    EXPECT_EQ(fx.doc.trailingBytes(), img);
    EXPECT_EQ(fx.roundTrip(), img);

    // A document without trailing bytes reports none.
    fx.load(good);
    EXPECT_EQ(fx.doc.trailingText(), "");
}

TEST(ParseImage, RandomImagesRoundTripByteForByte)
{
    Fixture fx;
    std::mt19937 rng(1234);
    for (int iter = 0; iter < 300; ++iter) {
        Bytes img;
        const int records = int(rng() % 6);
        for (int r = 0; r < records; ++r) {
            // Mostly defined ids so that fields and codecs run too.
            static const std::uint32_t ids[] = {0x1f4, 0x1f5, 0x20, 0x30, 0, 0x7777};
            Bytes data(rng() % 24);
            for (auto& b : data)
                b = std::uint8_t(rng());
            appendRecord(img, ids[rng() % 6], data);
        }
        // Then arbitrary junk, sometimes a header-like tail.
        const int junk = int(rng() % 14);
        for (int j = 0; j < junk; ++j)
            img.push_back(std::uint8_t(rng() % 3 == 0 ? 0xFF : rng()));
        fx.load(img);
        for (int i = 0; i <= fx.doc.highestIndex(); ++i)
            (void)fx.doc.itemText(i); // must not read outside a buffer (ASan run)
        ASSERT_EQ(fx.roundTrip(), img) << "iteration " << iter;
        // Parsing the composed image again gives the same list.
        const std::size_t entries = fx.doc.entryCount();
        fx.doc.ParseImage();
        EXPECT_EQ(fx.doc.entryCount(), entries);
    }
}

TEST(Fields, OutsideTheirRecordAreMarkedAndGiveNoBytes)
{
    Fixture fx(
        "[Records]\n"
        "40=Short,record\n"
        "[40]\n"
        "1=0,int32,Fits exactly\n"
        "2=2,int32,Half outside\n"
        "3=4,text,Text at end\n"
        "4=3,text,Text last byte\n"
        "5=4,record,Nested\n"
        "6=ffffffff,double,Far away\n"
        "7=3,2,Raw past\n");
    Bytes img = record(0x40, {1, 0, 0, 'Q'});
    fx.load(img);
    const CTLDoc& d = fx.doc;
    ASSERT_EQ(d.entryCount(), 9u);
    EXPECT_EQ(d.itemText(2), "Fits exactly=1358954497");
    EXPECT_FALSE(d.outsideRecord(2));
    EXPECT_EQ(d.itemText(3), "Half outside (outside record)");
    EXPECT_TRUE(d.data(3).empty());
    EXPECT_EQ(d.itemText(4), "Text at end (outside record)");
    EXPECT_EQ(d.itemText(5), "Text last byte=Q"); // no terminator: up to the record's end
    EXPECT_EQ(d.data(5).size(), 1u);
    EXPECT_EQ(d.entry(6).type, FieldType::Raw); // a "record" field is raw of size 0
    EXPECT_EQ(d.entry(6).length, 0u);
    EXPECT_FALSE(d.outsideRecord(6));
    EXPECT_EQ(d.itemText(6), "Nested");
    EXPECT_EQ(d.itemText(7), "Far away (outside record)"); // offset + size wraps 32 bits
    EXPECT_TRUE(d.outsideRecord(8));
}

TEST(Fields, AtMost200AndNoneForNonStructuredRecords)
{
    std::string defs = "[Records]\n50=Many,record\n[50]\n";
    for (int n = 1; n <= 205; ++n)
        defs += std::to_string(n) + "=0,int8,F" + std::to_string(n) + "\n";
    Fixture fx(defs.c_str());
    Bytes img = record(0x50, {5});
    fx.load(img);
    EXPECT_EQ(fx.doc.entryCount(), 1u + 1u + 200u);
    EXPECT_EQ(fx.doc.itemText(201), "F200=5");
}

TEST(Fields, MissingDefinitionFileMakesEverythingUnknown)
{
    CTLDoc doc;
    doc.setDefinitionsPath("/nonexistent/Tarlo.ini");
    Bytes img = record(0x1f4, engineRecord());
    doc.loadImage(img, "x.air");
    ASSERT_EQ(doc.entryCount(), 2u);
    EXPECT_EQ(doc.itemText(1), "1f4  Unknown");
    EXPECT_EQ(doc.entry(1).help, "No help text in Tarlo.ini.");
}

TEST(RecordList, InsertRemoveAndNewData)
{
    Fixture fx;
    Bytes img = AirImage()
                        .record(0x20, {1, 0, 0, 0})
                        .record(0x1f4, engineRecord())
                        .record(0x1f5, {'a', 0})
                        .bytes();
    fx.load(img);
    CTLDoc& d = fx.doc;

    // A record inserted before 0x1f4 gets its fields from the rebuilt list.
    ASSERT_TRUE(d.insertRecord(2, 0x1f4, engineRecord()));
    EXPECT_EQ(d.entry(2).length, 18u);
    EXPECT_EQ(d.entry(4).parent, 2);
    EXPECT_EQ(d.itemText(3), "Idle speed=700");
    EXPECT_EQ(d.recordCount(), 4);
    EXPECT_EQ(d.entryCount(), 1u + 4u + 8u);
    EXPECT_EQ(d.entry(0).length, img.size() + 8 + 18);
    EXPECT_FALSE(d.insertRecord(3, 0x99, {})); // before a field: refused
    EXPECT_FALSE(d.insertRecord(0, 0x99, {}));

    // Removing a record takes its fields with it.
    ASSERT_TRUE(d.removeRecord(2));
    EXPECT_EQ(d.entryCount(), 1u + 3u + 4u);
    EXPECT_EQ(d.entry(3).parent, 2);
    EXPECT_FALSE(d.removeRecord(3)); // a field is not a record
    d.ComposeImage();
    EXPECT_EQ(d.image(), img);

    // New, shorter data: fields beyond it show as outside, never read past it.
    ASSERT_TRUE(d.setRecordData(2, {0x10, 0x00, 1}));
    EXPECT_EQ(d.entry(2).length, 3u);
    EXPECT_EQ(d.itemText(3), "Idle speed=16");
    EXPECT_EQ(d.itemText(4), "Has starter (outside record)");
    EXPECT_EQ(d.itemText(5), "Top temperature (outside record)");
    EXPECT_FALSE(d.setRecordData(3, {}));
    EXPECT_FALSE(d.setBytes(4, 0, Bytes{1})); // outside its record: no bytes to write
    EXPECT_TRUE(d.data(-1).empty());
    EXPECT_EQ(d.itemText(1000), "");
}

// Counts the notices a view rebuilds on: every load, and a save (which
// renames the root when the path is new).
struct LoadSaveCounter : DocListener {
    int loads = 0, saves = 0;
    void loaded() override { ++loads; }
    void saved() override { ++saves; }
};

TEST(Document, LoadSaveReloadAndRebuildNotifications)
{
    Fixture fx;
    Bytes img = record(0x1f4, engineRecord());
    img.push_back(0x42); // one trailing byte survives every save
    const std::string path = fx.dir.write("a.air", img);

    LoadSaveCounter told;
    fx.doc.addListener(&told);
    CTLDoc& d = fx.doc;
    EXPECT_FALSE(d.hasData());
    EXPECT_FALSE(d.save(fx.dir.file("never.air"))); // no data: nothing written
    EXPECT_FALSE(fs::exists(fx.dir.file("never.air")));

    ASSERT_FALSE(d.load(path));
    EXPECT_EQ(told.loads, 1);
    EXPECT_EQ(told.saves, 0);
    EXPECT_EQ(d.fileName(), "a.air");
    EXPECT_EQ(d.fullPath(), path);
    EXPECT_FALSE(d.isModified());

    ASSERT_TRUE(edit(d, 2, FieldType::Int16, "5"));
    EXPECT_TRUE(d.isModified());
    ASSERT_FALSE(d.save(path));
    EXPECT_EQ(told.loads, 1);
    EXPECT_EQ(told.saves, 1);
    EXPECT_EQ(d.fullPath(), path); // same path: the tree keeps its root
    EXPECT_FALSE(d.isModified());
    EXPECT_EQ(d.wroteMessage(), "Wrote 27 bytes to a.air");

    const std::string other = fx.dir.file("b.air");
    ASSERT_FALSE(d.save(other));
    EXPECT_EQ(told.saves, 2);
    EXPECT_EQ(d.fullPath(), other);
    EXPECT_EQ(d.itemText(0), "b.air");
    Bytes written;
    ASSERT_FALSE(base::fileio::readFile(other, written));
    EXPECT_EQ(written.size(), img.size());
    EXPECT_EQ(*base::bytes::i16(written, 8), 5);
    EXPECT_EQ(written.back(), 0x42);

    // A failed save keeps the document's path, name and modified flag.
    d.setModified();
    base::fileio::Error e = d.save(fx.dir.file("missing/dir/c.air"));
    EXPECT_TRUE(e);
    EXPECT_FALSE(e.message.empty());
    EXPECT_EQ(d.fullPath(), other);
    EXPECT_TRUE(d.isModified());

    // A failed load leaves the document as it was.
    EXPECT_TRUE(d.load(fx.dir.file("nope.air")));
    EXPECT_EQ(d.fileName(), "b.air");
    EXPECT_EQ(d.recordCount(), 1);

    // Reload reads the file again and drops unsaved changes.
    ASSERT_TRUE(edit(d, 2, FieldType::Int16, "77"));
    ASSERT_FALSE(d.reload());
    EXPECT_FALSE(d.isModified());
    EXPECT_EQ(d.itemText(2), "Idle speed=5");
    EXPECT_EQ(told.loads, 2); // failed saves and loads tell nothing
    EXPECT_EQ(told.saves, 2);
    fx.doc.removeListener(&told);
}

TEST(Document, DefinitionEditsTakeEffectAtTheNextParse)
{
    Fixture fx("[Records]\n20=Old name,int8\n");
    CTLDoc& doc = fx.doc;
    Bytes img = AirImage().record(0x20, {3}).record(0x20, {4}).bytes();
    doc.loadImage(img, "x.air");
    EXPECT_EQ(doc.itemText(2), "20  Old name=4");
    fx.dir.write("Tarlo.ini", "[Records]\n20=New name,record\n[20]\n1=0,int8,Only field\n");
    doc.ParseImage();
    ASSERT_EQ(doc.entryCount(), 5u);
    EXPECT_EQ(doc.itemText(1), "20  New name");
    EXPECT_EQ(doc.itemText(4), "Only field=4");
}

TEST(Document, RebuildsAfterAnEditKeepTheDefinitionsReadAtLoad)
{
    Fixture fx("[Records]\n20=Old name,int8\n");
    CTLDoc& doc = fx.doc;
    Bytes img = AirImage().record(0x20, {3}).record(0x21, {4}).bytes();
    doc.loadImage(img, "x.air");
    fx.dir.write("Tarlo.ini", "[Records]\n20=New name,int8\n");
    const auto key = doc.entry(1).key;
    // An insert, a removal and their undo rebuild from the definitions
    // already parsed, and the entries keep their keys...
    const auto removed = doc.removeRecord(2);
    ASSERT_TRUE(removed);
    ASSERT_EQ(doc.entryCount(), 2u);
    EXPECT_EQ(doc.itemText(1), "20  Old name=3");
    ASSERT_TRUE(doc.insertRecord(1, 0x20, {5}));
    ASSERT_EQ(doc.entryCount(), 3u);
    EXPECT_EQ(doc.itemText(1), "20  Old name=5");
    EXPECT_EQ(doc.itemText(2), "20  Old name=3");
    EXPECT_EQ(doc.entry(2).key, key);
    ASSERT_TRUE(doc.undo(*doc.removeRecord(1)));
    EXPECT_EQ(doc.itemText(1), "20  Old name=5");
    EXPECT_EQ(doc.entry(2).key, key);
    // ...while load and reload read the file again.
    doc.loadImage(img, "x.air");
    EXPECT_EQ(doc.itemText(1), "20  New name=3");

    // Without definitions parsed yet, a rebuild reads the file.
    CTLDoc fresh;
    fresh.setDefinitionsPath(fx.dir.file("Tarlo.ini"));
    fresh.ReparseImage();
    EXPECT_EQ(fresh.entryCount(), 1u);
}

TEST(Document, EntriesShareTheirNamesAndHelpWithTheDefinitions)
{
    Fixture f;
    Bytes img;
    for (int i = 0; i < 50; ++i) {
        appendRecord(img, 0x1f4, engineRecord());
        appendRecord(img, 0x20, {1, 0, 0, 0});
    }
    f.load(img);
    // 50 engines with 4 fields, 50 flags, the root.
    const int size = int(f.doc.entryCount());
    EXPECT_EQ(size, 1 + 50 * 5 + 50);
    const RecordEntry first = f.doc.entry(1);
    const RecordEntry last = f.doc.entry(f.doc.highestIndex() - 5);
    ASSERT_EQ(last.id, 0x1f4u);
    EXPECT_TRUE(first.name.sharesWith(last.name));
    EXPECT_TRUE(first.help.sharesWith(last.help));
    EXPECT_TRUE(f.doc.entry(2).name.sharesWith(f.doc.entry(size - 5).name)); // "Idle speed"
    // The default help text is one copy for every entry without help.
    EXPECT_EQ(f.doc.entry(2).help, "No help text in Tarlo.ini.");
    EXPECT_TRUE(f.doc.entry(2).help.sharesWith(f.doc.entry(6).help));
    EXPECT_EQ(first.name, "Engine limits");
    EXPECT_EQ(first.help, "Limits of one engine.\nThey apply to every engine.");

    // A new text for one entry leaves the shared one alone.
    RecordEntry copy = first;
    copy.name = std::string("Renamed");
    EXPECT_EQ(copy.name, "Renamed");
    EXPECT_EQ(f.doc.entry(1).name, "Engine limits");
    EXPECT_FALSE(copy.name.sharesWith(first.name));
    SharedText moved = std::move(copy.name);
    EXPECT_EQ(moved, "Renamed");
    EXPECT_TRUE(copy.name.empty());
}

// Fields are made from their record when asked for: every way of reading an
// entry agrees, across records of 0 to 4 fields and far more entries than one
// step of the record lookup, and after inserts and removals.
TEST(Document, EveryEntryReadsTheSameWhicheverWayItIsAsked)
{
    Fixture f;
    AirImage a;
    for (int r = 0; r < 700; ++r) {
        if (r % 3 == 0)
            a.record(0x1f4, engineRecord());
        else
            a.record(r % 3 == 1 ? 0x20 : 0x99, {std::uint8_t(r), 0, 0, 0});
    }
    f.load(a.bytes());
    auto check = [&](const char* when) {
        SCOPED_TRACE(when);
        const CTLDoc& d = f.doc;
        int ordinal = -1, record = 0;
        for (int i = 0; i <= d.highestIndex(); ++i) {
            const RecordEntry e = d.entry(i);
            ASSERT_EQ(d.parentOf(i), e.parent) << i;
            if (i > 0 && e.parent == 0) {
                record = i;
                ++ordinal;
                ASSERT_EQ(d.recordAt(ordinal), i);
            }
            ASSERT_EQ(d.isRecord(i), i > 0 && e.parent == 0) << i;
            ASSERT_EQ(d.isField(i), e.parent != 0) << i;
            ASSERT_EQ(d.ordinalOf(i), i == 0 ? -1 : ordinal) << i;
            if (i > 0) {
                ASSERT_EQ(e.parent == 0 ? i : e.parent, record) << i;
                ASSERT_EQ(d.idOf(i), d.entry(record).id) << i;
            }
            ASSERT_EQ(d.keyOf(i), e.key) << i;
            ASSERT_EQ(d.indexOf(e.key), i) << i;
        }
        ASSERT_EQ(ordinal + 1, d.recordCount());
        EXPECT_EQ(d.recordAt(d.recordCount()), int(d.entryCount()));
        EXPECT_EQ(d.fieldCount(1), 4);
        EXPECT_EQ(d.fieldCount(2), 0); // a field
        EXPECT_EQ(d.fieldCount(6), 0); // a flag
        EXPECT_EQ(d.parentOf(int(d.entryCount())), -1);
        EXPECT_EQ(d.idOf(0), 0u);
        EXPECT_THROW((void)d.entry(int(d.entryCount())), std::out_of_range);
    };
    check("loaded");
    EXPECT_EQ(f.doc.entryCount(), 1u + 700u + 234u * 4u);

    // Keys outlive a rebuild: a removal undone gives the record and its fields
    // their keys back, where they were.
    const EntryKey fieldKey = f.doc.keyOf(f.doc.recordAt(300) + 2);
    const auto removed = f.doc.removeRecord(f.doc.recordAt(300));
    ASSERT_TRUE(removed);
    EXPECT_EQ(f.doc.indexOf(fieldKey), -1);
    check("removed");
    ASSERT_TRUE(f.doc.undo(*removed));
    EXPECT_EQ(f.doc.indexOf(fieldKey), f.doc.recordAt(300) + 2);
    check("removal undone");
    ASSERT_TRUE(f.doc.insertRecord(f.doc.recordAt(10), 0x1f4, engineRecord()));
    EXPECT_EQ(f.doc.indexOf(fieldKey), f.doc.recordAt(301) + 2);
    check("inserted");
}

// A save after a record changed length moves the records behind it in the
// image; an insert or a removal then must still compose every record from
// its own bytes.
TEST(Document, InsertAndRemoveAfterASaveThatMovedRecords)
{
    Fixture f;
    Bytes img = AirImage()
                        .record(0x20, {1, 0, 0, 0})
                        .record(0x1f5, {'a', 'b', 0})
                        .record(0x99, {7, 7})
                        .record(0x20, {0, 0, 0, 0})
                        .bytes();
    f.load(img);
    ASSERT_TRUE(f.doc.setRecordData(2, {'l', 'o', 'n', 'g', 'e', 'r', 0}));
    ASSERT_FALSE(f.doc.save(f.dir.file("moved.air")));
    const Bytes moved = AirImage()
                                .record(0x20, {1, 0, 0, 0})
                                .record(0x1f5, {'l', 'o', 'n', 'g', 'e', 'r', 0})
                                .record(0x99, {7, 7})
                                .record(0x20, {0, 0, 0, 0})
                                .bytes();
    ASSERT_EQ(f.doc.image(), moved);

    ASSERT_TRUE(f.doc.removeRecord(1));
    EXPECT_EQ(f.doc.image(),
            AirImage()
                    .record(0x1f5, {'l', 'o', 'n', 'g', 'e', 'r', 0})
                    .record(0x99, {7, 7})
                    .record(0x20, {0, 0, 0, 0})
                    .bytes());
    ASSERT_TRUE(f.doc.setRecordData(1, {'x', 0}));
    ASSERT_FALSE(f.doc.save(f.dir.file("moved.air")));
    ASSERT_TRUE(f.doc.insertRecord(2, 0x30, {5, 0}));
    EXPECT_EQ(f.doc.image(),
            AirImage()
                    .record(0x1f5, {'x', 0})
                    .record(0x30, {5, 0})
                    .record(0x99, {7, 7})
                    .record(0x20, {0, 0, 0, 0})
                    .bytes());
}
