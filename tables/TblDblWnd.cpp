#include "tables/TblDblWnd.h"

#include "tables/CurvePainter.h"
#include "ui/Messages.h"
#include "ui/NumberChars.h"
#include "ui/Settings.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>

namespace tables {

namespace {
QPointer<TblDblWnd>& mark()
{
    static QPointer<TblDblWnd> m;
    return m;
}
} // namespace

DblValueBox::DblValueBox(TblDblWnd* owner) : QLineEdit(owner), owner_(owner)
{
    setGeometry(1, 1, 1, 1);
    // Pasted text obeys the same filter as typed characters.
    setValidator(new ui::NumberValidator(ui::NumberChars{}, this));
    hide();
}

void DblValueBox::keyPressEvent(QKeyEvent* e)
{
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        owner_->closeValueBox(true);
        return;
    case Qt::Key_Escape:
        owner_->closeValueBox(false);
        return;
    case Qt::Key_Backspace:
        QLineEdit::keyPressEvent(e);
        return;
    default:
        break;
    }
    const QString t = e->text();
    if (!t.isEmpty() && t.at(0).isPrint()) {
        const QChar c = t.at(0);
        if (t.size() == 1 && ui::NumberChars{}.accepts(c))
            QLineEdit::keyPressEvent(e);
        return; // every other character is ignored
    }
    QLineEdit::keyPressEvent(e); // caret movement, Delete and the like
}

TblDblWnd::TblDblWnd(std::unique_ptr<TableTarget> target, DoubleTable table, QWidget* owner)
        : CurveBench(
                std::move(target), QString(ui::settings::kTblDblSection), ui::Edges{10, 10, 600, 300}, owner),
          model_(std::move(table.xs), std::move(table.ys))
{
    createStatusBar();
    box_ = new DblValueBox(this);
    setFocusPolicy(Qt::StrongFocus);
    referenceRead();
}

std::optional<CurveBench::Points> TblDblWnd::decodeReference(const Bytes& bytes) const
{
    auto table = decodeTblDbl(bytes);
    if (!table)
        return std::nullopt;
    return Points{std::move(table->xs), std::move(table->ys)};
}

TblDblWnd* TblDblWnd::open(std::unique_ptr<TableTarget> target, QWidget* owner)
{
    if (!target)
        return nullptr;
    auto table = decodeTblDbl(target->bytes());
    if (!table) {
        ui::tell(owner, QStringLiteral("The Record is not editable as a double table!"), ui::Tone::Warning);
        return nullptr;
    }
    auto* w = new TblDblWnd(std::move(target), std::move(*table), owner);
    mark() = w;
    w->bringToFront();
    return w;
}

TblDblWnd* TblDblWnd::openShortcut(std::unique_ptr<TableTarget> target, QWidget* owner)
{
    if (mark())
        return nullptr;
    return open(std::move(target), owner);
}

TblDblWnd* TblDblWnd::markedWindow()
{
    return mark().data();
}

void TblDblWnd::paintEvent(QPaintEvent*)
{
    const std::size_t n = model_.size();
    if (n == 0)
        return;
    const auto& ref = referencePoints();
    const bool withReference = ref && !ref->xs.empty();
    DblLayout l;
    if (withReference) {
        // Both curves laid out together, so they share one scale.
        std::vector<double> xs = model_.xs(), ys = model_.ys();
        xs.insert(xs.end(), ref->xs.begin(), ref->xs.end());
        ys.insert(ys.end(), ref->ys.begin(), ref->ys.end());
        l = computeDblLayout(xs, ys);
    } else {
        l = layout();
    }
    std::vector<QPointF> points;
    points.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        points.emplace_back(l.px[i], l.py[i]);
    ReferenceCurve other;
    if (withReference) {
        for (std::size_t i = n; i < l.px.size(); ++i)
            other.points.emplace_back(l.px[i], l.py[i]);
        other.pen = referencePen(palette());
    }
    QPainter p(this);
    paintCurve(p, size(), points, l.maxX, l.maxY, model_.current(), &other);
    paintRange(p, points, l.maxX, l.maxY);

    // The tab between x and y shows as spacing.
    const std::size_t c = model_.current();
    setStatusText(
            QStringLiteral("x=%1    y=%2").arg(formatFixed(model_.xs()[c]), formatFixed(model_.ys()[c])));
}

void TblDblWnd::keyPressEvent(QKeyEvent* e)
{
    noteNumLock(e);
    const int key = e->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
        close();
        return;
    }
    if (benchKey(e))
        return;
    if (key == Qt::Key_X || key == Qt::Key_F9) {
        openValueBox(true);
        return;
    }
    if (key == Qt::Key_Y || key == Qt::Key_F10) {
        openValueBox(false);
        return;
    }
    if (auto a = curveKeyFor(key, e->modifiers())) {
        const Points before = points();
        model_.apply(*a);
        if (curveKeyStep(*a) == 0)
            afterWalk(e);
        else
            keyStepped(before);
        repaint();
    }
    TableFrame::keyPressEvent(e);
}

void TblDblWnd::openValueBox(bool isX)
{
    if (editing_ || model_.size() == 0)
        return;
    editing_ = true;
    editX_ = isX;
    editIndex_ = model_.current();
    shownValue_ = isX ? model_.xs()[editIndex_] : model_.ys()[editIndex_];
    box_->setText(formatFixed(shownValue_));
    box_->setGeometry(5, 5, 135, 20);
    box_->show();
    box_->setFocus();
}

void TblDblWnd::closeValueBox(bool commit)
{
    if (!editing_)
        return;
    if (commit) {
        const double v = parseGeneralRealPrefix(box_->text());
        if (v != shownValue_) {
            const Points before = points();
            model_.setValue(editIndex_, editX_, v);
            target()->markModified();
            pushChange(before, QStringLiteral("Value"));
        }
    }
    editing_ = false;
    box_->hide();
    setFocus();
    repaint();
}

void TblDblWnd::setPoints(const Points& p)
{
    model_.setPoints(p.xs, p.ys);
    update();
}

void TblDblWnd::setCurrentIndex(std::size_t i)
{
    model_.setCurrent(i);
    update();
}

void TblDblWnd::closeEvent(QCloseEvent* e)
{
    SaveWindowRect();
    if (mark() == this)
        mark() = nullptr;
    if (model_.changed() && !isAbandoned()) {
        // Same point count as at opening, so the same length: written in place.
        const bool stored = writeBack([this](Bytes& b) {
            const Bytes table = encodeTblDbl(model_.xs(), model_.ys());
            std::copy(table.begin(), table.end(), b.begin());
        });
        // A refused write leaves the document as it was.
        if (stored)
            target()->markModified();
    }
    e->accept();
}

} // namespace tables
