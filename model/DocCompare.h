#pragma once
// What differs between the document and a reference file read with the same
// definitions, entry by entry of the document's list, and taking the
// reference's bytes back into the document through its edit API.
#include "model/DocChange.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace model {

class CTLDoc;

enum class EntryMark : std::uint8_t {
    Same,
    Changed, // a record or field whose bytes differ from its match in the reference
    OnlyHere, // a record the reference does not have
};

struct DocComparison {
    // Per list index of the document. The root is Changed when anything
    // differs (records, their order or the trailing bytes).
    std::vector<EntryMark> marks;
    // Per list index of the document: the reference's entry it is matched
    // with (a record by id and occurrence, a field by its place in it), -1
    // for none.
    std::vector<int> reference;
    // Per list index of the reference: the document's record matched with
    // a reference record, -1 for none and for fields.
    std::vector<int> documentOf;
    // The reference's records that the document does not have, by list
    // index in the reference, in its order.
    std::vector<int> onlyInReference;
    // Per list index of the document: its record's changed fields count
    // (records only).
    std::vector<std::uint32_t> changedFields;
    bool reordered = false;
    bool trailerDiffers = false;

    bool differs() const { return !marks.empty() && marks[0] != EntryMark::Same; }
    EntryMark markOf(int i) const
    {
        return i >= 0 && std::size_t(i) < marks.size() ? marks[std::size_t(i)] : EntryMark::Same;
    }
    int referenceOf(int i) const
    {
        return i >= 0 && std::size_t(i) < reference.size() ? reference[std::size_t(i)] : -1;
    }
    // Records of the document marked, plus those only in the reference.
    std::size_t differingRecords = 0;
};

// Matches the records of both (by id and occurrence) and compares them
// field by field, as diff::compareRecords does. Linear in both lists.
DocComparison compareDocuments(const CTLDoc& reference, const CTLDoc& doc);

// Makes entry i of doc as the reference has it: a field's bytes (the whole
// record when the field does not lie inside both records), a record's data,
// or, for a record only here, its removal. The changes made, in order; none
// when there is nothing to take.
std::vector<Change> takeEntry(CTLDoc& doc, const CTLDoc& reference, const DocComparison& c, int i);
// Adds the reference's record only there (c.onlyInReference[k]) after the
// document's match of the record before it in the reference.
std::vector<Change> takeOnlyInReference(
        CTLDoc& doc, const CTLDoc& reference, const DocComparison& c, std::size_t k);
// Every difference of records: changed records take the reference's data,
// records only here go, records only in the reference are added at their
// places. The order of the matched records is left as it is.
std::vector<Change> takeAll(CTLDoc& doc, const CTLDoc& reference, const DocComparison& c);

} // namespace model
