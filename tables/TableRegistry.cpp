#include "tables/TableRegistry.h"

#include <QPointer>

namespace tables {

namespace {
QList<TableFrame*>& windows()
{
    static QList<TableFrame*> w;
    return w;
}
} // namespace

QList<TableFrame*> TableRegistry::openWindows()
{
    return windows();
}

void TableRegistry::closeAll()
{
    // A copy, as every accepted close takes its window off the list; guarded,
    // should one window's close delete another.
    const QList<QPointer<TableFrame>> guarded(windows().cbegin(), windows().cend());
    for (const QPointer<TableFrame>& w : guarded)
        if (w)
            w->close();
}

void TableRegistry::add(TableFrame* w)
{
    windows().append(w);
}

void TableRegistry::remove(TableFrame* w)
{
    windows().removeOne(w);
}

} // namespace tables
