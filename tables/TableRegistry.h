#pragma once
// The table windows that are open, for the owner that must close or abandon
// them all (before a save question, a reload, another file).
#include "tables/TableFrame.h"

#include <QList>

namespace tables {

class TableRegistry {
public:
    // The windows that are open (not yet closed), in the order they opened.
    static QList<TableFrame*> openWindows();
    // Closes every open table window the way its own close box does: the
    // double-table and grid windows write their changes back, a tbl16 window
    // writes nothing (as Esc). The owner calls this before it asks about
    // unsaved changes or replaces the document, so that the question covers
    // the tables' edits.
    static void closeAll();

private:
    // A window enters when it is made and leaves when it accepts a close
    // (its deletion comes later) or is deleted without one.
    friend class TableFrame;
    static void add(TableFrame* w);
    static void remove(TableFrame* w);
};

} // namespace tables
