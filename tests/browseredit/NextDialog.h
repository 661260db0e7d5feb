#pragma once
// Works a modal dialog the code under test opens: `act` runs on it from the
// dialog's own event loop, and `seen` (when given) tells whether one came.
#include "hexedit/CHexDataDlg.h"
#include "hexedit/CHexDataCtrl.h"

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

// "Edit Hex Data": Tab into the hex column, nibbles typed over the first
// byte, then OK.
inline void typeHexAndOk(CHexDataDlg* dlg, const QString& nibbles)
{
    QTest::keyClick(dlg->hexCtrl(), Qt::Key_Tab);
    QTest::keyClicks(dlg->hexCtrl(), nibbles);
    dlg->okButton()->click();
}

} // namespace fixture
