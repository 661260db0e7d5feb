// The document's Qt face: the notifier relays every notice as a signal, and
// the undo history takes each edit as one step, clears at a load and is
// clean at a save.
#include "document/DocNotifier.h"
#include "document/DocUndoStack.h"
#include "model/CTLDoc.h"
#include "tests/common/AirImage.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <memory>

namespace {

using airtest::AirImage;
using airtest::Bytes;

struct Opened {
    airtest::TempDir dir{"document"};
    model::CTLDoc doc;
    document::DocNotifier notifier{doc};
    QStringList heard;
    Opened()
    {
        doc.setDefinitionsPath(dir.write("Tarlo.ini", "[Records]\n20=Flag,int8\n21=Name,text\n"));
        using N = document::DocNotifier;
        QObject::connect(&notifier, &N::aboutToChange, [this](const model::Change&) { heard << "about"; });
        QObject::connect(&notifier, &N::changed,
                [this](const model::Change& c) { heard << QString::fromStdString("changed " + c.label); });
        QObject::connect(&notifier, &N::modifiedChanged,
                [this](bool m) { heard << (m ? QStringLiteral("modified") : QStringLiteral("unmodified")); });
        QObject::connect(&notifier, &N::loaded, [this] { heard << "loaded"; });
        QObject::connect(&notifier, &N::saved, [this] { heard << "saved"; });
    }
    std::string file()
    {
        return dir.write("plane.air", AirImage().record(0x20, {1}).record(0x21, {'a', 0}).bytes());
    }
};

TEST(DocNotifier, RelaysEveryNoticeInOrder)
{
    Opened o;
    ASSERT_FALSE(o.doc.load(o.file()));
    ASSERT_TRUE(o.doc.setBytes(1, 0, Bytes{2}));
    ASSERT_TRUE(o.doc.removeRecord(2, "Cut"));
    ASSERT_FALSE(o.doc.save(o.doc.fullPath()));
    EXPECT_EQ(o.heard,
            (QStringList{"loaded", "changed Edit Flag", "modified", "about", "changed Cut", "saved",
                    "unmodified"}));
    EXPECT_EQ(&o.notifier.document(), &o.doc);
}

TEST(DocNotifier, LeavesTheDocumentWhenItGoes)
{
    model::CTLDoc doc;
    int loads = 0;
    {
        document::DocNotifier n(doc);
        QObject::connect(&n, &document::DocNotifier::loaded, [&] { ++loads; });
        doc.loadImage(AirImage().record(0x20, {1}).bytes(), "a.air");
    }
    doc.loadImage(AirImage().record(0x20, {1}).bytes(), "a.air"); // nobody left to tell
    EXPECT_EQ(loads, 1);
}

TEST(DocUndoStack, OneStepPerEditNamedByItsLabel)
{
    Opened o;
    document::DocUndoStack undo(o.notifier);
    ASSERT_FALSE(o.doc.load(o.file()));
    ASSERT_TRUE(o.doc.setBytes(1, 0, Bytes{2}));
    ASSERT_TRUE(o.doc.setRecordData(2, Bytes{'x', 'y', 0}, "Rename"));
    ASSERT_EQ(undo.count(), 2);
    EXPECT_EQ(undo.undoText(), QStringLiteral("Rename"));

    // Undo and redo hand the change back to the document; they add no step.
    undo.undo();
    EXPECT_EQ(o.doc.data(2).size(), 2u);
    undo.undo();
    EXPECT_EQ(o.doc.data(1)[0], 1);
    EXPECT_FALSE(o.doc.isModified());
    undo.redo();
    EXPECT_EQ(o.doc.data(1)[0], 2);
    EXPECT_EQ(undo.count(), 2);
    EXPECT_EQ(undo.redoText(), QStringLiteral("Rename"));
}

TEST(DocUndoStack, CleanAtASaveEmptyAfterALoad)
{
    Opened o;
    document::DocUndoStack undo(o.notifier);
    ASSERT_FALSE(o.doc.load(o.file()));
    ASSERT_TRUE(o.doc.setBytes(1, 0, Bytes{2}));
    EXPECT_FALSE(undo.isClean());
    ASSERT_FALSE(o.doc.save(o.doc.fullPath()));
    EXPECT_TRUE(undo.isClean());
    ASSERT_TRUE(o.doc.setBytes(1, 0, Bytes{3}));
    EXPECT_EQ(undo.count(), 2);
    ASSERT_FALSE(o.doc.reload());
    EXPECT_EQ(undo.count(), 0);
}

TEST(DocUndoStack, OutlivesItsNotifier)
{
    // A step whose notifier is gone does nothing when taken back.
    Opened o;
    auto undo = std::make_unique<document::DocUndoStack>(o.notifier);
    {
        auto n = std::make_unique<document::DocNotifier>(o.doc);
        document::DocUndoStack own(*n);
        ASSERT_FALSE(o.doc.load(o.file()));
        ASSERT_TRUE(o.doc.setBytes(1, 0, Bytes{2}));
        n.reset();
        own.undo();
        EXPECT_EQ(o.doc.data(1)[0], 2);
    }
    EXPECT_EQ(undo->count(), 1);
}

} // namespace
