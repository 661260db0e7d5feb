// The record tree with its editors, driven with real mouse and key events.
#include "common/EditorFixture.h"
#include "common/NextDialog.h"

#include "base/Bytes.h"
#include "browser/EditingView.h"
#include "browser/FieldEdit.h"
#include "browser/RecordClipboard.h"
#include "browser/RecordTreeModel.h"
#include "browser/SearchDialog.h"
#include "browser/TextEditDialog.h"
#include "document/DocNotifier.h"
#include "hexedit/CHexDataCtrl.h"
#include "hexedit/CHexDataDlg.h"
#include "tests/common/MessageRecorder.h"

#include "tables/TableRegistry.h"
#include "tables/TableTarget.h"
#include "tables/TableWnd.h"
#include "tests/common/IsolatedSettings.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QTest>

#include <functional>

using namespace browser;
namespace bytes = base::bytes;

namespace {

// A copy of an entry's bytes (the document hands out views).
std::vector<std::uint8_t> copyOf(std::span<const std::uint8_t> bytes)
{
    return {bytes.begin(), bytes.end()};
}

// Fixture indexes (see Fixture.h).
constexpr int kAltitude = 1, kEngine = 2, kIdle = 3, kHasStarter = 4, kMach = 5, kSmall = 6, kThrust = 9,
              kLabel = 10, kReserved = 11, kBeyond = 12, kCount = 14, kTitle = 20, kFlag = 22, kMaxAlt = 23;

class TestView : public EditingView {
public:
    using EditingView::EditingView;
    std::function<bool(std::vector<std::uint8_t>&)> hex;
    std::function<int(QDialog&)> dialog;
    int hexRuns = 0;
    bool realHexDialog = false;

protected:
    bool runHexDialog(std::vector<std::uint8_t>& b) override
    {
        ++hexRuns;
        if (realHexDialog)
            return EditingView::runHexDialog(b);
        return hex ? hex(b) : false;
    }
    int runDialog(QDialog& d) override { return dialog ? dialog(d) : QDialog::Rejected; }
};

} // namespace

class EditingViewTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void scalarTypesEncodeWhatIsTyped_data();
    void scalarTypesEncodeWhatIsTyped();
    void boxOpensBesideTheLabelWithHintAndEscRestoresStatus();
    void refusedInputShowsMessageAndRefill();
    void filteredCharactersAreSwallowed();
    void enterWithoutTypingWritesNothing();
    void boxKeepsTheFocusAndRebuildsCloseIt();
    void boolToggleTwice();
    void hexEditRefreshesFieldTexts();
    void rawFieldAndOutsideField();
    void realHexDialogWritesBack();
    void copyThenAddAndRemove();
    void replaceFromClipboard();
    void clipboardInWrongFormat();
    void infoAndMenuState();
    void textRecordAndTextField();
    void searchFindsContinuesAndWraps();
    void tableTargetFollowsItsEntry();
    void clipboardBetweenTwoEditors();
    void clipboardReachesAnotherProcess();
    void altKeysCloseTheBoxAndOpenTableWindows();
    void boxOfAWideItemOpensInView();

private:
    void click(int entry);
    void clickAndType(int entry, const QString& text);
    std::vector<std::uint8_t> recordBytes(int record) const { return copyOf(doc->data(record)); }

    std::unique_ptr<fixture::Files> files;
    std::unique_ptr<model::CTLDoc> doc;
    std::unique_ptr<document::DocNotifier> notifier;
    std::unique_ptr<TestView> view;
    std::unique_ptr<testsupport::MessageRecorder> boxes;
    QStringList messages() const { return boxes->told; }
    QString status;
};

void EditingViewTest::init()
{
    files = std::make_unique<fixture::Files>();
    doc = std::make_unique<model::CTLDoc>();
    fixture::load(*doc, *files);
    notifier = std::make_unique<document::DocNotifier>(*doc);
    view = std::make_unique<TestView>(*notifier);
    connect(view.get(), &CTLView::statusTextChanged, this, [this](const QString& t) { status = t; });
    boxes = std::make_unique<testsupport::MessageRecorder>();
    view->resize(700, 900);
    view->rebuildTree();
    view->expandAllRecords();
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view.get()));
    view->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(view.get()));
}

