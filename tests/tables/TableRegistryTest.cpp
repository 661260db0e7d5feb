// The list of open table windows, on bare windows that count their closes.
#include "FakeTarget.h"

#include <QCloseEvent>
#include <QPointer>
#include <QtTest>

#include <functional>

using namespace tables;

namespace {
class Probe : public TableFrame {
public:
    explicit Probe(QWidget* owner = nullptr)
            : TableFrame(nullptr, QStringLiteral("probe"), ui::Edges{10, 10, 300, 200}, owner)
    {}
    bool refuse = false;
    int closes = 0;
    std::function<void()> onClose;

protected:
    void closeEvent(QCloseEvent* e) override
    {
        ++closes;
        if (onClose)
            onClose();
        if (refuse)
            e->ignore();
        else
            e->accept();
    }
};
} // namespace

class TableRegistryTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup()
    {
        for (TableFrame* w : TableRegistry::openWindows())
            delete w;
        flushDeletes();
        QVERIFY(TableRegistry::openWindows().isEmpty());
    }

    void listsOpenWindowsInOpeningOrder()
    {
        auto* a = new Probe;
        auto* b = new Probe;
        auto* c = new Probe;
        QCOMPARE(TableRegistry::openWindows(), (QList<TableFrame*>{a, b, c}));

        // An accepted close takes the window off at once, before its deletion.
        QPointer<Probe> gone = b;
        QVERIFY(b->close());
        QVERIFY(!gone.isNull());
        QCOMPARE(TableRegistry::openWindows(), (QList<TableFrame*>{a, c}));
        flushDeletes();
        QVERIFY(gone.isNull());

        // A refused close keeps it; abandon() closes like the close box.
        c->refuse = true;
        QVERIFY(!c->close());
        QCOMPARE(TableRegistry::openWindows(), (QList<TableFrame*>{a, c}));
        a->abandon();
        QVERIFY(a->isAbandoned());
        QCOMPARE(TableRegistry::openWindows(), (QList<TableFrame*>{c}));
        auto* d = new Probe;
        QCOMPARE(TableRegistry::openWindows(), (QList<TableFrame*>{c, d}));
    }

    void windowDeletedWithItsOwnerLeaves()
    {
        auto* owner = new QWidget;
        auto* owned = new Probe(owner);
        auto* free = new Probe;
        QCOMPARE(TableRegistry::openWindows(), (QList<TableFrame*>{owned, free}));
        delete owner; // no close event for the owned window
        QCOMPARE(TableRegistry::openWindows(), (QList<TableFrame*>{free}));
    }

    void closeAllClosesEachOnceAndKeepsRefusals()
    {
        auto* a = new Probe;
        auto* b = new Probe;
        auto* c = new Probe;
        QPointer<Probe> pa = a, pc = c;
        b->refuse = true;
        TableRegistry::closeAll();
        QCOMPARE(pa->closes, 1);
        QCOMPARE(b->closes, 1);
        QCOMPARE(pc->closes, 1);
        QCOMPARE(TableRegistry::openWindows(), (QList<TableFrame*>{b}));
        flushDeletes();
        QVERIFY(pa.isNull() && pc.isNull());

        // Nothing left to close but the refusing one, asked again.
        TableRegistry::closeAll();
        QCOMPARE(b->closes, 2);
    }

    void closeAllSurvivesAWindowDeletedByAnotherClose()
    {
        auto* a = new Probe;
        QPointer<Probe> b = new Probe;
        a->onClose = [&b] { delete b.data(); };
        TableRegistry::closeAll();
        QVERIFY(b.isNull());
        QVERIFY(TableRegistry::openWindows().isEmpty());
    }
};

TARLO_TEST_MAIN(TableRegistryTest)
#include "TableRegistryTest.moc"
