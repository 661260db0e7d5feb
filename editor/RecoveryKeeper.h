#pragma once
// Keeps the main window's unsaved edits in a recovery record on disk and
// offers them back when their file is opened again.
//
// One record per AIR file, named by a hash of its canonical path, in
// $XDG_STATE_HOME/tarlo/recovery (default ~/.local/state/tarlo/recovery),
// beside a lock file that the window editing the file holds: a second window
// on the same file neither offers nor writes the record. The record is
// written (temporary name, fsync, rename) at most kDelayMs after a change, on
// Alt+X at once, and removed on Save, on Reload, on unsaved changes declined
// and when undo brings the document back to its saved state. Its bytes are
// made on the user-interface thread and written in order on a RecordWriter
// thread (an fsync would be felt in typing), which is waited for on Alt+X,
// before a removal and before the lock is let go.
#include "editor/RecordWriter.h"
#include "model/Recovery.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class QLockFile;
class QWidget;

namespace tarlo {

class RecoveryKeeper : public QObject, private model::recovery::Log {
    Q_OBJECT
public:
    static constexpr int kDelayMs = 1500;

    // status receives the texts for the status bar.
    RecoveryKeeper(model::CTLDoc& doc, QWidget* window, std::function<void(const QString&)> status);
    ~RecoveryKeeper() override;

    // Before `path` is loaded: a record of it is offered (Recover, Discard,
    // Not now), or refused with a message and set aside when it is damaged.
    void offer(const QString& path);
    // After the load that followed offer(): replays the edits the user chose
    // to recover and says what became of the record.
    void opened();
    // The unsaved changes were declined: their record goes.
    void discard();
    // Writes the record now when one is due.
    void flush();
    // The recovered edits were recorded against another version of the file
    // than the one loaded; true until the next load or save.
    bool recoveredOntoChangedFile() const { return ontoChangedFile_; }

    // Where records are kept, and the record and lock of one AIR file.
    static QString folder();
    static QString recordPathFor(const QString& airPath);

signals:
    // Emitted on the writer's thread after each record written (error empty) or not.
    void recordWritten(quint64 revision, const QString& error);

private:
    // The writer's report on a write, on the user-interface thread.
    void written(quint64 revision, const QString& error);
    void failed(const QString& error);

    void changed(const model::Change& change) override;
    void modifiedChanged(bool modified) override;
    void loaded() override;
    void saved() override;

    // Takes the lock of path's record (canonical); false when another window holds it.
    bool lockFor(const QString& canonical);
    void keep(const QString& canonical);
    void removeRecord();
    void write();
    // Renames a record that cannot be used and tells why.
    void setAside(const QString& record, const QString& airPath, const QString& why);

    model::CTLDoc& doc_;
    QWidget* window_;
    std::function<void(const QString&)> status_;
    QTimer timer_;
    // The file whose record this window writes ("" for none) and its lock.
    QString kept_;
    std::unique_ptr<QLockFile> lock_;
    // offer()'s outcome for the file it asked about.
    QString offered_;
    std::unique_ptr<QLockFile> offeredLock_;
    std::optional<model::recovery::Record> pending_;
    bool pendingStrict_ = true;
    bool later_ = false, blocked_ = false, ontoChangedFile_ = false;
    std::uint64_t writtenRevision_ = 0;
    QString lastError_;
    // Last: it finishes its work before the lock above is let go.
    RecordWriter writer_;
};

} // namespace tarlo
