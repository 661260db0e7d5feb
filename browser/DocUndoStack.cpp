#include "browser/DocUndoStack.h"

#include "browser/DocNotifier.h"
#include "model/CTLDoc.h"

#include <QPointer>

namespace browser {

namespace {

// One change of the document. It was already made when the command is
// pushed, so the first redo() (which push() calls) does nothing.
class ChangeCommand : public QUndoCommand {
public:
    ChangeCommand(DocNotifier& notifier, model::Change change)
            : m_notifier(&notifier), m_change(std::move(change))
    {
        setText(QString::fromLatin1(m_change.label.data(), qsizetype(m_change.label.size())));
    }
    void undo() override
    {
        if (m_notifier)
            m_notifier->document().undo(m_change);
    }
    void redo() override
    {
        if (m_pushed && m_notifier)
            m_notifier->document().redo(m_change);
        m_pushed = true;
    }

private:
    QPointer<DocNotifier> m_notifier;
    model::Change m_change;
    bool m_pushed = false;
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

} // namespace browser
