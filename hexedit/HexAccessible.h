#pragma once
// What the hex control tells assistive technology: the offset and byte under
// the caret, its column, and the selection.
#include "ui/AccessibleControl.h"

namespace hexedit {

class CHexDataCtrl;

class HexAccessible : public ui::AccessibleControl {
public:
    explicit HexAccessible(CHexDataCtrl* ctrl);

    ui::AccessibleItem current() const override;
    QRect itemRect() const override;

private:
    const CHexDataCtrl* ctrl() const;
};

// Gives the control its accessible interface and its announcements; the
// control calls it once, when it is made.
void enableAccessibility(CHexDataCtrl* ctrl);

} // namespace hexedit
