#pragma once
// Filter-as-you-type over the record list: one pass builds a lower-cased
// text of every entry (name, value, a record's id), each keystroke then
// scans that text once.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace model {
class CTLDoc;
}

namespace browser {

// What the filter does with a record (by list index; fields and the root 0).
enum class FilterShow : std::uint8_t {
    Hidden = 0,
    Matched = 1, // the record's own name, id or value contains the text
    ForField = 2, // only one of its fields does: shown, opened
};

class EntryHaystack {
public:
    // Entry i's text: its item text (name and value, a record's id in short
    // hex), and for a record the id in eight hex digits, so that the id
    // matches with or without leading zeros. Linear in the list.
    void build(const model::CTLDoc& doc);
    void clear();
    bool empty() const { return start_.empty(); }

    // Per list index, 1 when the entry's text contains `needle`; `needle`
    // is matched case-blind. Empty needle: no entry.
    std::vector<std::uint8_t> matches(std::string_view needle) const;

private:
    std::string text_; // entry texts, each ended by a 0 byte
    std::vector<std::uint32_t> start_; // offset of entry i's text; one more at the end
};

// The records to show for `typed` (see FilterShow), indexed by list index;
// empty when `typed` is empty (everything shows).
std::vector<FilterShow> filterRecords(
        const model::CTLDoc& doc, const EntryHaystack& haystack, std::string_view typed);

} // namespace browser
