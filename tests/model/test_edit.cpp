// The document's edit API: change values, listeners, undo and redo, keys and
// the modified state.
#include "model/CTLDoc.h"

#include "common/AirImage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace model;
namespace fs = std::filesystem;

namespace {

using namespace airtest;

const char* kDefs = "[Records]\n"
                    "1f4=Engine limits,record\n"
                    "1f5=Type name,text\n"
                    "20=Flag,bool\n"
                    "[1f4]\n"
                    "1=0,int16,Idle speed\n"
                    "2=2,bool,Has starter\n"
                    "3=6,double,Top temperature\n";

Bytes engine(std::uint8_t idle)
{
    return Bytes{idle, 0x02, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
}

// Records what the document publishes.
struct Recorder : DocListener {
    const CTLDoc* doc = nullptr;
    std::vector<Change> pending, changes;
    std::vector<std::size_t> countsBefore; // list size seen in aboutToChange
    std::vector<bool> modified;
    int loads = 0, saves = 0;
    void aboutToChange(const Change& c) override
    {
        pending.push_back(c);
        countsBefore.push_back(doc->entryCount());
    }
    void changed(const Change& c) override { changes.push_back(c); }
    void modifiedChanged(bool m) override { modified.push_back(m); }
    void loaded() override { ++loads; }
    void saved() override { ++saves; }
};

class EditApi : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int n = 0;
        dir_ = fs::temp_directory_path() / ("tarlo_edit_" + std::to_string(::getpid()) + "_" + std::to_string(n++));
        fs::create_directories(dir_);
        std::ofstream(dir_ / "Tarlo.ini") << kDefs;
        doc.setDefinitionsPath((dir_ / "Tarlo.ini").string());
        appendRecord(img, 0x20, {1, 0, 0, 0}); // 1
        appendRecord(img, 0x1f4, engine(0x10)); // 2, fields 3..5
        appendRecord(img, 0x1f5, {'a', 'b', 0}); // 6
        img.push_back(0x42);                   // a trailing byte
        doc.loadImage(img, (dir_ / "plane.air").string());
        rec.doc = &doc;
        doc.addListener(&rec);
    }
    void TearDown() override
    {
        doc.removeListener(&rec);
        fs::remove_all(dir_);
    }
    Bytes composed()
    {
        doc.ComposeImage();
        return doc.image();
    }

    fs::path dir_;
    Bytes img;
    CTLDoc doc;
    Recorder rec;
};

} // namespace

TEST_F(EditApi, SetBytesOfAFieldReportsTheRangeInsideItsRecord)
{
    const EntryKey field = doc.keyOf(4), record = doc.keyOf(2);
    const auto c = doc.setBytes(4, 0, Bytes{0});
    ASSERT_TRUE(c);
    EXPECT_EQ(c->kind, ChangeKind::Bytes);
    EXPECT_EQ(c->origin, ChangeOrigin::Edit);
    EXPECT_EQ(c->entry, field);
    EXPECT_EQ(c->record, record);
    EXPECT_EQ(c->index, 4);
    EXPECT_EQ(c->recordIndex, 2);
    EXPECT_EQ(c->offset, 2u); // "Has starter" lies at offset 2 of its record
    EXPECT_EQ(c->oldBytes, Bytes{1});
    EXPECT_EQ(c->newBytes, Bytes{0});
    EXPECT_EQ(c->recordId, 0x1f4u);
    EXPECT_EQ(c->label, "Edit Has starter");
    EXPECT_EQ(doc.itemText(4), "Has starter=FALSE(0)");
    ASSERT_EQ(rec.changes.size(), 1u);
    EXPECT_EQ(rec.changes[0].offset, 2u);
    EXPECT_TRUE(rec.pending.empty()); // no list change announced for bytes
    EXPECT_EQ(rec.modified, std::vector<bool>{true});

    // An offset inside the entry, and a label of the caller's own.
    const auto d = doc.setBytes(2, 6, Bytes{1, 2}, "Edit As Hex Engine limits");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->offset, 6u);
    EXPECT_EQ(d->label, "Edit As Hex Engine limits");
}

