#include "browser/EditingView.h"
#include "browser/CopyValue.h"

#include "browser/FieldEdit.h"
#include "browser/RecordClipboard.h"
#include "browser/RecordCommands.h"
#include "browser/RecordTreeModel.h"
#include "browser/SearchDialog.h"
#include "browser/TableReferences.h"
#include "browser/TextEditDialog.h"
#include "hexedit/CHexDataDlg.h"
#include "model/CTLDoc.h"
#include "model/DocChange.h"
#include "tables/PageWnd.h"
#include "tables/TableRegistry.h"
#include "tables/TableTarget.h"
#include "tables/TableWnd.h"
#include "tables/TblDblWnd.h"
#include "ui/Messages.h"

#include <algorithm>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>
#include <QScrollBar>

namespace browser {

namespace {
QString latin1(const std::string& s)
{
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}
} // namespace

// A table window's view of one entry of the document, found by its key, so
// it follows the entry across added and removed records.
class DocTableTarget : public tables::TableTarget {
public:
    DocTableTarget(EditingView* view, int i) : view_(view)
    {
        const model::CTLDoc& doc = view->document();
        key_ = doc.keyOf(i);
        record_ = doc.keyOf(doc.isField(i) ? doc.entry(i).parent : i);
        name_ = latin1(doc.entry(i).name);
    }

    std::vector<std::uint8_t> bytes() const override
    {
        const int i = index();
        if (i <= 0)
            return {};
        const auto d = view_->document().data(i);
        return std::vector<std::uint8_t>(d.begin(), d.end());
    }
    QString name() const override { return name_; }
    bool store(const std::vector<std::uint8_t>& newBytes, QString* error) override
    {
        auto fail = [&](const char* text) {
            if (error)
                *error = QString::fromLatin1(text);
            return false;
        };
        const int i = index();
        if (i <= 0)
            return fail("The entry of this table was removed, or the file was reloaded. The table was not "
                        "written.");
        model::CTLDoc& doc = view_->document();
        // Unchanged bytes make no change (and no undo step).
        if (doc.data(i).size() == newBytes.size())
            doc.setBytes(i, 0, newBytes);
        else if (doc.isRecord(i))
            doc.setRecordData(i, newBytes);
        else // a field inside a larger record cannot change its size in place
            return fail("The table no longer has the size of its place in the record. The table was not "
                        "written.");
        return true;
    }
    // A write through the edit API has marked the document already; this is
    // for the windows that mark it without a change of bytes (a committed
    // value box before the write at close, a write of unchanged values).
    void markModified() override
    {
        if (live())
            view_->document().markModified();
    }
    std::optional<tables::TableReference> reference() const override
    {
        const int i = index();
        if (i <= 0 || !view_->tableReferences())
            return std::nullopt;
        return view_->tableReferences()->referenceFor(i);
    }

    int index() const { return view_ ? view_->document().indexOf(key_) : -1; }
    bool live() const { return index() > 0; }
    model::EntryKey recordKey() const { return record_; }

private:
    QPointer<EditingView> view_;
    model::EntryKey key_ = 0;
    model::EntryKey record_ = 0;
    QString name_;
};

EditingView::EditingView(document::DocNotifier& notifier, QWidget* parent)
        : CTLView(notifier, parent), box_(new FieldEdit(viewport()))
{
    connect(box_, &FieldEdit::enterPressed, this, &EditingView::onBoxEnter);
    connect(box_, &FieldEdit::escapePressed, this, &EditingView::cancelEdit);
    // A rebuild may renumber or drop the entry: the edit ends without writing.
    connect(recordModel(), &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        cancelEdit();
        abandonDeadTables();
    });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &EditingView::placeBox);
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, &EditingView::placeBox);
}

EditingView::~EditingView() = default;

bool EditingView::refuseOutside(int i)
{
    if (!document().isField(i) || !document().outsideRecord(i))
        return false;
    ui::tell(this, latin1(outsideRecordMessage(document().entry(i).name)));
    return true;
}

bool EditingView::openable(int i)
{
    return document().validIndex(i) && i != 0 && !refuseOutside(i);
}

std::optional<ClipRecord> EditingView::clipboardRecord()
{
    auto rec = recordFromClipboard(QGuiApplication::clipboard());
    if (!rec)
        ui::tell(this, QString::fromLatin1(kWrongFormat));
    return rec;
}

void EditingView::documentAboutToChange(const model::Change&)
{
    cancelEdit();
}

void EditingView::documentChanged(const model::Change& c)
{
    if (c.origin != model::ChangeOrigin::Edit) {
        // An undo or redo changed the bytes under whatever was open on them.
        cancelEdit();
        abandonTablesOf(c.record);
    }
    abandonDeadTables();
    CTLView::documentChanged(c);
}

// ---------------------------------------------------------------------------
// Activation

