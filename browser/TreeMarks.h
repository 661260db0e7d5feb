#pragma once
// Marks the record tree shows beside its items while the document is
// compared with another file: per entry, and rows for records that only the
// other file has. Supplied by whoever runs the compare (editor/).
#include <QString>

namespace browser {

class TreeMarks {
public:
    enum class Mark { None, Changed, OnlyHere, OnlyThere };

    virtual ~TreeMarks() = default;
    // The mark of entry i (by list index).
    virtual Mark markOf(int listIndex) const = 0;
    // Rows for records only in the other file, shown after the records.
    virtual int otherRowCount() const = 0;
    virtual QString otherRowText(int row) const = 0;
    virtual int otherRowTypeCode(int row) const = 0;
};

// The text mark put before an item's text: "≠ ", "+ ", "− ", "" for None.
QString markPrefix(TreeMarks::Mark mark);
// What a mark means, for tooltips and the screen reader.
QString markMeaning(TreeMarks::Mark mark);

} // namespace browser
