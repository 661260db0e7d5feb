#pragma once
// The grid window's in-cell editor for numbers.
#include <QLineEdit>

namespace tables {

class CPageWnd;

// The cell editor: a child edit box that takes "0"-"9", "-", "." and
// Backspace, commits on Enter and when it loses the focus, cancels on
// Escape, and grows to the right when its text nears its right edge. Its
// other keys stay inside it.
class CPageEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CPageEdit(CPageWnd* grid);
    QRect clientRect() const { return clientRect_; }
    int averageCharWidth() const { return avgCharWidth_; }

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    void growIfNeeded();
    CPageWnd* grid_;
    QRect clientRect_;
    int avgCharWidth_ = 0;
};

} // namespace tables
