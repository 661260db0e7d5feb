#include "tables/PageGeometry.h"

namespace tables::page {

int pageSize(const std::vector<int>& sizes, int pos, int max, int clientExtent)
{
    if (sizes.empty())
        return 1;
    long long x = sizes[0];
    int i = pos + 1;
    while (x < clientExtent && i < max && i < int(sizes.size())) {
        x += sizes[std::size_t(i)];
        ++i;
    }
    return i - pos;
}

int hitTest(const std::vector<int>& sizes, int pos, int c)
{
    if (sizes.empty())
        return -1;
    if (c <= sizes[0])
        return 0;
    long long edge = sizes[0];
    for (int i = pos + 1; i < int(sizes.size()); ++i) {
        edge += sizes[std::size_t(i)];
        if (edge >= c)
            return i;
    }
    return -1;
}

int startOf(const std::vector<int>& sizes, int pos, int i)
{
    if (i < 0 || i >= int(sizes.size()))
        return -1;
    if (i == 0)
        return 0;
    if (i <= pos)
        return -1;
    int x = sizes[0];
    for (int k = pos + 1; k < i; ++k)
        x += sizes[std::size_t(k)];
    return x;
}

int farEdge(const std::vector<int>& sizes, int pos, int i)
{
    if (sizes.empty())
        return 0;
    int x = sizes[0];
    for (int k = pos + 1; k <= i && k < int(sizes.size()); ++k)
        x += sizes[std::size_t(k)];
    return x;
}

bool barVisible(const std::vector<int>& sizes, int pos, int clientExtent)
{
    if (pos > 0)
        return true;
    long long sum = 0;
    for (int s : sizes)
        sum += s;
    return sum >= clientExtent;
}

QString formatCommit(QString text)
{
    if (text.isEmpty())
        text = QStringLiteral("0");
    int dot = text.lastIndexOf(u'.');
    if (dot == 0) {
        text.prepend(u'0');
        dot = 1;
    }
    if (dot < 0) {
        text.append(u'.');
        dot = int(text.size()) - 1;
    }
    while (text.size() - dot - 1 < 6)
        text.append(u'0');
    return text;
}

} // namespace tables::page
