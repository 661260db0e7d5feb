// The hex control's painting: rows of offsets, hex and text into an
// off-screen buffer, then the buffer and the caret onto the screen.
#include "hexedit/CHexDataCtrl.h"

#include "ui/Appearance.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

namespace hexedit {

namespace {

// The plain colours: black on white, or the palette's text on its base when
// the palette is dark.
std::pair<QColor, QColor> plainColours(const QPalette& pal)
{
    return {ui::lightOr(pal, Qt::black, QPalette::Text), ui::lightOr(pal, Qt::white, QPalette::Base)};
}

// Draws the columns of one row at a time into the off-screen buffer. Bytes
// before the selection are drawn in the plain colours, inside it in the
// highlight colours, after it in the window colours.
class RowPainter {
public:
    RowPainter(QPainter& p, const HexLayout& geo, int ascent, const QPalette& pal, std::int64_t selLo,
            std::int64_t selHi)
            : p_(p), geo_(geo), ascent_(ascent), pal_(pal), plain_(plainColours(pal)), selLo_(selLo),
              selHi_(selHi)
    {}

    void offset(int y, std::int64_t rowStart) const
    {
        const QString text =
                QStringLiteral("%1")
                        .arg(static_cast<qulonglong>(rowStart), geo_.offsetDigits(), 16, QLatin1Char('0'))
                        .toUpper();
        run(geo_.offsetX, y, text, plain_);
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
            return plain_;
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
    Colours plain_;
    std::int64_t selLo_, selHi_;
};

} // namespace

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
    buffer_.fill(plainColours(palette()).second);
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
