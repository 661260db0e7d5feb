// The hex control's caret: where it moves for each navigation key, the
// selection it extends, and its blinking.
#include "hexedit/CHexDataCtrl.h"

#include <QApplication>
#include <QTimer>

#include <algorithm>

namespace hexedit {

void CHexDataCtrl::clampCaret()
{
    caretOffset_ = std::clamp<std::int64_t>(caretOffset_, 0, std::max<std::int64_t>(length_ - 1, 0));
}

void CHexDataCtrl::step(int dx, int dy)
{
    const std::int64_t bpl = geo_.bytesPerLine;
    std::int64_t delta = 0;
    switch (caretColumn_) {
    case CaretColumn::OffsetColumn:
        return;
    case CaretColumn::TextColumn:
        delta = dx + dy * bpl;
        break;
    case CaretColumn::HighNibble:
        if (dx != 0)
            caretColumn_ = CaretColumn::LowNibble;
        delta = (dx == -1 ? -1 : 0) + dy * bpl;
        break;
    case CaretColumn::LowNibble:
        if (dx != 0)
            caretColumn_ = CaretColumn::HighNibble;
        delta = (dx == 1 ? 1 : 0) + dy * bpl;
        break;
    }
    caretOffset_ += delta;
    if (caretOffset_ < 0)
        caretOffset_ = 0;
    else if (caretOffset_ >= length_)
        caretOffset_ -= delta; // the column change stays
    clampCaret();

    // Keep the caret visible, at most one line each way.
    if (caretOffset_ < topOffset_)
        scroll(ScrollCode::LineUp, 0, false);
    else if (caretOffset_ >= topOffset_ + geo_.pageBytes())
        scroll(ScrollCode::LineDown, 0, false);

    keepCaretOnScroll_ = false;
    restartBlink();
    viewport()->update();
}

void CHexDataCtrl::clearSelection()
{
    selAnchor_ = selEnd_ = -1;
    viewport()->update();
    showCaret();
}

void CHexDataCtrl::beginExtend()
{
    if (selAnchor_ == -1)
        selAnchor_ = selEnd_ = caretOffset_;
}

void CHexDataCtrl::switchColumn()
{
    caretColumn_ = (caretColumn_ == CaretColumn::OffsetColumn || caretColumn_ == CaretColumn::TextColumn)
            ? CaretColumn::HighNibble
            : CaretColumn::TextColumn;
    step(0, 0);
}

void CHexDataCtrl::navigate(int key, bool shift, bool ctrl)
{
    if (shift)
        beginExtend();
    else
        clearSelection();
    const bool forward = moveCaretForKey(key, ctrl);
    clampCaret();
    if (shift) {
        // Moving forward in the hex column takes the byte under the caret in.
        selEnd_ = caretOffset_ + ((forward && isHexColumn(caretColumn_)) ? 1 : 0);
        viewport()->update();
    }
}

bool CHexDataCtrl::moveCaretForKey(int key, bool ctrl)
{
    switch (key) {
    case Qt::Key_Left:
        step(-1, 0);
        return false;
    case Qt::Key_Right:
        step(1, 0);
        return true;
    case Qt::Key_Up:
        step(0, -1);
        return false;
    case Qt::Key_Down:
        step(0, 1);
        return true;
    case Qt::Key_PageUp:
        scroll(ScrollCode::PageUp);
        break;
    case Qt::Key_PageDown:
        scroll(ScrollCode::PageDown);
        break;
    case Qt::Key_Home:
        if (ctrl) {
            scroll(ScrollCode::ThumbTrack, 0);
            caretOffset_ = 0;
        } else {
            caretOffset_ = geo_.lineStart(caretOffset_);
        }
        break;
    case Qt::Key_End:
        if (ctrl) {
            caretOffset_ = length_ - 1;
            scroll(ScrollCode::ThumbTrack, geo_.lastPageRow(length_));
        } else {
            caretOffset_ = std::min(geo_.lineStart(caretOffset_) + geo_.bytesPerLine - 1, length_ - 1);
        }
        break;
    default:
        return false;
    }
    step(0, 0);
    return false;
}

void CHexDataCtrl::showCaret()
{
    caretShown_ = true;
    restartBlink();
    viewport()->update();
}

void CHexDataCtrl::hideCaret()
{
    if (!caretShown_)
        return;
    caretShown_ = false;
    blinkTimer_->stop();
    viewport()->update();
}

void CHexDataCtrl::restartBlink()
{
    blinkOn_ = true;
    const int flash = QApplication::cursorFlashTime();
    if (caretShown_ && flash > 0)
        blinkTimer_->start(flash / 2);
    else
        blinkTimer_->stop();
}

QRect CHexDataCtrl::caretPixelRect() const
{
    const CaretRect r = geo_.caretRect(caretColumn_, caretOffset_, topOffset_);
    return {r.x, r.y, r.width, r.height};
}

} // namespace hexedit
