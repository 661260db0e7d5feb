// The curve windows' range, clipboard, operations, undo, menu and info pane.
#include "tables/CurveBench.h"

#include "tables/LogicalMapping.h"
#include "tables/TableAccessible.h"
#include "tables/TableText.h"
#include "tables/WorkbenchUi.h"
#include "ui/Messages.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QUndoStack>

#include <cmath>

namespace tables {

// One change of a curve's points, already made when it is pushed. Key
// steps of one burst on one point merge into one.
class PointsCommand : public QUndoCommand {
public:
    PointsCommand(CurveBench* w, CurveBench::Points before, CurveBench::Points after, const QString& text,
            int burst = -1, std::size_t index = 0)
            : QUndoCommand(text), w_(w), before_(std::move(before)), after_(std::move(after)), burst_(burst),
              index_(index)
    {}
    void undo() override { w_->setPoints(before_); }
    void redo() override
    {
        if (!done_)
            w_->setPoints(after_);
        done_ = false;
    }
    int id() const override { return burst_ < 0 ? -1 : 1; }
    bool mergeWith(const QUndoCommand* other) override
    {
        const auto* o = static_cast<const PointsCommand*>(other);
        if (o->burst_ != burst_ || o->index_ != index_)
            return false;
        after_ = o->after_;
        return true;
    }

private:
    CurveBench* w_;
    CurveBench::Points before_, after_;
    int burst_;
    std::size_t index_;
    bool done_ = true;
};

namespace {
// The curves have one interpolation.
QString curveOpName(TableOp op)
{
    return op == TableOp::InterpolateRows ? QStringLiteral("Interpolate") : opName(op);
}
} // namespace

CurveBench::CurveBench(std::unique_ptr<TableTarget> target, const QString& section, const ui::Edges& defaults,
        QWidget* owner)
        : TableFrame(std::move(target), section, defaults, owner)
{
    undo_ = new QUndoStack(this);
    setMouseTracking(true);
    enableAccessibility(this);
}

void CurveBench::selectRange(std::size_t first, std::size_t last)
{
    const Points p = points();
    if (first > last || last >= p.ys.size())
        return;
    setCurrentIndex(last);
    anchor_ = first;
    update();
}

void CurveBench::selectAll()
{
    const std::size_t n = points().ys.size();
    if (n)
        selectRange(0, n - 1);
}

QString CurveBench::copyText() const
{
    const Points p = points();
    if (p.ys.empty())
        return {};
    const bool pairs = !p.xs.empty();
    ValueBlock b{int(rangeLast() - rangeFirst() + 1), pairs ? 2 : 1, {}};
    for (std::size_t i = rangeFirst(); i <= rangeLast(); ++i) {
        if (pairs)
            b.values.push_back(p.xs[i]);
        b.values.push_back(p.ys[i]);
    }
    return QString::fromStdString(writeBlock(b, kind()));
}

bool CurveBench::pasteText(const QString& text)
{
    Points p = points();
    const std::size_t n = p.ys.size();
    if (n == 0)
        return false;
    const std::size_t first = rangeFirst();
    ValueBlock b;
    TextError err;
    auto refuse = [this](int row, int col, const QString& t, const QString& why) {
        ui::tell(this,
                QStringLiteral("Nothing was pasted: row %1, column %2: \"%3\" %4.")
                        .arg(row)
                        .arg(col)
                        .arg(t, why),
                ui::Tone::Warning);
        return false;
    };
    if (!readBlock(text.toStdString(), kind(), b, err))
        return refuse(int(first) + err.row + 1, err.col + 1, QString::fromStdString(err.text),
                QString::fromStdString(err.reason));
    // A 16-bit table also takes a single row of values.
    if (p.xs.empty() && b.rows == 1 && b.cols > 1)
        b = ValueBlock{b.cols, 1, b.values};
    const int maxCols = p.xs.empty() ? 1 : 2;
    if (b.cols > maxCols)
        return refuse(int(first) + 1, maxCols + 1,
                QString::fromStdString(formatValue(b.at(0, maxCols), kind())),
                maxCols == 1 ? QStringLiteral("does not fit: this table has one column")
                             : QStringLiteral("does not fit: this table takes y, or x and y"));
    const bool fill = b.rows == 1 && b.cols == 1 && hasRange();
    if (!fill && first + std::size_t(b.rows) > n)
        return refuse(int(n) + 1, 1, QString::fromStdString(formatValue(b.at(int(n - first), 0), kind())),
                QStringLiteral("lies outside the table of %1 values").arg(n));
    const Points before = p;
    const std::size_t count = fill ? rangeLast() - first + 1 : std::size_t(b.rows);
    for (std::size_t i = 0; i < count; ++i) {
        const int r = fill ? 0 : int(i);
        if (b.cols == 2)
            p.xs[first + i] = b.at(r, 0);
        p.ys[first + i] = b.at(r, b.cols - 1);
    }
    setPoints(p);
    pushChange(before, QStringLiteral("Paste"));
    selectRange(first, first + count - 1);
    return true;
}

bool CurveBench::applyOperation(TableOp op, double operand)
{
    Points p = points();
    if (p.ys.empty())
        return false;
    const int first = int(rangeFirst()), last = int(rangeLast());
    ValueBlock ys{1, int(p.ys.size()), p.ys};
    const bool byX = op == TableOp::InterpolateRows && !p.xs.empty();
    const auto no = byX ? interpolateByX(p.xs, ys, first, last)
                        : applyOp(ys, CellRange{0, first, 1, last - first + 1}, op, operand, kind());
    if (no) {
        ui::tell(this,
                QStringLiteral("%1 was not applied: the value at index %2 would become %3, which the table "
                               "cannot hold.")
                        .arg(curveOpName(op))
                        .arg(no->col)
                        .arg(QString::number(no->value, 'g', 17)),
                ui::Tone::Warning);
        return false;
    }
    const Points before = p;
    p.ys = std::move(ys.values);
    setPoints(p);
    pushChange(before, curveOpName(op));
    return true;
}

void CurveBench::pushChange(const Points& before, const QString& what)
{
    ++burst_;
    undo_->push(new PointsCommand(this, before, points(), what));
    updateInfo();
}

void CurveBench::keyStepped(const Points& before)
{
    undo_->push(new PointsCommand(this, before, points(), QStringLiteral("Step"), burst_, currentIndex()));
}

void CurveBench::afterWalk(const QKeyEvent* e)
{
    ++burst_;
    if (!(e->modifiers() & Qt::ShiftModifier))
        anchor_ = currentIndex();
    updateInfo();
}

bool CurveBench::askAndApply(TableOp op)
{
    const auto v = askOperand(this, op);
    return v && applyOperation(op, *v);
}

bool CurveBench::benchKey(QKeyEvent* e)
{
    if (undoKey(e, undo_))
        return true;
    if (e->matches(QKeySequence::Copy))
        QGuiApplication::clipboard()->setText(copyText());
    else if (e->matches(QKeySequence::Paste))
        pasteText(QGuiApplication::clipboard()->text());
    else if (e->matches(QKeySequence::SelectAll))
        selectAll();
    else if (const auto op = commonOpKey(e))
        askAndApply(*op);
    else if (e->key() == Qt::Key_I && !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        applyOperation(TableOp::InterpolateRows);
    else
        return false;
    return true;
}

QMenu* CurveBench::createContextMenu()
{
    auto* m = new QMenu(this);
    auto* clip = QGuiApplication::clipboard();
    addCommand(m, QStringLiteral("&Copy"), QKeySequence::Copy, [this, clip] { clip->setText(copyText()); });
    addCommand(m, QStringLiteral("&Paste"), QKeySequence::Paste, [this, clip] { pasteText(clip->text()); });
    addCommand(m, QStringLiteral("Select &All"), QKeySequence::SelectAll, [this] { selectAll(); });
    m->addSeparator();
    if (kind() == CellKind::Word16)
        addCommand(m, QStringLiteral("&Value..."), QKeySequence(QStringLiteral("Y")), [this] { askValue(); });
    addValueCommands(m, [this](TableOp op) { askAndApply(op); });
    addCommand(m, QStringLiteral("&Interpolate"), QKeySequence(QStringLiteral("I")),
            [this] { applyOperation(TableOp::InterpolateRows); });
    addCommand(m, QStringLiteral("Sm&ooth"), QKeySequence(QStringLiteral("S")),
            [this] { applyOperation(TableOp::Smooth); });
    m->addSeparator();
    addUndoCommands(m, undo_);
    return m;
}

void CurveBench::contextMenuEvent(QContextMenuEvent* e)
{
    QMenu* m = createContextMenu();
    m->setAttribute(Qt::WA_DeleteOnClose);
    m->popup(e->globalPos());
}

void CurveBench::paintRange(QPainter& p, const std::vector<QPointF>& logical, double extentX, double extentY)
{
    const LogicalMapping m = LogicalMapping::curve(width(), height(), extentX, extentY);
    deviceX_.clear();
    deviceX_.reserve(logical.size());
    for (const QPointF& pt : logical)
        deviceX_.push_back(m.map(pt.x(), 0).x());
    updateInfo();
    if (!hasRange() || rangeLast() >= logical.size())
        return;
    // A translucent band over the range, and the range's stretch of the
    // curve drawn again, thicker.
    const double top = m.map(0, extentY).y(), bottom = m.map(0, 0).y();
    double left = deviceX_[rangeFirst()], right = left;
    for (std::size_t i = rangeFirst(); i <= rangeLast(); ++i) {
        left = std::min(left, deviceX_[i]);
        right = std::max(right, deviceX_[i]);
    }
    QColor wash = palette().color(QPalette::Highlight);
    wash.setAlpha(60);
    p.fillRect(QRectF(QPointF(left - 2, top), QPointF(right + 2, bottom)), wash);
    QPolygonF part;
    for (std::size_t i = rangeFirst(); i <= rangeLast(); ++i)
        part << m.map(logical[i].x(), logical[i].y());
    p.setPen(QPen(palette().color(QPalette::Highlight), 3));
    p.drawPolyline(part);
}

void CurveBench::referenceRead()
{
    refPoints_ = reference() ? decodeReference(reference()->bytes) : std::nullopt;
    updateInfo();
}

void CurveBench::mouseMoveEvent(QMouseEvent* e)
{
    // The point whose line is nearest the mouse.
    const double x = e->position().x();
    int best = -1;
    for (std::size_t i = 0; i < deviceX_.size(); ++i)
        if (best < 0 || std::abs(deviceX_[i] - x) < std::abs(deviceX_[std::size_t(best)] - x))
            best = int(i);
    if (best != underMouse_) {
        underMouse_ = best;
        updateInfo();
    }
    TableFrame::mouseMoveEvent(e);
}

void CurveBench::updateInfo()
{
    const Points p = points();
    if (p.ys.empty())
        return;
    QString t = QStringLiteral("Index %1").arg(currentIndex());
    if (hasRange())
        t += QStringLiteral("   Selected %1-%2").arg(rangeFirst()).arg(rangeLast());
    if (underMouse_ >= 0 && std::size_t(underMouse_) < p.ys.size()) {
        const auto i = std::size_t(underMouse_);
        const QString y = QString::fromStdString(formatValue(p.ys[i], kind()));
        t += p.xs.empty() ? QStringLiteral("   Mouse: %1 = %2").arg(i).arg(y)
                          : QStringLiteral("   Mouse: %1 = %2, %3")
                                    .arg(i)
                                    .arg(QString::fromStdString(formatValue(p.xs[i], kind())), y);
    }
    if (reference()) {
        // The reference's point at the current index, and whose it is.
        const std::size_t i = currentIndex();
        QString value = QStringLiteral("none");
        if (refPoints_ && i < refPoints_->ys.size()) {
            value = QString::fromStdString(formatValue(refPoints_->ys[i], kind()));
            if (!refPoints_->xs.empty())
                value = QString::fromStdString(formatValue(refPoints_->xs[i], kind())) + QStringLiteral(", ")
                        + value;
        } else if (!refPoints_) {
            value = QStringLiteral("not a table of this kind");
        }
        t += QStringLiteral("   Reference %1 (dashed): %2").arg(reference()->file, value);
    }
    setInfoText(t);
}

} // namespace tables
