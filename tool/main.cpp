// patchwise: with no arguments the dialog; otherwise the command line, which
// needs no display.
#include "tool/CommandLine.h"

#include <iostream>
#include <new>
#include <string>
#include <vector>

#ifdef PATCHWISE_WITH_DIALOG
#include "tool/ToolDialog.h"
#include <QApplication>
#include <QIcon>
#endif

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    patchwise::ToolCommandLine cl = patchwise::parseCommandLine(args);
#ifdef PATCHWISE_WITH_DIALOG
    if (cl.mode == patchwise::ToolCommandLine::Mode::Dialog) {
        QApplication app(argc, argv);
        QGuiApplication::setDesktopFileName("org.kestrelloft.Patchwise");
        QApplication::setWindowIcon(QIcon::fromTheme("patchwise"));
        return patchwise::runToolDialog(app);
    }
#endif
    try {
        return patchwise::runCommandLine(cl, std::cout, std::cerr);
    } catch (const std::bad_alloc&) {
        // Each operation undoes its file steps as it unwinds.
        std::cerr << "patchwise: there is not enough memory for this file.\n";
        return 1;
    }
}
