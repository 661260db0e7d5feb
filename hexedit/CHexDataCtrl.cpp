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
    RowPainter(QPainter& p, const hexedit::HexLayout& geo, int ascent, const QPalette& pal,
               std::int64_t selLo, std::int64_t selHi)
        : p_(p), geo_(geo), ascent_(ascent), pal_(pal), selLo_(selLo), selHi_(selHi)
    {
    }

    void offset(int y, std::int64_t rowStart) const
    {
        const QString text = QStringLiteral("%1")
                                 .arg(static_cast<qulonglong>(rowStart), geo_.offsetDigits(), 16,
                                      QLatin1Char('0'))
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
                s += QLatin1Char(hexedit::displayChar(bytes[k]));
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
    const hexedit::HexLayout& geo_;
    int ascent_;
    const QPalette& pal_;
    std::int64_t selLo_, selHi_;
};

} // namespace

CHexDataCtrl::CHexDataCtrl(QWidget* parent)
    : QAbstractScrollArea(parent), m_font(chooseFont())
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
        if (!m_syncingScrollBar && m_data && value != m_topOffset / m_geo.bytesPerLine)
            scroll(ScrollCode::ThumbTrack, value);
    });

    m_blinkTimer = new QTimer(this);
    connect(m_blinkTimer, &QTimer::timeout, this, [this] {
        m_blinkOn = !m_blinkOn;
        viewport()->update(caretPixelRect());
    });
    // Keeps a drag selection growing while the pointer rests above or below.
    m_autoScrollTimer = new QTimer(this);
    m_autoScrollTimer->setInterval(60);
    connect(m_autoScrollTimer, &QTimer::timeout, this, [this] {
        if (!m_leftDown || !hasSelection()) {
            m_autoScrollTimer->stop();
            return;
        }
        dragTo(m_lastDragPos);
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
    m_data = data;
    m_length = length;
    m_topOffset = 0;
    m_caretOffset = 0;
    m_caretColumn = CaretColumn::OffsetColumn;
    m_selAnchor = m_selEnd = -1;
    m_pressPending = false;
    markLayoutDirty();
    if (!m_data)
        syncScrollBar();
    if (hasFocus() && m_data)
        showCaret();
}

void CHexDataCtrl::setBytesPerLine(int n)
{
    m_geo.bytesPerLine = std::max(n, 1);
    markLayoutDirty();
}

void CHexDataCtrl::setShowOffsets(bool on)
{
    m_geo.showOffsets = on;
    markLayoutDirty();
}

void CHexDataCtrl::setShowText(bool on)
{
    m_geo.showText = on;
    markLayoutDirty();
}

void CHexDataCtrl::setShowHex(bool on)
{
    m_geo.showHex = on;
    markLayoutDirty();
}

void CHexDataCtrl::setWideOffsets(bool on)
{
    m_geo.wideOffsets = on;
    markLayoutDirty();
}

void CHexDataCtrl::markLayoutDirty()
{
    m_layoutDirty = true;
    viewport()->update();
}

void CHexDataCtrl::ensureLayout()
{
    if (!m_data || !m_layoutDirty)
        return;
    const QFontMetrics fm(m_font);
    m_geo.layout(fm.horizontalAdvance(QLatin1Char('0')), fm.height(), viewport()->height(),
                 m_length);
    m_layoutDirty = false;
    syncScrollBar();
}

QSize CHexDataCtrl::sizeHint() const
{
    const QFontMetrics fm(m_font);
    const int cw = fm.horizontalAdvance(QLatin1Char('0'));
    hexedit::HexLayout g = m_geo;
    g.layout(cw, fm.height(), 0, 0);
    const int sb = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    return {g.contentWidth() + sb + 2 * frameWidth() + 2, 16 * fm.height() + 2 * frameWidth()};
}

void CHexDataCtrl::syncScrollBar()
{
    QScrollBar* sb = verticalScrollBar();
    m_syncingScrollBar = true;
    const int maximum = m_data ? m_geo.scrollMaximum(m_length) : 0;
    sb->setRange(0, maximum);
    sb->setPageStep(std::max(m_geo.linesPerPage, 1));
    sb->setSingleStep(1);
    sb->setValue(static_cast<int>(std::clamp<std::int64_t>(m_topOffset / m_geo.bytesPerLine, 0,
                                                            maximum)));
    // Disabled rather than hidden when there is nothing to scroll.
    sb->setEnabled(maximum > 0);
    m_syncingScrollBar = false;
}

void CHexDataCtrl::clampCaret()
{
    m_caretOffset = std::clamp<std::int64_t>(m_caretOffset, 0, std::max<std::int64_t>(m_length - 1, 0));
}

void CHexDataCtrl::scroll(ScrollCode code, std::int64_t thumbRow, bool moveCaret)
{
    if (!m_data)
        return;
    ensureLayout();
    const std::int64_t old = m_topOffset;
    const std::int64_t bpl = m_geo.bytesPerLine;
    const std::int64_t page = m_geo.pageBytes();
    switch (code) {
    case ScrollCode::LineUp:
        // Clamped at 0: after a page down left the top off a row boundary,
        // a plain step back would go negative.
        if (m_topOffset > 0)
            m_topOffset = std::max<std::int64_t>(m_topOffset - bpl, 0);
        break;
    case ScrollCode::LineDown:
        if (m_topOffset < m_length - page)
            m_topOffset += bpl;
        break;
    case ScrollCode::PageUp:
        if (m_topOffset > 0)
            m_topOffset = std::max<std::int64_t>(m_topOffset - page, 0);
        break;
    case ScrollCode::PageDown:
        if (m_topOffset < m_length - page)
            m_topOffset = std::min(m_topOffset + page, m_length - page);
        break;
    case ScrollCode::ThumbTrack: {
        const std::int64_t lastRow = m_length > 0 ? (m_length - 1) / bpl : 0;
        m_topOffset = std::clamp<std::int64_t>(thumbRow, 0, lastRow) * bpl;
        break;
    }
    case ScrollCode::Nothing:
        break;
    }
    if (m_topOffset != old) {
        viewport()->update();
        // Once typing has begun, scroll-bar scrolling keeps the caret's place
        // on screen by moving its offset along.
        if (!m_keepCaretOnScroll && moveCaret) {
            m_caretOffset += m_topOffset - old;
            clampCaret();
        }
    }
    syncScrollBar();
    restartBlink();
}

void CHexDataCtrl::onScrollBarAction(int action)
{
    if (m_syncingScrollBar || !m_data)
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
    m_syncingScrollBar = true;
    sb->setSliderPosition(static_cast<int>(m_topOffset / m_geo.bytesPerLine));
    m_syncingScrollBar = false;
}

void CHexDataCtrl::scrollContentsBy(int, int)
{
    // Scrolling is done by topOffset; the view is simply repainted.
    viewport()->update();
}

void CHexDataCtrl::step(int dx, int dy)
{
    const std::int64_t bpl = m_geo.bytesPerLine;
    std::int64_t delta = 0;
    switch (m_caretColumn) {
    case CaretColumn::OffsetColumn:
        return;
    case CaretColumn::TextColumn:
        delta = dx + dy * bpl;
        break;
    case CaretColumn::HighNibble:
        if (dx != 0)
            m_caretColumn = CaretColumn::LowNibble;
        delta = (dx == -1 ? -1 : 0) + dy * bpl;
        break;
    case CaretColumn::LowNibble:
        if (dx != 0)
            m_caretColumn = CaretColumn::HighNibble;
        delta = (dx == 1 ? 1 : 0) + dy * bpl;
        break;
    }
    m_caretOffset += delta;
    if (m_caretOffset < 0)
        m_caretOffset = 0;
    else if (m_caretOffset >= m_length)
        m_caretOffset -= delta; // the column change stays
    clampCaret();

    // Keep the caret visible, at most one line each way.
    if (m_caretOffset < m_topOffset)
        scroll(ScrollCode::LineUp, 0, false);
    else if (m_caretOffset >= m_topOffset + m_geo.pageBytes())
        scroll(ScrollCode::LineDown, 0, false);

    m_keepCaretOnScroll = false;
    restartBlink();
    viewport()->update();
}

void CHexDataCtrl::clearSelection()
{
    m_selAnchor = m_selEnd = -1;
    viewport()->update();
    showCaret();
}

void CHexDataCtrl::beginExtend()
{
    if (m_selAnchor == -1)
        m_selAnchor = m_selEnd = m_caretOffset;
}

bool CHexDataCtrl::handleKey(int key, Qt::KeyboardModifiers mods)
{
    if (!isNavigationKey(key))
        return false;
    // Scrolling done by a key never drags the caret's offset along.
    const bool savedKeep = m_keepCaretOnScroll;
    m_keepCaretOnScroll = true;
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab)
        switchColumn();
    else
        navigate(key, mods & Qt::ShiftModifier, mods & Qt::ControlModifier);
    clampCaret();
    m_keepCaretOnScroll = savedKeep;
    return true;
}

