#pragma once
// Records the accessibility events the program sends, with the texts their
// interfaces gave at that moment: through Qt's own update handler, which Qt
// calls only while an assistive technology is active, and through the
// controls' tap, which hears them while none is (as offscreen).
#include "ui/AccessibleControl.h"

#include <QAccessible>
#include <QString>

#include <vector>

namespace testsupport {

struct SeenEvent {
    QAccessible::Event type = QAccessible::InvalidEvent;
    QAccessible::Role role = QAccessible::NoRole;
    QString name; // the interface's Name when the event was sent
    QString value; // a ValueChanged event's value
};

class AccessEvents {
public:
    AccessEvents()
    {
        seen().clear();
        previous_ = QAccessible::installUpdateHandler(&AccessEvents::record);
        ui::setAccessibleEventTap(&AccessEvents::record);
    }
    ~AccessEvents()
    {
        QAccessible::installUpdateHandler(previous_);
        ui::setAccessibleEventTap(nullptr);
    }
    AccessEvents(const AccessEvents&) = delete;
    AccessEvents& operator=(const AccessEvents&) = delete;

    static std::vector<SeenEvent>& seen()
    {
        static std::vector<SeenEvent> events;
        return events;
    }
    void clear() { seen().clear(); }

    // Events of one type, oldest first.
    std::vector<SeenEvent> of(QAccessible::Event type) const
    {
        std::vector<SeenEvent> out;
        for (const SeenEvent& e : seen())
            if (e.type == type)
                out.push_back(e);
        return out;
    }

    // The latest event of a type; an empty one (InvalidEvent) when none came.
    SeenEvent last(QAccessible::Event type) const
    {
        const std::vector<SeenEvent> all = of(type);
        return all.empty() ? SeenEvent{} : all.back();
    }

private:
    static void record(QAccessibleEvent* e)
    {
        QAccessibleInterface* i = e->accessibleInterface();
        SeenEvent s{e->type(), i ? i->role() : QAccessible::NoRole,
                i ? i->text(QAccessible::Name) : QString(), {}};
        if (e->type() == QAccessible::ValueChanged)
            s.value = static_cast<QAccessibleValueChangeEvent*>(e)->value().toString();
        seen().push_back(s);
    }

    QAccessible::UpdateHandler previous_ = nullptr;
};

} // namespace testsupport
