#include <QApplication>
#include <QIcon>

#include "editor/CTLApp.h"
#include "editor/StartCommand.h"
#include "ui/Messages.h"
#include "ui/Settings.h"

#include <cstdlib>
#include <iostream>
#include <new>
#include <string>
#include <vector>

namespace {

// Whether Qt can open a window: a platform chosen by the user, or an X11 or
// Wayland display to connect to.
bool hasDisplay()
{
#if !defined(__linux__)
    return true;
#endif
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* v = std::getenv(name);
        if (v && *v)
            return true;
    }
    return false;
}

// Without a display there is nothing to show a message box on: messages go
// to the terminal, and nothing is asked.
class TerminalMessages final : public ui::MessageSink {
public:
    void tell(QWidget*, const QString& text, ui::Tone) override { std::cout << text.toStdString() << "\n"; }
    ui::Answer ask(QWidget*, const QString&, const QList<ui::Answer>&, ui::Answer) override
    {
        return ui::Answer::Cancel;
    }
};

} // namespace

int main(int argc, char** argv)
{
    // The command line is read before any QApplication: --list, --help,
    // --version and usage errors need no display.
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const tarlo::StartCommand start = tarlo::parseStartCommand(args);
    switch (start.kind) {
    case tarlo::StartCommand::Kind::Headless:
    case tarlo::StartCommand::Kind::Usage:
        try {
            return tarlo::runTerminalCommand(start, args, argc > 0 ? argv[0] : "tarlo", std::cout, std::cerr);
        } catch (const std::bad_alloc&) {
            std::cerr << "tarlo: there is not enough memory for this file.\n";
            return 1;
        }
    case tarlo::StartCommand::Kind::Unregister:
        if (!hasDisplay()) {
            QCoreApplication app(argc, argv);
            QCoreApplication::setOrganizationName(QString(ui::settings::kOrganization));
            QCoreApplication::setApplicationName(QString(ui::settings::kApplication));
            TerminalMessages terminal;
            ui::setMessageSink(&terminal);
            tarlo::CTLApp theApp(QCoreApplication::applicationFilePath());
            return theApp.initInstance(QCoreApplication::arguments().mid(1)).value_or(0);
        }
        break;
    case tarlo::StartCommand::Kind::Window:
    case tarlo::StartCommand::Kind::Print:
        if (!hasDisplay()) {
            std::cerr << "tarlo: there is no display to open a window on (DISPLAY and WAYLAND_DISPLAY are "
                         "not set).\n"
                      << "tarlo --list AIRFILE prints a file's records without one.\n";
            return 1;
        }
        break;
    }
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QString(ui::settings::kOrganization));
    QCoreApplication::setApplicationName(QString(ui::settings::kApplication));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.kestrelloft.Tarlo"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("tarlo")));

    tarlo::CTLApp theApp(QCoreApplication::applicationFilePath());
    if (const auto status = theApp.initInstance(QCoreApplication::arguments().mid(1)))
        return *status;
    return app.exec();
}
