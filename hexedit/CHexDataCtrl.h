#pragma once
// A custom-drawn hex editing control: rows of an offset column, a hex column
// and a text column over a caller-owned byte buffer of fixed length, with a
// caret, keyboard and mouse navigation, nibble-wise hex entry, character
// entry and a shown-only selection.

#include "hexedit/HexLayout.h"

#include <QAbstractScrollArea>
#include <QFont>
#include <QPixmap>
#include <QPoint>

#include <cstdint>

class QPainter;
class QTimer;

class CHexDataCtrl : public QAbstractScrollArea {
    Q_OBJECT
public:
    using CaretColumn = hexedit::CaretColumn;

    explicit CHexDataCtrl(QWidget* parent = nullptr);
    ~CHexDataCtrl() override;

    // The buffer shown and edited in place; owned by the caller, who keeps it
    // alive and unresized while set. nullptr (or a negative length) means no
    // buffer: the control draws nothing and ignores input.
    void setData(std::uint8_t* data, std::int64_t length);
    std::uint8_t* data() const { return m_data; }
    std::int64_t length() const { return m_length; }

    void setBytesPerLine(int n);
    void setShowOffsets(bool on);
    void setShowText(bool on);
    void setShowHex(bool on);
    void setWideOffsets(bool on);
    int bytesPerLine() const { return m_geo.bytesPerLine; }
    bool wideOffsets() const { return m_geo.wideOffsets; }

    std::int64_t topOffset() const { return m_topOffset; }
    std::int64_t caretOffset() const { return m_caretOffset; }
    CaretColumn caretColumn() const { return m_caretColumn; }
    std::int64_t selAnchor() const { return m_selAnchor; }
    std::int64_t selEnd() const { return m_selEnd; }
    bool hasSelection() const { return m_selAnchor != -1; }
    int linesPerPage() const { return m_geo.linesPerPage; }
    bool shortData() const { return m_geo.shortData; }
    bool caretShown() const { return m_caretShown; }
    const hexedit::HexLayout& geometry() const { return m_geo; }
    const QFont& hexFont() const { return m_font; }

    // Runs the layout step now if it is due (it also runs before painting).
    void ensureLayout();

    QSize sizeHint() const override;

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    enum class ScrollCode { LineUp, LineDown, PageUp, PageDown, ThumbTrack, Nothing };

    // Navigation keys: Tab switches columns, the others move the caret and,
    // with Shift, extend the selection. Returns whether the key was one.
    bool handleKey(int key, Qt::KeyboardModifiers mods);
    void switchColumn();
    void navigate(int key, bool shift, bool ctrl);
    // Moves the caret for one navigation key; true for keys that move it
    // forward (Right, Down).
    bool moveCaretForKey(int key, bool ctrl);
    void handleChar(unsigned code);
    void step(int dx, int dy);
    void scroll(ScrollCode code, std::int64_t thumbRow = 0, bool moveCaret = true);
    void onScrollBarAction(int action);
    void syncScrollBar();
    void clearSelection();
    void beginExtend();
    void dragTo(QPoint pos);
    void showCaret();
    void hideCaret();
    void restartBlink();
    void clampCaret();
    void markLayoutDirty();
    QRect caretPixelRect() const;
    // Painting: a white off-screen buffer of the client size, the rows of
    // data into it, then the buffer and the caret onto the screen.
    void prepareBuffer(QSize size, qreal dpr);
    void paintRows(int clientHeight);
    void paintCaret(QPainter& wp) const;

    std::uint8_t* m_data = nullptr;
    std::int64_t m_length = 0;
    std::int64_t m_topOffset = 0;
    std::int64_t m_caretOffset = 0;
    CaretColumn m_caretColumn = CaretColumn::OffsetColumn;
    std::int64_t m_selAnchor = -1;
    std::int64_t m_selEnd = -1;
    hexedit::HexLayout m_geo;
    bool m_keepCaretOnScroll = true;
    bool m_layoutDirty = true;
    QFont m_font;

    bool m_caretShown = false;   // created and shown (between focus in and out)
    bool m_blinkOn = true;       // current blink phase
    QTimer* m_blinkTimer = nullptr;
    QTimer* m_autoScrollTimer = nullptr;
    bool m_leftDown = false;     // left button pressed in the control
    bool m_pressPending = false; // left press that may still become a drag
    QPoint m_pressPos;
    QPoint m_lastDragPos;
    bool m_syncingScrollBar = false;
    QPixmap m_buffer;
};
