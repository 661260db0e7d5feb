// The text marks of the compare, and what they mean.
#include "browser/TreeMarks.h"

namespace browser {

QString markPrefix(TreeMarks::Mark mark)
{
    switch (mark) {
    case TreeMarks::Mark::Changed:
        return QStringLiteral("\u2260 ");
    case TreeMarks::Mark::OnlyHere:
        return QStringLiteral("+ ");
    case TreeMarks::Mark::OnlyThere:
        return QStringLiteral("\u2212 ");
    case TreeMarks::Mark::None:
        break;
    }
    return {};
}

QString markMeaning(TreeMarks::Mark mark)
{
    switch (mark) {
    case TreeMarks::Mark::Changed:
        return QStringLiteral("Differs from the reference");
    case TreeMarks::Mark::OnlyHere:
        return QStringLiteral("Only in this file");
    case TreeMarks::Mark::OnlyThere:
        return QStringLiteral("Only in the reference");
    case TreeMarks::Mark::None:
        break;
    }
    return {};
}

} // namespace browser
