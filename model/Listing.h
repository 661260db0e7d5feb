#pragma once
// The record tree of a loaded document as text: what `tarlo --list` prints.
#include <iosfwd>
#include <string>

namespace model {

class CTLDoc;

// The listing of a loaded document (root line, entries, trailing bytes line).
// values: each table item is followed by its values, two blanks deeper:
// "[i] v" for tbl16, "[i] x y" for tbldb, "row k: v v ..." for tbl3d, numbers
// as the shortest text that reads back exactly.
std::string listDocument(const CTLDoc& doc, bool sorted, bool values = false);
// The same listing written to out as it is made; false when writing failed.
bool writeListing(const CTLDoc& doc, bool sorted, bool values, std::ostream& out);

} // namespace model
