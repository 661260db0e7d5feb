// The external-change watcher and its reload bar.
#include "editor/ExternalChange.h"

#include "model/CTLDoc.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLabel>
#include <QToolBar>

namespace tarlo {

namespace {

QString fromLocal(const std::string& s)
{
    return QFile::decodeName(QByteArray::fromStdString(s));
}

} // namespace

ExternalChange::ExternalChange(const model::CTLDoc& doc, QWidget* window)
        : QObject(window), doc_(doc), watcher_(new QFileSystemWatcher(this))
{
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, [this] { check(); });
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { check(); });
    bar_ = new QToolBar(QStringLiteral("Changed file"), window);
    bar_->setObjectName(QStringLiteral("changedBar"));
    bar_->setMovable(false);
    bar_->setFloatable(false);
    bar_->toggleViewAction()->setVisible(false);
    text_ = new QLabel(bar_);
    text_->setObjectName(QStringLiteral("changedText"));
    bar_->addWidget(text_);
    reload_ = bar_->addAction(QStringLiteral("Reload"));
    reload_->setObjectName(QStringLiteral("changedReload"));
    reload_->setStatusTip(QStringLiteral("Load the file as the other program left it"));
    connect(reload_, &QAction::triggered, this, [this] {
        // Edits made since the bar appeared are not thrown away from here.
        if (doc_.isModified())
            check();
        else
            emit reloadRequested();
    });
    QAction* ignore = bar_->addAction(QStringLiteral("Ignore"));
    ignore->setObjectName(QStringLiteral("changedIgnore"));
    ignore->setStatusTip(QStringLiteral("Keep the document as it is and hide this bar"));
    connect(ignore, &QAction::triggered, this, [this] {
        dismissed_ = base::fileio::identify(doc_.fullPath());
        bar_->hide();
    });
    bar_->hide();
}

bool ExternalChange::changedOnDisk() const
{
    if (!doc_.hasData() || !doc_.diskIdentity().valid)
        return false;
    const base::fileio::FileIdentity now = base::fileio::identify(doc_.fullPath());
    return now.valid && now != doc_.diskIdentity();
}

void ExternalChange::watch()
{
    dismissed_ = {};
    bar_->hide();
    if (!watcher_->files().isEmpty())
        watcher_->removePaths(watcher_->files());
    if (!watcher_->directories().isEmpty())
        watcher_->removePaths(watcher_->directories());
    if (!doc_.hasData() || doc_.fullPath().empty())
        return;
    const QString path = fromLocal(doc_.fullPath());
    watcher_->addPath(path);
    // A file replaced by a rename leaves the watch behind; its folder sees
    // the new one arrive.
    const QFileInfo target(QFileInfo(path).canonicalFilePath());
    if (!target.filePath().isEmpty())
        watcher_->addPath(target.absolutePath());
}

void ExternalChange::check()
{
    if (!doc_.hasData() || doc_.fullPath().empty()) {
        bar_->hide();
        return;
    }
    const QString path = fromLocal(doc_.fullPath());
    if (!watcher_->files().contains(path) && QFileInfo::exists(path))
        watcher_->addPath(path);
    const base::fileio::FileIdentity now = base::fileio::identify(doc_.fullPath());
    if (!changedOnDisk() || now == dismissed_) {
        bar_->hide();
        return;
    }
    const QString name = fromLocal(doc_.fileName());
    if (doc_.isModified()) {
        text_->setText(QStringLiteral("%1 was changed by another program. Save asks before overwriting it.")
                               .arg(name));
        reload_->setVisible(false);
    } else {
        text_->setText(QStringLiteral("%1 was changed by another program.").arg(name));
        reload_->setVisible(true);
    }
    bar_->show();
}

bool ExternalChange::barVisible() const
{
    return !bar_->isHidden();
}

QString ExternalChange::barText() const
{
    return text_->text();
}

} // namespace tarlo
