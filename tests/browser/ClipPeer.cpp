// A second editor process for the clipboard test: opens an AIR file, runs
// "Add from Clipboard" before one record and saves the result.
//   browser_clip_peer <definitions> <in.air> <out.air> <list index>
#include "browser/EditingView.h"
#include "document/DocNotifier.h"
#include "model/CTLDoc.h"
#include "tests/common/MessageRecorder.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 5)
        return 2;
    model::CTLDoc doc;
    doc.setDefinitionsPath(argv[1]);
    if (doc.load(argv[2]))
        return 3;
    testsupport::MessageRecorder boxes; // any message is a failure
    document::DocNotifier notifier(doc);
    browser::EditingView view(notifier);
    view.rebuildTree();
    if (!view.selectEntry(std::atoi(argv[4])))
        return 4;
    view.onAddFromClipboard();
    for (const QString& text : boxes.told)
        std::fprintf(stderr, "%s\n", qPrintable(text));
    if (!boxes.told.isEmpty() || !doc.isModified())
        return 5;
    return doc.save(argv[3]) ? 6 : 0;
}