void EditingViewTest::cleanup()
{
    for (auto* w : tables::TableRegistry::openWindows())
        delete w;
    view.reset();
    notifier.reset();
    boxes.reset();
}

void EditingViewTest::click(int entry)
{
    const QRect r = view->itemRect(entry);
    QVERIFY2(!r.isEmpty(), "item not shown");
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, r.center());
}

void EditingViewTest::clickAndType(int entry, const QString& text)
{
    click(entry);
    QVERIFY(view->fieldEdit()->isVisible());
    QTest::keyClicks(view->fieldEdit(), text);
}

void EditingViewTest::scalarTypesEncodeWhatIsTyped_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("offset"); // inside the record's data
    QTest::addColumn<int>("width");
    QTest::addColumn<qlonglong>("raw");
    QTest::addColumn<QString>("shown");
    QTest::newRow("int16") << kIdle << "-300" << 0 << 2 << -300LL << "Idle speed=-300";
    QTest::newRow("mach") << kMach << "3.1999" << 6 << 4 << 65534LL << "Mach limit=3.1999";
    QTest::newRow("int8") << kSmall << "-7" << 10 << 1 << -7LL << "Small=-7";
    QTest::newRow("ang16") << 7 << "12.5" << 11 << 2 << 2275LL << "Angle=12.500";
    QTest::newRow("prpm") << 8 << "9591" << 13 << 2 << 32764LL << "Rpm=9591";
    QTest::newRow("thrust") << kThrust << "1367" << 15 << 4 << 100LL << "Thrust=1367";
    QTest::newRow("int32") << kCount << "-2147483648" << 0 << 4 << -2147483648LL << "Count=-2147483648";
    QTest::newRow("double") << 15 << "-2.5" << 4 << 8 << qlonglong(0xC004000000000000ULL) << "Ratio=-2.500000";
    QTest::newRow("aspd") << 16 << "250.5" << 12 << 4 << 32064LL << "Speed=250.5000";
    QTest::newRow("fwgt") << 17 << "1.5" << 16 << 2 << 384LL << "Weight=1.5000";
    QTest::newRow("m256") << 18 << "100" << 18 << 2 << 650LL << "Moment=99.9616";
    QTest::newRow("16pct") << 19 << "-100" << 20 << 2 << -16383LL << "Share=-100";
}

void EditingViewTest::scalarTypesEncodeWhatIsTyped()
{
    QFETCH(int, entry);
    QFETCH(QString, typed);
    QFETCH(int, offset);
    QFETCH(int, width);
    QFETCH(qlonglong, raw);
    QFETCH(QString, shown);
    const int record = doc->entry(entry).parent;
    const auto before = recordBytes(record);

    clickAndType(entry, typed);
    QTest::keyClick(view->fieldEdit(), Qt::Key_Return);
    QVERIFY(messages().isEmpty());
    QVERIFY(!view->fieldEdit()->isVisible());
    QCOMPARE(status, view->recordCountText());

    const auto after = recordBytes(record);
    // Typing the value the bytes already hold changes nothing.
    QCOMPARE(doc->isModified(), after != before);
    std::int64_t got = 0;
    switch (width) {
    case 1: got = static_cast<std::int8_t>(after[std::size_t(offset)]); break;
    case 2: got = *bytes::i16(after, std::size_t(offset)); break;
    case 4: got = *bytes::i32(after, std::size_t(offset)); break;
    case 8: got = *bytes::readLE<std::int64_t>(after, std::size_t(offset)); break;
    }
    QCOMPARE(got, raw);
    // Only the value's own bytes changed.
    for (std::size_t k = 0; k < after.size(); ++k)
        if (k < std::size_t(offset) || k >= std::size_t(offset + width))
            QCOMPARE(after[k], before[k]);
    QCOMPARE(view->recordModel()->displayText(entry), shown);
}

