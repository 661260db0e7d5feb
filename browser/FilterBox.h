#pragma once
// The box above the record tree that narrows it as the user types: records
// whose name, id or value contains the text, or one of whose fields does
// (those open). It follows the document's changes; clearing it (or Esc)
// brings the whole tree back with the selection kept.
#include "browser/EntryFilter.h"
#include "model/DocChange.h"

#include <QLineEdit>
#include <QTimer>

namespace document {
class DocNotifier;
}

namespace browser {

class CTLView;

class FilterBox : public QLineEdit {
    Q_OBJECT
public:
    FilterBox(CTLView& view, document::DocNotifier& notifier, QWidget* parent = nullptr);

    // Applies the text now rather than after the pause in typing.
    void applyNow();
    bool active() const { return !text().isEmpty(); }
    // Records opened at most for matching fields: opening many is slow and
    // shows nothing more.
    static constexpr int kMaxOpened = 200;

signals:
    // Esc: the box was cleared and is done with.
    void dismissed();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void onDocumentChanged(const model::Change& change);
    void restoreSelection();

    CTLView& view_;
    QTimer timer_;
    EntryHaystack haystack_;
    bool stale_ = true; // the haystack no longer matches the list
    bool applying_ = false; // selection changes made by the filter itself
    // The entry the user last selected (0 for the root), kept across filters.
    model::EntryKey wanted_ = 0;
};

} // namespace browser
