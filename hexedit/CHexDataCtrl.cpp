#include "hexedit/CHexDataCtrl.h"

#include <QApplication>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>

#include <algorithm>

using hexedit::CaretColumn;
using hexedit::isHexColumn;

namespace hexedit {

namespace {

// "Courier New" at a character height of 12 pixels; where it (or a metric
// twin) is missing, the platform's fixed font at the same pixel size.
QFont chooseFont()
{
    QFont f(QStringLiteral("Courier New"));
    f.setPixelSize(12);
    f.setStyleHint(QFont::TypeWriter);
    if (QFontInfo(f).fixedPitch())
        return f;
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPixelSize(12);
    return fixed;
}

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

// Draws the columns of one row at a time into the off-screen buffer. Bytes
// before the selection are drawn in the default colours, inside it in the
// highlight colours, after it in the window colours.
class RowPainter {
public:
    RowPainter(QPainter& p, const HexLayout& geo, int ascent, const QPalette& pal, std::int64_t selLo,
            std::int64_t selHi)
            : p_(p), geo_(geo), ascent_(ascent), pal_(pal), selLo_(selLo), selHi_(selHi)
    {}

    void offset(int y, std::int64_t rowStart) const
    {
        const QString text =
                QStringLiteral("%1")
                        .arg(static_cast<qulonglong>(rowStart), geo_.offsetDigits(), 16, QLatin1Char('0'))
                        .toUpper();
        run(geo_.offsetX, y, text, {Qt::black, Qt::white});
    }

    void hex(int y, const std::uint8_t* bytes, std::int64_t rowStart, int count, bool selVisible) const
    {
        static const char digits[] = "0123456789ABCDEF";
        forEachRun(rowStart, count, selVisible, [&](int i, int j, const Colours& c) {
            QString s;
            for (int k = i; k < j; ++k) {
                s += QLatin1Char(digits[bytes[k] >> 4]);
                s += QLatin1Char(digits[bytes[k] & 0x0F]);
                s += QLatin1Char(' ');
            }
            run(geo_.hexCellX(i), y, s, c);
        });
    }

    void text(int y, const std::uint8_t* bytes, std::int64_t rowStart, int count, bool selVisible) const
    {
        forEachRun(rowStart, count, selVisible, [&](int i, int j, const Colours& c) {
            QString s;
            for (int k = i; k < j; ++k)
                s += QLatin1Char(displayChar(bytes[k]));
            run(geo_.textCellX(i), y, s, c);
        });
    }

private:
    using Colours = std::pair<QColor, QColor>; // text, background

    Colours coloursAt(std::int64_t off, bool selVisible) const
    {
        if (!selVisible || off < selLo_)
            return {Qt::black, Qt::white};
        if (off < selHi_)
            return {pal_.color(QPalette::HighlightedText), pal_.color(QPalette::Highlight)};
        return {pal_.color(QPalette::Text), pal_.color(QPalette::Base)};
    }

    // Calls draw(i, j, colours) for each run [i, j) of the row's bytes that
    // share one colour class, so that each run is drawn as one string.
    template <typename Draw>
    void forEachRun(std::int64_t rowStart, int count, bool selVisible, Draw draw) const
    {
        int i = 0;
        while (i < count) {
            const Colours c = coloursAt(rowStart + i, selVisible);
            int j = i + 1;
            while (j < count && coloursAt(rowStart + j, selVisible) == c)
                ++j;
            draw(i, j, c);
            i = j;
        }
    }

    // Every character sits in its own cell of charWidth pixels, so that
    // fractional advances of the font cannot drift away from the caret.
    void run(int x, int y, const QString& s, const Colours& c) const
    {
        const int cw = geo_.charWidth;
        p_.fillRect(x, y, static_cast<int>(s.size()) * cw, geo_.lineHeight, c.second);
        p_.setPen(c.first);
        for (qsizetype k = 0; k < s.size(); ++k)
            p_.drawText(x + static_cast<int>(k) * cw, y + ascent_, QString(s.at(k)));
    }

    QPainter& p_;
    const HexLayout& geo_;
    int ascent_;
    const QPalette& pal_;
    std::int64_t selLo_, selHi_;
};

} // namespace

CHexDataCtrl::CHexDataCtrl(QWidget* parent) : QAbstractScrollArea(parent), font_(chooseFont())
{
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The whole client area is painted from an off-screen buffer: never erase.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAttribute(Qt::WA_NoSystemBackground);
    viewport()->setCursor(Qt::IBeamCursor);

    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this,
            &CHexDataCtrl::onScrollBarAction);
    // Value changes that bypass the actions (none from the user) still keep
    // the view in step with the bar.
    connect(verticalScrollBar(), &QAbstractSlider::valueChanged, this, [this](int value) {
        if (!syncingScrollBar_ && data_ && value != topOffset_ / geo_.bytesPerLine)
            scroll(ScrollCode::ThumbTrack, value);
    });