void EditingViewTest::boxOpensBesideTheLabelWithHintAndEscRestoresStatus()
{
    click(kIdle);
    FieldEdit* box = view->fieldEdit();
    QVERIFY(box->isVisible());
    QCOMPARE(view->editingEntry(), kIdle);
    QCOMPARE(box->text(), QStringLiteral("4660"));
    QCOMPARE(status, QStringLiteral("A value from -32768 to 32767"));
    const QRect label = view->itemRect(kIdle);
    QCOMPARE(box->geometry(), QRect(label.right() + 10, label.top(), 55, label.height()));
    QVERIFY(box->hasFocus());
    if (qEnvironmentVariableIsSet("TARLO_SHOT_DIR"))
        view->grab().save(qEnvironmentVariable("TARLO_SHOT_DIR") + QStringLiteral("/field-edit.png"));

    QTest::keyClicks(box, QStringLiteral("12"));
    QTest::keyClick(box, Qt::Key_Escape);
    QVERIFY(!box->isVisible());
    QCOMPARE(status, view->recordCountText());
    QCOMPARE(*bytes::i16(recordBytes(kEngine), 0), std::int16_t(0x1234));
    QVERIFY(!doc->isModified());

    // A double shows six decimals.
    click(15);
    QCOMPARE(view->fieldEdit()->text(), QStringLiteral("0.000000"));
    QCOMPARE(status, QStringLiteral("A decimal number"));
    QTest::keyClick(view->fieldEdit(), Qt::Key_Escape);
}

void EditingViewTest::refusedInputShowsMessageAndRefill()
{
    clickAndType(kSmall, QStringLiteral("200"));
    QTest::keyClick(view->fieldEdit(), Qt::Key_Return);
    QCOMPARE(messages(), QStringList{QStringLiteral("Highest Possible number is 127")});
    QVERIFY(view->fieldEdit()->isVisible());
    QCOMPARE(view->fieldEdit()->text(), QStringLiteral("127"));
    QCOMPARE(recordBytes(kEngine)[10], std::uint8_t(5));
    QVERIFY(!doc->isModified());
    QTest::keyClick(view->fieldEdit(), Qt::Key_Return);
    QCOMPARE(recordBytes(kEngine)[10], std::uint8_t(127));
    QVERIFY(!view->fieldEdit()->isVisible());
    QVERIFY(doc->isModified());
}

void EditingViewTest::filteredCharactersAreSwallowed()
{
    clickAndType(kIdle, QStringLiteral("abc"));
    QCOMPARE(view->fieldEdit()->text(), QStringLiteral("4660")); // still selected, untouched
    QTest::keyClick(view->fieldEdit(), Qt::Key_Escape);

    clickAndType(kCount, QStringLiteral("1.5"));
    QCOMPARE(view->fieldEdit()->text(), QStringLiteral("15"));
    QTest::keyClick(view->fieldEdit(), Qt::Key_Escape);

    clickAndType(kThrust, QStringLiteral("-20"));
    QCOMPARE(view->fieldEdit()->text(), QStringLiteral("20"));
    QTest::keyClick(view->fieldEdit(), Qt::Key_Escape);
    QVERIFY(!doc->isModified());
}

void EditingViewTest::enterWithoutTypingWritesNothing()
{
    click(kMach);
    QCOMPARE(view->fieldEdit()->text(), QStringLiteral("0.0000"));
    QTest::keyClick(view->fieldEdit(), Qt::Key_Return);
    QCOMPARE(*bytes::i32(recordBytes(kEngine), 6), 1);
    QVERIFY(!doc->isModified());
    QCOMPARE(status, view->recordCountText());

    // An accepted edit, then Enter without typing: nothing the second time.
    clickAndType(kIdle, QStringLiteral("9"));
    QTest::keyClick(view->fieldEdit(), Qt::Key_Return);
    QVERIFY(doc->isModified());
    QVERIFY(doc->setBytes(kEngine, 1, std::vector<std::uint8_t>{0x7F})); // raw 0x7F09: the box shows 32521
    doc->setModified(false);
    click(kIdle);
    QTest::keyClick(view->fieldEdit(), Qt::Key_Return);
    QVERIFY(!doc->isModified());
    QCOMPARE(recordBytes(kEngine)[1], std::uint8_t(0x7F));
}

