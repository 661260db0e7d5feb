#include "ui/NumberChars.h"

#include <algorithm>

namespace ui {

bool NumberChars::accepts(QChar c) const
{
    if (c >= u'0' && c <= u'9')
        return true;
    if (c == u'-')
        return minus;
    if (c == u'.')
        return point;
    return false;
}

bool NumberChars::acceptsAll(QStringView text) const
{
    return std::all_of(text.begin(), text.end(), [this](QChar c) { return accepts(c); });
}

QString NumberChars::filtered(QStringView text) const
{
    QString out;
    for (QChar c : text)
        if (accepts(c))
            out.append(c);
    return out;
}

QValidator::State NumberValidator::validate(QString& input, int& /*pos*/) const
{
    return chars_.acceptsAll(input) ? Acceptable : Invalid;
}

} // namespace ui