TEST_F(EditApi, RefusedAndEmptyEditsChangeNothing)
{
    EXPECT_FALSE(doc.setBytes(0, 0, Bytes{1}));       // the root has no bytes
    EXPECT_FALSE(doc.setBytes(3, 1, Bytes{1, 2}));    // past the field's two bytes
    EXPECT_FALSE(doc.setBytes(3, 3, Bytes{1}));
    EXPECT_FALSE(doc.setBytes(99, 0, Bytes{1}));
    EXPECT_FALSE(doc.setBytes(3, 0, Bytes{0x10, 0x02})); // the same bytes: no change
    EXPECT_FALSE(doc.setRecordData(3, Bytes{1}));       // a field
    EXPECT_FALSE(doc.setRecordData(1, Bytes{1, 0, 0, 0})); // the same data
    EXPECT_FALSE(doc.removeRecord(0));
    EXPECT_FALSE(doc.removeRecord(4));
    EXPECT_FALSE(doc.insertRecord(4, 0x20, {}));
    EXPECT_TRUE(rec.changes.empty());
    EXPECT_TRUE(rec.pending.empty());
    EXPECT_FALSE(doc.isModified());
    EXPECT_EQ(composed(), img);
}

TEST_F(EditApi, UndoAndRedoOfBytesGiveBackTheExactBytes)
{
    const auto c = doc.setBytes(5, 0, Bytes{0, 0, 0, 0, 0, 0, 0xF0, 0x3F}); // Top temperature = 1.0
    ASSERT_TRUE(c);
    const Bytes edited = composed();
    ASSERT_TRUE(doc.undo(*c));
    EXPECT_EQ(composed(), img);
    ASSERT_EQ(rec.changes.size(), 2u);
    const Change& u = rec.changes[1];
    EXPECT_EQ(u.origin, ChangeOrigin::Undo);
    EXPECT_EQ(u.kind, ChangeKind::Bytes);
    EXPECT_EQ(u.index, 5);
    EXPECT_EQ(u.oldBytes, c->newBytes);
    EXPECT_EQ(u.newBytes, c->oldBytes);
    EXPECT_EQ(u.label, "Edit Top temperature");
    ASSERT_TRUE(doc.redo(*c));
    EXPECT_EQ(composed(), edited);
    EXPECT_EQ(rec.changes[2].origin, ChangeOrigin::Redo);
    EXPECT_EQ(doc.itemText(5), "Top temperature=1.000000");
}

TEST_F(EditApi, RecordDataChangesTheLengthAndUndoRestoresIt)
{
    const auto c = doc.setRecordData(6, Bytes{'h', 'e', 'l', 'l', 'o', 0});
    ASSERT_TRUE(c);
    EXPECT_EQ(c->kind, ChangeKind::RecordData);
    EXPECT_EQ(c->oldBytes, (Bytes{'a', 'b', 0}));
    EXPECT_EQ(c->newBytes.size(), 6u);
    EXPECT_EQ(c->label, "Edit Type name");
    EXPECT_EQ(doc.entry(6).length, 6u);
    const Bytes edited = composed();

    // A shorter block leaves the fields outside; undo brings them back.
    const auto s = doc.setRecordData(2, Bytes{7, 0});
    ASSERT_TRUE(s);
    EXPECT_EQ(doc.itemText(4), "Has starter (outside record)");
    ASSERT_TRUE(doc.undo(*s));
    EXPECT_EQ(doc.itemText(4), "Has starter=TRUE(1)");
    ASSERT_TRUE(doc.undo(*c));
    EXPECT_EQ(doc.entry(6).length, 3u);
    EXPECT_EQ(composed(), img);
    ASSERT_TRUE(doc.redo(*c));
    EXPECT_EQ(composed(), edited);
}

TEST_F(EditApi, InsertAnnouncesItselfAndKeepsTheOtherKeys)
{
    const EntryKey engineKey = doc.keyOf(2), starterKey = doc.keyOf(4), textKey = doc.keyOf(6);
    const auto c = doc.insertRecord(2, 0x1f4, engine(0x20));
    ASSERT_TRUE(c);
    ASSERT_EQ(rec.pending.size(), 1u);
    EXPECT_EQ(rec.pending[0].kind, ChangeKind::Insert);
    EXPECT_EQ(rec.pending[0].index, 2);
    EXPECT_EQ(rec.pending[0].recordId, 0x1f4u);
    EXPECT_EQ(rec.countsBefore[0], 7u); // told while the list was still as it was

    EXPECT_EQ(c->kind, ChangeKind::Insert);
    EXPECT_EQ(c->index, 2);
    EXPECT_EQ(c->entries, 4); // the record and its three fields
    EXPECT_EQ(c->fieldKeys.size(), 3u);
    EXPECT_EQ(c->newBytes, engine(0x20));
    EXPECT_EQ(c->label, "Add Record 1f4 Engine limits");
    EXPECT_EQ(doc.entryCount(), 11u);
    EXPECT_EQ(doc.itemText(3), "Idle speed=544");

    // The record that was at 2 is now at 6, with its fields, under its key.
    EXPECT_EQ(doc.indexOf(engineKey), 6);
    EXPECT_EQ(doc.indexOf(starterKey), 8);
    EXPECT_EQ(doc.indexOf(textKey), 10);
    EXPECT_EQ(doc.indexOf(c->record), 2);

    ASSERT_TRUE(doc.undo(*c));
    EXPECT_EQ(composed(), img);
    EXPECT_EQ(rec.changes.back().kind, ChangeKind::Remove);
    EXPECT_EQ(rec.changes.back().origin, ChangeOrigin::Undo);
    EXPECT_EQ(rec.pending.back().kind, ChangeKind::Remove);
    EXPECT_EQ(doc.indexOf(engineKey), 2);
    EXPECT_EQ(doc.indexOf(c->record), -1);

    // Redo puts the same record back: same place, same keys.
    ASSERT_TRUE(doc.redo(*c));
    EXPECT_EQ(doc.indexOf(c->record), 2);
    EXPECT_EQ(doc.keyOf(3), c->fieldKeys[0]);
    EXPECT_EQ(doc.itemText(3), "Idle speed=544");
    EXPECT_EQ(doc.recordCount(), 4);
}

