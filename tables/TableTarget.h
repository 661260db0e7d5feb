#pragma once
// The one thing a table window knows about the document: the bytes of the
// entry it edits. The document side implements this over its record list;
// tests implement it over a plain vector.
#include <QString>

#include <cstdint>
#include <vector>

namespace tables {

class TableTarget {
public:
    virtual ~TableTarget();

    // The entry's current bytes (a record's data, or a field's extent).
    virtual std::vector<std::uint8_t> bytes() const = 0;
    // Shown after "Editing:" in the window title.
    virtual QString name() const = 0;
    // Writes the entry's bytes back. The table windows always hand back a
    // buffer of the same length as bytes() returned, so a field inside a
    // larger record can be written in place. false (with *error filled in)
    // refuses the write; the window then tells the user.
    virtual bool store(const std::vector<std::uint8_t>& newBytes, QString* error) = 0;
    // Sets the document's modified flag.
    virtual void markModified() = 0;
};

} // namespace tables
