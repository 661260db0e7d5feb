// The hex control's accessible interface and its registration.
#include "hexedit/HexAccessible.h"

#include "hexedit/CHexDataCtrl.h"

#include <algorithm>

namespace hexedit {

namespace {

QString hexNumber(std::int64_t v, int digits)
{
    return QStringLiteral("%1").arg(static_cast<qulonglong>(v), digits, 16, QLatin1Char('0')).toUpper();
}

QString columnWords(CaretColumn c)
{
    switch (c) {
    case CaretColumn::OffsetColumn:
        return QStringLiteral("offset column");
    case CaretColumn::HighNibble:
        return QStringLiteral("hex column, first digit");
    case CaretColumn::LowNibble:
        return QStringLiteral("hex column, second digit");
    case CaretColumn::TextColumn:
        return QStringLiteral("text column");
    }
    return {};
}

QAccessibleInterface* factory(const QString&, QObject* o)
{
    if (auto* c = qobject_cast<CHexDataCtrl*>(o))
        return new HexAccessible(c);
    return nullptr;
}

} // namespace

HexAccessible::HexAccessible(CHexDataCtrl* ctrl)
        : ui::AccessibleControl(ctrl, QAccessible::Table, QAccessible::Cell, QStringLiteral("Hex data"),
                QStringLiteral(
                        "The bytes as offsets, hex digits and characters; Tab switches between the hex "
                        "and the text column, Shift with the arrow keys selects"))
{}

const CHexDataCtrl* HexAccessible::ctrl() const
{
    return static_cast<const CHexDataCtrl*>(widget());
}

ui::AccessibleItem HexAccessible::current() const
{
    const CHexDataCtrl* c = ctrl();
    const std::int64_t at = c->caretOffset();
    if (!c->data() || at < 0 || at >= c->length())
        return {};
    const int digits = c->geometry().offsetDigits();
    ui::AccessibleItem item;
    item.name = QStringLiteral("offset %1, %2").arg(hexNumber(at, digits), columnWords(c->caretColumn()));
    const unsigned byte = c->data()[at];
    item.value = QStringLiteral("byte %1 (%2").arg(hexNumber(byte, 2)).arg(byte);
    if (byte >= 0x20 && byte <= 0x7E)
        item.value += QStringLiteral(", \"%1\"").arg(QChar(char16_t(byte)));
    item.value += QLatin1Char(')');
    if (c->hasSelection()) {
        const std::int64_t lo = std::min(c->selAnchor(), c->selEnd());
        const std::int64_t hi = std::max(c->selAnchor(), c->selEnd());
        if (hi > lo)
            item.selection = QStringLiteral("selected %1 to %2, %3 bytes")
                                     .arg(hexNumber(lo, digits), hexNumber(hi - 1, digits))
                                     .arg(hi - lo);
    }
    return item;
}

QRect HexAccessible::itemRect() const
{
    const CHexDataCtrl* c = ctrl();
    const CaretRect r = c->geometry().caretRect(c->caretColumn(), c->caretOffset(), c->topOffset());
    const QWidget* vp = c->viewport();
    return QRect(vp->mapToGlobal(QPoint(r.x, r.y)), QSize(r.width, r.height));
}

void enableAccessibility(CHexDataCtrl* ctrl)
{
    ui::installAccessibleFactory(factory);
    ui::announceChanges(ctrl, ctrl->viewport());
}

} // namespace hexedit
