#include "tables/TableWnd.h"

#include "tables/CurvePainter.h"
#include "ui/Settings.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>

namespace tables {

namespace {
QPointer<TableWnd>& mark()
{
    static QPointer<TableWnd> m;
    return m;
}
} // namespace

TableWnd::TableWnd(std::unique_ptr<TableTarget> target, QWidget* owner)
        : TableFrame(
                std::move(target), QString(ui::settings::kTbl16Section), ui::Edges{10, 10, 600, 300}, owner),
          model_(decodeTbl16(this->target()->bytes()))
{
    createStatusBar();
    setFocusPolicy(Qt::StrongFocus);
}

TableWnd* TableWnd::open(std::unique_ptr<TableTarget> target, QWidget* owner)
{
    if (!target)
        return nullptr;
    auto* w = new TableWnd(std::move(target), owner);
    mark() = w;
    w->bringToFront();
    return w;
}

TableWnd* TableWnd::openShortcut(std::unique_ptr<TableTarget> target, QWidget* owner)
{
    if (mark())
        return nullptr;
    return open(std::move(target), owner);
}

TableWnd* TableWnd::markedWindow()
{
    return mark().data();
}

void TableWnd::paintEvent(QPaintEvent*)
{
    const auto& values = model_.values();
    const std::size_t n = values.size();
    if (n < 2)
        return;
    const Tbl16Model::Drawing d = model_.drawing();
    std::vector<QPointF> points;
    points.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        points.emplace_back(double(i), double(d.copy[i]));
    QPainter p(this);
    paintCurve(p, size(), points, double(n - 1), double(d.max), model_.current());

    setStatusText(QString::number(values[model_.current()]));
}

void TableWnd::keyPressEvent(QKeyEvent* e)
{
    noteNumLock(e);
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        enter();
        return;
    }
    if (e->key() == Qt::Key_Escape) {
        close();
        return;
    }
    if (auto a = curveKeyFor(e->key(), e->modifiers())) {
        model_.apply(*a);
        repaint();
    }
    TableFrame::keyPressEvent(e);
}

void TableWnd::enter()
{
    // With no values there is nothing to write.
    if (!model_.values().empty()) {
        if (!writeBack([this](Bytes& b) { model_.writeInto(b); }))
            return; // refused: keep the window and its values
    }
    if (model_.changed())
        target()->markModified();
    close();
}

void TableWnd::closeEvent(QCloseEvent* e)
{
    SaveWindowRect();
    if (mark() == this)
        mark() = nullptr;
    e->accept();
}

} // namespace tables
