#include "diff/Records.h"

#include <algorithm>

namespace diff {

void RecordList::add(std::uint32_t id, ByteView data)
{
    auto& list = byId_[id];
    records_.push_back({id, list.size(), data});
    list.push_back(records_.size() - 1);
}

const std::vector<std::size_t>& RecordList::withId(std::uint32_t id) const
{
    static const std::vector<std::size_t> none;
    auto it = byId_.find(id);
    return it == byId_.end() ? none : it->second;
}

std::size_t RecordList::find(std::uint32_t id, std::size_t occurrence) const
{
    const auto& list = withId(id);
    return occurrence < list.size() ? list[occurrence] : kNone;
}

Matching matchRecords(const RecordList& oldList, const RecordList& newList)
{
    Matching m;
    m.newOf.assign(oldList.size(), kNone);
    m.oldOf.assign(newList.size(), kNone);
    for (std::size_t i = 0; i < oldList.size(); ++i) {
        const std::size_t j = newList.find(oldList[i].id, oldList[i].occurrence);
        m.newOf[i] = j;
        if (j != kNone)
            m.oldOf[j] = i;
    }
    // In the new file's order, the matched old records must rise.
    std::size_t last = 0;
    bool any = false;
    for (std::size_t i : m.oldOf) {
        if (i == kNone)
            continue;
        if (any && i < last)
            m.reordered = true;
        last = i;
        any = true;
    }
    return m;
}

} // namespace diff
