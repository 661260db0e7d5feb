#pragma once
// What both curve windows offer beyond their own keys: a range of indexes
// (Shift+Left/Right), spreadsheet copy and paste, the operations, undo
// inside the window, a context menu, and a second status pane with the
// current index, the range and the value under the mouse.
#include "tables/TableFrame.h"
#include "tables/TableOps.h"

#include <QPointF>

#include <optional>
#include <vector>

class QMenu;
class QPainter;
class QUndoStack;

namespace tables {

class CurveBench : public TableFrame {
    Q_OBJECT
public:
    // A curve's points; a 16-bit table has no xs.
    struct Points {
        std::vector<double> xs, ys;
    };

    // The range, first to last index; the current point alone when nothing
    // more is selected.
    std::size_t rangeFirst() const { return std::min(anchor_, currentIndex()); }
    std::size_t rangeLast() const { return std::max(anchor_, currentIndex()); }
    bool hasRange() const { return anchor_ != currentIndex(); }
    void selectRange(std::size_t first, std::size_t last); // the current point becomes last
    void selectAll();

    // Lines of the range: "y" for a 16-bit table, "x<tab>y" for doubles.
    QString copyText() const;
    // At the range's first point; one value fills the range. A double
    // table takes one column (y) or two (x, y). Refusals change nothing.
    bool pasteText(const QString& text);
    bool applyOperation(TableOp op, double operand = 0);
    QUndoStack* undoStack() const override { return undo_; }
    QMenu* createContextMenu();

    virtual Points points() const = 0;
    // Puts the points in (sets the changed mark) and repaints.
    virtual void setPoints(const Points& p) = 0;
    virtual std::size_t currentIndex() const = 0;
    virtual void setCurrentIndex(std::size_t i) = 0;
    virtual CellKind kind() const = 0;

    // The counterpart's points while a compare runs; nullopt without one,
    // or when its bytes are no table of this window's kind.
    const std::optional<Points>& referencePoints() const { return refPoints_; }

protected:
    CurveBench(std::unique_ptr<TableTarget> target, const QString& section, const ui::Edges& defaults,
            QWidget* owner);

    // The window's keyPressEvent hands every key here first; answers
    // whether it was a command of this layer.
    bool benchKey(QKeyEvent* e);
    // After a walk key: Shift keeps the range's anchor, otherwise the range
    // collapses onto the new point.
    void afterWalk(const QKeyEvent* e);
    // A value key changed the current point: one undo step per burst of
    // keys on one point.
    void keyStepped(const Points& before);
    // A change already made, as one undo step.
    void pushChange(const Points& before, const QString& what);
    // The range drawn over the curve, and the device positions kept for the
    // mouse; call from paintEvent after the curve.
    void paintRange(QPainter& p, const std::vector<QPointF>& logical, double extentX, double extentY);
    void updateInfo();
    virtual void askValue() {}
    // The points of a counterpart's bytes, read as this window reads its own.
    virtual std::optional<Points> decodeReference(const Bytes& bytes) const = 0;
    void referenceRead() override;

    void mouseMoveEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    bool askAndApply(TableOp op);
    std::size_t anchor_ = 0;
    QUndoStack* undo_ = nullptr;
    int burst_ = 0; // key steps merge while it stays the same
    std::vector<double> deviceX_;
    int underMouse_ = -1;
    std::optional<Points> refPoints_;

    friend class PointsCommand;
};

} // namespace tables
