#include "editor/ActiveUndo.h"

#include "tables/TableFrame.h"

#include <QApplication>
#include <QEvent>
#include <QUndoGroup>
#include <QUndoStack>
#include <QWidget>

namespace tarlo {

ActiveUndo::ActiveUndo(QUndoStack* document, QWidget* mainWindow)
        : QObject(mainWindow), group_(new QUndoGroup(this)), document_(document), mainWindow_(mainWindow)
{
    group_->addStack(document);
    group_->setActiveStack(document);
    // A table window's history gone with its window: the document's again.
    connect(group_, &QUndoGroup::activeStackChanged, this, [this](QUndoStack* active) {
        if (!active && document_ && group_->stacks().contains(document_))
            group_->setActiveStack(document_);
    });
    qApp->installEventFilter(this);
}

ActiveUndo::~ActiveUndo()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

bool ActiveUndo::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::WindowActivate && watched->isWidgetType())
        activated(static_cast<QWidget*>(watched));
    return QObject::eventFilter(watched, event);
}

void ActiveUndo::activated(QWidget* window)
{
    if (window == mainWindow_) {
        group_->setActiveStack(document_);
        return;
    }
    if (auto* table = qobject_cast<tables::TableFrame*>(window))
        follow(table);
}

void ActiveUndo::follow(tables::TableFrame* table)
{
    QUndoStack* stack = table->undoStack();
    if (!stack || table->isAbandoned() || !table->isVisible())
        return;
    if (!group_->stacks().contains(stack)) {
        group_->addStack(stack);
        // Once closed, its steps are no longer there to take back; whatever
        // it wrote is a step of the document's. (A window deleted without a
        // close takes its history out of the group as it goes.)
        connect(table, &tables::TableFrame::closing, this, [this, stack] { group_->removeStack(stack); });
    }
    group_->setActiveStack(stack);
}

} // namespace tarlo
