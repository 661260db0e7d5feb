#pragma once
// Works a modal dialog the code under test opens: `act` runs on it from the
// dialog's own event loop, and `seen` (when given) tells whether one came.
#include "browser/EditingView.h"
#include "hexedit/CHexDataCtrl.h"
#include "hexedit/CHexDataDlg.h"

#include <QApplication>
#include <QObject>
#include <QPushButton>
#include <QString>
#include <QTest>
#include <QTimer>

namespace fixture {

template <typename Dialog, typename Act>
void onNextDialog(QObject* context, Act act, bool* seen = nullptr)
{
    QTimer::singleShot(0, context, [act, seen] {
        auto* dlg = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (!dlg)
            return;
        if (seen)
            *seen = true;
        act(dlg);
    });
}

// Edit As Hex on an entry of view, in the real dialog: Tab into the hex
// column, nibbles typed over the first byte, then OK. False when no dialog
// came.
inline bool editAsHexTyping(browser::EditingView& view, int entry, const QString& nibbles)
{
    bool seen = false;
    QObject pending; // takes the wait along when it goes, so it never outlives seen
    onNextDialog<hexedit::CHexDataDlg>(
            &pending,
            [nibbles](hexedit::CHexDataDlg* dlg) {
                QTest::keyClick(dlg->hexCtrl(), Qt::Key_Tab);
                QTest::keyClicks(dlg->hexCtrl(), nibbles);
                dlg->okButton()->click();
            },
            &seen);
    view.selectEntry(entry);
    view.onEditAsHex();
    return seen;
}

} // namespace fixture
