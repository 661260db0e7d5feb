#include "editor/Association.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include "ui/Settings.h"

#include <QSettings>
#include <windows.h>
#endif

namespace tarlo {

namespace {

QString dataHome()
{
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    // XDG base directory rules: a relative value is ignored.
    if (home.isEmpty() || !QDir::isAbsolutePath(home))
        home = QDir::homePath() + QStringLiteral("/.local/share");
    return home;
}

// Escapes a value of a desktop entry string key.
QString escapeValue(const QString& v)
{
    QString out;
    for (QChar c : v) {
        if (c == u'\\')
            out += QStringLiteral("\\\\");
        else if (c == u'\n')
            out += QStringLiteral("\\n");
        else if (c == u'\t')
            out += QStringLiteral("\\t");
        else if (c == u'\r')
            out += QStringLiteral("\\r");
        else
            out += c;
    }
    return out;
}

// Quotes one argument of an Exec line where the desktop entry rules need it.
QString execArgument(const QString& arg)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needs = arg.isEmpty();
    for (QChar c : arg)
        if (reserved.contains(c)) {
            needs = true;
            break;
        }
    QString a = arg;
    a.replace(u'%', QStringLiteral("%%"));
    if (!needs)
        return a;
    QString q = QStringLiteral("\"");
    for (QChar c : a) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            q += u'\\';
        q += c;
    }
    q += u'"';
    return q;
}

bool writeText(const QString& path, const QString& text)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = text.toUtf8();
    if (f.write(bytes) != bytes.size()) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}

void refreshDatabases(const AssociationPaths& p)
{
    // Both tools are optional; a missing one simply leaves the cache stale.
    const QString mime = QStandardPaths::findExecutable(QStringLiteral("update-mime-database"));
    if (!mime.isEmpty())
        QProcess::execute(
                mime, {QDir::cleanPath(QFileInfo(p.mimeFile).absolutePath() + QStringLiteral("/.."))});
    const QString desk = QStandardPaths::findExecutable(QStringLiteral("update-desktop-database"));
    if (!desk.isEmpty())
        QProcess::execute(desk, {QFileInfo(p.desktopFile).absolutePath()});
}

} // namespace

AssociationPaths associationPaths()
{
    const QString home = dataHome();
    return {home + QStringLiteral("/applications/org.kestrelloft.Tarlo.desktop"),
            home + QStringLiteral("/mime/packages/tarlo-air.xml"),
            home + QStringLiteral("/applications/tarlo.desktop")};
}

QString openCommand(const QString& programPath)
{
    return programPath + QStringLiteral(" \"%1\"");
}

QString desktopEntryText(const QString& programPath)
{
    QString t;
    t += QStringLiteral("[Desktop Entry]\n");
    t += QStringLiteral("Type=Application\n");
    t += QStringLiteral("Name=Tarlo\n");
    t += QStringLiteral("GenericName=AIR File Editor\n");
    t += QStringLiteral("Comment=Edit AIR aircraft files\n");
    t += QStringLiteral("Exec=") + execArgument(programPath) + QStringLiteral(" %f\n");
    t += QStringLiteral("Icon=tarlo\n");
    t += QStringLiteral("Terminal=false\n");
    t += QStringLiteral("Categories=Utility;\n");
    t += QStringLiteral("MimeType=application/x-tarlo-air;\n");
    t += QStringLiteral("X-Tarlo-OpenCommand=") + escapeValue(openCommand(programPath)) + u'\n';
    return t;
}

QString mimePackageText()
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                          "  <mime-type type=\"application/x-tarlo-air\">\n"
                          "    <comment>AIR aircraft file</comment>\n"
                          "    <glob pattern=\"*.air\"/>\n"
                          "  </mime-type>\n"
                          "</mime-info>\n");
}

#ifdef Q_OS_WIN

namespace {
namespace keys = ui::settings;

// A value under the file class or the extension key: "Tarlo/shell/open/command/.".
QString classKey(QLatin1String key, const char* path)
{
    return QString(key) + QLatin1String(path);
}

QString shortPath(const QString& path)
{
    const std::wstring w = QDir::toNativeSeparators(path).toStdWString();
    wchar_t buf[MAX_PATH];
    const DWORD n = GetShortPathNameW(w.c_str(), buf, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return QDir::toNativeSeparators(path);
    return QString::fromWCharArray(buf, int(n));
}
} // namespace

bool registerAirFiles(const QString& programPath)
{
    QSettings reg(QString(keys::kClassesRoot), QSettings::NativeFormat);
    const QString p = shortPath(programPath);
    reg.setValue(classKey(keys::kFileClass, "/."), QString(keys::kFileClass));
    reg.setValue(classKey(keys::kFileClass, "/DefaultIcon/."), p + QStringLiteral(",0"));
    reg.setValue(classKey(keys::kFileClass, "/shell/open/command/."), openCommand(p));
    reg.setValue(classKey(keys::kFileClass, "/shell/print/command/."), p + QStringLiteral(" /p \"%1\""));
    reg.setValue(classKey(keys::kFileClass, "/shell/printto/command/."),
            p + QStringLiteral(" /pt \"%1\" \"%2\" \"%3\" \"%4\""));
    const QString cur = reg.value(classKey(keys::kAirExtension, "/.")).toString();
    if (cur.isEmpty() || cur == keys::kFileClass) {
        reg.setValue(classKey(keys::kAirExtension, "/."), QString(keys::kFileClass));
        reg.setValue(classKey(keys::kAirExtension, "/ShellNew/NullFile"), QString());
    }
    reg.sync();
    return reg.status() == QSettings::NoError;
}

bool unregisterAirFiles()
{
    QSettings reg(QString(keys::kClassesRoot), QSettings::NativeFormat);
    reg.remove(keys::kFileClass);
    if (reg.value(classKey(keys::kAirExtension, "/.")).toString() == keys::kFileClass)
        reg.remove(keys::kAirExtension);
    reg.sync();
    return reg.status() == QSettings::NoError && !reg.childGroups().contains(keys::kFileClass);
}

#else

bool registerAirFiles(const QString& programPath)
{
    const AssociationPaths p = associationPaths();
    bool ok = writeText(p.mimeFile, mimePackageText());
    ok = writeText(p.desktopFile, desktopEntryText(programPath)) && ok;
    // The entry under the old name would show Tarlo twice in menus.
    if (ok && QFileInfo::exists(p.oldDesktopFile))
        QFile::remove(p.oldDesktopFile);
    refreshDatabases(p);
    return ok;
}

bool unregisterAirFiles()
{
    const AssociationPaths p = associationPaths();
    bool ok = true;
    for (const QString& f : {p.desktopFile, p.oldDesktopFile, p.mimeFile}) {
        if (QFileInfo::exists(f) && !QFile::remove(f))
            ok = false;
    }
    refreshDatabases(p);
    return ok;
}

#endif

} // namespace tarlo
