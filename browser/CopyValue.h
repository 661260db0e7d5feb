#pragma once
// The text "Copy Value" puts on the clipboard for an entry.
#include <string>

namespace model {
class CTLDoc;
}

namespace browser {

// A scalar, bool or text: its value as the tree shows it after "name=".
// A table: its values as lines of tab-separated numbers (tbl16 one value a
// line, tbldb "x<TAB>y" a line, tbl3d one line per grid row); doubles in
// their shortest exact form. Raw data and records: their bytes in hex.
// Empty for the root, invalid indexes and fields outside their record.
std::string copyValueText(const model::CTLDoc& doc, int i);

} // namespace browser