void EditingViewTest::boxKeepsTheFocusAndRebuildsCloseIt()
{
    click(kIdle);
    view->selectEntry(kIdle);
    click(kSmall); // a press elsewhere only returns the focus to the box
    QCOMPARE(view->currentEntry(), kIdle);
    QCOMPARE(view->editingEntry(), kIdle);
    QVERIFY(view->fieldEdit()->hasFocus());

    // A command that rebuilds the list ends the edit without writing.
    QTest::keyClicks(view->fieldEdit(), QStringLiteral("1"));
    view->selectEntry(kAltitude);
    view->onRemoveRecord();
    QVERIFY(!view->fieldEdit()->isVisible());
    QCOMPARE(view->editingEntry(), -1);
    // Engine moved up by one index; its bytes are untouched.
    QCOMPARE(doc->entry(kEngine - 1).name, std::string("Engine"));
    QCOMPARE(*bytes::i16(doc->data(kEngine - 1), 0), std::int16_t(0x1234));

    // Changing the sort rebuilds the tree, which ends the edit the same way.
    view->expandAllRecords();
    click(kIdle - 1);
    QVERIFY(view->fieldEdit()->isVisible());
    QTest::keyClicks(view->fieldEdit(), QStringLiteral("5"));
    view->setSortEntries(!view->sortEntries());
    QVERIFY(!view->fieldEdit()->isVisible());
    QCOMPARE(*bytes::i16(doc->data(kEngine - 1), 0), std::int16_t(0x1234));
}

void EditingViewTest::boolToggleTwice()
{
    click(kFlag);
    QCOMPARE(recordBytes(kFlag), (std::vector<std::uint8_t>{1, 0, 0, 0}));
    QVERIFY(view->recordModel()->displayText(kFlag).endsWith(QStringLiteral("Flag=TRUE(1)")));
    QVERIFY(!view->fieldEdit()->isVisible());
    click(kFlag);
    QCOMPARE(recordBytes(kFlag), (std::vector<std::uint8_t>{0, 0, 0, 0}));
    QVERIFY(view->recordModel()->displayText(kFlag).endsWith(QStringLiteral("Flag=FALSE(0)")));
    QVERIFY(doc->isModified());
    // Enter on the selected item activates it as a click does.
    view->selectEntry(kFlag);
    view->setFocus();
    QTest::keyClick(view.get(), Qt::Key_Return);
    QCOMPARE(recordBytes(kFlag), (std::vector<std::uint8_t>{1, 0, 0, 0}));
    // A bool field inside a record toggles its first byte only.
    click(kHasStarter);
    QCOMPARE(recordBytes(kEngine)[2], std::uint8_t(1));
    QCOMPARE(view->recordModel()->displayText(kHasStarter), QStringLiteral("Has starter=TRUE(1)"));
}

void EditingViewTest::hexEditRefreshesFieldTexts()
{
    view->hex = [](std::vector<std::uint8_t>& b) {
        if (b.size() != 31)
            return false;
        b[0] = 0x2A;
        b[1] = 0x00;
        b[10] = 0x80;
        return true;
    };
    view->selectEntry(kEngine);
    view->onEditAsHex();
    QCOMPARE(view->hexRuns, 1);
    QCOMPARE(view->recordModel()->displayText(kIdle), QStringLiteral("Idle speed=42"));
    QCOMPARE(view->recordModel()->displayText(kSmall), QStringLiteral("Small=-128"));
    QVERIFY(doc->isModified());

    // Cancel changes nothing.
    doc->setModified(false);
    view->hex = [](std::vector<std::uint8_t>& b) {
        b.assign(b.size(), 0);
        return false;
    };
    view->onEditAsHex();
    QCOMPARE(recordBytes(kEngine)[0], std::uint8_t(0x2A));
    QVERIFY(!doc->isModified());
}

void EditingViewTest::realHexDialogWritesBack()
{
    // The "Edit Hex Data" dialog itself, not the stand-in of the other tests.
    view->realHexDialog = true;
    QVERIFY(fixture::editAsHexTyping(*view, kEngine, QStringLiteral("2a")));
    QCOMPARE(recordBytes(kEngine)[0], std::uint8_t(0x2A));
    QCOMPARE(view->recordModel()->displayText(kIdle), QStringLiteral("Idle speed=4650"));
    QVERIFY(doc->isModified());
}

