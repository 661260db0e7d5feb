#include <QApplication>
#include <QIcon>

#include "editor/CTLApp.h"
#if defined(TARLO_HAVE_EDITORS)
#include "browser/EditingView.h"
#endif
#include "model/ListCommand.h"

#include <iostream>
#include <new>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    // --list, --help and --version run without a display: before any QApplication.
    {
        const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
        if (model::isHeadlessCommand(args)) {
            try {
                return model::runListCommand(args, argc > 0 ? argv[0] : "tarlo", std::cout, std::cerr);
            } catch (const std::bad_alloc&) {
                std::cerr << "tarlo: there is not enough memory for this file.\n";
                return 1;
            }
        }
    }
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(tarlo::settingsOrganization());
    QCoreApplication::setApplicationName(tarlo::settingsApplication());
    QGuiApplication::setDesktopFileName(QStringLiteral("tarlo"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("tarlo")));

#if defined(TARLO_HAVE_EDITORS)
    tarlo::CTLApp::setViewFactory([](model::CTLDoc& doc, QWidget* parent) -> tarlo::CTLView* {
        return new tarlo::EditingView(doc, parent);
    });
#endif
    tarlo::CTLApp theApp(QCoreApplication::applicationFilePath());
    if (const auto status = theApp.initInstance(QCoreApplication::arguments().mid(1)))
        return *status;
    return app.exec();
}
