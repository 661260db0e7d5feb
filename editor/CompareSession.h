#pragma once
// The compare view of the main window: the document against a reference
// file (another AIR file, or one of its numbered backups). It marks the tree,
// narrows it to the differences, shows the selected item's values in the
// status bar and takes the reference's values back as undo steps. The marks
// follow every change, undo and reload of the document, and so do the table
// windows' reference curves and cell marks.
#include "browser/EntryFilter.h"
#include "browser/TableReferences.h"
#include "browser/TreeMarks.h"
#include "model/DocCompare.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QAction;
class QMenu;
class QModelIndex;
class QUndoStack;

namespace model {
class CTLDoc;
}
namespace document {
class DocNotifier;
}
namespace browser {
class EditingView;
}

namespace tarlo {

class CompareSession : public QObject, public browser::TreeMarks, public browser::TableReferences {
    Q_OBJECT
public:
    CompareSession(document::DocNotifier& notifier, browser::EditingView& view, QUndoStack& history,
            QWidget* window);
    ~CompareSession() override;

    // The File menu's compare commands, added to `menu`; `choose` picks the
    // reference file (empty: cancelled).
    void addCommands(QMenu* menu, std::function<QString()> choose);

    // Reads `path` with the document's definitions and compares. A file that
    // cannot be read is told and changes nothing (a compare under way stays).
    bool start(const QString& path);
    void end();
    bool active() const { return reference_ != nullptr; }
    QString referencePath() const { return path_; }
    const model::DocComparison& comparison() const { return comparison_; }
    const model::CTLDoc* reference() const { return reference_.get(); }

    // Only the records that differ (and those only in the reference) show.
    void setShowOnlyDifferences(bool on);
    bool showOnlyDifferences() const { return showOnly_; }

    // The selected item (a field, a record, a record only in the reference)
    // as the reference has it; one undo step. False when there is nothing.
    bool takeSelected();
    // Every record difference as the reference has it; one undo step.
    bool takeAll();

    // "Reference: … | Current: … | Difference: …" for the selected item.
    QString statusFor(const QModelIndex& index) const;

    // browser::TreeMarks
    Mark markOf(int listIndex) const override;
    int otherRowCount() const override;
    QString otherRowText(int row) const override;
    int otherRowTypeCode(int row) const override;

    // browser::TableReferences
    std::optional<tables::TableReference> referenceFor(int listIndex) const override;

    // Asks for the reference of `current`: its backups in a list, newest
    // first, or any other file through the file dialog. Empty: cancelled.
    static QString chooseReference(QWidget* parent, const QString& current);
    // The numbered backups of `path` (path.001, path.002, …) that exist,
    // the newest (highest number) first.
    static QStringList backupsOf(const QString& path);

signals:
    void statusText(const QString& text);

private:
    void recompute();
    void applyFilter();
    void showStatus();
    void updateActions();
    // Runs `take` as one undo step named `label`; the compare follows once.
    std::vector<model::Change> takeAsOneStep(
            const QString& label, const std::function<std::vector<model::Change>()>& take);

    document::DocNotifier& notifier_;
    model::CTLDoc& doc_;
    browser::EditingView& view_;
    QUndoStack& history_;
    QWidget* window_;
    std::unique_ptr<model::CTLDoc> reference_;
    QString path_;
    std::string comparedDocument_; // the document's path when the compare began
    model::DocComparison comparison_;
    bool showOnly_ = false;
    std::vector<browser::FilterShow> shown_; // the filter Show Only Differences last set
    bool batch_ = false; // a take under way: recompute once at its end
    bool viewAlive_ = true;
    bool stale_ = false; // an undo or redo changed the document: recompute at its end

    QAction* compareWith_ = nullptr;
    QAction* showOnlyAction_ = nullptr;
    QAction* takeAction_ = nullptr;
    QAction* takeAllAction_ = nullptr;
    QAction* endAction_ = nullptr;
};

} // namespace tarlo
