#include "document/DocUndoStack.h"

#include "document/DocNotifier.h"
#include "model/CTLDoc.h"

#include <QPointer>

namespace document {

namespace {

// One change of the document. It was already made when the command is
// pushed, so the first redo() (which push() calls) does nothing.
class ChangeCommand : public QUndoCommand {
public:
    ChangeCommand(DocNotifier& notifier, model::Change change)
            : notifier_(&notifier), change_(std::move(change))
    {
        setText(QString::fromLatin1(change_.label.data(), qsizetype(change_.label.size())));
    }
    void undo() override
    {
        if (notifier_)
            notifier_->document().undo(change_);
    }
    void redo() override
    {
        if (pushed_ && notifier_)
            notifier_->document().redo(change_);
        pushed_ = true;
    }

private:
    QPointer<DocNotifier> notifier_;
    model::Change change_;
    bool pushed_ = false;
};

} // namespace

DocUndoStack::DocUndoStack(DocNotifier& notifier, QObject* parent) : QUndoStack(parent)
{
    DocNotifier* n = &notifier;
    connect(n, &DocNotifier::changed, this, [this, n](const model::Change& c) {
        if (c.origin == model::ChangeOrigin::Edit)
            push(new ChangeCommand(*n, c));
    });
    connect(n, &DocNotifier::loaded, this, &QUndoStack::clear);
    connect(n, &DocNotifier::saved, this, [this] { setClean(); });
}

} // namespace document
