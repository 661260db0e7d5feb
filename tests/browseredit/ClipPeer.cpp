// A second editor process for the clipboard test: opens an AIR file, runs
// "Add from Clipboard" before one record and saves the result.
//   browseredit_clip_peer <definitions> <in.air> <out.air> <list index>
#include "browser/EditingView.h"
#include "browser/MessageBox.h"
#include "model/CTLDoc.h"

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
    int failures = 0;
    browser::setMessageHandler([&](QWidget*, const QString& text) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        ++failures;
    });
    tarlo::EditingView view(doc);
    view.rebuildTree();
    if (!view.selectEntry(std::atoi(argv[4])))
        return 4;
    view.onAddFromClipboard();
    if (failures || !doc.isModified())
        return 5;
    return doc.save(argv[3]) ? 6 : 0;
}
