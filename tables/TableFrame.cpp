#include "tables/TableFrame.h"

#include "tables/LogicalMapping.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QStatusBar>

namespace tables {

TableTarget::~TableTarget() = default;

namespace {
MessageHandler& handler()
{
    static MessageHandler h;
    return h;
}

QList<QPointer<TableFrame>>& registry()
{
    static QList<QPointer<TableFrame>> r;
    return r;
}
} // namespace

void setMessageHandler(MessageHandler h)
{
    handler() = std::move(h);
}

void showMessage(QWidget* parent, const QString& text)
{
    if (handler()) {
        handler()(parent, text);
        return;
    }
    QMessageBox::warning(parent, QStringLiteral("Tarlo"), text, QMessageBox::Ok);
}

QString idleText()
{
    return QStringLiteral("Welcome To Tarlo!");
}

TableFrame::TableFrame(std::unique_ptr<TableTarget> target, const QString& section, const ui::Edges& defaults,
        QWidget* owner)
        : QWidget(owner, Qt::Window), target_(std::move(target)), section_(section)
{
    setAttribute(Qt::WA_DeleteOnClose);
    // Curves are drawn on the window colour; the grid fills its own background.
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    if (target_) {
        sizeAtOpen_ = target_->bytes().size();
        setWindowTitle(QStringLiteral("Editing:") + target_->name());
    }
    ui::applyPlacement(this, section_, defaults, ui::kTableWindowLimits);
    registry().removeAll(QPointer<TableFrame>());
    registry().append(this);
}

TableFrame::~TableFrame() = default;

void TableFrame::abandon()
{
    abandoned_ = true;
    close();
}

void TableFrame::closeAll()
{
    for (TableFrame* w : openWindows())
        w->close();
}

QList<TableFrame*> TableFrame::openWindows()
{
    QList<TableFrame*> out;
    for (const auto& p : registry())
        if (p && !p->closed_)
            out.append(p.data());
    return out;
}

bool TableFrame::event(QEvent* e)
{
    const bool r = QWidget::event(e);
    if (e->type() == QEvent::Close && e->isAccepted())
        closed_ = true;
    return r;
}

void TableFrame::bringToFront()
{
    show();
    raise();
    activateWindow();
}

void TableFrame::SaveWindowRect()
{
    ui::savePlacement(this, section_, ui::kTableWindowLimits);
}

bool TableFrame::writeBack(const std::function<void(Bytes&)>& patch)
{
    if (!target_ || abandoned_)
        return false;
    Bytes bytes = target_->bytes();
    if (bytes.size() != sizeAtOpen_) {
        showMessage(this, QStringLiteral("The entry changed length since this window opened "
                                         "(%1 bytes then, %2 now); the table was not written back.")
                              .arg(sizeAtOpen_)
                              .arg(bytes.size()));
        return false;
    }
    patch(bytes);
    QString error;
    if (!target_->store(bytes, &error)) {
        showMessage(this, error.isEmpty() ? QStringLiteral("The table could not be written back.") : error);
        return false;
    }
    return true;
}

void TableFrame::createStatusBar()
{
    status_ = new QStatusBar(this);
    status_->setSizeGripEnabled(false);
    status_->setBackgroundRole(QPalette::Window);
    status_->setAutoFillBackground(true);
    pane0_ = new QLabel(idleText(), status_);
    pane1_ = new QLabel(status_);
    pane1_->setMinimumWidth(pane1_->fontMetrics().horizontalAdvance(QStringLiteral("NUM")) + 8);
    pane1_->setAlignment(Qt::AlignCenter);
    status_->addWidget(pane0_, 1);
    status_->addPermanentWidget(pane1_);
    status_->setGeometry(0, height() - 20, width(), 20);
}

void TableFrame::setStatusText(const QString& text)
{
    if (pane0_ && pane0_->text() != text)
        pane0_->setText(text);
}

QString TableFrame::statusText() const
{
    return pane0_ ? pane0_->text() : QString();
}

QString TableFrame::numLockText() const
{
    return pane1_ ? pane1_->text() : QString();
}

void TableFrame::noteNumLock(const QKeyEvent* e)
{
    if (!pane1_ || !(e->modifiers() & Qt::KeypadModifier))
        return;
    const int k = e->key();
    if (k >= Qt::Key_0 && k <= Qt::Key_9)
        pane1_->setText(QStringLiteral("NUM"));
    else if (k == Qt::Key_Left || k == Qt::Key_Right || k == Qt::Key_Up || k == Qt::Key_Down ||
             k == Qt::Key_Home || k == Qt::Key_End || k == Qt::Key_PageUp || k == Qt::Key_PageDown ||
             k == Qt::Key_Insert || k == Qt::Key_Clear)
        pane1_->setText(QString());
}

void TableFrame::paintCurve(const std::vector<QPointF>& points, double extentX, double extentY,
                            std::size_t current)
{
    const LogicalMapping m = LogicalMapping::curve(width(), height(), extentX, extentY);
    QPainter p(this);
    const QPen grey(QColor(192, 192, 192), 1);
    const QPen red(QColor(192, 0, 0), 1);
    const QPen blue(QColor(0, 0, 192), 1);
    for (std::size_t i = 0; i < points.size(); ++i) {
        p.setPen(i == current ? blue : grey);
        p.drawLine(m.map(points[i].x(), 0), m.map(points[i].x(), extentY));
    }
    p.setPen(grey);
    p.drawLine(m.map(points.front().x(), 0), m.map(points.back().x(), 0));
    p.setPen(red);
    QPolygonF curve;
    for (const QPointF& pt : points)
        curve << m.map(pt.x(), pt.y());
    p.drawPolyline(curve);
}

void TableFrame::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    // The bar lies over the bottom 20 pixels of the client area, which the
    // curve mappings leave free.
    if (status_)
        status_->setGeometry(0, height() - 20, width(), 20);
}

} // namespace tables
