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

namespace hexedit {

class CHexDataCtrl : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit CHexDataCtrl(QWidget* parent = nullptr);
    ~CHexDataCtrl() override;

    // The buffer shown and edited in place; owned by the caller, who keeps it
    // alive and unresized while set. nullptr (or a negative length) means no
    // buffer: the control draws nothing and ignores input.
    void setData(std::uint8_t* data, std::int64_t length);
    std::uint8_t* data() const { return data_; }
    std::int64_t length() const { return length_; }

    void setBytesPerLine(int n);
    void setWideOffsets(bool on);
    int bytesPerLine() const { return geo_.bytesPerLine; }
    bool wideOffsets() const { return geo_.wideOffsets; }

    std::int64_t topOffset() const { return topOffset_; }
    std::int64_t caretOffset() const { return caretOffset_; }
    CaretColumn caretColumn() const { return caretColumn_; }
    std::int64_t selAnchor() const { return selAnchor_; }
    std::int64_t selEnd() const { return selEnd_; }
    bool hasSelection() const { return selAnchor_ != -1; }
    int linesPerPage() const { return geo_.linesPerPage; }
    bool shortData() const { return geo_.shortData; }
    bool caretShown() const { return caretShown_; }
    const HexLayout& geometry() const { return geo_; }
    const QFont& hexFont() const { return font_; }

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
    // Painting: a plain (white) off-screen buffer of the client size, the rows of
    // data into it, then the buffer and the caret onto the screen.
    void prepareBuffer(QSize size, qreal dpr);
    void paintRows(int clientHeight);
    void paintCaret(QPainter& wp) const;

    std::uint8_t* data_ = nullptr;
    std::int64_t length_ = 0;
    std::int64_t topOffset_ = 0;
    std::int64_t caretOffset_ = 0;
    CaretColumn caretColumn_ = CaretColumn::OffsetColumn;
    std::int64_t selAnchor_ = -1;
    std::int64_t selEnd_ = -1;
    HexLayout geo_;
    bool keepCaretOnScroll_ = true;
    bool layoutDirty_ = true;
    QFont font_;

    bool caretShown_ = false; // created and shown (between focus in and out)
    bool blinkOn_ = true; // current blink phase
    QTimer* blinkTimer_ = nullptr;
    QTimer* autoScrollTimer_ = nullptr;
    bool leftDown_ = false; // left button pressed in the control
    bool pressPending_ = false; // left press that may still become a drag
    QPoint pressPos_;
    QPoint lastDragPos_;
    bool syncingScrollBar_ = false;
    QPixmap buffer_;
};

} // namespace hexedit