    blinkTimer_ = new QTimer(this);
    connect(blinkTimer_, &QTimer::timeout, this, [this] {
        blinkOn_ = !blinkOn_;
        viewport()->update(caretPixelRect());
    });
    // Keeps a drag selection growing while the pointer rests above or below.
    autoScrollTimer_ = new QTimer(this);
    autoScrollTimer_->setInterval(60);
    connect(autoScrollTimer_, &QTimer::timeout, this, [this] {
        if (!leftDown_ || !hasSelection()) {
            autoScrollTimer_->stop();
            return;
        }
        dragTo(lastDragPos_);
    });

    syncScrollBar();
}

CHexDataCtrl::~CHexDataCtrl() = default;

void CHexDataCtrl::setData(std::uint8_t* data, std::int64_t length)
{
    if (!data || length < 0) {
        data = nullptr;
        length = 0;
    }
    data_ = data;
    length_ = length;
    topOffset_ = 0;
    caretOffset_ = 0;
    caretColumn_ = CaretColumn::OffsetColumn;
    selAnchor_ = selEnd_ = -1;
    pressPending_ = false;
    markLayoutDirty();
    if (!data_)
        syncScrollBar();
    if (hasFocus() && data_)
        showCaret();
}

void CHexDataCtrl::setBytesPerLine(int n)
{
    geo_.bytesPerLine = std::max(n, 1);
    markLayoutDirty();
}

void CHexDataCtrl::setShowOffsets(bool on)
{
    geo_.showOffsets = on;
    markLayoutDirty();
}

void CHexDataCtrl::setShowText(bool on)
{
    geo_.showText = on;
    markLayoutDirty();
}

void CHexDataCtrl::setShowHex(bool on)
{
    geo_.showHex = on;
    markLayoutDirty();
}

void CHexDataCtrl::setWideOffsets(bool on)
{
    geo_.wideOffsets = on;
    markLayoutDirty();
}

void CHexDataCtrl::markLayoutDirty()
{
    layoutDirty_ = true;
    viewport()->update();
}

void CHexDataCtrl::ensureLayout()
{
    if (!data_ || !layoutDirty_)
        return;
    const QFontMetrics fm(font_);
    geo_.layout(fm.horizontalAdvance(QLatin1Char('0')), fm.height(), viewport()->height(), length_);
    layoutDirty_ = false;
    syncScrollBar();
}

QSize CHexDataCtrl::sizeHint() const
{
    const QFontMetrics fm(font_);
    const int cw = fm.horizontalAdvance(QLatin1Char('0'));
    HexLayout g = geo_;
    g.layout(cw, fm.height(), 0, 0);
    const int sb = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    return {g.contentWidth() + sb + 2 * frameWidth() + 2, 16 * fm.height() + 2 * frameWidth()};
}

void CHexDataCtrl::syncScrollBar()
{
    QScrollBar* sb = verticalScrollBar();
    syncingScrollBar_ = true;
    const int maximum = data_ ? geo_.scrollMaximum(length_) : 0;
    sb->setRange(0, maximum);
    sb->setPageStep(std::max(geo_.linesPerPage, 1));
    sb->setSingleStep(1);
    sb->setValue(static_cast<int>(std::clamp<std::int64_t>(topOffset_ / geo_.bytesPerLine, 0, maximum)));
    // Disabled rather than hidden when there is nothing to scroll.
    sb->setEnabled(maximum > 0);
    syncingScrollBar_ = false;
}

void CHexDataCtrl::clampCaret()
{
    caretOffset_ = std::clamp<std::int64_t>(caretOffset_, 0, std::max<std::int64_t>(length_ - 1, 0));
}

void CHexDataCtrl::scroll(ScrollCode code, std::int64_t thumbRow, bool moveCaret)
{
    if (!data_)
        return;
    ensureLayout();
    const std::int64_t old = topOffset_;
    const std::int64_t bpl = geo_.bytesPerLine;
    const std::int64_t page = geo_.pageBytes();
    switch (code) {
    case ScrollCode::LineUp:
        // Clamped at 0: after a page down left the top off a row boundary,
        // a plain step back would go negative.
        if (topOffset_ > 0)
            topOffset_ = std::max<std::int64_t>(topOffset_ - bpl, 0);
        break;
    case ScrollCode::LineDown:
        if (topOffset_ < length_ - page)
            topOffset_ += bpl;
        break;
    case ScrollCode::PageUp:
        if (topOffset_ > 0)
            topOffset_ = std::max<std::int64_t>(topOffset_ - page, 0);
        break;
    case ScrollCode::PageDown:
        if (topOffset_ < length_ - page)
            topOffset_ = std::min(topOffset_ + page, length_ - page);
        break;
    case ScrollCode::ThumbTrack: {
        const std::int64_t lastRow = length_ > 0 ? (length_ - 1) / bpl : 0;
        topOffset_ = std::clamp<std::int64_t>(thumbRow, 0, lastRow) * bpl;
        break;
    }
    case ScrollCode::Nothing:
        break;
    }
    if (topOffset_ != old) {
        viewport()->update();
        // Once typing has begun, scroll-bar scrolling keeps the caret's place
        // on screen by moving its offset along.
        if (!keepCaretOnScroll_ && moveCaret) {
            caretOffset_ += topOffset_ - old;
            clampCaret();
        }
    }
    syncScrollBar();
    restartBlink();
}

