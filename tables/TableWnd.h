#pragma once
// The window for a 16-bit curve table: one vertical line per value, the
// current one in dark blue, the curve in dark red, the current value in the
// status bar. Enter writes the values back; Esc and the close box do not.
// Y or F10 opens a box for an exact value of the current point.
#include "tables/CurveBench.h"
#include "tables/Tbl16Model.h"

class QLineEdit;

namespace tables {

class TableWnd : public CurveBench {
    Q_OBJECT
public:
    // Opens a window on the target's bytes read as 16-bit values, shows and
    // activates it, and sets the tbl16-window mark. Used when a "tbl16" item
    // is activated: always opens a new window.
    static TableWnd* open(std::unique_ptr<TableTarget> target, QWidget* owner);
    // Alt+T: as open(), but does nothing (answers nullptr) while the marked
    // window is still open.
    static TableWnd* openShortcut(std::unique_ptr<TableTarget> target, QWidget* owner);
    // The tbl16-window mark: the window most recently opened, until it closes.
    static TableWnd* markedWindow();

    const Tbl16Model& model() const { return model_; }

    Points points() const override;
    void setPoints(const Points& p) override;
    std::size_t currentIndex() const override { return model_.current(); }
    void setCurrentIndex(std::size_t i) override;
    CellKind kind() const override { return CellKind::Word16; }

    // The exact-value box on the current point: whole numbers 0 to 65535;
    // anything else is refused with a message and the box stays open.
    void openValueBox();
    bool closeValueBox(bool commit);
    QLineEdit* valueBox() const { return box_; }
    bool valueBoxOpen() const { return editing_; }

protected:
    TableWnd(std::unique_ptr<TableTarget> target, QWidget* owner);

    void paintEvent(QPaintEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void enter();
    void askValue() override { openValueBox(); }
    std::optional<Points> decodeReference(const Bytes& bytes) const override;

    Tbl16Model model_;
    QLineEdit* box_ = nullptr;
    bool editing_ = false;
};

} // namespace tables
