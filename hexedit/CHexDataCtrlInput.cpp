// The hex control's input: keys, typed characters, mouse clicks and drags,
// and focus.
#include "hexedit/CHexDataCtrl.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>

namespace hexedit {

namespace {

int hexDigit(unsigned code)
{
    if (code >= '0' && code <= '9')
        return static_cast<int>(code - '0');
    // Only lower-case letters are hex digits here; "A".."F" are ignored.
    if (code >= 'a' && code <= 'f')
        return static_cast<int>(code - 'a' + 10);
    return -1;
}

bool isNavigationKey(int key)
{
    switch (key) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        return true;
    default:
        return false;
    }
}

// Whether a key press also delivers a character to the control (the keys
// that type something, including Enter, Backspace and Escape).
bool deliversCharacter(const QKeyEvent* e)
{
    if (e->text().isEmpty() || e->key() == Qt::Key_Delete)
        return false;
    const auto mods = e->modifiers();
    // Alt combinations are menu mnemonics, not characters (AltGr arrives as
    // Ctrl+Alt on some platforms and still types).
    if ((mods & Qt::AltModifier) && !(mods & Qt::ControlModifier))
        return false;
    return true;
}

} // namespace

bool CHexDataCtrl::handleKey(int key, Qt::KeyboardModifiers mods)
{
    if (!isNavigationKey(key))
        return false;
    // Scrolling done by a key never drags the caret's offset along.
    const bool savedKeep = keepCaretOnScroll_;
    keepCaretOnScroll_ = true;
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab)
        switchColumn();
    else
        navigate(key, mods & Qt::ShiftModifier, mods & Qt::ControlModifier);
    clampCaret();
    keepCaretOnScroll_ = savedKeep;
    return true;
}

void CHexDataCtrl::handleChar(unsigned code)
{
    if (!data_ || code == '\t')
        return;
    clearSelection();
    const bool inRange = caretOffset_ >= 0 && caretOffset_ < length_;
    switch (caretColumn_) {
    case CaretColumn::OffsetColumn:
        break;
    case CaretColumn::TextColumn:
        if (inRange) {
            data_[caretOffset_] = static_cast<std::uint8_t>(code & 0xFF);
            step(1, 0);
        }
        break;
    case CaretColumn::HighNibble:
    case CaretColumn::LowNibble: {
        const int v = hexDigit(code);
        if (v < 0 || !inRange)
            break;
        std::uint8_t& b = data_[caretOffset_];
        if (caretColumn_ == CaretColumn::HighNibble)
            b = static_cast<std::uint8_t>((b & 0x0F) | (v << 4));
        else
            b = static_cast<std::uint8_t>((b & 0xF0) | v);
        step(1, 0);
        break;
    }
    }
    viewport()->update();
}

bool CHexDataCtrl::event(QEvent* e)
{
    if (data_ && e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) {
            // Tab belongs to the control (column switch). Ctrl+Tab still
            // leaves it, so the buttons stay reachable from the keyboard.
            if (k->modifiers() & Qt::ControlModifier) {
                const bool back = k->key() == Qt::Key_Backtab || (k->modifiers() & Qt::ShiftModifier);
                focusNextPrevChild(!back);
                return true;
            }
            keyPressEvent(k);
            return true;
        }
    }
    if (data_ && e->type() == QEvent::ShortcutOverride) {
        // Enter, Escape and every typing or navigation key reach the control
        // before any shortcut of the window can take them.
        auto* k = static_cast<QKeyEvent*>(e);
        if (isNavigationKey(k->key()) || deliversCharacter(k)) {
            e->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(e);
}

void CHexDataCtrl::keyPressEvent(QKeyEvent* e)
{
    if (!data_) {
        e->ignore();
        return;
    }
    ensureLayout();
    const bool handled = handleKey(e->key(), e->modifiers());
    const bool isChar = deliversCharacter(e);
    if (isChar) {
        const QString text = e->text();
        for (const QChar c : text)
            handleChar(c.unicode());
    }
    if (handled || isChar)
        e->accept();
    else
        e->ignore();
}

void CHexDataCtrl::mousePressEvent(QMouseEvent* e)
{
    setFocus(Qt::MouseFocusReason);
    if (!data_ || e->button() != Qt::LeftButton)
        return;
    ensureLayout();
    leftDown_ = true;
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    const std::int64_t oldCaret = caretOffset_;
    const QPoint pos = e->position().toPoint();
    const HexHit hit = geo_.hitTest(pos.x(), pos.y(), topOffset_, length_);
    if (hit.hit) {
        caretOffset_ = hit.offset;
        caretColumn_ = hit.column;
        restartBlink();
        viewport()->update();
    }
    if (shift) {
        // Selects from the old caret to the point clicked. A Shift+click that
        // hits nothing leaves the selection as it was.
        if (hit.hit) {
            selAnchor_ = oldCaret;
            selEnd_ = caretOffset_ + (isHexColumn(caretColumn_) ? 1 : 0);
            viewport()->update();
        }
    } else {
        // Whether this press starts a drag is known once the pointer has
        // moved far enough with the button held (see mouseMoveEvent).
        pressPending_ = true;
        pressPos_ = pos;
        if (hasSelection())
            clearSelection();
    }
    if (!hasSelection())
        showCaret();
}

void CHexDataCtrl::mouseMoveEvent(QMouseEvent* e)
{
    if (!data_ || !(e->buttons() & Qt::LeftButton))
        return;
    const QPoint pos = e->position().toPoint();
    if (pressPending_) {
        if ((pos - pressPos_).manhattanLength() < QApplication::startDragDistance())
            return;
        pressPending_ = false;
        selAnchor_ = selEnd_ = caretOffset_;
    }
    if (!hasSelection())
        return;
    lastDragPos_ = pos;
    dragTo(pos);
    const bool outside = pos.y() < 0 || pos.y() >= viewport()->height();
    if (outside && !autoScrollTimer_->isActive())
        autoScrollTimer_->start();
    else if (!outside)
        autoScrollTimer_->stop();
}

void CHexDataCtrl::dragTo(QPoint pos)
{
    ensureLayout();
    int y = pos.y();
    const int height = viewport()->height();
    if (y < 0) {
        scroll(ScrollCode::LineUp);
        y = 0;
    } else if (y >= height) {
        scroll(ScrollCode::LineDown);
        y = height - 1;
    }
    const std::int64_t oldEnd = selEnd_;
    const HexHit hit = geo_.hitTest(pos.x(), y, topOffset_, length_);
    if (hit.hit) {
        caretOffset_ = hit.offset;
        caretColumn_ = hit.column;
        selEnd_ = caretOffset_ + (isHexColumn(caretColumn_) ? 1 : 0);
    }
    hideCaret();
    if (selEnd_ != oldEnd)
        viewport()->update();
}

void CHexDataCtrl::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton) {
        leftDown_ = false;
        pressPending_ = false;
        autoScrollTimer_->stop();
    }
}

void CHexDataCtrl::mouseDoubleClickEvent(QMouseEvent* e)
{
    // The second press of a double-click does nothing.
    e->accept();
}

void CHexDataCtrl::focusInEvent(QFocusEvent* e)
{
    QAbstractScrollArea::focusInEvent(e);
    if (data_ && !hasSelection())
        showCaret();
}

void CHexDataCtrl::focusOutEvent(QFocusEvent* e)
{
    QAbstractScrollArea::focusOutEvent(e);
    autoScrollTimer_->stop();
    hideCaret();
}

} // namespace hexedit