void CHexDataCtrl::onScrollBarAction(int action)
{
    if (syncingScrollBar_ || !data_)
        return;
    QScrollBar* sb = verticalScrollBar();
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        scroll(ScrollCode::LineUp);
        break;
    case QAbstractSlider::SliderSingleStepAdd:
        scroll(ScrollCode::LineDown);
        break;
    case QAbstractSlider::SliderPageStepSub:
        scroll(ScrollCode::PageUp);
        break;
    case QAbstractSlider::SliderPageStepAdd:
        scroll(ScrollCode::PageDown);
        break;
    case QAbstractSlider::SliderMove:
        scroll(ScrollCode::ThumbTrack, sb->sliderPosition());
        break;
    case QAbstractSlider::SliderToMinimum:
        scroll(ScrollCode::ThumbTrack, 0);
        break;
    case QAbstractSlider::SliderToMaximum:
        scroll(ScrollCode::ThumbTrack, sb->maximum());
        break;
    default:
        break;
    }
    // The slider then takes this position as its value.
    syncingScrollBar_ = true;
    sb->setSliderPosition(static_cast<int>(topOffset_ / geo_.bytesPerLine));
    syncingScrollBar_ = false;
}

void CHexDataCtrl::scrollContentsBy(int, int)
{
    // Scrolling is done by topOffset; the view is simply repainted.
    viewport()->update();
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

void CHexDataCtrl::resizeEvent(QResizeEvent* e)
{
    QAbstractScrollArea::resizeEvent(e);
    // Rows per page follow the client height.
    markLayoutDirty();
}

void CHexDataCtrl::paintEvent(QPaintEvent*)
{
    QWidget* vp = viewport();
    prepareBuffer(vp->size(), vp->devicePixelRatioF());
    if (data_) {
        ensureLayout();
        paintRows(vp->height());
    }
    QPainter wp(vp);
    wp.drawPixmap(0, 0, buffer_);
    paintCaret(wp);
}

void CHexDataCtrl::prepareBuffer(QSize size, qreal dpr)
{
    if (buffer_.size() != size * dpr || buffer_.devicePixelRatio() != dpr) {
        buffer_ = QPixmap(size * dpr);
        buffer_.setDevicePixelRatio(dpr);
    }
    buffer_.fill(Qt::white);
}

void CHexDataCtrl::paintRows(int clientHeight)
{
    QPainter p(&buffer_);
    p.setFont(font_);
    const bool sel = hasSelection();
    const RowPainter rows(p, geo_, QFontMetrics(font_).ascent(), palette(), std::min(selAnchor_, selEnd_),
            std::max(selAnchor_, selEnd_));
    const bool hexSel = sel && isHexColumn(caretColumn_);
    const bool textSel = sel && caretColumn_ == CaretColumn::TextColumn;
    const int bottom = geo_.drawBottom(clientHeight);
    for (int row = 0; geo_.lineHeight > 0 && geo_.rowY(row) < bottom; ++row) {
        const std::int64_t rowStart = geo_.rowOffset(row, topOffset_);
        if (rowStart < 0 || rowStart >= length_)
            break;
        const int count = static_cast<int>(std::min<std::int64_t>(geo_.bytesPerLine, length_ - rowStart));
        const int y = geo_.rowY(row);
        if (geo_.showOffsets)
            rows.offset(y, rowStart);
        if (geo_.showHex)
            rows.hex(y, data_ + rowStart, rowStart, count, hexSel);
        if (geo_.showText)
            rows.text(y, data_ + rowStart, rowStart, count, textSel);
    }
}

void CHexDataCtrl::paintCaret(QPainter& wp) const
{
    if (!data_ || !caretShown_ || !blinkOn_ || !hasFocus())
        return;
    // The caret is drawn only where its position lies inside the client
    // area, inverting what is beneath it like a system caret.
    const QRect caret = caretPixelRect();
    if (viewport()->rect().contains(caret.topLeft())) {
        wp.setCompositionMode(QPainter::CompositionMode_Difference);
        wp.fillRect(caret, Qt::white);
    }
}

} // namespace hexedit