TEST_F(EditApi, InsertAtTheEndAppends)
{
    const auto c = doc.insertRecord(int(doc.entryCount()), 0x20, {0, 0, 0, 0});
    ASSERT_TRUE(c);
    EXPECT_EQ(c->index, 7);
    Bytes expected(img.begin(), img.end() - 1);
    appendRecord(expected, 0x20, {0, 0, 0, 0});
    expected.push_back(0x42); // the trailing byte stays last
    EXPECT_EQ(composed(), expected);
    ASSERT_TRUE(doc.undo(*c));
    EXPECT_EQ(composed(), img);
}

TEST_F(EditApi, RemoveKeepsWhatUndoNeedsToPutItBack)
{
    const EntryKey engineKey = doc.keyOf(2), fieldKey = doc.keyOf(5), textKey = doc.keyOf(6);
    const auto c = doc.removeRecord(2);
    ASSERT_TRUE(c);
    ASSERT_EQ(rec.pending.size(), 1u);
    EXPECT_EQ(rec.pending[0].kind, ChangeKind::Remove);
    EXPECT_EQ(rec.pending[0].index, 2);
    EXPECT_EQ(rec.countsBefore[0], 7u);
    EXPECT_EQ(c->index, 2);
    EXPECT_EQ(c->entries, 4);
    EXPECT_EQ(c->recordOrdinal, 1);
    EXPECT_EQ(c->oldBytes, engine(0x10));
    EXPECT_EQ(c->label, "Remove Record 1f4 Engine limits");
    EXPECT_EQ(doc.entryCount(), 3u);
    EXPECT_EQ(doc.indexOf(textKey), 2);
    EXPECT_EQ(doc.indexOf(engineKey), -1);

    ASSERT_TRUE(doc.undo(*c));
    EXPECT_EQ(composed(), img);
    EXPECT_EQ(rec.changes.back().kind, ChangeKind::Insert);
    EXPECT_EQ(rec.changes.back().index, 2);
    EXPECT_EQ(doc.indexOf(engineKey), 2);
    EXPECT_EQ(doc.indexOf(fieldKey), 5);
    EXPECT_EQ(doc.itemText(2), "1f4  Engine limits");

    ASSERT_TRUE(doc.redo(*c));
    EXPECT_EQ(doc.entryCount(), 3u);
    EXPECT_FALSE(doc.redo(*c)); // the record is gone: nothing to remove
}

TEST_F(EditApi, AChainOfEditsUndoesThroughARemovalOfItsRecord)
{
    // An edit of a field, then the removal of its record: undoing both in
    // turn finds the record again by its key.
    const auto edit = doc.setBytes(3, 0, Bytes{0x34, 0x12});
    const auto remove = doc.removeRecord(2);
    const auto add = doc.insertRecord(1, 0x1f5, {'x', 0});
    ASSERT_TRUE(edit && remove && add);
    ASSERT_TRUE(doc.undo(*add));
    ASSERT_TRUE(doc.undo(*remove));
    EXPECT_EQ(doc.itemText(3), "Idle speed=4660");
    ASSERT_TRUE(doc.undo(*edit));
    EXPECT_EQ(composed(), img);
    EXPECT_FALSE(doc.isModified());
    ASSERT_TRUE(doc.redo(*edit));
    ASSERT_TRUE(doc.redo(*remove));
    ASSERT_TRUE(doc.redo(*add));
    EXPECT_EQ(doc.recordCount(), 3);
    EXPECT_EQ(doc.itemText(1), "1f5  Type name=x");
}