void EditingViewTest::rawFieldAndOutsideField()
{
    std::size_t seen = 0;
    view->hex = [&](std::vector<std::uint8_t>& b) {
        seen = b.size();
        b[0] = 0x11;
        return true;
    };
    click(kReserved); // a raw field opens the hex dialog on its own bytes
    QCOMPARE(seen, std::size_t(4));
    QCOMPARE(recordBytes(kEngine)[27], std::uint8_t(0x11));
    QCOMPARE(recordBytes(kEngine).size(), std::size_t(31));

    click(kBeyond);
    QCOMPARE(messages(), QStringList{QStringLiteral("Beyond lies outside the data of its record.")});
    QVERIFY(!view->fieldEdit()->isVisible());
    QCOMPARE(view->hexRuns, 1);
}

void EditingViewTest::copyThenAddAndRemove()
{
    view->selectEntry(kEngine);
    view->onCopyToClipboard();
    const QMimeData* mime = QApplication::clipboard()->mimeData();
    QVERIFY(mime);
    QCOMPARE(mime->formats(), QStringList{browser::recordMimeType()});
    const QByteArray block = mime->data(browser::recordMimeType());
    QCOMPARE(block.size(), 31 + 8);
    QCOMPARE(block.left(8), QByteArray("\x10\0\0\0\x1f\0\0\0", 8));

    view->onAddFromClipboard();
    QVERIFY(doc->isModified());
    QCOMPARE(doc->entry(kEngine).id, 0x10u);
    QCOMPARE(doc->entry(kEngine + 11).id, 0x10u); // the original, after the copy's 10 fields
    QCOMPARE(view->currentEntry(), kEngine);
    QVERIFY(view->recordModel()->indexForEntry(kEngine + 11).isValid());

    // Remove the copy: its field items go with it, the rest keep their order.
    view->onRemoveRecord();
    QCOMPARE(doc->highestIndex(), 23);
    QCOMPARE(doc->entry(kEngine + 1).name, std::string("Idle speed"));
    const auto* m = view->recordModel();
    QCOMPARE(m->rowCount(m->indexForEntry(0)), 7);
    view->selectEntry(kEngine);
    view->onRemoveRecord();
    QCOMPARE(m->rowCount(m->indexForEntry(0)), 6);
    for (int i = 1; i <= doc->highestIndex(); ++i)
        QVERIFY(doc->entry(i).id != 0x10u);
    QVERIFY(messages().isEmpty());
}

void EditingViewTest::replaceFromClipboard()
{
    view->selectEntry(kEngine);
    view->onCopyToClipboard();
    clickAndType(kIdle, QStringLiteral("77"));
    QTest::keyClick(view->fieldEdit(), Qt::Key_Return);
    QCOMPARE(view->recordModel()->displayText(kIdle), QStringLiteral("Idle speed=77"));
    doc->setModified(false);

    view->selectEntry(kEngine);
    view->onReplaceFromClipboard();
    QCOMPARE(view->recordModel()->displayText(kIdle), QStringLiteral("Idle speed=4660"));
    QVERIFY(doc->isModified());

    // Another id: the cancelling message, nothing changed.
    doc->setModified(false);
    view->selectEntry(kTitle);
    view->onReplaceFromClipboard();
    QCOMPARE(messages(),
            QStringList{QStringLiteral(
                    "The record in clipboard is not the same one as\nthe one being replaced. Cancelling.")});
    QCOMPARE(recordBytes(kTitle), (std::vector<std::uint8_t>{'a', 'b', 'c', 0}));
    QVERIFY(!doc->isModified());

    // A shorter record of the same id: later fields show as outside it.
    browser::putRecordOnClipboard(QApplication::clipboard(), 0x10, std::vector<std::uint8_t>{3, 0});
    view->selectEntry(kEngine);
    view->onReplaceFromClipboard();
    QCOMPARE(view->recordModel()->displayText(kIdle), QStringLiteral("Idle speed=3"));
    QCOMPARE(view->recordModel()->displayText(kMach), QStringLiteral("Mach limit (outside record)"));
    // A scalar record shows its new value after a replace.
    browser::putRecordOnClipboard(QApplication::clipboard(), 0x20, std::vector<std::uint8_t>{5, 0, 0, 0});
    view->selectEntry(kAltitude);
    view->onReplaceFromClipboard();
    QCOMPARE(view->recordModel()->displayText(kAltitude), QStringLiteral("20  Altitude Limit=5"));
}

