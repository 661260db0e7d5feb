// The hex control's construction, its buffer and layout settings, and the
// scrolling of the view with its scroll bar.
#include "hexedit/CHexDataCtrl.h"

#include "hexedit/HexAccessible.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>

#include <algorithm>

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

    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this, &CHexDataCtrl::onScrollBarAction);
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
    enableAccessibility(this);
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

void CHexDataCtrl::resizeEvent(QResizeEvent* e)
{
    QAbstractScrollArea::resizeEvent(e);
    // Rows per page follow the client height.
    markLayoutDirty();
}

} // namespace hexedit
