#include "editor/RecoveryKeeper.h"

#include "base/FileIO.h"
#include "model/CTLDoc.h"
#include "ui/Messages.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

namespace tarlo {

namespace fileio = base::fileio;
namespace recovery = model::recovery;

namespace {

std::string toLocal(const QString& s)
{
    return QFile::encodeName(s).toStdString();
}

QString fromLocal(const std::string& s)
{
    return QFile::decodeName(QByteArray::fromStdString(s));
}

// The path a record is named by: links resolved where the file exists.
QString canonical(const QString& path)
{
    const QFileInfo info(path);
    const QString c = info.canonicalFilePath();
    return c.isEmpty() ? info.absoluteFilePath() : c;
}

QString lockPathFor(const QString& record)
{
    return record.left(record.size() - 4) + QStringLiteral(".lock");
}

} // namespace

RecoveryKeeper::RecoveryKeeper(
        model::CTLDoc& doc, QWidget* window, std::function<void(const QString&)> status)
        : Log(doc), doc_(doc), window_(window), status_(std::move(status)),
          writer_([this](std::uint64_t revision, const base::fileio::Error& err) {
              // From the writer's thread: queued to this object's.
              emit recordWritten(revision, QString::fromStdString(err.message));
          })
{
    timer_.setSingleShot(true);
    timer_.setInterval(kDelayMs);
    connect(&timer_, &QTimer::timeout, this, [this] { write(); });
    connect(this, &RecoveryKeeper::recordWritten, this, &RecoveryKeeper::written, Qt::QueuedConnection);
}

RecoveryKeeper::~RecoveryKeeper() = default;

QString RecoveryKeeper::folder()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/tarlo/recovery");
}

QString RecoveryKeeper::recordPathFor(const QString& airPath)
{
    const std::string path = toLocal(canonical(airPath));
    const std::uint64_t h =
            recovery::hashBytes({reinterpret_cast<const std::uint8_t*>(path.data()), path.size()});
    return folder() + QStringLiteral("/%1.rec").arg(h, 16, 16, QLatin1Char('0'));
}

bool RecoveryKeeper::lockFor(const QString& file)
{
    if (!QDir().mkpath(folder()))
        return false;
    auto lock = std::make_unique<QLockFile>(lockPathFor(recordPathFor(file)));
    // Held for as long as the window edits the file; a lock left by a killed
    // window is stale once its process is gone.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return false;
    offeredLock_ = std::move(lock);
    return true;
}

void RecoveryKeeper::offer(const QString& path)
{
    writer_.wait(); // the record read below is the last one asked for
    const QString file = canonical(path);
    offered_ = file;
    offeredLock_.reset();
    pending_.reset();
    later_ = blocked_ = false;
    if (file != kept_ && !lockFor(file)) {
        blocked_ = true;
        return;
    }
    const QString record = recordPathFor(file);
    if (!QFileInfo::exists(record))
        return;
    std::vector<std::uint8_t> bytes;
    if (const base::fileio::Error err = base::fileio::readFile(toLocal(record), bytes)) {
        setAside(record, file, QString::fromStdString(err.message));
        return;
    }
    recovery::Record rec;
    if (const std::string why = recovery::decode(bytes, rec); !why.empty()) {
        setAside(record, file, QString::fromStdString(why));
        return;
    }
    if (fromLocal(rec.base.path) != file) {
        setAside(record, file,
                QStringLiteral("The recovery record belongs to %1.").arg(fromLocal(rec.base.path)));
        return;
    }
    std::vector<std::uint8_t> now;
    if (base::fileio::readFile(toLocal(file), now))
        return; // the load fails too, and says why; the record waits
    const bool changed =
            std::int64_t(now.size()) != rec.base.size || recovery::hashBytes(now) != rec.base.hash;

    const QString name = QFileInfo(file).fileName();
    const QString when =
            QDateTime::fromSecsSinceEpoch(rec.writtenAt).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    QString text = QStringLiteral("%1 has unsaved changes from %2 (%3 edits). Recover them?")
                           .arg(name, when)
                           .arg(rec.edits.size());
    if (changed)
        text += QStringLiteral(
                "\n\n%1 was changed on disk since then: the edits would be made to the file as "
                "it is now.")
                        .arg(name);
    switch (ui::askRecoverDiscardLater(window_, text)) {
    case ui::Answer::Recover:
        pending_ = std::move(rec);
        pendingStrict_ = !changed;
        break;
    case ui::Answer::Discard:
        base::fileio::removeFile(toLocal(record));
        break;
    default:
        later_ = true;
        break;
    }
}

