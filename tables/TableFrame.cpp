#include "tables/TableFrame.h"

#include "tables/TableRegistry.h"
#include "ui/LockKeys.h"
#include "ui/Messages.h"

#include <QKeyEvent>
#include <QLabel>
#include <QStatusBar>

namespace tables {

TableTarget::~TableTarget() = default;

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
        reference_ = target_->reference();
        setWindowTitle(QStringLiteral("Editing:") + target_->name());
    }
    ui::applyPlacement(this, section_, defaults, ui::kTableWindowLimits);
    TableRegistry::add(this);
}

TableFrame::~TableFrame()
{
    TableRegistry::remove(this); // deleted without a close, e.g. with its owner
}

void TableFrame::abandon()
{
    abandoned_ = true;
    close();
}

bool TableFrame::event(QEvent* e)
{
    const bool r = QWidget::event(e);
    // The keyboard's indicator has changed once the key is released, so the
    // pane is read then, and when the window comes back (the key may have
    // been pressed in another window).
    if (e->type() == QEvent::KeyRelease || e->type() == QEvent::WindowActivate)
        refreshNumLock();
    if (e->type() == QEvent::Close && e->isAccepted()) {
        TableRegistry::remove(this); // closed, waiting for its deferred deletion
        emit closing();
    }
    return r;
}

void TableFrame::referenceChanged()
{
    reference_ = target_ ? target_->reference() : std::nullopt;
    referenceRead();
    update();
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
        ui::tell(this,
                QStringLiteral("The entry changed length since this window opened "
                               "(%1 bytes then, %2 now); the table was not written back.")
                        .arg(sizeAtOpen_)
                        .arg(bytes.size()),
                ui::Tone::Warning);
        return false;
    }
    patch(bytes);
    QString error;
    if (!target_->store(bytes, &error)) {
        ui::tell(this, error.isEmpty() ? QStringLiteral("The table could not be written back.") : error,
                ui::Tone::Warning);
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
    refreshNumLock();
}

void TableFrame::refreshNumLock()
{
    const ui::LockState st = ui::queryLockState();
    if (pane1_ && st.known)
        pane1_->setText(st.num ? QStringLiteral("NUM") : QString());
}

void TableFrame::setStatusText(const QString& text)
{
    if (pane0_ && pane0_->text() != text)
        pane0_->setText(text);
}

void TableFrame::setInfoText(const QString& text)
{
    if (!status_)
        return;
    if (!info_) {
        info_ = new QLabel(status_);
        info_->setObjectName(QStringLiteral("infoPane"));
        status_->insertPermanentWidget(1, info_); // after pane 0, before "NUM"
    }
    if (info_->text() != text)
        info_->setText(text);
}

QString TableFrame::infoText() const
{
    return info_ ? info_->text() : QString();
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
    // Only a guess, for platforms whose keyboard state cannot be read.
    if (!pane1_ || !(e->modifiers() & Qt::KeypadModifier) || ui::queryLockState().known)
        return;
    const int k = e->key();
    if (k >= Qt::Key_0 && k <= Qt::Key_9)
        pane1_->setText(QStringLiteral("NUM"));
    else if (k == Qt::Key_Left || k == Qt::Key_Right || k == Qt::Key_Up || k == Qt::Key_Down
            || k == Qt::Key_Home || k == Qt::Key_End || k == Qt::Key_PageUp || k == Qt::Key_PageDown
            || k == Qt::Key_Insert || k == Qt::Key_Clear)
        pane1_->setText(QString());
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
