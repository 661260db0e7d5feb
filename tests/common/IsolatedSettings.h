#pragma once
// Keeps a Qt test program out of the user's files: a scratch home that lives
// as long as the helper holds HOME and the XDG folders (config, data, state,
// cache), so every QSettings, QStandardPaths location, recovery record and
// desktop association goes there. Construct it before the application object.
//
//   TARLO_TEST_MAIN(MyTest)                      // instead of QTEST_MAIN
//
//   int main(int argc, char** argv)              // or in a main of one's own
//   {
//       testsupport::IsolatedSettings settings;
//       QApplication app(argc, argv);
//       ...
#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <utility>

namespace testsupport {

class IsolatedSettings {
public:
    IsolatedSettings()
    {
        const QString home = dir_.path();
        qputenv("HOME", QFile::encodeName(home));
        for (const auto& [name, sub] : {std::pair{"XDG_CONFIG_HOME", "config"}, std::pair{"XDG_DATA_HOME", "data"},
                 std::pair{"XDG_STATE_HOME", "state"}, std::pair{"XDG_CACHE_HOME", "cache"}}) {
            QDir(home).mkpath(QString::fromLatin1(sub));
            qputenv(name, QFile::encodeName(home + QLatin1Char('/') + QLatin1String(sub)));
        }
        // QSettings takes its folder once, at its first use: set it outright.
        const QString config = home + QStringLiteral("/config");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config);
    }
    IsolatedSettings(const IsolatedSettings&) = delete;
    IsolatedSettings& operator=(const IsolatedSettings&) = delete;

    // The scratch home.
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
};

} // namespace testsupport

// QTEST_MAIN with the settings isolated first.
#define TARLO_TEST_MAIN(TestClass)                                                                           \
    int main(int argc, char** argv)                                                                          \
    {                                                                                                        \
        testsupport::IsolatedSettings isolatedSettings;                                                      \
        QApplication app(argc, argv);                                                                        \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                             \
        TestClass test;                                                                                      \
        QTEST_SET_MAIN_SOURCE_PATH                                                                           \
        return QTest::qExec(&test, argc, argv);                                                              \
    }