TEST_F(EditApi, ModifiedFollowsTheSavedState)
{
    const std::string path = (dir_ / "plane.air").string();
    EXPECT_FALSE(doc.isModified());
    const auto a = doc.setBytes(1, 0, Bytes{0}); // Flag off
    ASSERT_TRUE(a);
    EXPECT_TRUE(doc.isModified());
    ASSERT_FALSE(doc.save(path));
    EXPECT_FALSE(doc.isModified());
    EXPECT_EQ(rec.saves, 1);

    // Undo after the save: the file on disk has the edit, the document not.
    ASSERT_TRUE(doc.undo(*a));
    EXPECT_TRUE(doc.isModified());
    ASSERT_TRUE(doc.redo(*a));
    EXPECT_FALSE(doc.isModified());
    EXPECT_EQ(rec.modified, (std::vector<bool>{true, false, true, false}));

    // Back past the saved state and forward with another edit: the saved
    // state is out of reach, so the document stays modified.
    ASSERT_TRUE(doc.undo(*a));
    const auto b = doc.setBytes(1, 0, Bytes{2});
    ASSERT_TRUE(b);
    ASSERT_TRUE(doc.undo(*b));
    EXPECT_TRUE(doc.isModified()); // the state before `a`, not the saved one
    ASSERT_TRUE(doc.redo(*b));
    EXPECT_TRUE(doc.isModified());

    // A load starts over: unmodified, and the listeners hear of it.
    doc.loadImage(img, path);
    EXPECT_FALSE(doc.isModified());
    EXPECT_EQ(rec.loads, 1);
    EXPECT_EQ(rec.modified.back(), false);
}

TEST_F(EditApi, UndoingToTheLoadedStateIsUnmodified)
{
    const auto a = doc.setBytes(3, 0, Bytes{1, 0});
    const auto b = doc.setRecordData(6, Bytes{'z', 0});
    ASSERT_TRUE(a && b);
    ASSERT_TRUE(doc.undo(*b));
    EXPECT_TRUE(doc.isModified());
    ASSERT_TRUE(doc.undo(*a));
    EXPECT_FALSE(doc.isModified());

    // markModified() (modified without new bytes) marks it modified whatever
    // the history says, until a save.
    doc.markModified();
    EXPECT_TRUE(doc.isModified());
    ASSERT_FALSE(doc.save((dir_ / "copy.air").string()));
    EXPECT_FALSE(doc.isModified());

    // ... or until an undo or redo, after which the history tells again.
    ASSERT_TRUE(doc.redo(*a));
    doc.markModified();
    ASSERT_TRUE(doc.undo(*a));
    EXPECT_FALSE(doc.isModified());
    EXPECT_EQ(rec.modified.back(), false);
}

TEST_F(EditApi, KeysAreNewAfterALoadAndListenersCanLeave)
{
    const EntryKey before = doc.keyOf(2);
    EXPECT_NE(before, 0u);
    EXPECT_EQ(doc.keyOf(-1), 0u);
    EXPECT_EQ(doc.indexOf(0), -1);
    doc.loadImage(img, (dir_ / "plane.air").string());
    EXPECT_EQ(doc.indexOf(before), -1);
    doc.removeListener(&rec);
    ASSERT_TRUE(doc.setBytes(1, 0, Bytes{0}));
    EXPECT_TRUE(rec.changes.empty());
}

