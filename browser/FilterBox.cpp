// Filter-as-you-type above the record tree.
#include "browser/FilterBox.h"

#include "browser/CTLView.h"
#include "browser/RecordTreeModel.h"
#include "document/DocNotifier.h"
#include "model/CTLDoc.h"

#include <QItemSelectionModel>
#include <QKeyEvent>

namespace browser {

FilterBox::FilterBox(CTLView& view, document::DocNotifier& notifier, QWidget* parent)
        : QLineEdit(parent), view_(view)
{
    setObjectName(QStringLiteral("filterBox"));
    setPlaceholderText(QStringLiteral("Filter by name, id or value"));
    setAccessibleName(QStringLiteral("Filter"));
    setAccessibleDescription(
            QStringLiteral("Shows only the entries whose name, id or value contains the text typed here"));
    // A short pause in typing before each pass over the list.
    timer_.setSingleShot(true);
    timer_.setInterval(120);
    connect(&timer_, &QTimer::timeout, this, &FilterBox::applyNow);
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (text().isEmpty())
            applyNow(); // the whole tree at once
        else
            timer_.start();
    });
    connect(view_.selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& cur) {
                const int i = RecordTreeModel::entryOf(cur);
                if (!applying_ && i >= 0)
                    wanted_ = view_.document().keyOf(i);
            });
    // After the tree's own handlers: the rows are those of the new list.
    connect(&notifier, &document::DocNotifier::changed, this, &FilterBox::onDocumentChanged);
    connect(&view_, &CTLView::rebuilt, this, [this] {
        stale_ = true;
        if (active())
            applyNow();
    });
}

void FilterBox::onDocumentChanged(const model::Change& change)
{
    stale_ = true;
    if (!active())
        return;
    // A record added or removed reset the rows to the whole list: filter
    // again before it shows. A value's new text waits for the pause.
    if (change.kind == model::ChangeKind::Insert || change.kind == model::ChangeKind::Remove)
        applyNow();
    else
        timer_.start();
}

void FilterBox::applyNow()
{
    timer_.stop();
    RecordTreeModel* model = view_.recordModel();
    const model::CTLDoc& doc = view_.document();
    applying_ = true;
    const QByteArray typed = text().toLatin1();
    if (typed.isEmpty()) {
        haystack_.clear();
        stale_ = true;
        if (model->filtered())
            model->setRecordFilter({});
    } else if (doc.hasData()) {
        if (stale_ || haystack_.empty()) {
            haystack_.build(doc);
            stale_ = false;
        }
        std::vector<FilterShow> show =
                filterRecords(doc, haystack_, std::string_view(typed.constData(), std::size_t(typed.size())));
        std::vector<int> open;
        for (std::size_t i = 0; i < show.size() && int(open.size()) < kMaxOpened; ++i)
            if (show[i] == FilterShow::ForField)
                open.push_back(int(i));
        model->setRecordFilter(std::move(show));
        for (const int r : open)
            view_.expand(model->indexForEntry(r));
    }
    view_.expand(model->indexForEntry(0));
    restoreSelection();
    applying_ = false;
}

void FilterBox::restoreSelection()
{
    const model::CTLDoc& doc = view_.document();
    const int i = wanted_ == 0 ? 0 : doc.indexOf(wanted_);
    RecordTreeModel* model = view_.recordModel();
    const QModelIndex idx = model->indexForEntry(std::max(i, 0));
    if (!idx.isValid())
        return;
    for (QModelIndex p = idx.parent(); p.isValid(); p = p.parent())
        view_.expand(p);
    view_.selectEntry(RecordTreeModel::entryOf(idx));
}

void FilterBox::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        clear();
        emit dismissed();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Down:
        applyNow();
        view_.setFocus();
        return;
    default:
        QLineEdit::keyPressEvent(event);
    }
}

} // namespace browser
