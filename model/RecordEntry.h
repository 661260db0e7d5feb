#pragma once
// One element of the document's record list: index 0 is the root (the file),
// then each record, each record of type "record" followed directly by its
// fields in field-number order.
#include "model/DocChange.h"
#include "model/FieldType.h"
#include "model/SharedText.h"

#include <cstdint>
#include <string>
#include <vector>

namespace model {

// Kept small: a list holds one entry per record and per field, often
// millions; names and help texts are shared with the parsed definitions.
struct RecordEntry {
    std::uint32_t id = 0;
    // Root: image length when the list was built. Record: data length.
    // Field: byte size of its type (0 for "text" and "record").
    std::uint32_t length = 0;
    FieldType type = FieldType::Raw;
    // Record: offset of its data in the file as loaded. Field: that of its
    // record + the field's offset.
    std::uint32_t fileOffset = 0;
    std::int32_t parent = 0; // list index of a field's record; 0 otherwise
    // A field's byte offset inside its record's data. Fields own no bytes:
    // CTLDoc::data() gives the bounds-checked view into the record.
    std::uint32_t fieldOffset = 0;
    // Stable identity (see EntryKey); given by the document.
    EntryKey key = 0;
    // A record's own copy of its data bytes (empty for root and fields).
    std::vector<std::uint8_t> data;
    SharedText name;
    SharedText help;
};

using RecordList = std::vector<RecordEntry>;

} // namespace model