// Records view the image as loaded; only an edited record gets bytes of its
// own, and a save (which composes a new image) moves every view onto it.
TEST_F(EditApi, EditedRecordsKeepTheirBytesAcrossSavesAndUndo)
{
    const std::uint8_t* first = doc.image().data();
    const std::uint8_t* last = first + doc.image().size();
    auto inImage = [&](int i) {
        return doc.data(i).data() >= first && doc.data(i).data() + doc.data(i).size() <= last;
    };
    for (int i = 1; i <= doc.highestIndex(); ++i)
        EXPECT_TRUE(inImage(i)) << i;

    // An edit of a field goes to its record alone; the image is not written.
    const auto edit = doc.setBytes(3, 0, Bytes{0x11, 0x22}); // Idle speed
    ASSERT_TRUE(edit);
    EXPECT_EQ(doc.image(), img);
    EXPECT_FALSE(inImage(2));
    EXPECT_FALSE(inImage(3)); // its fields follow it
    EXPECT_TRUE(inImage(1));
    EXPECT_TRUE(inImage(6));
    EXPECT_EQ(doc.data(3)[1], 0x22);
    EXPECT_EQ(doc.data(3).data(), doc.data(2).data());
    // The text record grows: the records after it are still read whole.
    const auto grow = doc.setRecordData(6, Bytes{'l', 'o', 'n', 'g', 'e', 'r', 0});
    ASSERT_TRUE(grow);

    Bytes expected = record(0x20, {1, 0, 0, 0});
    Bytes engineData = engine(0x11);
    engineData[1] = 0x22;
    appendRecord(expected, 0x1f4, engineData);
    appendRecord(expected, 0x1f5, {'l', 'o', 'n', 'g', 'e', 'r', 0});
    expected.push_back(0x42);
    const std::uint32_t textOffset = doc.entry(6).fileOffset;
    const std::uint32_t fieldOffset = doc.entry(5).fileOffset;
    const std::string path = (dir_ / "plane.air").string();
    ASSERT_FALSE(doc.save(path));
    Bytes disk;
    ASSERT_FALSE(base::fileio::readFile(path, disk));
    EXPECT_EQ(disk, expected);

    // After the save every record views the new image at its place there,
    // while the entries keep the file offsets of the list as built.
    first = doc.image().data();
    last = first + doc.image().size();
    for (int i = 1; i <= doc.highestIndex(); ++i)
        EXPECT_TRUE(inImage(i)) << i;
    EXPECT_EQ(doc.entry(6).fileOffset, textOffset);
    EXPECT_EQ(doc.entry(5).fileOffset, fieldOffset);
    EXPECT_EQ(doc.itemText(3), "Idle speed=8721");
    EXPECT_EQ(doc.itemText(6), "1f5  Type name=longer");

    // Undo across the save edits the new image's records and gives back
    // the file as loaded; redo brings the saved one back.
    ASSERT_TRUE(doc.undo(*grow));
    ASSERT_TRUE(doc.undo(*edit));
    EXPECT_EQ(composed(), img);
    EXPECT_TRUE(doc.isModified());
    ASSERT_TRUE(doc.redo(*edit));
    ASSERT_TRUE(doc.redo(*grow));
    EXPECT_EQ(composed(), expected);
    EXPECT_FALSE(doc.isModified());
}

// A record that grows moves every record after it in the saved file. The
// entries keep the offsets of the list as built (Info shows them until the
// next parse) while their bytes are found at their new places: values,
// further edits, further saves and undo all see the right bytes.
TEST_F(EditApi, ASaveThatMovesRecordsKeepsOffsetsAndFindsTheBytes)
{
    std::vector<std::uint32_t> offsets;
    for (int i = 0; i <= doc.highestIndex(); ++i)
        offsets.push_back(doc.entry(i).fileOffset);
    const auto grow = doc.setRecordData(1, Bytes{1, 0, 0, 0, 7, 7});
    ASSERT_TRUE(grow);
    const std::string path = (dir_ / "plane.air").string();
    ASSERT_FALSE(doc.save(path));

    Bytes expected = AirImage()
                             .record(0x20, {1, 0, 0, 0, 7, 7})
                             .record(0x1f4, engine(0x10))
                             .record(0x1f5, {'a', 'b', 0})
                             .bytes();
    expected.push_back(0x42);
    Bytes disk;
    ASSERT_FALSE(base::fileio::readFile(path, disk));
    EXPECT_EQ(disk, expected);
    for (int i = 0; i <= doc.highestIndex(); ++i)
        EXPECT_EQ(doc.entry(i).fileOffset, offsets[std::size_t(i)]) << i;
    EXPECT_EQ(doc.data(2).data(), doc.image().data() + 8 + 6 + 8);
    EXPECT_EQ(doc.itemText(3), "Idle speed=528");
    EXPECT_EQ(doc.itemText(6), "1f5  Type name=ab");

    // An edit after the save lands in the moved record, and a second save
    // (nothing moves relative to the first) writes it.
    const auto edit = doc.setBytes(3, 0, Bytes{0x11, 0x22});
    ASSERT_TRUE(edit);
    ASSERT_FALSE(doc.save(path));
    expected[8 + 6 + 8] = 0x11;
    expected[8 + 6 + 8 + 1] = 0x22;
    ASSERT_FALSE(base::fileio::readFile(path, disk));
    EXPECT_EQ(disk, expected);
    EXPECT_EQ(doc.itemText(6), "1f5  Type name=ab");

    // Undo both: the records move back to where the offsets say.
    ASSERT_TRUE(doc.undo(*edit));
    ASSERT_TRUE(doc.undo(*grow));
    EXPECT_EQ(composed(), img);
    EXPECT_EQ(doc.itemText(3), "Idle speed=528");
    EXPECT_EQ(doc.data(6).data(), doc.image().data() + offsets[6]);
}
