#pragma once
// The window for a double curve table (x, y pairs): one vertical line per
// point, the current one in dark blue, the curve in dark red, "x=..  y=.."
// in the status bar, y raised and lowered by keys, exact x or y typed into a
// small value box. Changes are written back on every way of closing.
#include "tables/CurveBench.h"
#include "tables/TblDblModel.h"

#include <QLineEdit>

namespace tables {

class TblDblWnd;

// The value box: digits, '-', '.' and Backspace; Enter commits, Esc cancels.
class DblValueBox : public QLineEdit {
    Q_OBJECT
public:
    explicit DblValueBox(TblDblWnd* owner);

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    TblDblWnd* owner_;
};

class TblDblWnd : public CurveBench {
    Q_OBJECT
public:
    // Refuses with "The Record is not editable as a double table!" unless the
    // length is exactly 16 x (first byte) + 4; otherwise opens, shows and
    // activates a window and sets the double-table-window mark.
    static TblDblWnd* open(std::unique_ptr<TableTarget> target, QWidget* owner);
    // Alt+D: as open(), but does nothing while the marked window is open.
    static TblDblWnd* openShortcut(std::unique_ptr<TableTarget> target, QWidget* owner);
    static TblDblWnd* markedWindow();

    const TblDblModel& model() const { return model_; }
    DblLayout layout() const { return computeDblLayout(model_.xs(), model_.ys()); }
    bool valueBoxOpen() const { return editing_; }

    Points points() const override { return Points{model_.xs(), model_.ys()}; }
    void setPoints(const Points& p) override;
    std::size_t currentIndex() const override { return model_.current(); }
    void setCurrentIndex(std::size_t i) override;
    CellKind kind() const override { return CellKind::Real; }
    DblValueBox* valueBox() const { return box_; }

    // Value box, as the keys X/F9, Y/F10 and the box's Enter/Esc use it.
    void openValueBox(bool isX);
    void closeValueBox(bool commit);

protected:
    TblDblWnd(std::unique_ptr<TableTarget> target, DoubleTable table, QWidget* owner);

    void paintEvent(QPaintEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    std::optional<Points> decodeReference(const Bytes& bytes) const override;

private:
    TblDblModel model_;
    DblValueBox* box_ = nullptr;
    bool editing_ = false;
    bool editX_ = false;
    std::size_t editIndex_ = 0;
    double shownValue_ = 0;
};

} // namespace tables
