#pragma once
// The counterparts of the document's entries in the file it is compared with, for the table windows.
#include "tables/TableTarget.h"

#include <optional>

namespace browser {

// Supplied by whoever runs the compare (editor/).
class TableReferences {
public:
    virtual ~TableReferences() = default;
    // Entry i's counterpart (a record by id and occurrence, a field by its
    // place in it); nullopt while no compare runs or there is none.
    virtual std::optional<tables::TableReference> referenceFor(int listIndex) const = 0;
};

} // namespace browser
