#include "editor/RecentFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include "ui/Settings.h"

namespace tarlo {

namespace {
QString fileKey(int i)
{
    return QString(ui::settings::kRecentFile) + QString::number(i);
}

bool samePath(const QString& a, const QString& b)
{
    return QDir::cleanPath(a) == QDir::cleanPath(b);
}
} // namespace

void RecentFiles::load(QSettings& s)
{
    paths_.clear();
    s.beginGroup(ui::settings::kRecentSection);
    for (int i = 1; i <= kMaxEntries; ++i) {
        const QString p = s.value(fileKey(i)).toString();
        if (!p.isEmpty() && std::none_of(paths_.begin(), paths_.end(), [&](const QString& q) {
                return samePath(p, q);
            }))
            paths_.append(p);
    }
    s.endGroup();
}

void RecentFiles::save(QSettings& s) const
{
    s.beginGroup(ui::settings::kRecentSection);
    for (int i = 1; i <= kMaxEntries; ++i) {
        const QString key = fileKey(i);
        if (i <= paths_.size())
            s.setValue(key, paths_.at(i - 1));
        else
            s.remove(key);
    }
    s.endGroup();
}

void RecentFiles::add(const QString& path)
{
    if (path.isEmpty())
        return;
    remove(path);
    paths_.prepend(path);
    while (paths_.size() > kMaxEntries)
        paths_.removeLast();
}

void RecentFiles::remove(const QString& path)
{
    paths_.removeIf([&](const QString& q) { return samePath(path, q); });
}

QString RecentFiles::shortenPath(const QString& path, int maxChars)
{
    QString native = QDir::toNativeSeparators(path);
    if (native.size() <= maxChars)
        return native;
    const QString sep = QDir::separator();
    const QString name = QFileInfo(path).fileName();
    // Keep the file name and as much of the leading folder as fits:
    // "/home/pilot/.../plane.air".
    const QString ellipsis = QStringLiteral("...") + sep;
    if (name.size() + ellipsis.size() > maxChars) {
        // Even the name alone is too long: keep its end, which carries the extension.
        return QStringLiteral("...") + name.right(maxChars - 3);
    }
    const int room = maxChars - name.size() - ellipsis.size();
    QString head = native.left(room);
    const int cut = head.lastIndexOf(sep);
    head = cut >= 0 ? head.left(cut + 1) : QString();
    return head + ellipsis + name;
}

QString RecentFiles::menuText(int i, const QString& path)
{
    QString shown = shortenPath(path);
    shown.replace(u'&', QStringLiteral("&&"));
    const int n = i + 1;
    QString number;
    if (n < 10)
        number = QStringLiteral("&%1").arg(n);
    else if (n == 10)
        number = QStringLiteral("1&0");
    else
        number = QString::number(n);
    return number + u' ' + shown;
}

} // namespace tarlo
