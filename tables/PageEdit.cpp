// The grid's in-cell number editor: the box itself, and opening and ending an edit.
#include "tables/PageWnd.h"

#include "tables/PageGeometry.h"
#include "ui/NumberChars.h"

#include <QKeyEvent>

namespace tables {

CPageEdit::CPageEdit(CPageWnd* grid) : QLineEdit(grid), grid_(grid)
{
    setObjectName(QStringLiteral("cellEditor201"));
    // Pasted text obeys the same filter as typed characters.
    setValidator(new ui::NumberValidator(ui::NumberChars{}, this));
    hide();
}

void CPageEdit::showEvent(QShowEvent* e)
{
    QLineEdit::showEvent(e);
    clientRect_ = contentsRect();
    setFocus();
}

void CPageEdit::keyPressEvent(QKeyEvent* e)
{
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        grid_->editorCommitted();
        return;
    case Qt::Key_Escape:
        grid_->editorCancelled();
        return;
    default:
        break;
    }
    const QString t = e->text();
    const bool isChar = !t.isEmpty() && (t.at(0).isPrint() || e->key() == Qt::Key_Backspace);
    if (!isChar) {
        // Arrows, Home, End, Delete act in the box, and none of them reaches
        // the grid while the box has the focus: a line edit leaves Up, Down
        // and the page keys unhandled, and the grid would move on them.
        QLineEdit::keyPressEvent(e);
        e->accept();
        return;
    }
    const QChar c = t.at(0);
    if (e->key() == Qt::Key_Backspace || (t.size() == 1 && ui::NumberChars{}.accepts(c)))
        QLineEdit::keyPressEvent(e);
    growIfNeeded();
}

void CPageEdit::focusOutEvent(QFocusEvent* e)
{
    QLineEdit::focusOutEvent(e);
    // Focus leaving the box (Tab, a click elsewhere, another window) ends the
    // edit with a commit; the box's own context menu does not.
    if (e->reason() != Qt::PopupFocusReason && !isHidden())
        grid_->editorCommitted();
}

void CPageEdit::growIfNeeded()
{
    const QString t = text();
    if (t.isEmpty())
        return;
    const QFontMetrics fm(font());
    const int w = fm.horizontalAdvance(t);
    avgCharWidth_ = w / int(t.size());
    if (w + 2 * avgCharWidth_ >= contentsRect().width())
        resize(width() + 2 * avgCharWidth_, height());
    clientRect_ = contentsRect();
}

void CPageWnd::openEditor()
{
    if (!editor_->isHidden() || curRect_.isNull() || !validAddress(curRow_, curCol_))
        return;
    editor_->setFont(GetCellFontObject(curRow_, curCol_));
    editor_->setText(GetCellText(curRow_, curCol_).value_or(QString()));
    editor_->setGeometry(QRect(QPoint(curRect_.left() + 2, curRect_.top() + 2),
            QPoint(curRect_.right() - 1, curRect_.bottom() - 1)));
    editor_->show();
    editor_->setFocus();
    // Typing replaces the value; the caret keys still reach the old text.
    editor_->selectAll();
}

void CPageWnd::EndCellEdit(bool commit)
{
    if (editor_->isHidden())
        return;
    const bool hadFocus = editor_->hasFocus();
    editor_->hide();
    if (commit) {
        const CellRange cell{curRow_, curCol_, 1, 1};
        auto before = cellStates(cell);
        SetCellText(curCol_, curRow_, page::formatCommit(editor_->text()));
        pushCells(cell, std::move(before), QStringLiteral("Edit Cell"));
    }
    editor_->clear();
    // Focus back to the grid when the box had it, or when the window is not
    // active (it then comes back to the grid, not to the hidden box).
    if ((hadFocus || !isActiveWindow()) && !closing_)
        setFocus();
    update(curRect_);
}

} // namespace tables
