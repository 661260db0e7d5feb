#pragma once
// Keeps a Qt test program's settings out of the user's: every QSettings and
// every configuration lookup goes to a scratch folder that lives as long as
// the helper. Construct it before the application object.
//
//   TARLO_TEST_MAIN(MyTest)                      // instead of QTEST_MAIN
//
//   int main(int argc, char** argv)              // or in a main of one's own
//   {
//       testsupport::IsolatedSettings settings;
//       QApplication app(argc, argv);
//       ...
#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace testsupport {

class IsolatedSettings {
public:
    IsolatedSettings()
    {
        // XDG_CONFIG_HOME for what Qt itself reads; setPath for QSettings,
        // which takes its folder once, at its first use.
        qputenv("XDG_CONFIG_HOME", dir_.path().toLocal8Bit());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.path());
    }
    IsolatedSettings(const IsolatedSettings&) = delete;
    IsolatedSettings& operator=(const IsolatedSettings&) = delete;

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
