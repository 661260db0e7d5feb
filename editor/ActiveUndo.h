#pragma once
// The Edit menu's undo history: the document's while the main window is
// active, a table window's own (its edits not yet written back) while that
// window is.
#include <QObject>
#include <QPointer>

class QUndoGroup;
class QUndoStack;
class QWidget;

namespace tables {
class TableFrame;
}

namespace tarlo {

class ActiveUndo : public QObject {
    Q_OBJECT
public:
    // mainWindow owns this; document is the history of the document.
    ActiveUndo(QUndoStack* document, QWidget* mainWindow);
    ~ActiveUndo() override;

    QUndoGroup* group() const { return group_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A top-level window became active. Other windows (dialogs, boxes)
    // leave the history as it was.
    void activated(QWidget* window);
    void follow(tables::TableFrame* table);

    QUndoGroup* group_ = nullptr;
    QPointer<QUndoStack> document_;
    QWidget* mainWindow_ = nullptr;
};

} // namespace tarlo
