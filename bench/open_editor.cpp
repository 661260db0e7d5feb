// The editor's start-up as a whole process, ended after the first paint of
// the file's tree: run under /usr/bin/time -v for the open's time and peak
// memory (the editor itself has no option to quit after showing a file).
//
//   open_editor DEFINITIONS.ini FILE.air
#include "editor/CTLApp.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTreeView>

#include <cstdio>
#include <ctime>

int main(int argc, char** argv)
{
    QElapsedTimer wall;
    wall.start();
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("TarloBench"));
    QCoreApplication::setApplicationName(QStringLiteral("OpenEditor"));
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: open_editor DEFINITIONS.ini FILE.air\n");
        return 2;
    }
    // The editor reads the Tarlo.ini beside its program: a folder that has
    // the given definitions under that name stands in for the program's.
    QTemporaryDir programDir;
    if (!QFile::link(QFileInfo(args[1]).absoluteFilePath(), programDir.filePath(QStringLiteral("Tarlo.ini"))))
        return 1;
    tarlo::CTLApp theApp(programDir.filePath(QStringLiteral("tarlo")));
    if (const auto status = theApp.initInstance({args[2]}))
        return *status;
    QCoreApplication::processEvents();
    // The tree painted as it is on screen: every view of the main window.
    for (QTreeView* tree : theApp.mainFrame()->findChildren<QTreeView*>())
        if (tree->isVisible())
            tree->viewport()->repaint();
    QCoreApplication::processEvents();
    std::fprintf(stderr, "shown after %.3f s wall, %.3f s CPU\n", double(wall.nsecsElapsed()) / 1e9,
            double(std::clock()) / CLOCKS_PER_SEC);
    return 0;
}
