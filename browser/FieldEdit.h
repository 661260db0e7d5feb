#pragma once
// The in-place box that edits one scalar value beside its tree item.
#include "ui/NumberChars.h"

#include <QLineEdit>

// What the box needs to know of the value's type.
namespace browser {

struct FieldEditSetup {
    int maxChars = 16;
    bool allowPoint = false;
    bool allowMinus = true;
};

class FieldEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit FieldEdit(QWidget* parent = nullptr);

    // Shows the box at `geometry` (parent coordinates) with the initial text,
    // clears the changed mark and takes the focus.
    void begin(const FieldEditSetup& setup, const QString& text, const QRect& geometry);
    // Hides the box; the changed mark is cleared.
    void end();
    // After a refused Enter: the refill text; the changed mark stays set.
    void refill(const QString& text);

    bool isOpen() const { return open_; }
    bool isChanged() const { return changed_; }
    bool acceptsChar(QChar c) const;

signals:
    void enterPressed();
    void escapePressed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    ui::NumberChars chars() const;
    void pasteFiltered();

    FieldEditSetup setup_;
    bool open_ = false;
    bool changed_ = false;
};

} // namespace browser
