#pragma once
// The Qt side of the document's change values: it listens to the document and
// re-emits every notice as a signal, so item models, windows and the undo
// history connect to it like to any Qt object.
#include "model/DocChange.h"

#include <QObject>

#include <memory>

namespace model {
class CTLDoc;
}

namespace document {

class DocNotifier : public QObject {
    Q_OBJECT
public:
    explicit DocNotifier(model::CTLDoc& doc, QObject* parent = nullptr);
    ~DocNotifier() override;

    model::CTLDoc& document() const { return doc_; }

signals:
    // Before an insert or removal of a record, the list still unchanged.
    void aboutToChange(const model::Change& pending);
    // After every change (an undo publishes what it did, see DocListener).
    void changed(const model::Change& change);
    void modifiedChanged(bool modified);
    void loaded();
    void saved();

private:
    struct Relay;
    model::CTLDoc& doc_;
    std::unique_ptr<Relay> relay_;
};

} // namespace document
