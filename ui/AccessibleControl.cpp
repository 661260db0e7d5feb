// The accessible face of the custom-drawn controls: current item and events.
#include "ui/AccessibleControl.h"

#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace ui {

namespace {

// The current item of a control. It reads the control's state on every
// question, so one interface serves every item the caret visits.
class ItemInterface : public QAccessibleInterface {
public:
    explicit ItemInterface(const AccessibleControl* owner) : owner_(owner), widget_(owner->control()) {}

    bool isValid() const override { return !widget_.isNull(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return owner_->window(); }
    QAccessibleInterface* parent() const override { return const_cast<AccessibleControl*>(owner_); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override { return owner_->itemRole(); }
    void setText(QAccessible::Text, const QString&) override {}

    QString text(QAccessible::Text t) const override
    {
        if (!isValid())
            return {};
        const AccessibleItem item = owner_->current();
        switch (t) {
        case QAccessible::Name:
            return item.name;
        case QAccessible::Value:
            return item.value;
        case QAccessible::Description:
            return item.selection;
        default:
            return {};
        }
    }

    QRect rect() const override { return isValid() ? owner_->itemRect() : QRect(); }

    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.focusable = true;
        s.selectable = true;
        s.selected = true;
        s.focused = isValid() && widget_->hasFocus();
        s.invisible = !isValid() || !widget_->isVisible();
        return s;
    }

private:
    const AccessibleControl* owner_;
    QPointer<QWidget> widget_;
};

QAccessible::UpdateHandler& eventTap()
{
    static QAccessible::UpdateHandler tap = nullptr;
    return tap;
}

// Whether anyone would hear an event.
bool listening()
{
    return QAccessible::isActive() || eventTap();
}

void send(QAccessibleEvent& e)
{
    if (QAccessible::isActive())
        QAccessible::updateAccessibility(&e);
    else if (eventTap())
        eventTap()(&e);
}

// Compares what a control shows with what was last announced, on each
// paint, and sends the events for the difference.
class Announcer : public QObject {
public:
    Announcer(QWidget* control, QWidget* painted) : QObject(control), control_(control), painted_(painted)
    {
        control->installEventFilter(this);
        if (painted != control)
            painted->installEventFilter(this);
        focusLater_ = new QTimer(this);
        focusLater_->setSingleShot(true);
        focusLater_->setInterval(0);
        connect(focusLater_, &QTimer::timeout, this, &Announcer::focusItem);
    }

    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (!listening())
            return false;
        if (watched == painted_ && e->type() == QEvent::Paint)
            check();
        else if (watched == control_ && e->type() == QEvent::FocusIn)
            // After Qt has told of the control's own focus, which it does once
            // the focus-in event has been delivered.
            focusLater_->start();
        return false;
    }

private:
    AccessibleControl* face() const
    {
        return dynamic_cast<AccessibleControl*>(QAccessible::queryAccessibleInterface(control_));
    }

    void focusItem()
    {
        AccessibleControl* a = face();
        if (!a || !control_->hasFocus() || a->current().name.isEmpty())
            return;
        QAccessibleEvent ev(a->itemInterface(), QAccessible::Focus);
        send(ev);
    }

    void check()
    {
        AccessibleControl* a = face();
        if (!a)
            return;
        const AccessibleItem now = a->current();
        if (!last_) { // the first look: nothing to compare with
            last_ = now;
            return;
        }
        const AccessibleItem before = std::exchange(*last_, now);
        if (now.name.isEmpty() || now == before)
            return;
        if (now.name != before.name) {
            if (control_->hasFocus()) {
                QAccessibleEvent focus(a->itemInterface(), QAccessible::Focus);
                send(focus);
            }
            QAccessibleEvent named(a->itemInterface(), QAccessible::NameChanged);
            send(named);
        }
        if (now.value != before.value || now.name != before.name) {
            QAccessibleValueChangeEvent value(a, AccessibleControl::sentence(now));
            send(value);
        }
        if (now.selection != before.selection) {
            QAccessibleEvent sel(a, QAccessible::SelectionWithin);
            send(sel);
        }
    }

    QWidget* control_;
    QWidget* painted_;
    QTimer* focusLater_ = nullptr;
    std::optional<AccessibleItem> last_;
};

} // namespace

AccessibleControl::AccessibleControl(QWidget* w, QAccessible::Role role, QAccessible::Role itemRole,
        QString fallbackName, QString description)
        : QAccessibleWidget(w, role), itemRole_(itemRole), fallbackName_(std::move(fallbackName)),
          description_(std::move(description))
{}

AccessibleControl::~AccessibleControl()
{
    if (itemId_ != 0)
        QAccessible::deleteAccessibleInterface(itemId_);
}

QAccessibleInterface* AccessibleControl::itemInterface() const
{
    if (itemId_ != 0) {
        if (QAccessibleInterface* i = QAccessible::accessibleInterface(itemId_))
            return i;
    }
    auto* item = new ItemInterface(this);
    itemId_ = QAccessible::registerAccessibleInterface(item);
    return item;
}

bool AccessibleControl::hasItem() const
{
    return !current().name.isEmpty();
}

QString AccessibleControl::sentence(const AccessibleItem& item)
{
    QString s = item.name;
    if (!item.value.isEmpty())
        s += (s.isEmpty() ? QString() : QStringLiteral(", ")) + item.value;
    if (!item.selection.isEmpty())
        s += QStringLiteral("; ") + item.selection;
    return s;
}

QString AccessibleControl::text(QAccessible::Text t) const
{
    switch (t) {
    case QAccessible::Name: {
        const QString base = QAccessibleWidget::text(t);
        return base.isEmpty() ? fallbackName_ : base;
    }
    case QAccessible::Description: {
        const QString base = QAccessibleWidget::text(t);
        return base.isEmpty() ? description_ : base;
    }
    case QAccessible::Value:
        return sentence(current());
    default:
        return QAccessibleWidget::text(t);
    }
}

int AccessibleControl::childCount() const
{
    return QAccessibleWidget::childCount() + (hasItem() ? 1 : 0);
}

QAccessibleInterface* AccessibleControl::child(int index) const
{
    const int widgets = QAccessibleWidget::childCount();
    if (index == widgets && hasItem())
        return itemInterface();
    return QAccessibleWidget::child(index);
}

int AccessibleControl::indexOfChild(const QAccessibleInterface* c) const
{
    if (c && itemId_ != 0 && c == QAccessible::accessibleInterface(itemId_))
        return hasItem() ? QAccessibleWidget::childCount() : -1;
    return QAccessibleWidget::indexOfChild(c);
}

QAccessibleInterface* AccessibleControl::focusChild() const
{
    if (widget()->hasFocus() && hasItem())
        return itemInterface();
    return QAccessibleWidget::focusChild();
}

void announceChanges(QWidget* control, QWidget* painted)
{
    new Announcer(control, painted ? painted : control);
}

void setAccessibleEventTap(QAccessible::UpdateHandler tap)
{
    eventTap() = tap;
}

void installAccessibleFactory(QAccessible::InterfaceFactory factory)
{
    static std::vector<QAccessible::InterfaceFactory> installed;
    if (std::find(installed.begin(), installed.end(), factory) != installed.end())
        return;
    installed.push_back(factory);
    QAccessible::installFactory(factory);
}

} // namespace ui
