// The record tree as a user sees it: texts, order, expansion, the press and
// key rules, the context menu and the type pictures.

#include "browser/CTLView.h"
#include "browser/RecordTreeModel.h"
#include "browser/TypePictures.h"
#include "common/TestAir.h"
#include "document/DocNotifier.h"
#include "model/CTLDoc.h"
#include "tests/common/DarkPalette.h"
#include "tests/common/MessageRecorder.h"
#include "tests/common/IsolatedSettings.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QToolTip>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using browser::CTLView;
using browser::RecordTreeModel;

namespace {

// The notifier a probe view is built on, made before the view and gone after it.
struct OwnNotifier {
    explicit OwnNotifier(model::CTLDoc& doc) : notifier(doc) {}
    document::DocNotifier notifier;
};

// Records what the editors would be asked to do.
class ProbeView : private OwnNotifier, public CTLView {
public:
    explicit ProbeView(model::CTLDoc& doc) : OwnNotifier(doc), CTLView(notifier) {}
    QList<int> activated;
    int altT = 0, altD = 0;
    bool editorOpen = false;
    int editorFocus = 0;
    QStringList commands; // the context menu's commands, in the order run
    QList<int> rowsBeforeChange; // the root's rows each time a record is about to come or go

    void activateEntry(int i) override { activated << i; }
    void onEditAsHex() override { commands << QStringLiteral("hex"); }
    void onCopyToClipboard() override { commands << QStringLiteral("copy"); }
    void onAddFromClipboard() override { commands << QStringLiteral("add"); }
    void onRemoveRecord() override { commands << QStringLiteral("remove"); }
    void onReplaceFromClipboard() override { commands << QStringLiteral("replace"); }
    void onAltT() override { ++altT; }
    void onAltD() override { ++altD; }
    bool inPlaceEditorOpen() const override { return editorOpen; }
    void focusInPlaceEditor() override { ++editorFocus; }
    void documentAboutToChange(const model::Change&) override
    {
        rowsBeforeChange << model()->rowCount(model()->index(0, 0));
    }

    using CTLView::hitItem;
};

} // namespace

class RecordTreeTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString ini_;

    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString p = dir_.filePath(name);
        testair::writeFile(p, bytes);
        return p;
    }

    // Loads path into doc; the view follows the load by itself.
    void load(model::CTLDoc& doc, ProbeView&, const QString& path)
    {
        doc.setDefinitionsPath(ini_.toStdString());
        QVERIFY(!doc.load(path.toStdString()));
    }
    void loadSample(model::CTLDoc& doc, ProbeView& view)
    {
        load(doc, view, write(QStringLiteral("plane.air"), testair::sampleImage()));
    }

    // Shows the view at that size; false when it never reached the screen.
    static bool shownAt(QWidget& view, int width, int height)
    {
        view.resize(width, height);
        view.show();
        return QTest::qWaitForWindowExposed(&view);
    }

    QStringList childTexts(const CTLView& view, const QModelIndex& parent)
    {
        QStringList out;
        auto* m = view.model();
        for (int r = 0; r < m->rowCount(parent); ++r) out << m->index(r, 0, parent).data().toString();
        return out;
    }

    QPoint labelPoint(const ProbeView& view, int entry)
    {
        const QRect r = view.itemRect(entry);
        return QPoint(r.right() - 4, r.center().y());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        ini_ = write(QStringLiteral("Tarlo.ini"), testair::kDefinitions);
    }

    void aViewOnANotifierRebuildsAtLoadAndSaveElsewhere()
    {
        // No wiring beyond the notifier: the view follows loads and saves.
        model::CTLDoc doc;
        ProbeView view(doc);
        QSignalSpy rebuilt(&view, &CTLView::rebuilt);
        loadSample(doc, view);
        QCOMPARE(rebuilt.count(), 1);
        QCOMPARE(view.model()->index(0, 0).data().toString(), QStringLiteral("plane.air"));

        QVERIFY(!doc.save(doc.fullPath())); // same path: the tree stays
        QCOMPARE(rebuilt.count(), 1);
        QVERIFY(!doc.save(dir_.filePath(QStringLiteral("renamed.air")).toStdString()));
        QCOMPARE(rebuilt.count(), 2);
        QCOMPARE(view.model()->index(0, 0).data().toString(), QStringLiteral("renamed.air"));
        QVERIFY(!doc.reload());
        QCOMPARE(rebuilt.count(), 3);
    }

    void textsAndOrderFollowTheSortFlag()
    {
        model::CTLDoc doc;
        ProbeView view(doc);
        new QAbstractItemModelTester(view.model(), QAbstractItemModelTester::FailureReportingMode::QtTest, &view);
        QSignalSpy status(&view, &CTLView::statusTextChanged);
        loadSample(doc, view);

        const QModelIndex root = view.model()->index(0, 0);
        QCOMPARE(root.data().toString(), QStringLiteral("plane.air"));
        // Unsigned order: the id with the top bit set comes last.
        QCOMPARE(childTexts(view, root),
                 QStringList({QStringLiteral("2  Starter=TRUE(1)"), QStringLiteral("10  Engine"),
                              QStringLiteral("80000000  Unknown")}));
        const QModelIndex engine = view.model()->index(1, 0, root);
        QCOMPARE(childTexts(view, engine),
                 QStringList({QStringLiteral("Idle=300"), QStringLiteral("Has starter=TRUE(1)"),
                              QStringLiteral("Count=7")}));
        QCOMPARE(status.last().at(0).toString(), QStringLiteral("plane.air has 3 records."));

        view.setSortEntries(false);
        QCOMPARE(childTexts(view, view.model()->index(0, 0)),
                 QStringList({QStringLiteral("10  Engine"), QStringLiteral("2  Starter=TRUE(1)"),
                              QStringLiteral("80000000  Unknown")}));
        // Items carry their list index both ways.
        for (int i = 0; i < int(doc.entryCount()); ++i) {
            const QModelIndex idx = view.recordModel()->indexForEntry(i);
            QVERIFY(idx.isValid());
            QCOMPARE(RecordTreeModel::entryOf(idx), i);
        }
        QVERIFY(!view.recordModel()->indexForEntry(int(doc.entryCount())).isValid());
    }

    void equalIdsKeepFileOrderAndTheirOwnFields()
    {
        QByteArray a = QByteArray::fromHex("0100010000000000"), b = QByteArray::fromHex("0200000000000000");
        model::CTLDoc doc;
        ProbeView view(doc);
        new QAbstractItemModelTester(view.model(), QAbstractItemModelTester::FailureReportingMode::QtTest, &view);
        load(doc, view,
             write(QStringLiteral("dup.air"),
                   testair::image({{0x10, a}, {0x5, QByteArray("x")}, {0x10, b}, {0x3, QByteArray("y")}})));
        const QModelIndex root = view.model()->index(0, 0);
        const QStringList texts = childTexts(view, root);
        QCOMPARE(texts.size(), 4);
        QCOMPARE(texts.at(2), QStringLiteral("10  Engine"));
        QCOMPARE(texts.at(3), QStringLiteral("10  Engine"));
        // The first 0x10 of the file stays first (stable sort).
        QCOMPARE(view.model()->index(0, 0, view.model()->index(2, 0, root)).data().toString(), QStringLiteral("Idle=1"));
        QCOMPARE(view.model()->index(0, 0, view.model()->index(3, 0, root)).data().toString(), QStringLiteral("Idle=2"));
    }

    void emptyFileAndTrailingBytes()
    {
        model::CTLDoc doc;
        ProbeView view(doc);
        QSignalSpy status(&view, &CTLView::statusTextChanged);
        load(doc, view, write(QStringLiteral("empty.air"), QByteArray()));
        QCOMPARE(view.model()->rowCount(), 1);
        QCOMPARE(view.model()->rowCount(view.model()->index(0, 0)), 0);
        QCOMPARE(status.last().at(0).toString(), QStringLiteral("empty.air has 0 records."));

        // Five bytes after a whole record cannot be a header: they are shown last,
        // whatever the sort, and nothing opens on them.
        load(doc, view,
             write(QStringLiteral("tail.air"),
                   testair::image({{0x2, QByteArray(4, 0)}, {0x1, QByteArray()}}, QByteArray("12345"))));
        new QAbstractItemModelTester(view.model(), QAbstractItemModelTester::FailureReportingMode::QtTest, &view);
        const QModelIndex root = view.model()->index(0, 0);
        QCOMPARE(childTexts(view, root).last(), QStringLiteral("(5 trailing bytes)"));
        QCOMPARE(childTexts(view, root).first(), QStringLiteral("1  Unknown"));
        const QModelIndex tail = view.recordModel()->trailingIndex();
        view.setCurrentIndex(tail);
        QCOMPARE(view.currentEntry(), -1);
        QTest::keyClick(&view, Qt::Key_Return);
        QTest::keyClick(&view, Qt::Key_T, Qt::AltModifier);
        QVERIFY(view.activated.isEmpty());
        QCOMPARE(view.altT, 0);
    }

    void rebuildLeavesOnlyTheRootOpenAndSelected()
    {
        model::CTLDoc doc;
        ProbeView view(doc);
        QVERIFY(shownAt(view, 400, 300));
        loadSample(doc, view);
        const QModelIndex root = view.model()->index(0, 0);
        const QModelIndex engine = view.recordModel()->indexForEntry(1);
        QVERIFY(view.isExpanded(root));
        QVERIFY(!view.isExpanded(engine));
        QCOMPARE(view.currentEntry(), 0);

        view.expandAllRecords();
        QVERIFY(view.isExpanded(engine));
        view.collapseAllRecords();
        QVERIFY(!view.isExpanded(engine));
        QVERIFY(view.isExpanded(view.model()->index(0, 0)));
        // With the root closed, neither command opens it.
        view.collapse(root);
        view.expandAllRecords();
        QVERIFY(!view.isExpanded(root));
        QVERIFY(view.isExpanded(engine));
        view.collapseAllRecords();
        QVERIFY(!view.isExpanded(root));
        QVERIFY(!view.isExpanded(engine));

        view.expandAllRecords();
        view.selectEntry(3);
        view.setSortEntries(false); // a rebuild
        QVERIFY(view.isExpanded(view.model()->index(0, 0)));
        QVERIFY(!view.isExpanded(view.recordModel()->indexForEntry(1)));
        QCOMPARE(view.currentEntry(), 0);
        // selectEntry opens the way to a field.
        QVERIFY(view.selectEntry(2));
        QVERIFY(view.isExpanded(view.recordModel()->indexForEntry(1)));
        QVERIFY(!view.selectEntry(999));
        QCOMPARE(view.currentEntry(), 2);
    }

    void expandAllOpensEveryRecordWithFieldsAndCollapseAllClosesThem()
    {
        // Structured records (one with a field name wider than the window),
        // a structured record without fields, plain records and trailing
        // bytes, in both orders.
        const QString longName(300, QLatin1Char('w'));
        const QString ini = write(QStringLiteral("expand.ini"),
                QStringLiteral("[Records]\n10=Engine,record\n2=Starter,bool\n40=Empty,record\n"
                               "[10]\n1=0,int16,Idle\n2=2,bool,Has starter\n3=6,int8,%1\n")
                        .arg(longName)
                        .toLatin1());
        airtest::AirImage img;
        for (int k = 0; k < 200; ++k)
            img.record(std::uint32_t(k % 4 == 0     ? 0x10
                                       : k % 4 == 1 ? 0x2
                                       : k % 4 == 2 ? 0x40
                                                    : 0x99),
                    airtest::u32s({std::uint32_t(k), 0}));
        const QString path =
                write(QStringLiteral("expand.air"), img.raw({'x', 'y', 'z'}).bytes<QByteArray>());

        for (const bool sorted : {true, false}) {
            model::CTLDoc doc;
            ProbeView view(doc);
            view.setSortEntries(sorted);
            QVERIFY(shownAt(view, 300, 400));
            new QAbstractItemModelTester(
                    view.model(), QAbstractItemModelTester::FailureReportingMode::QtTest, &view);
            doc.setDefinitionsPath(ini.toStdString());
            QVERIFY(!doc.load(path.toStdString()));
            auto* m = view.model();
            const QModelIndex root = m->index(0, 0);
            const int rows = m->rowCount(root);
            QCOMPARE(rows, 201); // and the trailing bytes
            // Rows reachable by walking down the open tree.
            auto shownRows = [&] {
                int n = 0;
                for (QModelIndex i = root; i.isValid(); i = view.indexBelow(i))
                    ++n;
                return n;
            };
            auto openRecords = [&] {
                int n = 0;
                for (int r = 0; r < rows; ++r)
                    n += view.isExpanded(m->index(r, 0, root)) ? 1 : 0;
                return n;
            };
            // The first record at the top, closed: its wide field is not in view.
            view.selectEntry(1);
            view.scrollTo(m->index(view.recordModel()->indexForEntry(1).row(), 0, root),
                    QAbstractItemView::PositionAtTop);
            const int wide = view.fontMetrics().horizontalAdvance(longName) / 2;
            QVERIFY(view.header()->sectionSize(0) < wide);
            QCOMPARE(openRecords(), 0);

            view.expandAllRecords();
            QCOMPARE(openRecords(), 50);
            for (int r = 0; r < rows; ++r) {
                const QModelIndex rec = m->index(r, 0, root);
                QCOMPARE(view.isExpanded(rec), m->rowCount(rec) == 3);
            }
            QVERIFY(view.isExpanded(root));
            QCOMPARE(shownRows(), int(doc.entryCount()) + 1);
            QCOMPARE(view.currentEntry(), 1);
            // The column grew to the wide field now in view.
            QVERIFY(view.header()->sectionSize(0) > wide);

            view.collapseAllRecords();
            QCOMPARE(openRecords(), 0);
            QVERIFY(view.isExpanded(root));
            QCOMPARE(shownRows(), 1 + rows);

            // Twice in a row changes nothing more.
            view.expandAllRecords();
            view.expandAllRecords();
            QCOMPARE(openRecords(), 50);
            view.collapseAllRecords();
            view.collapseAllRecords();
            QCOMPARE(openRecords(), 0);
            QCOMPARE(shownRows(), 1 + rows);
        }
    }

    void pressRulesAndKeys()
    {
        model::CTLDoc doc;
        ProbeView view(doc);
        QVERIFY(shownAt(view, 600, 300));
        loadSample(doc, view);
        QWidget* vp = view.viewport();
        const int engine = 1, starter = 5;

        // A press right of the text changes nothing.
        const QRect er = view.itemRect(engine);
        QVERIFY(!er.isEmpty());
        QVERIFY(er.right() + 40 < vp->width());
        QTest::mouseClick(vp, Qt::LeftButton, {}, QPoint(er.right() + 30, er.center().y()));
        QCOMPARE(view.currentEntry(), 0);
        QVERIFY(!view.isExpanded(view.recordModel()->indexForEntry(engine)));

        // On the text: selects and opens a record; a second press closes it.
        QTest::mouseClick(vp, Qt::LeftButton, {}, labelPoint(view, engine));
        QCOMPARE(view.currentEntry(), engine);
        QVERIFY(view.isExpanded(view.recordModel()->indexForEntry(engine)));
        QTest::mouseClick(vp, Qt::LeftButton, {}, labelPoint(view, engine));
        QVERIFY(!view.isExpanded(view.recordModel()->indexForEntry(engine)));
        // The expand button left of the item counts too.
        QTest::mouseClick(vp, Qt::LeftButton, {}, QPoint(er.left() - view.indentation() / 2 - 2, er.center().y()));
        QVERIFY(view.isExpanded(view.recordModel()->indexForEntry(engine)));
        // A double click does not toggle it back.
        QTest::mouseDClick(vp, Qt::LeftButton, {}, labelPoint(view, 2));
        QVERIFY(view.isExpanded(view.recordModel()->indexForEntry(engine)));
        view.activated.clear();

        // A leaf is activated, once per press.
        QTest::mouseClick(vp, Qt::LeftButton, {}, labelPoint(view, starter));
        QCOMPARE(view.activated, QList<int>({starter}));
        QCOMPARE(view.currentEntry(), starter);

        // Enter activates; letters do not jump to matching items.
        view.selectEntry(2);
        QTest::keyClick(&view, Qt::Key_Return);
        QCOMPARE(view.activated, QList<int>({starter, 2}));
        QTest::keyClicks(&view, "Cs1");
        QCOMPARE(view.currentEntry(), 2);
        QTest::keyClick(&view, Qt::Key_Down);
        QCOMPARE(view.currentEntry(), 3);

        // With the in-place editor open, a press only gives it the focus.
        view.editorOpen = true;
        QTest::mouseClick(vp, Qt::LeftButton, {}, labelPoint(view, starter));
        QCOMPARE(view.currentEntry(), 3);
        QCOMPARE(view.editorFocus, 1);
        view.editorOpen = false;

        // Alt shortcuts act on the selection; Alt+X asks to end the program.
        QSignalSpy exitSpy(&view, &CTLView::exitRequested);
        QTest::keyClick(&view, Qt::Key_T, Qt::AltModifier);
        QTest::keyClick(&view, Qt::Key_D, Qt::AltModifier);
        QCOMPARE(view.altT, 1);
        QCOMPARE(view.altD, 1);
        view.selectEntry(0);
        QTest::keyClick(&view, Qt::Key_T, Qt::AltModifier);
        QCOMPARE(view.altT, 1); // the root has no bytes
        QTest::keyClick(&view, Qt::Key_X, Qt::AltModifier);
        QCOMPARE(exitSpy.count(), 1);
        // Either case: with Shift (or Caps Lock's opposite) they act the same.
        view.selectEntry(3);
        QTest::keyClick(&view, Qt::Key_T, Qt::AltModifier | Qt::ShiftModifier);
        QTest::keyClick(&view, Qt::Key_D, Qt::AltModifier | Qt::ShiftModifier);
        QCOMPARE(view.altT, 2);
        QCOMPARE(view.altD, 2);
        QTest::keyClick(&view, Qt::Key_X, Qt::AltModifier | Qt::ShiftModifier);
        QCOMPARE(exitSpy.count(), 2);
        // Ctrl+Alt is not Alt.
        QTest::keyClick(&view, Qt::Key_T, Qt::AltModifier | Qt::ControlModifier);
        QCOMPARE(view.altT, 2);

        // Other Alt keys go on to the menu bar.
        QKeyEvent altF(QEvent::KeyPress, Qt::Key_F, Qt::AltModifier, QStringLiteral("f"));
        QApplication::sendEvent(&view, &altF);
        QVERIFY(!altF.isAccepted());
        // The copy key has no command: the clipboard keeps what it holds.
        QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
        view.selectEntry(1);
        QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
    }

    void manyRecordsSortUnsignedAndStable()
    {
        // 3000 records with ids drawn from a small set that straddles the
        // sign bit, each carrying its file position in its data.
        const std::uint32_t ids[] = {0x7fffffffu, 0x80000000u, 0xffffffffu, 0x0u, 0x1u, 0x10u};
        airtest::AirImage many;
        for (int k = 0; k < 3000; ++k)
            many.record(ids[(k * 7) % 6], airtest::u32s({std::uint32_t(k)}));
        const QByteArray img = many.bytes<QByteArray>();
        model::CTLDoc doc;
        ProbeView view(doc);
        load(doc, view, write(QStringLiteral("many.air"), img));
        const auto& order = view.recordModel()->recordOrder();
        QCOMPARE(int(order.size()), 3000);
        for (std::size_t k = 1; k < order.size(); ++k) {
            const auto& a = doc.entry(order[k - 1]);
            const auto& b = doc.entry(order[k]);
            QVERIFY(a.id <= b.id);
            if (a.id == b.id) QVERIFY(order[k - 1] < order[k]); // file order kept
        }
        QCOMPARE(doc.entry(order.back()).id, 0xffffffffu);
        // Row and list index agree for every record.
        for (std::size_t k = 0; k < order.size(); k += 97)
            QCOMPARE(view.recordModel()->indexForEntry(order[k]).row(), int(k));
    }

    void fieldRowsAgreeWithTheListAcrossManyRecords()
    {
        // Records of 0 and 3 fields mixed, far more entries than the list
        // finds records by at once: every field row names its own entry and
        // its record, sorted or not, before and after a removal.
        airtest::AirImage many;
        for (int k = 0; k < 900; ++k)
            many.record(k % 4 == 0 ? 0x10u : std::uint32_t(0x2 + (k % 3) * 0x1e),
                    {std::uint8_t(k), 1, 0, 0, 0, 0, 7});
        model::CTLDoc doc;
        ProbeView view(doc);
        new QAbstractItemModelTester(
                view.model(), QAbstractItemModelTester::FailureReportingMode::QtTest, &view);
        load(doc, view, write(QStringLiteral("fields.air"), many.bytes<QByteArray>()));
        RecordTreeModel* m = view.recordModel();
        auto check = [&] {
            const QModelIndex root = m->index(0, 0);
            QCOMPARE(m->rowCount(root), doc.recordCount());
            for (int row = 0; row < m->rowCount(root); ++row) {
                const QModelIndex rec = m->index(row, 0, root);
                const int r = RecordTreeModel::entryOf(rec);
                QVERIFY(doc.isRecord(r));
                QCOMPARE(m->rowCount(rec), doc.entry(r).id == 0x10 ? 3 : 0);
                QCOMPARE(m->indexForEntry(r), rec);
                for (int k = 0; k < m->rowCount(rec); ++k) {
                    const QModelIndex f = m->index(k, 0, rec);
                    QCOMPARE(RecordTreeModel::entryOf(f), r + 1 + k);
                    QCOMPARE(m->parent(f), rec);
                    QCOMPARE(m->indexForEntry(r + 1 + k), f);
                }
            }
        };
        check();
        view.setSortEntries(false);
        check();

        // A removal before them: an open record far down and a selected field
        // of another one keep their entries, whose list indexes move.
        const int open = doc.recordAt(800), field = doc.recordAt(820) + 3;
        QVERIFY(doc.entry(field).name == "Count");
        view.expand(m->indexForEntry(open));
        QVERIFY(view.selectEntry(field));
        QVERIFY(doc.removeRecord(doc.recordAt(4))); // 3 fields go with it
        QCOMPARE(view.currentEntry(), field - 4);
        QVERIFY(view.isExpanded(m->indexForEntry(open - 4)));
        check();
    }

    void contextMenuAndInfo()
    {
        model::CTLDoc doc;
        ProbeView view(doc);
        loadSample(doc, view);
        const QStringList order = {QStringLiteral("Info"), QStringLiteral("Edit As Hex"), QString(),
                                   QStringLiteral("Copy to Clipboard"), QStringLiteral("Add from Clipboard"),
                                   QStringLiteral("Remove Record"), QStringLiteral("Replace from Clipboard"),
                                   QString()};
        auto check = [&](int entry, bool recordItems) {
            std::unique_ptr<QMenu> menu(view.createContextMenu(entry));
            QCOMPARE(menu->objectName(), QStringLiteral("rcmenu"));
            const auto actions = menu->actions();
            QCOMPARE(actions.size(), order.size());
            for (int k = 0; k < actions.size(); ++k) {
                QCOMPARE(actions[k]->isSeparator(), order[k].isEmpty());
                QCOMPARE(actions[k]->text(), order[k]);
                if (!actions[k]->isSeparator()) QCOMPARE(actions[k]->isEnabled(), k < 2 || recordItems);
                // Every command has a status tip, as in the main window's menus.
                QCOMPARE(actions[k]->statusTip().isEmpty(), actions[k]->isSeparator());
            }
        };
        check(1, true);  // record
        check(3, false); // field
        check(5, true);  // a record without fields

        // Each command of a record's menu reaches its own entry point.
        {
            QVERIFY(view.selectEntry(1));
            std::unique_ptr<QMenu> menu(view.createContextMenu(1));
            testsupport::MessageRecorder boxes;
            for (QAction* a : menu->actions())
                if (!a->isSeparator())
                    a->trigger();
            QCOMPARE(view.commands,
                    QStringList({QStringLiteral("hex"), QStringLiteral("copy"), QStringLiteral("add"),
                            QStringLiteral("remove"), QStringLiteral("replace")}));
            QCOMPARE(boxes.told.size(), 1); // Info
        }

        // The first record's data begins at offset 8; its help has two lines.
        QCOMPARE(view.infoText(1),
                 QStringLiteral("Bytes in record=7\nOffset Into File 0x0008\nEngine limits.\nTwo lines."));
        // A field: its type's size and its absolute offset.
        QCOMPARE(view.infoText(3), QStringLiteral("Bytes in record=4\nOffset Into File 0x000a\n"
                                                  "No help text in Tarlo.ini."));
        view.selectEntry(2);
        testsupport::MessageRecorder boxes;
        view.onInfo();
        QCOMPARE(boxes.told,
                QStringList({QStringLiteral("Bytes in record=2\nOffset Into File 0x0008\nIdle speed")}));
        QCOMPARE(boxes.tones, QList<ui::Tone>{ui::Tone::Information});
    }

    void editsRefreshTheirRecordsRows()
    {
        model::CTLDoc doc;
        ProbeView view(doc);
        loadSample(doc, view);
        QSignalSpy changed(view.model(), &QAbstractItemModel::dataChanged);
        QSignalSpy reset(view.model(), &QAbstractItemModel::modelReset);
        const std::uint8_t count[1] = {42};
        QVERIFY(doc.setBytes(4, 0, count)); // field "Count" of 0x10
        // The record's row and its fields' rows: any of them reads these bytes.
        QCOMPARE(changed.count(), 2);
        QCOMPARE(view.recordModel()->indexForEntry(4).data().toString(), QStringLiteral("Count=42"));
        QVERIFY(doc.setRecordData(5, {0, 0, 0, 0}));
        QCOMPARE(view.recordModel()->indexForEntry(5).data().toString(), QStringLiteral("2  Starter=FALSE(0)"));
        QCOMPARE(reset.count(), 0);
    }

    void rowsFollowInsertAndRemove()
    {
        // Rows are inserted and removed, not reset: the selection and the
        // expanded records stay with their entries, whose indexes move.
        for (const bool sorted : {true, false}) {
            model::CTLDoc doc;
            ProbeView view(doc);
            view.setSortEntries(sorted);
            new QAbstractItemModelTester(view.model(), QAbstractItemModelTester::FailureReportingMode::QtTest, &view);
            view.resize(400, 400);
            view.show();
            loadSample(doc, view);
            QSignalSpy reset(view.model(), &QAbstractItemModel::modelReset);
            QSignalSpy status(&view, &CTLView::statusTextChanged);
            RecordTreeModel* m = view.recordModel();
            view.expand(m->indexForEntry(1));
            QVERIFY(view.selectEntry(4)); // "Count" of 0x10

            // Before every record in the list; last by id when sorted, so
            // records before it in the tree change their list index too.
            const auto add = doc.insertRecord(1, 0x90000000u, {1, 2});
            QVERIFY(add);
            // The view heard of it while the tree still had three records.
            QCOMPARE(view.rowsBeforeChange, QList<int>{3});
            QCOMPARE(view.currentEntry(), 5);
            QCOMPARE(view.currentIndex().data().toString(), QStringLiteral("Count=7"));
            QVERIFY(view.isExpanded(m->indexForEntry(2)));
            QVERIFY(!view.isExpanded(m->indexForEntry(1)));
            const QStringList afterAdd =
                sorted ? QStringList({QStringLiteral("2  Starter=TRUE(1)"), QStringLiteral("10  Engine"),
                                      QStringLiteral("80000000  Unknown"), QStringLiteral("90000000  Unknown")})
                       : QStringList({QStringLiteral("90000000  Unknown"), QStringLiteral("10  Engine"),
                                      QStringLiteral("2  Starter=TRUE(1)"), QStringLiteral("80000000  Unknown")});
            QCOMPARE(childTexts(view, m->index(0, 0)), afterAdd);
            QCOMPARE(status.last().at(0).toString(), QStringLiteral("plane.air has 4 records."));
            for (int i = 0; i < int(doc.entryCount()); ++i)
                QCOMPARE(RecordTreeModel::entryOf(m->indexForEntry(i)), i);

            // Selected on a record that moves in the list but not in the tree.
            QVERIFY(view.selectEntry(6)); // Starter
            QVERIFY(doc.removeRecord(1));
            QCOMPARE(view.currentEntry(), 5);
            QCOMPARE(view.currentIndex().data().toString(), QStringLiteral("2  Starter=TRUE(1)"));
            QVERIFY(view.isExpanded(m->indexForEntry(1)));

            // Removing the expanded record takes its field rows with it.
            QVERIFY(view.selectEntry(6));
            QVERIFY(doc.removeRecord(1));
            QCOMPARE(view.currentEntry(), 2);
            QCOMPARE(childTexts(view, m->index(0, 0)).size(), 2);
            QCOMPARE(m->rowCount(m->indexForEntry(1)), 0);

            // An undo selects what it changed: the record put back.
            QVERIFY(view.selectEntry(2));
            QVERIFY(doc.undo(*doc.removeRecord(2)));
            QCOMPARE(view.currentEntry(), 2);
            QCOMPARE(reset.count(), 0);
            view.viewport()->repaint();
        }
    }

    void tooltipsOnlyForCutTexts()
    {
        model::CTLDoc doc;
        ProbeView view(doc);
        QVERIFY(shownAt(view, 600, 300));
        loadSample(doc, view);
        auto tipAt = [&](int entry) {
            QToolTip::hideText();
            const QPoint p = view.itemRect(entry).topLeft() + QPoint(40, 4);
            QHelpEvent ev(QEvent::ToolTip, p, view.viewport()->mapToGlobal(p));
            QApplication::sendEvent(view.viewport(), &ev);
            return QToolTip::isVisible() ? QToolTip::text() : QString();
        };
        QVERIFY(tipAt(5).isEmpty());
        view.header()->setSectionResizeMode(0, QHeaderView::Interactive);
        view.header()->resizeSection(0, 1000);
        view.resize(90, 300);
        QCOMPARE(tipAt(5), QStringLiteral("2  Starter=TRUE(1)"));
        QCOMPARE(QToolTip::palette().color(QPalette::ToolTipBase), QColor(255, 200, 255));
        QToolTip::hideText();
    }

    void typePicturesAreDistinctAndSharp()
    {
        QSet<QByteArray> seen;
        for (int code = 0; code < 19; ++code) {
            for (qreal dpr : {1.0, 2.0}) {
                const QPixmap pm = browser::typePicture(code, dpr);
                QCOMPARE(pm.deviceIndependentSize().toSize(), QSize(32, 18));
                QCOMPARE(pm.size(), QSize(qRound(32 * dpr), qRound(18 * dpr)));
            }
            const QImage img = browser::typePicture(code, 1.0).toImage();
            QByteArray bytes(reinterpret_cast<const char*>(img.constBits()), img.sizeInBytes());
            seen.insert(bytes);
        }
        QCOMPARE(seen.size(), 19); // every type has a picture of its own
        // Out-of-range codes fall back to the raw picture.
        QCOMPARE(browser::typePicture(99, 1.0).toImage(), browser::typePicture(0, 1.0).toImage());
    }

    // The light default keeps its greys; a dark palette gives dark plates
    // with light letters, and the tree picks the new pictures up.
    void typePicturesFollowADarkPalette()
    {
        const QPalette dark = testsupport::darkPalette();
        const QImage light = browser::typePicture(4, 1.0).toImage();
        QCOMPARE(light.pixelColor(16, 3), QColor(224, 224, 224)); // the plate, above the letters
        QCOMPARE(browser::typePicture(4, 1.0, QPalette(Qt::lightGray)).toImage(), light);
        const QImage img = browser::typePicture(4, 1.0, dark).toImage();
        QVERIFY(img != light);
        const QColor plate = img.pixelColor(16, 3);
        QCOMPARE(plate, dark.color(QPalette::Button));
        int brightest = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                brightest = std::max(brightest, img.pixelColor(x, y).lightness());
        QVERIFY2(brightest - plate.lightness() > 120, "letters not readable on the dark plate");
        // The record label still stands apart from the others.
        QVERIFY(browser::typePicture(1, 1.0, dark).toImage().pixelColor(16, 3) != plate);

        model::CTLDoc doc;
        ProbeView view(doc);
        loadSample(doc, view);
        RecordTreeModel* m = view.recordModel();
        const auto picture = [m] {
            return qvariant_cast<QIcon>(m->data(m->indexForEntry(1), Qt::DecorationRole))
                    .pixmap(32, 18)
                    .toImage();
        };
        const QImage before = picture();
        const QPalette saved = QGuiApplication::palette();
        QGuiApplication::setPalette(dark);
        const QImage after = picture();
        QGuiApplication::setPalette(saved);
        QCOMPARE(picture(), before);
        QVERIFY(before != after);
    }
};

TARLO_TEST_MAIN(RecordTreeTest)
#include "RecordTreeTest.moc"
