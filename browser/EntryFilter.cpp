// The filter's text of the record list and its one-pass match.
#include "browser/EntryFilter.h"

#include "model/CTLDoc.h"

#include <algorithm>
#include <cstdio>
#include <functional>

namespace browser {

namespace {

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

void appendLower(std::string& out, std::string_view s)
{
    for (const char c : s)
        out += lowerAscii(c);
}

} // namespace

void EntryHaystack::clear()
{
    text_.clear();
    text_.shrink_to_fit();
    start_.clear();
    start_.shrink_to_fit();
}

void EntryHaystack::build(const model::CTLDoc& doc)
{
    clear();
    const int n = int(doc.entryCount());
    start_.reserve(std::size_t(n) + 1);
    text_.reserve(std::size_t(n) * 32);
    for (int i = 0; i < n; ++i) {
        start_.push_back(std::uint32_t(text_.size()));
        if (i > 0) {
            appendLower(text_, doc.itemText(i));
            if (doc.isRecord(i)) {
                char id[16];
                std::snprintf(id, sizeof id, "\n%08x", doc.entry(i).id);
                text_ += id;
            }
        }
        text_ += '\0';
    }
    start_.push_back(std::uint32_t(text_.size()));
}

std::vector<std::uint8_t> EntryHaystack::matches(std::string_view needle) const
{
    std::vector<std::uint8_t> out(start_.empty() ? 0 : start_.size() - 1, 0);
    if (needle.empty() || out.empty())
        return out;
    std::string lower;
    appendLower(lower, needle);
    const std::boyer_moore_horspool_searcher searcher(lower.begin(), lower.end());
    auto from = text_.begin();
    while (true) {
        const auto hit = std::search(from, text_.end(), searcher);
        if (hit == text_.end())
            break;
        // The entry holding the hit; the search goes on at the next one.
        const auto pos = std::uint32_t(hit - text_.begin());
        const auto next = std::upper_bound(start_.begin(), start_.end(), pos);
        const std::size_t entry = std::size_t(next - start_.begin()) - 1;
        out[entry] = 1;
        if (next == start_.end())
            break;
        from = text_.begin() + *next;
    }
    return out;
}

std::vector<FilterShow> filterRecords(
        const model::CTLDoc& doc, const EntryHaystack& haystack, std::string_view typed)
{
    if (typed.empty())
        return {};
    const std::vector<std::uint8_t> hit = haystack.matches(typed);
    std::vector<FilterShow> show(hit.size(), FilterShow::Hidden);
    for (std::size_t i = 1; i < hit.size(); ++i) {
        if (!hit[i])
            continue;
        const int parent = doc.parentOf(int(i));
        if (parent == 0)
            show[i] = FilterShow::Matched;
        else if (parent > 0 && std::size_t(parent) < show.size()
                && show[std::size_t(parent)] == FilterShow::Hidden)
            show[std::size_t(parent)] = FilterShow::ForField;
    }
    return show;
}

} // namespace browser