void RecoveryKeeper::opened()
{
    if (canonical(fromLocal(doc_.fullPath())) != offered_) {
        pending_.reset();
        return;
    }
    const QString record = recordPathFor(offered_);
    if (blocked_) {
        status_(QStringLiteral("Another Tarlo window has this file open; it keeps the unsaved changes."));
    } else if (later_) {
        status_(QStringLiteral(
                "Earlier unsaved changes wait in %1; changes made now are not kept for recovery.")
                        .arg(QDir::toNativeSeparators(record)));
    } else if (pending_) {
        const recovery::Record rec = std::move(*pending_);
        pending_.reset();
        if (const std::string why = recovery::apply(doc_, rec, pendingStrict_); !why.empty()) {
            setAside(record, offered_, QString::fromStdString(why));
        } else {
            ontoChangedFile_ = !pendingStrict_;
            write(); // this window's record from now on
            status_(QStringLiteral("Recovered %1 edits from %2")
                            .arg(rec.edits.size())
                            .arg(QDir::toNativeSeparators(record)));
        }
    }
}

void RecoveryKeeper::setAside(const QString& record, const QString& airPath, const QString& why)
{
    QString aside = record + QStringLiteral(".bad");
    for (int n = 1; QFileInfo::exists(aside); ++n)
        aside = record + QStringLiteral(".bad%1").arg(n);
    const bool moved = !base::fileio::renameFile(toLocal(record), toLocal(aside));
    QString text = QStringLiteral("The unsaved changes of %1 could not be recovered. %2")
                           .arg(QFileInfo(airPath).fileName(), why);
    if (moved)
        text += QStringLiteral("\nThe record was kept as %1.").arg(QDir::toNativeSeparators(aside));
    ui::tell(window_, text, ui::Tone::Warning);
}

// ---------------------------------------------------------------------------
// Following the document

void RecoveryKeeper::keep(const QString& file)
{
    if (file == kept_)
        return;
    writer_.wait(); // nothing is written under a lock given up
    lock_.reset();
    kept_.clear();
    if (file.isEmpty())
        return;
    if (file == offered_ && (blocked_ || later_))
        return;
    // The lock offer() took for this file, else one taken now.
    const bool held = file == offered_ && offeredLock_;
    if (!held && !lockFor(file))
        return;
    lock_ = std::move(offeredLock_);
    kept_ = file;
}

void RecoveryKeeper::loaded()
{
    Log::loaded();
    timer_.stop();
    ontoChangedFile_ = false;
    const QString file = doc_.fullPath().empty() ? QString() : canonical(fromLocal(doc_.fullPath()));
    // A load of the file this window keeps (Reload) throws its changes away.
    if (file == kept_ && !(file == offered_ && pending_))
        removeRecord();
    keep(file);
}

void RecoveryKeeper::saved()
{
    Log::saved();
    timer_.stop();
    ontoChangedFile_ = false;
    removeRecord(); // of the file saved, or of the old name after Save As
    keep(canonical(fromLocal(doc_.fullPath())));
    removeRecord();
}

void RecoveryKeeper::changed(const model::Change& change)
{
    Log::changed(change);
    if (!kept_.isEmpty() && !timer_.isActive())
        timer_.start();
}

void RecoveryKeeper::modifiedChanged(bool modified)
{
    // Undone back to the saved state: nothing left to recover (a redo
    // writes the record again).
    // (After a load the log is empty: a record waiting to be recovered stays.)
    if (!modified && !kept_.isEmpty() && !edits().empty()) {
        timer_.stop();
        removeRecord();
    }
}

void RecoveryKeeper::discard()
{
    timer_.stop();
    removeRecord();
}

void RecoveryKeeper::flush()
{
    if (timer_.isActive() || (revision() != writtenRevision_ && doc_.isModified())) {
        timer_.stop();
        write();
    }
    writer_.wait();
}

void RecoveryKeeper::removeRecord()
{
    if (kept_.isEmpty())
        return;
    writer_.remove(toLocal(recordPathFor(kept_)));
    writtenRevision_ = 0;
}

void RecoveryKeeper::write()
{
    // A mark without edits (a table window's pending change) has nothing to replay.
    if (kept_.isEmpty() || !doc_.isModified() || base().path.empty() || edits().empty())
        return;
    if (!QDir().mkpath(folder())) {
        writtenRevision_ = 0;
        failed(QString::fromStdString(base::fileio::describe(EACCES, toLocal(folder()))));
        return;
    }
    writer_.write(toLocal(recordPathFor(kept_)),
            recovery::encode(snapshot(QDateTime::currentSecsSinceEpoch())), revision());
    writtenRevision_ = revision();
}

void RecoveryKeeper::written(quint64 revision, const QString& error)
{
    if (error.isEmpty()) {
        lastError_.clear();
        return;
    }
    // A failed write is tried again by the next flush.
    if (revision == writtenRevision_)
        writtenRevision_ = 0;
    failed(error);
}

void RecoveryKeeper::failed(const QString& error)
{
    // Said once per cause, not at every keystroke.
    if (error != lastError_)
        status_(QStringLiteral("Unsaved changes could not be kept for recovery: %1").arg(error));
    lastError_ = error;
}

} // namespace tarlo