void CHexDataCtrl::switchColumn()
{
    m_caretColumn = (m_caretColumn == CaretColumn::OffsetColumn
                     || m_caretColumn == CaretColumn::TextColumn)
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
        m_selEnd = m_caretOffset + ((forward && isHexColumn(m_caretColumn)) ? 1 : 0);
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
            m_caretOffset = 0;
        } else {
            m_caretOffset = m_geo.lineStart(m_caretOffset);
        }
        break;
    case Qt::Key_End:
        if (ctrl) {
            m_caretOffset = m_length - 1;
            scroll(ScrollCode::ThumbTrack, m_geo.lastPageRow(m_length));
        } else {
            m_caretOffset = std::min(m_geo.lineStart(m_caretOffset) + m_geo.bytesPerLine - 1,
                                     m_length - 1);
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
    if (!m_data || code == '\t')
        return;
    clearSelection();
    const bool inRange = m_caretOffset >= 0 && m_caretOffset < m_length;
    switch (m_caretColumn) {
    case CaretColumn::OffsetColumn:
        break;
    case CaretColumn::TextColumn:
        if (inRange) {
            m_data[m_caretOffset] = static_cast<std::uint8_t>(code & 0xFF);
            step(1, 0);
        }
        break;
    case CaretColumn::HighNibble:
    case CaretColumn::LowNibble: {
        const int v = hexDigit(code);
        if (v < 0 || !inRange)
            break;
        std::uint8_t& b = m_data[m_caretOffset];
        if (m_caretColumn == CaretColumn::HighNibble)
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
    if (m_data && e->type() == QEvent::KeyPress) {
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
    if (m_data && e->type() == QEvent::ShortcutOverride) {
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
    if (!m_data) {
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
    if (!m_data || e->button() != Qt::LeftButton)
        return;
    ensureLayout();
    m_leftDown = true;
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    const std::int64_t oldCaret = m_caretOffset;
    const QPoint pos = e->position().toPoint();
    const hexedit::HexHit hit = m_geo.hitTest(pos.x(), pos.y(), m_topOffset, m_length);
    if (hit.hit) {
        m_caretOffset = hit.offset;
        m_caretColumn = hit.column;
        restartBlink();
        viewport()->update();
    }
    if (shift) {
        // Selects from the old caret to the point clicked. A Shift+click that
        // hits nothing leaves the selection as it was.
        if (hit.hit) {
            m_selAnchor = oldCaret;
            m_selEnd = m_caretOffset + (isHexColumn(m_caretColumn) ? 1 : 0);
            viewport()->update();
        }
    } else {
        // Whether this press starts a drag is known once the pointer has
        // moved far enough with the button held (see mouseMoveEvent).
        m_pressPending = true;
        m_pressPos = pos;
        if (hasSelection())
            clearSelection();
    }
    if (!hasSelection())
        showCaret();
}

void CHexDataCtrl::mouseMoveEvent(QMouseEvent* e)
{
    if (!m_data || !(e->buttons() & Qt::LeftButton))
        return;
    const QPoint pos = e->position().toPoint();
    if (m_pressPending) {
        if ((pos - m_pressPos).manhattanLength() < QApplication::startDragDistance())
            return;
        m_pressPending = false;
        m_selAnchor = m_selEnd = m_caretOffset;
    }
    if (!hasSelection())
        return;
    m_lastDragPos = pos;
    dragTo(pos);
    const bool outside = pos.y() < 0 || pos.y() >= viewport()->height();
    if (outside && !m_autoScrollTimer->isActive())
        m_autoScrollTimer->start();
    else if (!outside)
        m_autoScrollTimer->stop();
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
    const std::int64_t oldEnd = m_selEnd;
    const hexedit::HexHit hit = m_geo.hitTest(pos.x(), y, m_topOffset, m_length);
    if (hit.hit) {
        m_caretOffset = hit.offset;
        m_caretColumn = hit.column;
        m_selEnd = m_caretOffset + (isHexColumn(m_caretColumn) ? 1 : 0);
    }
    hideCaret();
    if (m_selEnd != oldEnd)
        viewport()->update();
}

void CHexDataCtrl::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton) {
        m_leftDown = false;
        m_pressPending = false;
        m_autoScrollTimer->stop();
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
    if (m_data && !hasSelection())
        showCaret();
}

void CHexDataCtrl::focusOutEvent(QFocusEvent* e)
{
    QAbstractScrollArea::focusOutEvent(e);
    m_autoScrollTimer->stop();
    hideCaret();
}

void CHexDataCtrl::showCaret()
{
    m_caretShown = true;
    restartBlink();
    viewport()->update();
}

void CHexDataCtrl::hideCaret()
{
    if (!m_caretShown)
        return;
    m_caretShown = false;
    m_blinkTimer->stop();
    viewport()->update();
}

void CHexDataCtrl::restartBlink()
{
    m_blinkOn = true;
    const int flash = QApplication::cursorFlashTime();
    if (m_caretShown && flash > 0)
        m_blinkTimer->start(flash / 2);
    else
        m_blinkTimer->stop();
}

QRect CHexDataCtrl::caretPixelRect() const
{
    const hexedit::CaretRect r = m_geo.caretRect(m_caretColumn, m_caretOffset, m_topOffset);
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
    if (m_data) {
        ensureLayout();
        paintRows(vp->height());
    }
    QPainter wp(vp);
    wp.drawPixmap(0, 0, m_buffer);
    paintCaret(wp);
}

void CHexDataCtrl::prepareBuffer(QSize size, qreal dpr)
{
    if (m_buffer.size() != size * dpr || m_buffer.devicePixelRatio() != dpr) {
        m_buffer = QPixmap(size * dpr);
        m_buffer.setDevicePixelRatio(dpr);
    }
    m_buffer.fill(Qt::white);
}

void CHexDataCtrl::paintRows(int clientHeight)
{
    QPainter p(&m_buffer);
    p.setFont(m_font);
    const bool sel = hasSelection();
    const RowPainter rows(p, m_geo, QFontMetrics(m_font).ascent(), palette(),
                          std::min(m_selAnchor, m_selEnd), std::max(m_selAnchor, m_selEnd));
    const bool hexSel = sel && isHexColumn(m_caretColumn);
    const bool textSel = sel && m_caretColumn == CaretColumn::TextColumn;
    const int bottom = m_geo.drawBottom(clientHeight);
    for (int row = 0; m_geo.lineHeight > 0 && m_geo.rowY(row) < bottom; ++row) {
        const std::int64_t rowStart = m_geo.rowOffset(row, m_topOffset);
        if (rowStart < 0 || rowStart >= m_length)
            break;
        const int count = static_cast<int>(std::min<std::int64_t>(m_geo.bytesPerLine, m_length - rowStart));
        const int y = m_geo.rowY(row);
        if (m_geo.showOffsets)
            rows.offset(y, rowStart);
        if (m_geo.showHex)
            rows.hex(y, m_data + rowStart, rowStart, count, hexSel);
        if (m_geo.showText)
            rows.text(y, m_data + rowStart, rowStart, count, textSel);
    }
}

void CHexDataCtrl::paintCaret(QPainter& wp) const
{
    if (!m_data || !m_caretShown || !m_blinkOn || !hasFocus())
        return;
    // The caret is drawn only where its position lies inside the client
    // area, inverting what is beneath it like a system caret.
    const QRect caret = caretPixelRect();
    if (viewport()->rect().contains(caret.topLeft())) {
        wp.setCompositionMode(QPainter::CompositionMode_Difference);
        wp.fillRect(caret, Qt::white);
    }
}