void EditingView::activateEntry(int i)
{
    model::CTLDoc& doc = document();
    if (inPlaceEditorOpen() || !openable(i))
        return;
    switch (model::editorFor(doc.entry(i).type)) {
    case model::EditorKind::None:
        return;
    case model::EditorKind::Hex:
        editAsHex(i);
        return;
    case model::EditorKind::Toggle:
        toggleBoolEntry(doc, i);
        return;
    case model::EditorKind::InPlace:
        openBox(i);
        return;
    case model::EditorKind::TextDialog:
        editText(i);
        return;
    case model::EditorKind::Table16:
        tables::TableWnd::open(makeTableTarget(i), this);
        return;
    case model::EditorKind::TableDouble:
        tables::TblDblWnd::open(makeTableTarget(i), this);
        return;
    case model::EditorKind::Grid:
        tables::openGridTable(makeTableTarget(i), this);
        return;
    }
}

// ---------------------------------------------------------------------------
// The in-place box

bool EditingView::inPlaceEditorOpen() const
{
    return box_->isOpen();
}

void EditingView::focusInPlaceEditor()
{
    if (box_->isOpen())
        box_->setFocus(Qt::OtherFocusReason);
}

void EditingView::openBox(int i)
{
    model::CTLDoc& doc = document();
    const model::FieldType t = doc.entry(i).type;
    const auto profile = model::editProfile(t);
    const QRect label = itemRect(i);
    if (!profile || label.isEmpty())
        return;
    editEntry_ = i;
    const FieldEditSetup setup{profile->maxChars, profile->allowPoint, profile->allowMinus};
    box_->begin(setup, latin1(model::editText(t, doc.data(i))), boxRect(revealBox(i, profile->boxWidth)));
    setStatusText(QString::fromLatin1(profile->hint.data(), static_cast<qsizetype>(profile->hint.size())));
}

void EditingView::placeBox()
{
    if (!box_->isOpen())
        return;
    const QRect label = itemRect(editEntry_);
    if (label.isEmpty())
        return;
    box_->move(boxRect(label).topLeft());
}

QRect EditingView::revealBox(int i, int boxWidth)
{
    QRect label = itemRect(i);
    boxWidth_ = boxWidth;
    // A name wider than the window would put the box past its right edge:
    // scroll right as far as the tree allows so the user sees what they type.
    const int excess = label.right() + 10 + boxWidth - viewport()->width();
    if (excess > 0) {
        QScrollBar* bar = horizontalScrollBar();
        bar->setValue(std::min(bar->maximum(), bar->value() + excess));
        label = itemRect(i);
    }
    return label;
}

QRect EditingView::boxRect(const QRect& label) const
{
    // Beside the label; where even the scrolled tree has no room, it is
    // pulled back over the label's end rather than left off screen.
    const int left = std::max(0, std::min(label.right() + 10, viewport()->width() - boxWidth_));
    return {left, label.top(), boxWidth_, label.height()};
}

void EditingView::onBoxEnter()
{
    if (!box_->isOpen())
        return;
    if (!box_->isChanged()) {
        closeBox();
        return;
    }
    const QByteArray text = box_->text().toLatin1();
    const auto r =
            commitValue(document(), editEntry_, std::string_view(text.constData(), std::size_t(text.size())));
    if (!r.accepted && !r.message.empty()) {
        ui::tell(this, latin1(r.message));
        box_->refill(latin1(r.refill));
        return;
    }
    closeBox();
}

void EditingView::cancelEdit()
{
    if (box_->isOpen())
        closeBox();
}

void EditingView::closeBox()
{
    const bool hadFocus = box_->hasFocus();
    box_->end();
    editEntry_ = -1;
    setStatusText(recordCountText());
    if (hadFocus)
        setFocus(Qt::OtherFocusReason);
}

// ---------------------------------------------------------------------------
// Hex and text

bool EditingView::runHexDialog(std::vector<std::uint8_t>& bytes)
{
    hexedit::CHexDataDlg dlg(bytes, this);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    bytes = dlg.data();
    return true;
}

int EditingView::runDialog(QDialog& dialog)
{
    return dialog.exec();
}

void EditingView::onEditAsHex()
{
    editAsHex(currentEntry());
}

void EditingView::editAsHex(int i)
{
    cancelEdit();
    if (!openable(i))
        return;
    model::CTLDoc& doc = document();
    const auto d = doc.data(i);
    std::vector<std::uint8_t> copy(d.begin(), d.end());
    if (!runHexDialog(copy))
        return;
    applyHexCopy(doc, i, copy);
}

void EditingView::editText(int i)
{
    cancelEdit();
    model::CTLDoc& doc = document();
    if (!doc.validIndex(i) || i == 0 || doc.entry(i).type != model::FieldType::Text || refuseOutside(i))
        return;
    TextEditDialog dlg(latin1(doc.entry(i).name), model::readText(doc.data(i)), this);
    if (doc.isField(i)) {
        // Written in place: refuse (and keep the dialog open) when it does not fit.
        const std::size_t room = textFieldSlot(doc, i).size();
        const QString tooLong = latin1(textTooLongMessage(doc, i));
        dlg.setAcceptCheck([room, tooLong](const std::string& text) {
            return text.size() + 1 > room ? tooLong : QString();
        });
    }
    if (runDialog(dlg) != QDialog::Accepted)
        return;
    storeText(doc, i, dlg.storedText());
}

