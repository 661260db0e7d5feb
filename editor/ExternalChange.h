#pragma once
// Changes made to the open file by another program: a watcher on the file and
// its folder, and the bar above the tree that offers to reload it (no dialog
// pops up on its own).
#include "base/FileIO.h"

#include <QObject>
#include <QString>

class QAction;
class QFileSystemWatcher;
class QLabel;
class QToolBar;
class QWidget;

namespace model {
class CTLDoc;
}

namespace tarlo {

class ExternalChange : public QObject {
    Q_OBJECT
public:
    // The bar is made for `window`, which places it (hidden at first).
    ExternalChange(const model::CTLDoc& doc, QWidget* window);

    QToolBar* bar() const { return bar_; }

    // True when the file on disk is no longer the one last loaded or saved
    // (replaced, or written in place). A file that is gone does not count.
    bool changedOnDisk() const;
    // After a load or save: watches the document's file afresh and hides the bar.
    void watch();
    // Looks at the file now: shows or hides the bar.
    void check();
    bool barVisible() const;
    QString barText() const;

signals:
    // The bar's Reload, while the document has no edits of its own.
    void reloadRequested();

private:
    const model::CTLDoc& doc_;
    QFileSystemWatcher* watcher_ = nullptr;
    QToolBar* bar_ = nullptr;
    QLabel* text_ = nullptr;
    QAction* reload_ = nullptr;
    base::fileio::FileIdentity dismissed_; // the disk state the user chose to ignore
};

} // namespace tarlo