void EditingViewTest::clipboardInWrongFormat()
{
    const QString wrong = QStringLiteral("The data in the clipboard is in the wrong format");
    QApplication::clipboard()->clear();
    view->selectEntry(kEngine);
    view->onAddFromClipboard();
    QApplication::clipboard()->setText(QStringLiteral("not a record"));
    view->onAddFromClipboard();
    view->onReplaceFromClipboard();
    QCOMPARE(messages(), (QStringList{wrong, wrong, wrong}));
    QCOMPARE(doc->highestIndex(), 23);
    QVERIFY(!doc->isModified());
}

void EditingViewTest::infoAndMenuState()
{
    view->selectEntry(kAltitude);
    view->onInfo();
    view->selectEntry(kIdle);
    QCOMPARE(view->infoText(kIdle), QStringLiteral("Bytes in record=2\nOffset Into File 0x0014\nIdle speed of the engine"));
    QCOMPARE(messages().value(0),
            QStringLiteral("Bytes in record=4\nOffset Into File 0x0008\nNo help text in Tarlo.ini."));

    std::unique_ptr<QMenu> fieldMenu(view->createContextMenu(kIdle));
    QStringList enabled;
    for (QAction* a : fieldMenu->actions())
        if (!a->isSeparator() && a->isEnabled())
            enabled << a->text();
    QCOMPARE(enabled, (QStringList{"Info", "Edit As Hex"}));
}