// ---------------------------------------------------------------------------
// Record commands

int EditingView::recordForCommand()
{
    cancelEdit();
    const int i = currentEntry();
    return document().isRecord(i) ? i : -1;
}

void EditingView::onCopyValue()
{
    if (!canCopyValue())
        return;
    const std::string text = copyValueText(document(), currentEntry());
    QGuiApplication::clipboard()->setText(QString::fromLatin1(text.data(), qsizetype(text.size())));
}

bool EditingView::canCopyValue() const
{
    const int i = currentEntry();
    return i > 0 && !document().outsideRecord(i);
}

bool EditingView::recordSelected() const
{
    return document().isRecord(currentEntry());
}

bool EditingView::canPasteRecord() const
{
    if (!recordSelected())
        return false;
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    return mime && mime->hasFormat(recordMimeType());
}

void EditingView::onCopyToClipboard()
{
    const int i = recordForCommand();
    if (i < 0)
        return;
    const auto e = document().entry(i);
    putRecordOnClipboard(QGuiApplication::clipboard(), e.id, document().data(i));
}

void EditingView::onAddFromClipboard()
{
    const int i = recordForCommand();
    if (i < 0)
        return;
    const auto rec = clipboardRecord();
    if (!rec || !addRecordBefore(document(), i, *rec))
        return;
    selectEntry(i); // the new record
}

void EditingView::onRemoveRecord()
{
    const int i = recordForCommand();
    if (i < 0)
        return;
    model::CTLDoc& doc = document();
    if (!removeRecordAt(doc, i))
        return;
    // The record that took its place, else the one before it.
    if (!doc.isRecord(i) && i > 1) {
        int prev = i - 1;
        while (prev > 0 && !doc.isRecord(prev))
            --prev;
        selectEntry(prev);
    } else {
        selectEntry(i);
    }
}

void EditingView::onReplaceFromClipboard()
{
    const int i = recordForCommand();
    if (i < 0)
        return;
    const auto rec = clipboardRecord();
    // A replaced record's rows follow the document's change by themselves.
    if (rec && replaceRecord(document(), i, *rec) == ReplaceResult::OtherRecord)
        ui::tell(this, QString::fromLatin1(kOtherRecord));
}

// ---------------------------------------------------------------------------
// Table windows

void EditingView::abandonTablesOf(model::EntryKey record)
{
    for (tables::TableFrame* frame : tables::TableRegistry::openWindows()) {
        auto* target = dynamic_cast<DocTableTarget*>(frame->target());
        if (target && target->recordKey() == record && !frame->isAbandoned())
            frame->abandon();
    }
}

void EditingView::abandonDeadTables()
{
    for (tables::TableFrame* frame : tables::TableRegistry::openWindows()) {
        auto* target = dynamic_cast<DocTableTarget*>(frame->target());
        if (target && !target->live() && !frame->isAbandoned())
            frame->abandon();
    }
}

void EditingView::tableReferencesChanged()
{
    for (tables::TableFrame* frame : tables::TableRegistry::openWindows())
        if (dynamic_cast<DocTableTarget*>(frame->target()) && !frame->isAbandoned())
            frame->referenceChanged();
}

void EditingView::closeTableWindows()
{
    tables::TableRegistry::closeAll();
}

std::unique_ptr<tables::TableTarget> EditingView::makeTableTarget(int i)
{
    return std::make_unique<DocTableTarget>(this, i);
}

std::unique_ptr<tables::TableTarget> EditingView::shortcutTarget()
{
    cancelEdit();
    const int i = currentEntry();
    return openable(i) ? makeTableTarget(i) : nullptr;
}

void EditingView::onAltT()
{
    if (auto target = shortcutTarget())
        tables::TableWnd::openShortcut(std::move(target), this);
}

void EditingView::onAltD()
{
    if (auto target = shortcutTarget())
        tables::TblDblWnd::openShortcut(std::move(target), this);
}

// ---------------------------------------------------------------------------
// Search

void EditingView::onSearch()
{
    cancelEdit();
    SearchDialog dlg(latin1(search_.text), this);
    if (runDialog(dlg) != QDialog::Accepted)
        return;
    const QByteArray text = dlg.text().toLatin1();
    search_.text.assign(text.constData(), std::size_t(text.size()));
    search_.position = 1;
    onSearchAgain();
}

void EditingView::onSearchAgain()
{
    if (search_.text.empty())
        return;
    cancelEdit();
    model::CTLDoc& doc = document();
    const int found = searchAgain(
            search_, static_cast<int>(doc.entryCount()), [&doc](int i) { return doc.entry(i).name; });
    if (found < 0) {
        ui::tell(this, latin1(search_.text) + QStringLiteral(" not found."));
        return;
    }
    // Selecting expands the parents and scrolls the item into view.
    const QModelIndex idx = recordModel()->indexForEntry(found);
    for (QModelIndex p = idx.parent(); p.isValid(); p = p.parent())
        expand(p);
    selectEntry(found);
}

} // namespace browser
