#pragma once
// The accessible face of a custom-drawn control: its current item (a byte,
// a point, a cell) as a focus child with a name and a value, and the events
// that tell assistive technology when that item or its value changes.
#include <QAccessibleWidget>
#include <QString>

#include <functional>

namespace ui {

// What the control shows at its current item, in words.
struct AccessibleItem {
    QString name; // where: "offset 0x0012", "point 13 of 40", "row 2, column 3"
    QString value; // what: the value as the control shows it
    QString selection; // a selection beyond the item, in words; empty for none
    bool operator==(const AccessibleItem&) const = default;
};

class AccessibleControl : public QAccessibleWidget {
public:
    // itemRole is the role of the current item (Cell, ListItem, ...).
    AccessibleControl(QWidget* w, QAccessible::Role role, QAccessible::Role itemRole, QString fallbackName,
            QString description);
    ~AccessibleControl() override;

    // The current item; an empty name when there is none (no data).
    virtual AccessibleItem current() const = 0;
    // Where the current item is drawn, in screen coordinates.
    virtual QRect itemRect() const { return rect(); }

    // Name: the control's accessible name, else its title, else the fallback.
    // Value: "<item name>, <value>" and the selection, as one sentence.
    QString text(QAccessible::Text t) const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* focusChild() const override;

    // The interface of the current item, alive as long as this one.
    QAccessibleInterface* itemInterface() const;
    QAccessible::Role itemRole() const { return itemRole_; }
    QWidget* control() const { return widget(); }

    // The sentence that Value gives for an item.
    static QString sentence(const AccessibleItem& item);

private:
    bool hasItem() const;
    QAccessible::Role itemRole_;
    QString fallbackName_;
    QString description_;
    mutable QAccessible::Id itemId_ = 0;
};

// Makes `control` announce its current item: each time `painted` (the
// control, or the viewport it draws on) is painted, what the control now
// shows is compared with what was last announced, and a change of item
// sends Focus on the item (while the control has focus) and NameChanged;
// a change of value sends ValueChanged; a change of selection sends
// SelectionWithin. Painting is the one place every change passes, whether
// made by a key, the mouse, undo or a paste.
void announceChanges(QWidget* control, QWidget* painted);

// Where the controls' events go while Qt's accessibility is inactive: Qt
// drops every event then (as on the offscreen platform, which has no
// assistive technology), so tests tap them here to hear what a screen
// reader would be told. nullptr for none.
void setAccessibleEventTap(QAccessible::UpdateHandler tap);

// Installs a factory once per process, however often it is asked.
void installAccessibleFactory(QAccessible::InterfaceFactory factory);

} // namespace ui
