#include "tables/TableWnd.h"

#include "tables/CurvePainter.h"
#include "ui/Messages.h"
#include "ui/Settings.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>

#include <algorithm>

namespace tables {

namespace {
// The exact-value box: Enter commits, Esc cancels, other keys stay in it.
class ValueBox : public QLineEdit {
public:
    explicit ValueBox(TableWnd* owner) : QLineEdit(owner), owner_(owner)
    {
        setObjectName(QStringLiteral("valueBox"));
    }

protected:
    void keyPressEvent(QKeyEvent* e) override
    {
        if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)
            owner_->closeValueBox(true);
        else if (e->key() == Qt::Key_Escape)
            owner_->closeValueBox(false);
        else
            QLineEdit::keyPressEvent(e);
        e->accept();
    }

private:
    TableWnd* owner_;
};

QPointer<TableWnd>& mark()
{
    static QPointer<TableWnd> m;
    return m;
}
} // namespace

TableWnd::TableWnd(std::unique_ptr<TableTarget> target, QWidget* owner)
        : CurveBench(
                std::move(target), QString(ui::settings::kTbl16Section), ui::Edges{10, 10, 600, 300}, owner),
          model_(decodeTbl16(this->target()->bytes()))
{
    createStatusBar();
    setFocusPolicy(Qt::StrongFocus);
    box_ = new ValueBox(this);
    box_->hide();
    referenceRead();
}

std::optional<CurveBench::Points> TableWnd::decodeReference(const Bytes& bytes) const
{
    Points p;
    for (std::uint32_t v : decodeTbl16(bytes))
        p.ys.push_back(double(v));
    return p;
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
    double extentX = double(n - 1), extentY = double(d.max);
    ReferenceCurve other;
    if (const auto& ref = referencePoints(); ref && !ref->ys.empty()) {
        // One scale for both curves: the reference is halved with the
        // values, and the extents grow to take it in.
        const double divisor = d.halved ? 2 : 1;
        for (std::size_t i = 0; i < ref->ys.size(); ++i) {
            const double y = ref->ys[i] / divisor;
            other.points.emplace_back(double(i), y);
            extentY = std::max(extentY, y);
        }
        extentX = std::max(extentX, double(ref->ys.size() - 1));
        other.pen = referencePen(palette());
    }
    QPainter p(this);
    paintCurve(p, size(), points, extentX, extentY, model_.current(), &other);
    paintRange(p, points, extentX, extentY);

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
    if (benchKey(e))
        return;
    if ((e->key() == Qt::Key_Y || e->key() == Qt::Key_F10) && !(e->modifiers() & Qt::ControlModifier)) {
        openValueBox();
        return;
    }
    if (auto a = curveKeyFor(e->key(), e->modifiers())) {
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

CurveBench::Points TableWnd::points() const
{
    Points p;
    p.ys.assign(model_.values().begin(), model_.values().end());
    return p;
}

void TableWnd::setPoints(const Points& p)
{
    std::vector<std::uint32_t> v;
    v.reserve(p.ys.size());
    for (double y : p.ys)
        v.push_back(std::uint32_t(y));
    model_.setValues(std::move(v));
    update();
}

void TableWnd::setCurrentIndex(std::size_t i)
{
    model_.setCurrent(i);
    update();
}

void TableWnd::openValueBox()
{
    if (editing_ || model_.values().empty())
        return;
    editing_ = true;
    box_->setText(QString::number(model_.values()[model_.current()]));
    box_->setGeometry(5, 5, 135, 20);
    box_->show();
    box_->selectAll();
    box_->setFocus();
}

bool TableWnd::closeValueBox(bool commit)
{
    if (!editing_)
        return false;
    if (commit) {
        double v = 0;
        const std::string why = readValue(box_->text().toStdString(), '\t', CellKind::Word16, v);
        if (!why.empty()) {
            ui::tell(this, QStringLiteral("\"%1\" %2.").arg(box_->text(), QString::fromStdString(why)),
                    ui::Tone::Warning);
            return false;
        }
        Points p = points();
        const Points before = p;
        p.ys[model_.current()] = v;
        setPoints(p);
        pushChange(before, QStringLiteral("Value"));
    }
    editing_ = false;
    box_->hide();
    setFocus();
    repaint();
    return true;
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
