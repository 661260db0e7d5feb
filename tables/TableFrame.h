#pragma once
// What the three table windows share: a top-level window owned by the tree
// view, bound to one TableTarget, remembering its placement under a settings
// section, and able to be told that the document changed under it.
#include "tables/TableBytes.h"
#include "tables/TableTarget.h"
#include "ui/Placement.h"

#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QStatusBar;
class QKeyEvent;
class QUndoStack;

namespace tables {

class TableFrame : public QWidget {
    Q_OBJECT
public:
    ~TableFrame() override;

    TableTarget* target() const { return target_.get(); }

    // The document changed under the window (its entry removed, a reload,
    // another file): close at once without writing anything back.
    void abandon();
    bool isAbandoned() const { return abandoned_; }

    // Shows the window, raised above the others and active.
    void bringToFront();

    // The window's own edits before they are written back, for the main
    // window's Edit menu while this window is active; null for none.
    virtual QUndoStack* undoStack() const { return nullptr; }

    // Stores the current placement under this window's section.
    void SaveWindowRect();

    // Gives the target its bytes back, changed by patch. If the entry no
    // longer has the length it had when the window opened, the write is
    // refused, so a window never writes a table over other data.
    // Refusals are shown to the user; answers whether the bytes were stored.
    bool writeBack(const std::function<void(Bytes&)>& patch);

    // The target's counterpart in the file compared with, as last read;
    // nullopt while no compare runs or the entry has none there.
    const std::optional<TableReference>& reference() const { return reference_; }
    // A compare began or ended, or the document changed: reads the
    // counterpart again and repaints.
    void referenceChanged();

protected:
    TableFrame(std::unique_ptr<TableTarget> target, const QString& section, const ui::Edges& defaults,
            QWidget* owner);

    // Two-pane status bar along the bottom: pane 0 stretches, pane 1 shows
    // "NUM" while Num Lock is known to be on.
    void createStatusBar();
    void setStatusText(const QString& text);
    // A second pane, left of "NUM", for what pane 0 does not show.
    void setInfoText(const QString& text);
    // Keypad keys tell the Num Lock state where the keyboard cannot be
    // read: digits arrive only with it on.
    void noteNumLock(const QKeyEvent* e);
    // Reads the keyboard's Num Lock state into pane 1 (when it is known).
    void refreshNumLock();

    // The window makes what it draws of reference(); each window's
    // constructor calls it once, referenceChanged() after every new read.
    virtual void referenceRead() {}

    void resizeEvent(QResizeEvent* e) override;
    bool event(QEvent* e) override;

signals:
    // The window accepted a close; it is deleted later.
    void closing();

public:
    QString statusText() const;
    QString numLockText() const;
    QString infoText() const;

private:
    std::unique_ptr<TableTarget> target_;
    QString section_;
    std::size_t sizeAtOpen_ = 0;
    bool abandoned_ = false;
    std::optional<TableReference> reference_;
    QStatusBar* status_ = nullptr;
    QLabel* pane0_ = nullptr;
    QLabel* pane1_ = nullptr;
    QLabel* info_ = nullptr;
};

// The program's idle text, shown in pane 0 until the first paint.
QString idleText();

} // namespace tables