void EditingViewTest::textRecordAndTextField()
{
    // Drives the dialog as a user would: select all, type, OK.
    QString typed;
    view->dialog = [&](QDialog& d) {
        auto& dlg = static_cast<TextEditDialog&>(d);
        dlg.show();
        QTest::keyClick(dlg.editor(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(dlg.editor(), typed);
        dlg.accept();
        if (dlg.result() != QDialog::Accepted) {
            // Refused: shorten to what fits and try once more.
            QTest::keyClick(dlg.editor(), Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(dlg.editor(), QStringLiteral("short"));
            dlg.accept();
        }
        return dlg.result();
    };
    typed = QStringLiteral("hello");
    QCOMPARE(doc->entry(kTitle).length, 4u);
    click(kTitle);
    QCOMPARE(doc->entry(kTitle).length, 6u);
    QVERIFY(view->recordModel()->displayText(kTitle).endsWith(QStringLiteral("=hello")));
    QVERIFY(doc->isModified());

    // A text field has 8 bytes up to the next field: 7 characters and the 0.
    typed = QStringLiteral("far too long");
    click(kLabel);
    QCOMPARE(messages().size(), 1);
    QVERIFY(messages().value(0).contains(QStringLiteral("at most 7 characters")));
    const auto d = recordBytes(kEngine);
    QCOMPARE(d.size(), std::size_t(31));
    QCOMPARE(std::string(d.begin() + 19, d.begin() + 25), std::string("short\0", 6));
    QCOMPARE(std::vector<std::uint8_t>(d.begin() + 27, d.end()), (std::vector<std::uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));
    QCOMPARE(view->recordModel()->displayText(kLabel), QStringLiteral("Label=short"));
}

void EditingViewTest::searchFindsContinuesAndWraps()
{
    QVERIFY(!view->canSearchAgain());
    view->dialog = [](QDialog& d) {
        auto& dlg = static_cast<SearchDialog&>(d);
        dlg.edit()->clear();
        QTest::keyClicks(dlg.edit(), QStringLiteral("ALT"));
        dlg.accept();
        return dlg.result();
    };
    view->collapseAllRecords();
    view->onSearch();
    QVERIFY(view->canSearchAgain());
    QCOMPARE(view->currentEntry(), kAltitude);
    view->onSearchAgain();
    QCOMPARE(view->currentEntry(), kMaxAlt);
    view->onSearchAgain();
    QCOMPARE(messages(), QStringList{QStringLiteral("alt not found.")});
    QCOMPARE(view->currentEntry(), kMaxAlt);
    view->onSearchAgain();
    QCOMPARE(view->currentEntry(), kAltitude);

    // A field is found too; its record opens to show it.
    view->dialog = [](QDialog& d) {
        auto& dlg = static_cast<SearchDialog&>(d);
        dlg.edit()->setText(QStringLiteral("mach"));
        dlg.accept();
        return dlg.result();
    };
    view->onSearch();
    QCOMPARE(view->currentEntry(), kMach);
    QVERIFY(view->isExpanded(view->recordModel()->indexForEntry(kEngine)));
    QVERIFY(view->visualRect(view->recordModel()->indexForEntry(kMach)).intersects(view->viewport()->rect()));
}

void EditingViewTest::tableTargetFollowsItsEntry()
{
    auto reserved = view->makeTableTarget(kReserved);
    auto flag = view->makeTableTarget(kFlag);
    auto altitude = view->makeTableTarget(kAltitude);
    QCOMPARE(reserved->name(), QStringLiteral("Reserved"));
    QCOMPARE(reserved->bytes(), (std::vector<std::uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));

    // A field keeps its size in place.
    QString error;
    QVERIFY(!reserved->store({1, 2}, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(recordBytes(kEngine).size(), std::size_t(31));

    // Removing an earlier record renumbers the list; the links follow.
    view->selectEntry(kAltitude);
    view->onRemoveRecord();
    QVERIFY(!altitude->store({9, 9, 9, 9}, &error));
    QVERIFY(reserved->store({1, 2, 3, 4}, &error));
    QCOMPARE(doc->entry(kEngine - 1).name, std::string("Engine"));
    const auto& d = copyOf(doc->data(kEngine - 1));
    QCOMPARE(std::vector<std::uint8_t>(d.begin() + 27, d.end()), (std::vector<std::uint8_t>{1, 2, 3, 4}));
    QVERIFY(flag->store({1, 0, 0, 0, 7}, &error)); // a record may change length
    QCOMPARE(doc->entry(kFlag - 1).length, 5u);
    QVERIFY(view->recordModel()->displayText(kFlag - 1).endsWith(QStringLiteral("Flag=TRUE(1)")));

    // Adding before them shifts them the other way.
    view->selectEntry(1);
    browser::putRecordOnClipboard(QApplication::clipboard(), 0x10, std::vector<std::uint8_t>(31, 0));
    view->onAddFromClipboard();
    QCOMPARE(reserved->bytes(), (std::vector<std::uint8_t>{1, 2, 3, 4}));
    QVERIFY(reserved->store({5, 6, 7, 8}, &error));
    QCOMPARE(doc->data(kReserved - 1 + 11).data(),
            doc->data(kEngine - 1 + 11).data() + 27); // a view into its record
    QCOMPARE(copyOf(doc->data(kEngine - 1 + 11))[27], std::uint8_t(5));

    // A reload ends every link: nothing is written into the new list.
    fixture::load(*doc, *files);
    view->rebuildTree();
    QVERIFY(reserved->bytes().empty());
    QVERIFY(!reserved->store({0, 0, 0, 0}, &error));
    QVERIFY(error.contains(QStringLiteral("not written")));
    QCOMPARE(recordBytes(kEngine)[27], std::uint8_t(0xDE));
}

void EditingViewTest::boxOfAWideItemOpensInView()
{
    // A window narrower than the item: the box must still be where the user
    // can see and type into it.
    const QRect label = view->itemRect(kIdle);
    view->resize(label.left() + label.width() / 2 + view->width() - view->viewport()->width(), view->height());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->itemRect(kIdle).topLeft() + QPoint(3, 3));
    QVERIFY(view->fieldEdit()->isVisible());
    const QRect box = view->fieldEdit()->geometry();
    QVERIFY2(view->viewport()->rect().contains(box), "the box is outside the window");
    QTest::keyClicks(view->fieldEdit(), QStringLiteral("7"));
    QTest::keyClick(view->fieldEdit(), Qt::Key_Return);
    QCOMPARE(*bytes::i16(recordBytes(kEngine), 0), std::int16_t(7));
}

void EditingViewTest::altKeysCloseTheBoxAndOpenTableWindows()
{
    clickAndType(kIdle, QStringLiteral("1"));
    QTest::keyClick(view->fieldEdit(), Qt::Key_T, Qt::AltModifier);
    QVERIFY(!view->fieldEdit()->isVisible());
    QCOMPARE(*bytes::i16(recordBytes(kEngine), 0), std::int16_t(0x1234));
    tables::TableWnd* wnd = tables::TableWnd::markedWindow();
    QVERIFY(wnd);
    QCOMPARE(wnd->model().values().size(), std::size_t(1));
    // Ignored while that window is open.
    QTest::keyClick(view.get(), Qt::Key_T, Qt::AltModifier);
    QCOMPARE(tables::TableWnd::markedWindow(), wnd);
    // Removing the record under an open window closes it without writing.
    QPointer<tables::TableWnd> guard(wnd);
    view->selectEntry(kEngine);
    view->onRemoveRecord();
    QVERIFY(!guard || guard->isAbandoned());
    QVERIFY(!guard || !guard->isVisible());

    // Alt+D on a record whose length is no double table: the window refuses.
    view->selectEntry(kTitle);
    view->setFocus();
    QTest::keyClick(view.get(), Qt::Key_D, Qt::AltModifier);
    QCOMPARE(messages().size(), 1);
}

void EditingViewTest::clipboardBetweenTwoEditors()
{
    // A second document and view in this process, as a second file opened later.
    fixture::Files otherFiles;
    model::CTLDoc other;
    const std::vector<std::uint8_t> img = airtest::record(0x30, {'x', 0});
    fixture::load(other, otherFiles, img);
    document::DocNotifier otherNotifier(other);
    TestView second(otherNotifier);
    second.rebuildTree();

    view->selectEntry(kEngine);
    view->onCopyToClipboard();
    second.selectEntry(1);
    second.onAddFromClipboard();
    QVERIFY(messages().isEmpty());
    QCOMPARE(other.recordCount(), 2);
    QCOMPARE(other.entry(1).id, 0x10u);
    QCOMPARE(copyOf(other.data(1)), recordBytes(kEngine));
    QCOMPARE(other.entry(2).name, std::string("Idle speed"));
    QCOMPARE(second.recordModel()->displayText(2), QStringLiteral("Idle speed=4660"));
}

void EditingViewTest::clipboardReachesAnotherProcess()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs a shared X clipboard (run under xvfb-run with QT_QPA_PLATFORM=xcb)");
    const QString peer = QStringLiteral(TARLO_BINARY_DIR "/bin/browser_clip_peer");
    QVERIFY(QFile::exists(peer));
    const std::vector<std::uint8_t> img = airtest::record(0x30, {'x', 0});
    const std::string in = files->dir.file("second.air");
    const std::string out = files->dir.file("second-out.air");
    QVERIFY(!base::fileio::writeFileAtomic(in, img));

    view->selectEntry(kEngine);
    view->onCopyToClipboard();
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(peer, {QString::fromStdString(files->ini()), QString::fromStdString(in), QString::fromStdString(out),
                       QStringLiteral("1")});
    // This process owns the selection: keep serving it while the child reads.
    QTRY_VERIFY_WITH_TIMEOUT(child.state() == QProcess::NotRunning, 60000);
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);

    model::CTLDoc result;
    result.setDefinitionsPath(files->ini());
    QVERIFY(!result.load(out));
    QCOMPARE(result.recordCount(), 2);
    QCOMPARE(result.entry(1).id, 0x10u);
    QCOMPARE(copyOf(result.data(1)), recordBytes(kEngine));
    QCOMPARE(result.entry(result.highestIndex()).id, 0x30u);
}

TARLO_TEST_MAIN(EditingViewTest)
#include "EditingViewTest.moc"
