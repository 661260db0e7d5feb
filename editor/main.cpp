#include <QApplication>
#include <QMainWindow>

#include "model/ListCommand.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    // --list, --help and --version run without a display: before any QApplication.
    {
        const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
        if (model::isHeadlessCommand(args))
            return model::runListCommand(args, argc > 0 ? argv[0] : "tarlo", std::cout, std::cerr);
    }
    QApplication app(argc, argv);
    QMainWindow w;
    w.setWindowTitle("Untitled - Tarlo");
    w.show();
    return app.exec();
}
