// The editor's recovery record without its window, for the kill loop: loads
// the AIR file, makes the scripted edits of a seed one after another and lets
// the window's keeper write its record (by its timer, and at once every few
// edits as Alt+X does), until it is killed or the script ends.
//
// Given a sixth argument READY, it makes all the edits at once, writes none,
// creates READY and waits for SIGTERM, SIGHUP or SIGINT, which it meets as
// the editor does: the record is written, then the signal ends the program.
#include "editor/RecoveryKeeper.h"
#include "editor/TerminationWatch.h"
#include "model/CTLDoc.h"

#include "common/EditScript.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 5 && argc != 6)
        return 2;
    QCoreApplication app(argc, argv);
    model::CTLDoc doc;
    doc.setDefinitionsPath(argv[2]);
    tarlo::RecoveryKeeper keeper(
            doc, nullptr, [](const QString& s) { std::fprintf(stderr, "%s\n", qPrintable(s)); });
    if (auto e = doc.load(argv[1])) {
        std::fprintf(stderr, "%s\n", e.message.c_str());
        return 1;
    }
    airtest::EditScript script(std::uint32_t(std::strtoul(argv[3], nullptr, 10)));
    const int steps = std::atoi(argv[4]);
    if (argc == 6) {
        tarlo::TerminationWatch watch;
        QObject::connect(&watch, &tarlo::TerminationWatch::requested, [&](int sig) {
            keeper.flush();
            tarlo::TerminationWatch::endBy(sig);
        });
        for (int i = 0; i < steps; ++i)
            script.step(doc);
        QFile ready(QString::fromLocal8Bit(argv[5]));
        if (!ready.open(QIODevice::WriteOnly))
            return 1;
        ready.close();
        return app.exec();
    }
    int done = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (done == steps) {
            keeper.flush();
            app.quit();
            return;
        }
        script.step(doc);
        if (++done % 3 == 0)
            keeper.flush();
    });
    tick.start(1);
    return app.exec();
}
