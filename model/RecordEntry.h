#pragma once
// One element of the document's record list: index 0 is the root (the file),
// then each record, each record of type "record" followed directly by its
// fields in field-number order.
#include "model/DocChange.h"
#include "model/FieldType.h"
#include "model/SharedText.h"

#include <cstdint>
#include <string>

namespace model {

// A value made on demand by the document (CTLDoc::entry), which keeps only
// its records. Names and help texts are shared with the parsed definitions;
// no entry holds bytes: CTLDoc::data() gives the bounds-checked view of a
// record's data (in the document's image, or in a block of its own once an
// edit gave it new bytes) and of a field's part of it.
struct RecordEntry {
    std::uint32_t id = 0;
    // Root: image length when the list was built. Record: data length.
    // Field: byte size of its type (0 for "text" and "record").
    std::uint32_t length = 0;
    FieldType type = FieldType::Raw;
    // Record: offset of its data in the file when the list was last built
    // (a save does not renew it). Field: that of its record + the field's
    // offset.
    std::uint32_t fileOffset = 0;
    std::int32_t parent = 0; // list index of a field's record; 0 otherwise
    // Field: its byte offset inside its record's data. Record: 0 while its
    // bytes are the image's at fileOffset, else which of the document's own
    // blocks holds them (the document's business alone).
    std::uint32_t fieldOffset = 0;
    // Stable identity (see EntryKey); given by the document.
    EntryKey key = 0;
    SharedText name;
    SharedText help;
};

} // namespace model
