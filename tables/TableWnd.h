#pragma once
// The window for a 16-bit curve table: one vertical line per value, the
// current one in dark blue, the curve in dark red, the current value in the
// status bar. Enter writes the values back; Esc and the close box do not.
#include "tables/TableFrame.h"
#include "tables/Tbl16Model.h"

namespace tables {

class TableWnd : public TableFrame {
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

protected:
    TableWnd(std::unique_ptr<TableTarget> target, QWidget* owner);

    void paintEvent(QPaintEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void enter();

    Tbl16Model model_;
};

} // namespace tables
