#pragma once
// The recent-file list: up to 20 full paths, most recent first, stored in
// the settings section "Recent File List" as File1..File20.

#include <QString>
#include <QStringList>

class QSettings;

namespace tarlo {

class RecentFiles {
public:
    static constexpr int kMaxEntries = 20;

    void load(QSettings& settings);
    void save(QSettings& settings) const;

    // Puts path at the front (moving it if already listed; paths compare as
    // the same file after cleaning) and drops what falls off the end.
    void add(const QString& path);
    void remove(const QString& path);

    const QStringList& paths() const { return paths_; }
    bool isEmpty() const { return paths_.isEmpty(); }

    // The menu text of entry i (0-based): access key number and the path,
    // shortened to at most 30 characters.
    static QString menuText(int i, const QString& path);
    static QString shortenPath(const QString& path, int maxChars = 30);

private:
    QStringList paths_;
};

} // namespace tarlo
