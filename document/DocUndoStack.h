#pragma once
// The document's undo history. Every change made through the edit API lands
// here as one command named by the change's label ("Edit Idle speed"), so no
// editor has to know about undo; undo and redo hand the change back to the
// document. A load clears the history, a save marks its clean state.
#include <QUndoStack>

namespace model {
class CTLDoc;
}

namespace document {

class DocNotifier;

class DocUndoStack : public QUndoStack {
    Q_OBJECT
public:
    DocUndoStack(DocNotifier& notifier, QObject* parent = nullptr);
};

} // namespace document
